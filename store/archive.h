#pragma once

#include "store/schema.h"

#include <QList>
#include <QString>

// The archive files of an application folder and the tables they hold.
namespace store {
class Recordset;
}

namespace store::archive {

inline constexpr auto principale = "Principale";

// One row of salvati, inviati or cancellati.
struct MessageRow {
    QString cognome;
    QString cellulare;
    QString data; // dd/MM/yyyy HH:mm:ss, as text
    QString testo;

    bool operator==(const MessageRow&) const = default;
};
size_t qHash(const MessageRow& row, size_t seed = 0);
// Adds the row through `rs`, a recordset open on a message table (one durable write, or part of
// the caller's transaction).
void addMessage(Recordset& rs, const MessageRow& row);

QString elencoPath(const QString& appFolder);                           // <folder>/elenco.mdb
QString templatePath(const QString& appFolder);                         // <folder>/rubrica_base.mdb
QString addressBookDir(const QString& appFolder);                       // <folder>/rubriche
QString addressBookPath(const QString& appFolder, const QString& name); // <folder>/rubriche/<name>

// Writes the databases of a new application folder: elenco.mdb listing `books`, the empty
// template, and one empty address book per name. Existing files are never overwritten
// (throws StoreError).
void createFolderDatabases(const QString& appFolder, const QStringList& books);

} // namespace store::archive
