#pragma once

#include "tools/jetwriter.h"

#include <QStringList>

// An archive folder as the older program kept it in Jet files: elenco.mdb listing the address
// books, rubrica_base.mdb and rubriche/<book> (no extension), each with the tables rubrica,
// salvati, inviati and cancellati. Accented names, empty and NULL fields, and in every file
// one inviati Testo long enough for LVAL pages; the last of several books has icona as text.
namespace jetfolder {

struct Size {
    int books = 3;     // address books besides the base one
    int contacts = 20; // rows of rubrica, in every file
    int messages = 10; // rows of each message table, in every file
};

QStringList bookNames(int books); // elenco's rows, in order
// One file's tables; icona is a Long, or Text as some books of the older program had it.
QList<jetwriter::Table> bookTables(int contacts, int messages, bool iconAsText = false);
bool write(const QString& folder, const Size& size, QString* error = nullptr);

} // namespace jetfolder
