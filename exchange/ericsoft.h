#pragma once

#include <QString>

#include <functional>
#include <optional>

namespace store {
class Database;
}

// The customers of the hotel program (its FoxPro table Anagrafiche) become contacts: one
// address book per market ("Mercato-" and the market code), Principale without a market, every
// mobile number once across all address books, in the form they keep it (phone::read's).
namespace ericsoft {

struct Outcome {
    enum Status {
        Done,
        Missing,    // the folder holds no table Anagrafiche
        Unreadable, // the table cannot be opened (the hotel program holds it, no permission)
        Damaged,    // the table is damaged: detail says how; contacts stored before stay
        Failed,     // an address book could not be read or written: detail says which
    } status = Done;
    qint64 imported = 0;
    qint64 refused = 0; // customers whose mobile field holds no phone number: not imported
    QString detail;
};

// Called now and then with the records read so far and the records of the table.
using Progress = std::function<void(qint64 done, qint64 total)>;

// "Mercato-" and the market code (its padding already dropped); characters a file name cannot
// hold become characters no table's code page has, so two codes never share a book: "/" gives
// "∕" (U+2215), "\" gives "∖" (U+2216), a control character its picture ("␀" to "␟", "␡").
QString marketBook(const QString& code);

// Makes sure the market's address book exists (row in `elenco`, file from the template), also
// for an empty code; returns its name as listed.
QString ensureMarketBook(store::Database& elenco, const QString& appFolder, const QString& code);

// Reads `folder`'s Anagrafiche table into the address books of `appFolder`, a few address books
// open at a time, each inside a transaction. A market code of blanks counts as none.
Outcome importCustomers(const QString& appFolder, const QString& folder,
                        const Progress& progress = {});

} // namespace ericsoft
