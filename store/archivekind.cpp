#include "store/archivekind.h"

namespace store {

namespace {

constexpr struct {
    ArchiveKind kind;
    char16_t letter;
} letters[] = {{ArchiveKind::Contacts, u'r'},
               {ArchiveKind::Saved, u's'},
               {ArchiveKind::Sent, u'i'},
               {ArchiveKind::Deleted, u'c'}};

} // namespace

QChar kindLetter(ArchiveKind kind) {
    for (const auto& l : letters)
        if (l.kind == kind)
            return QChar(l.letter);
    return {};
}

ArchiveKind kindOfLetter(QChar letter) {
    for (const auto& l : letters)
        if (l.letter == letter.unicode())
            return l.kind;
    return ArchiveKind::None;
}

} // namespace store
