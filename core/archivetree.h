#pragma once

#include "store/archivekind.h"

#include <QList>
#include <QString>
#include <QStringList>

// The nodes of the archive tree and what a node stands for.
namespace archivetree {

struct Node {
    QString key;  // "a1".."a4" for roots; kind letter and position for children ("r1", "s2")
    QString text; // root caption or address-book name
    int picture;  // picture number of the tree's image list
    bool root;
};

// Four roots, each followed by one child per address book, in tree order (index = position+1).
QList<Node> nodes(const QStringList& addressBooks);

// The archive a node's key lists: its first letter (a child's); None for a root.
store::ArchiveKind keyKind(const QString& key);
// The kind shown in the browser's header for a clicked node, or None. Four tests in order
// (contacts, saved, sent, deleted), the last that holds wins: the key's kind, or the text
// ("R" first letter; "S", "I", "C" as fifth character). Case-sensitive.
store::ArchiveKind headerKind(const QString& key, const QString& text);
// "Rubrica", "SMS Salvati", "SMS Inviati", "SMS Cancellati".
QString kindCaption(store::ArchiveKind kind);
// Picture of the kind in the tree's image list: contacts 1, saved 3, sent 4, deleted 5.
int kindPicture(store::ArchiveKind kind);
// The resource of a picture of the tree's image list; empty for an unused number.
QString pictureResource(int picture);

// Browser header texts that mean a root is selected (the archive guard).
bool isRootLabel(const QString& label6);

} // namespace archivetree
