#pragma once

#include "exchange/contactload.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

namespace store {
class Database;
}

// Reads a contact file as spreadsheets and address-book programs write them: line 1 names the
// columns, every further line is one contact. The fields are separated by ";", "," or a tab:
// whichever of them splits line 1 into the most known column names (then into the most
// columns). A field in double quotes may hold the separator, doubled quotes and line ends.
// Lines end at CR LF, LF or a lone CR alike. A byte-order mark decides the encoding (UTF-8 or
// UTF-16); without one, text that is valid UTF-8 is UTF-8, anything else Windows-1252.
//
// Column names are known in the forms of this program's export ("Nome", "Cognome",
// "Cellulare", "Posta elettronica"), of Google Contacts and Outlook exports, English and
// Italian, and the usual Italian variants ("Telefono cellulare", "Telefono", "E-mail",
// "Indirizzo e-mail"...); letter case, blanks, dashes and accents do not matter. The mobile
// number comes from a column named for a mobile, else from typed phone columns ("Phone 1 -
// Type" = "Mobile" beside "Phone 1 - Value"), else from the one phone column of the file.
namespace csvimport {

// Where a contact's fields are in the file's lines (-1: not in the file).
struct Columns {
    qsizetype nome = -1;
    qsizetype cognome = -1;
    qsizetype cellulare = -1;
    qsizetype email = -1;
};

struct Outcome : exchange::Tally {
    enum Status {
        Done,           // every line read
        Stopped,        // a line could not be read: the contacts before it are stored
        EmptyFile,      // not even the line of column names
        NoNumberColumn, // the column names do not tell the mobile number: nothing is imported
        Unreadable,     // the file could not be opened or read
    } status = Done;
    qint64 line = 0;           // Stopped: the line (from 1) where the import stopped
    QString reason;            // Stopped, Unreadable: why, in Italian
    QStringList unusedColumns; // columns with something written in them that nothing took
};

// The head of a file, read before the import: its column names, its first contacts, and
// which columns the names point to.
struct Preview {
    QStringList names;       // the column names of line 1, as written (quotes removed)
    QList<QStringList> rows; // the fields of the first contacts (at most 5 lines)
    Columns columns;         // what the names say; cellulare -1 when they cannot tell the mobile
    // The names tell the mobile through typed phone columns (columns.cellulare is then -1):
    // an import without chosen columns takes each contact's mobile from them.
    bool typedPhones = false;
    // Done when the head could be read; otherwise why not (Unreadable, EmptyFile, Stopped).
    Outcome failure;
};

Preview preview(const QString& path);

// Called now and then with the bytes read so far and the file's size.
using Progress = std::function<void(qint64 done, qint64 total)>;

// Adds one contact (icona "4") per line to table rubrica of `db`, in transactions of a few
// thousand lines, with the columns the names point to (NoNumberColumn when they cannot tell
// the mobile), or with `chosen` ones. Blank lines hold no contact and are passed over; a line
// shorter than line 1 has its missing fields empty. Each number goes through phone::read: a
// contact whose number is none, or already in the book or an earlier line, or missing, is
// skipped and counted. An empty field is stored as one blank, as the contact editor stores
// it; a line end inside quotes as one blank; a contact with neither first name nor surname
// takes the surname from a full-name column ("Name", "Nome visualizzato"), if there is one.
Outcome importFile(const QString& path, store::Database& db, const Progress& progress = {});
Outcome importFile(const QString& path, const Columns& chosen, store::Database& db,
                   const Progress& progress = {});

} // namespace csvimport
