#pragma once

#include <QChar>
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

// The kind shown in the browser's header for a clicked node: 'r', 's', 'i', 'c', or a null
// QChar. Four tests in order, the last that holds wins: the key's first letter, or the text
// ("R" first letter; "S", "I", "C" as fifth character). Case-sensitive.
QChar headerKind(const QString& key, const QString& text);
// "Rubrica", "SMS Salvati", "SMS Inviati", "SMS Cancellati".
QString kindCaption(QChar kind);
// Picture of the kind in the tree's image list: r 1, s 3, i 4, c 5.
int kindPicture(QChar kind);
// The resource of a picture of the tree's image list; empty for an unused number.
QString pictureResource(int picture);

// Browser header texts that mean a root is selected (the archive guard).
bool isRootLabel(const QString& label6);

} // namespace archivetree
