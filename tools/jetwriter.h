#pragma once

#include <QList>
#include <QString>
#include <QVariant>

// Writes Jet 4 (Access 2000-2003) files for tests: tables without indexes, text kept as
// uncompressed UCS-2, the general sort order and code page 1252 in the header.
namespace jetwriter {

enum class Type { Text, Memo, Long, DateTime };
struct Column {
    QString name;
    Type type = Type::Text;
    int size = 255; // characters, Text only
};
// Values: QString for Text and Memo, a number for Long, QDateTime (on or after 1899-12-30) for
// DateTime; a null QVariant writes NULL.
struct Table {
    QString name;
    QList<Column> columns;
    QList<QVariantList> rows;
};

// Writes a Jet 4 file; false with *error on failure.
bool write(const QString& path, const QList<Table>& tables, QString* error = nullptr);

// Turns a file write() made into one a reader must refuse.
enum class Damage {
    Ace,       // "Standard ACE DB" engine and the Access 2007 version byte
    Truncated, // cut in the middle of the catalog's definition page
    Garbage,   // every page after the header overwritten with noise
};
bool damage(const QString& path, Damage how);

} // namespace jetwriter
