#pragma once

#include <QString>
#include <QStringView>

#include <functional>

namespace store {
class Database;
}

// Reads a semicolon-separated contact file into an address book. Line 1 names the columns;
// "Nome", "Cognome", "Cellulare" and "Posta elettronica" are found by exact name (the last
// one wins when a name repeats; a missing name reads the first column). Every further line is
// one contact, split at every ";".
namespace csvimport {

struct Columns {
    qsizetype nome = 0;
    qsizetype cognome = 0;
    qsizetype cellulare = 0;
    qsizetype email = 0;
    qsizetype fieldsNeeded() const; // one more than the highest index used
};
Columns columnsOf(QStringView header);

enum class Encoding { Windows1252, Utf8, Utf16LE, Utf16BE };
struct Detected {
    Encoding encoding;
    int bomLength;
};
// A byte-order mark decides; without one, text that is valid UTF-8 is UTF-8, anything else
// Windows-1252.
Detected detect(QByteArrayView data);

struct Outcome {
    enum Status {
        Done,       // every line read
        Stopped,    // a line could not be imported: the lines before it are stored
        EmptyFile,  // not even the line of column names
        Unreadable, // the file could not be opened or read
    } status = Done;
    qint64 imported = 0; // contacts stored
    qint64 line = 0;     // Stopped: the line (from 1) where the import stopped
    QString reason;      // Stopped, Unreadable: why, in Italian
};

// Called now and then with the bytes read so far and the file's size.
using Progress = std::function<void(qint64 done, qint64 total)>;

// Adds one contact (icona "4") per line to table rubrica of `db`, in transactions of a few
// thousand lines. Blank lines at the very end of the file are ignored.
Outcome importFile(const QString& path, store::Database& db, const Progress& progress = {});

} // namespace csvimport
