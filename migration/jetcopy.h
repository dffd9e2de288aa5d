#pragma once

#include <QList>
#include <QString>

#include <functional>

// One file of the earlier program copied into a new archive file of the product's schema.
namespace migration {

// elenco.mdb holds the list; the template and the address books hold the four tables.
enum class FileRole { List, Book };
FileRole roleOf(const QString& relativePath);

struct TableCount {
    QString table;
    qint64 declared = 0; // rows the Jet table's definition declares
    qint64 copied = 0;   // rows written
};

// The rows each of the role's tables declares; reads the catalogue alone. Throws JetError,
// also for a file of another schema.
QList<TableCount> countJet(const QString& source, FileRole role);

// Writes the role's tables of the Jet file `source` into the new file `target`, rows in
// stored order, texts as read, null as null. `progress` gets the rows written so far.
// Throws JetError, or StoreError for the new file.
QList<TableCount> copyJet(const QString& source, const QString& target, FileRole role,
                          const std::function<void(qint64 rows)>& progress = {});

} // namespace migration
