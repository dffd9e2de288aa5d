#pragma once

#include "store/database.h"

#include <QByteArrayView>
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

} // namespace exchange
