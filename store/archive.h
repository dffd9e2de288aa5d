#pragma once

#include "store/query.h"

#include <QList>
#include <QString>

// The archive files of an application folder and the tables they hold.
namespace store {
class Recordset;
}

namespace store::archive {

inline constexpr auto principale = "Principale";

// Table names by archive kind letter: 'r' rubrica, 's' salvati, 'i' inviati, 'c' cancellati.
// Returns an empty text for any other letter.
QString tableForKind(QChar kind);

TableSchema elencoTable();  // elenco(Rubrica)
TableSchema rubricaTable(); // rubrica(Nome, cognome, cellulare, email, icona)
// The rubrica fields that searches and the number lookup go through: each gets an index under
// the archive's text comparison, in new files and in older ones when they are opened. The
// surname's index also carries the other fields (wholeRow), so a search by surname reads the
// index alone instead of a row from nearly every page of a large table.
struct IndexedField {
    QString name;
    bool wholeRow = false;
};
QList<IndexedField> rubricaIndexes();
// salvati/inviati/cancellati(cognome, cellulare, Data, Testo)
TableSchema messageTable(const QString& name);
QList<TableSchema> addressBookTables(); // the four tables of an address book

// One row of salvati, inviati or cancellati.
struct MessageRow {
    QString cognome;
    QString cellulare;
    QString data; // dd/MM/yyyy HH:mm:ss, as text
    QString testo;
};
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
