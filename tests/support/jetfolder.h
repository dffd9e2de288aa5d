#pragma once

#include "support/jetwriter.h"

#include <QStringList>

// An archive folder as the older program kept it in Jet files: elenco.mdb listing the address
// books, rubrica_base.mdb and rubriche/<book> (no extension), each with the tables rubrica,
// salvati, inviati and cancellati. Accented names, empty and NULL fields, and in every file
// one inviati Testo long enough for LVAL pages.
namespace jetfolder {

struct Size {
    int books = 3;     // address books besides the base one
    int contacts = 20; // rows of rubrica, in every file
    int messages = 10; // rows of each message table, in every file
};

QStringList bookNames(int books);                               // elenco's rows, in order
QList<jetwriter::Table> bookTables(int contacts, int messages); // one file's tables
bool write(const QString& folder, const Size& size, QString* error = nullptr);

} // namespace jetfolder
