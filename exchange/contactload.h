#pragma once

#include "store/database.h"

#include <QByteArrayView>
#include <QList>
#include <QSet>
#include <QString>

#include <functional>
#include <optional>

// What the imports share to add contacts to table rubrica at the speed SQLite takes them.
namespace exchange {

// One prepared INSERT of a contact (icona "4"), its fields bound as UTF-8 text as they are.
class ContactInsert final {
public:
    explicit ContactInsert(store::Database& db);
    // Throws StoreError when the book refuses the row.
    void add(QByteArrayView nome, QByteArrayView cognome, QByteArrayView cellulare,
             QByteArrayView email);

private:
    store::sqlite::Statement m_insert;
};

// Contacts added in transactions that the caller commits one after the other (a few thousand
// contacts each), so that whatever stops the program, the book holds whole transactions: the
// first contacts of the load, in order. Into a book without contacts the indexes are made once,
// by finish(). The progress goes through the file's `size` bytes, then through the making of
// the indexes (a third of the whole).
class ContactLoad final {
public:
    using Progress = std::function<void(qint64 done, qint64 total)>;
    ContactLoad(store::Database& db, const Progress& progress, qint64 size);
    // Reports the progress: `position` bytes of the file read.
    void read(qint64 position) const;
    // Throws StoreError when the book refuses the row; the contacts added before it stay
    // pending, for commit(). Contacts still pending when the load goes are not stored.
    void add(QByteArrayView nome, QByteArrayView cognome, QByteArrayView cellulare,
             QByteArrayView email);
    // Commits the contacts pending. Throws StoreError when the book cannot save them: they are
    // lost, the earlier ones stay.
    void commit();
    // Commits, then makes the indexes dropped for the load, and reports the end. Throws
    // StoreError when the contacts cannot be saved; the indexes, when made at the next opening.
    void finish();
    qint64 committed() const { return m_committed; }
    qint64 pending() const { return m_pending; }

private:
    store::Database& m_db;
    ContactInsert m_insert;
    bool m_deferIndexes;
    const Progress& m_progress;
    qint64 m_size;
    qint64 m_total; // the file's size, and the share of the indexes
    std::optional<store::Database::Transaction> m_transaction;
    qint64 m_committed = 0;
    qint64 m_pending = 0;
};

// Mobile numbers, most of them digits alone: those are kept as whole numbers, with their length
// beside the value so that "0333" and "333" stay apart; anything else as text.
class NumberSet final {
public:
    bool contains(QStringView number) const;
    bool contains(QByteArrayView utf8) const;
    void insert(QStringView number);
    void insert(QByteArrayView utf8);

private:
    QSet<quint64> m_digits;
    QSet<QString> m_other;
};

// A contact an import did not take because its number is none, as the user is told it.
struct Refusal {
    qint64 place = 0; // the line of the file, or the card, from 1
    QString number;   // as the file writes it
    QString reason;   // why it is no phone number, in Italian
};

// What an import did with the contacts it read.
struct Tally {
    static constexpr qsizetype refusalsKept = 20;
    qint64 imported = 0;      // contacts stored
    qint64 duplicates = 0;    // contacts whose number the book or an earlier contact already has
    qint64 withoutNumber = 0; // contacts without a phone number
    qint64 refusedCount = 0;  // contacts whose number is no phone number
    QList<Refusal> refused;   // the first refusalsKept of them
};

// The numbers of a book and of the contacts an import took so far: each number read is turned
// into the form address books keep (phone::read), or refused, or found already there.
class ContactNumbers final {
public:
    // Reads the numbers of table rubrica of `db`.
    explicit ContactNumbers(store::Database& db);
    // The number to store for `typed`, read at `place`; std::nullopt when the contact is to be
    // skipped (no number, a number already there, no phone number), counted in `tally`.
    std::optional<QString> take(QStringView typed, qint64 place, Tally& tally);

private:
    NumberSet m_known;
};

} // namespace exchange
