#pragma once

#include "store/archivekind.h"
#include "store/query.h"

#include <QList>
#include <QString>

// The tables of the archive files: their names, fields and indexes.
namespace store::archive {

// The table of an archive: rubrica, salvati, inviati, cancellati; an empty text for None.
QString tableForKind(ArchiveKind kind);

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

// The send report of an address book (esiti, beside inviati): what the service answered for
// each SMS of a send. Plain columns and a plain index, so a program that knows nothing of them
// reads and writes the file as before.
// An accepted SMS's delivery: the key the gateway gave it (chiave), the latest state it
// reported (stato, 0 while none came), when that report arrived (statoora) and the SMS
// centre's text (statotesto). A recipient's own text (testo) when the message's has fields.
// A file made before them gets them when it is opened.
inline constexpr char reportTable[] = "esiti";
inline constexpr char reportTableSql[] =
    "CREATE TABLE esiti (messaggio TEXT NOT NULL, ordine INTEGER NOT NULL, numero TEXT, "
    "cognome TEXT, parte INTEGER, esito TEXT, risposta TEXT, chiave TEXT, stato INTEGER, "
    "statoora TEXT, statotesto TEXT, testo TEXT);"
    "CREATE INDEX esiti_messaggio ON esiti (messaggio, ordine);"
    "CREATE INDEX esiti_chiave ON esiti (chiave)";
inline constexpr const char* reportDeliveryColumns[] = {
    "chiave TEXT", "stato INTEGER", "statoora TEXT", "statotesto TEXT", "testo TEXT"};
inline constexpr char reportKeyIndexSql[] =
    "CREATE INDEX IF NOT EXISTS esiti_chiave ON esiti (chiave)";

} // namespace store::archive
