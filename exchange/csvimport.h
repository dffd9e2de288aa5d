#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

namespace store {
class Database;
}

// Reads a semicolon-separated contact file into an address book, as spreadsheets write them.
// Line 1 names the columns; "Cellulare" must be there, "Nome", "Cognome" and "Posta
// elettronica" may (letter case, blanks and quotes around a name do not matter; the last one
// wins when a name repeats). Every further line is one contact. A field in double quotes may
// hold ";", doubled quotes and line ends; any other field ends at the next ";". Lines end at
// CR LF, LF or a lone CR alike. A byte-order mark decides the encoding; without one, text
// that is valid UTF-8 is UTF-8, anything else Windows-1252.
namespace csvimport {

// Where a contact's fields are in the file's lines (-1: not in the file).
struct Columns {
    qsizetype nome = -1;
    qsizetype cognome = -1;
    qsizetype cellulare = -1;
    qsizetype email = -1;
};

// The head of a file, read before the import: its column names, its first contacts, and
// which columns the names point to.
struct Preview {
    QStringList names;       // the column names of line 1, as written (quotes removed)
    QList<QStringList> rows; // the fields of the first contacts (at most 5 lines)
    Columns columns;         // what the names say; cellulare -1 when they cannot tell the mobile
};

struct Outcome {
    enum Status {
        Done,           // every line read
        Stopped,        // a line could not be imported: the lines before it are stored
        EmptyFile,      // not even the line of column names
        NoNumberColumn, // the line of column names has no "Cellulare": nothing is imported
        Unreadable,     // the file could not be opened or read
    } status = Done;
    qint64 imported = 0; // contacts stored
    qint64 line = 0;     // Stopped: the line (from 1) where the import stopped
    QString reason;      // Stopped, Unreadable: why, in Italian
};

// Called now and then with the bytes read so far and the file's size.
using Progress = std::function<void(qint64 done, qint64 total)>;

// Adds one contact (icona "4") per line to table rubrica of `db`, in transactions of a few
// thousand lines. Blank lines hold no contact and are passed over. No stored field holds a CR
// or LF: a line end inside quotes is stored as one blank.
Outcome importFile(const QString& path, store::Database& db, const Progress& progress = {});

} // namespace csvimport
