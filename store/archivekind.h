#pragma once

#include <QChar>

namespace store {

// The four archives of an address book, in the tree's order: rubrica, salvati, inviati,
// cancellati. None for no archive (a root of the tree, nothing listed).
enum class ArchiveKind { None, Contacts, Saved, Sent, Deleted };

// The letter that stands for a kind in the tree's node keys ("r1", "s2"): r, s, i, c; a null
// QChar for None. kindOfLetter reads it back, None for any other letter.
QChar kindLetter(ArchiveKind kind);
ArchiveKind kindOfLetter(QChar letter);

} // namespace store
