#pragma once

#include <QString>
#include <QStringList>

namespace store {
class Database;
} // namespace store

// Creating, deleting and renaming address books: the row of elenco and the file in rubriche
// change together. Each function opens elenco.mdb for its own work. A failure throws
// store::StoreError and leaves the row and the file as they were.
namespace addressbooks {

// Code of a file step refused by the system (permission denied, file in use).
inline constexpr int PermissionDenied = 70;

// Why an operation was refused; nothing is changed then.
enum class Outcome {
    Done,
    InvalidName, // see isValidName
    Exists,      // another address book has that name, letter case aside (also the own name)
    Principale,  // the default address book is never deleted nor renamed
    NotListed    // elenco holds no row with exactly that name
};

// A name the folder can hold as a file: not blank, no "/", "\" or control character, not "."
// or "..", at most 100 characters.
bool isValidName(const QString& name);

// The names in elenco, in stored order.
QStringList names(const QString& appFolder);

// Copies the template to rubriche/<name>, then adds the row.
Outcome create(const QString& appFolder, const QString& name);
// Makes sure an address book exists, as imports that fill books by name need: when no row of
// `list` (an open elenco.mdb) has that name (letter case aside), copies the template to the file
// (unless one is there) and then adds the row, refusing a name isValidName refuses; a listed
// book whose file is missing gets the template. Returns the name as listed (the row's own
// spelling).
QString ensure(store::Database& list, const QString& appFolder, const QString& name);
// Moves the file aside, deletes the row, then removes the file (restored if the row stays).
Outcome remove(const QString& appFolder, const QString& name);
// Moves the file to the new name, then changes the row (the file moves back if that fails).
Outcome rename(const QString& appFolder, const QString& oldName, const QString& newName);

} // namespace addressbooks
