#pragma once

#include "browser/entry.h"
#include "store/storeerror.h"

#include <QList>
#include <QString>

#include <optional>

namespace store {
class Database;
}

// Removing archive entries as the browser lists them. A contact is found by its number, a
// message by its number and its date text (compared as the archive's "=" compares). Among the
// rows found, the one with the entry's listed texts goes (two messages saved to one number in
// the same second differ by their text); failing that, the first in stored order.
namespace deletion {

// The texts of one listed entry (its archive and book are not read here).
using Entry = ::Entry;

// Deletes the row of the archive `kind` that `entry` identifies.
// False when no row matched (nothing is written). Throws StoreError.
bool removeEntry(store::Database& db, store::ArchiveKind kind, const Entry& entry);

struct Outcome {
    int deleted = 0; // rows removed (and moved) for good
    std::optional<store::StoreError> failure;
};

// Deletes the row of each entry. With `recycle`, every removed row is added to cancellati as
// it was, in the same savepoint, so a row is either moved or left where it was. One
// transaction for the whole work: a failure stops it, the rows done so far are kept, and the
// failure is returned rather than thrown.
Outcome removeEntries(store::Database& db, store::ArchiveKind kind, const QList<Entry>& entries,
                      bool recycle);

// "Seleziona Tutto" on the contacts: deletes every contact up to rowid `upTo` (the ticks cover
// exactly those), in one transaction; the contacts added since stay.
Outcome removeContactsUpTo(store::Database& db, qint64 upTo);

// Moves the rows of the entries of the deleted archive back to the sent one, each with its four
// values, each in its own savepoint, as removeEntries recycles them; `deleted` counts the moved.
Outcome restoreEntries(store::Database& db, const QList<Entry>& entries);

} // namespace deletion
