#pragma once

#include "store/database.h"

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringList>

#include <memory>
#include <span>
#include <vector>

namespace store {

// One archive table as a list reads it, a slice at a time: the rowids in list order (surname
// without regard to case, no surname first, rows of one surname newest first) and the texts of
// the rows a screen shows. Each read is a statement of its own, reset at once, so no lock is
// held between reads; the connection stays open as long as the listing.
class Listing final {
public:
    // Opens the file at `path` on a connection of its own, with a small page cache.
    // `fields`: the columns read for each row, in the list's order; `surname` orders the rows.
    // Throws StoreError when the file cannot be opened.
    Listing(const QString& path, const QString& table, const QStringList& fields,
            const QString& surname);
    ~Listing();

    qint64 count() const;
    // The highest rowid now in the table; 0 when it is empty.
    qint64 lastRowid() const;

    // Appends the rowids of the next rows in list order, at least `rows` of them (whole runs of
    // one surname) unless the table ends first. False once the last row has been read.
    bool readOrder(std::vector<qint64>& order, qsizetype rows);
    bool orderRead() const { return m_done; }

    // Whether readWindow() can reach a row without the order before it (the table has the
    // list's order index).
    bool canJump() const { return m_canJump; }
    // The rowids of list rows [first, first + rows) of a table of `total` rows, stepped to from
    // the nearer end of the order index; fewer when the table has changed since it was counted.
    std::vector<qint64> readWindow(qint64 first, qsizetype rows, qint64 total) const;

    // The texts of the rows with these rowids (a null field reads as an empty text); a rowid
    // no longer in the table is absent.
    using Texts = QStringList;
    QHash<qint64, Texts> read(std::span<const qint64> rowids) const;

    // The file the listing reads, on its connection.
    Database& database() const { return *m_db; }

private:
    std::unique_ptr<Database> m_db;
    struct Reader;
    std::unique_ptr<Reader> m_reader;
    QString m_table;
    QStringList m_fields; // stored spelling
    QString m_surname;
    QString sortKey() const;
    qsizetype readRun(std::vector<qint64>& order, const QByteArray& key, qint64 below,
                      qsizetype limit);

    bool m_canJump = false;
    bool m_started = false;
    QByteArray m_lastKey;  // the sort key of the run the next read starts after
    qint64 m_runBelow = 0; // that run's rows below this rowid are still to read; 0: none
    bool m_done = false;
};

} // namespace store
