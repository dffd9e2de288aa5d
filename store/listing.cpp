#include "store/listing.h"

#include "store/jettext.h"

#include <algorithm>
#include <functional>
#include <limits>

namespace store {

namespace {

// Rows whose texts one statement reads.
constexpr int rowsPerRead = 256;

QString quoted(const QString& identifier) {
    QString inner = identifier;
    inner.replace(u'"', QStringLiteral("\"\""));
    return u'"' + inner + u'"';
}

} // namespace

struct Listing::Reader {
    sqlite::Statement rows; // the texts of the rowids bound to ?1 ... ?rowsPerRead
};

Listing::Listing(const QString& path, const QString& table, const QStringList& fields,
                 const QString& surname)
    : m_db(Database::open(path))
    , m_table(table)
    , m_fields(fields)
    , m_surname(surname) {
    // The order is read once through the whole index: a small cache, the pages come and go.
    m_db->connection()->exec("PRAGMA cache_size=-2048");
    // As a recordset names them: an unknown table or field is the engine's failure, never an
    // empty column.
    const QStringList stored = m_db->openRecordset(table)->fieldNames();
    for (QString& field : m_fields) {
        const auto found = std::find_if(stored.begin(), stored.end(), [&field](const QString& s) {
            return jettext::equal(s, field);
        });
        if (found == stored.end())
            throw StoreError(ItemNotFound,
                             QStringLiteral("Elemento '%1' non trovato nell'insieme.").arg(field));
        field = *found;
    }
    QStringList parameters;
    for (int i = 1; i <= rowsPerRead; ++i)
        parameters.append(u'?' + QString::number(i));
    QString sql = QStringLiteral("SELECT rowid");
    for (const QString& field : m_fields)
        sql += QStringLiteral(", ") + quoted(field);
    sql +=
        QStringLiteral(" FROM %1 WHERE rowid IN (%2)").arg(quoted(m_table), parameters.join(u','));
    m_reader = std::make_unique<Reader>(
        Reader{sqlite::Statement(*m_db->connection(), sql.toUtf8(), sqlite::Statement::Use::Kept)});
    sqlite::Statement orderIndex(*m_db->connection(),
                                 "SELECT 1 FROM sqlite_master WHERE type = 'index' AND "
                                 "tbl_name = ?1 COLLATE NOCASE AND sql LIKE ?2");
    orderIndex.bind(1, m_table).bind(2, u'%' + sortKey() + u'%');
    m_canJump = orderIndex.step();
}

Listing::~Listing() = default;

qint64 Listing::count() const {
    sqlite::Statement statement(
        *m_db->connection(),
        QStringLiteral("SELECT count(*) FROM %1").arg(quoted(m_table)).toUtf8());
    return statement.step() ? statement.integer(0) : 0;
}

qint64 Listing::lastRowid() const {
    sqlite::Statement statement(
        *m_db->connection(),
        QStringLiteral("SELECT ifnull(max(rowid), 0) FROM %1").arg(quoted(m_table)).toUtf8());
    return statement.step() ? statement.integer(0) : 0;
}

QString Listing::sortKey() const {
    return QStringLiteral("%1(%2)").arg(QLatin1String(Database::sortKeyFunction()),
                                        quoted(m_surname));
}

// The rows of the run with sort key `key` below rowid `below`, newest first, at most `limit`
// of them (-1: all): the index keeps a run's rows in rowid order, so this reads no further.
qsizetype Listing::readRun(std::vector<qint64>& order, const QByteArray& key, qint64 below,
                           qsizetype limit) {
    sqlite::Statement statement(*m_db->connection(),
                                QStringLiteral("SELECT rowid FROM %1 WHERE %2 = ?1 AND rowid < ?2 "
                                               "ORDER BY rowid DESC LIMIT ?3")
                                    .arg(quoted(m_table), sortKey())
                                    .toUtf8());
    statement.bind(1, key).bind(2, below).bind(3, static_cast<qint64>(limit));
    qsizetype added = 0;
    while (statement.step()) {
        order.push_back(statement.integer(0));
        ++added;
    }
    return added;
}

// The surnames' sort keys give the order (through the index that the contacts have); the
// rows of one surname come oldest first from it and are put newest first here. A read that
// ends inside a run keeps that run's newest rows, and the next read takes the rest of it.
bool Listing::readOrder(std::vector<qint64>& order, qsizetype rows) {
    if (m_done)
        return false;
    qsizetype added = 0;
    if (m_runBelow > 0) {
        added += readRun(order, m_lastKey, m_runBelow, -1);
        m_runBelow = 0;
        if (added >= rows)
            return true;
    }
    const QString key = sortKey();
    QString sql = QStringLiteral("SELECT rowid, %1 FROM %2").arg(key, quoted(m_table));
    if (m_started)
        sql += QStringLiteral(" WHERE %1 > ?1").arg(key);
    sql += QStringLiteral(" ORDER BY %1").arg(key);
    sqlite::Statement statement(*m_db->connection(), sql.toUtf8());
    if (m_started)
        statement.bind(1, m_lastKey);

    size_t runStart = order.size();
    bool inRun = false;
    QByteArray run;
    while (statement.step()) {
        const QByteArrayView rowKey = statement.utf8(1);
        if (!inRun || rowKey != QByteArrayView(run)) {
            if (inRun)
                std::sort(order.begin() + static_cast<std::ptrdiff_t>(runStart), order.end(),
                          std::greater<qint64>());
            inRun = true;
            runStart = order.size();
            run = rowKey.toByteArray();
        }
        order.push_back(statement.integer(0));
        if (++added < rows)
            continue;
        // Enough: the run read so far holds its oldest rows; its newest take their place.
        const auto inThisRun = static_cast<qsizetype>(order.size() - runStart);
        statement.reset();
        order.resize(runStart);
        readRun(order, run, std::numeric_limits<qint64>::max(), inThisRun);
        m_started = true;
        m_lastKey = run;
        m_runBelow = order.size() > runStart ? order.back() : 0;
        return true;
    }
    if (inRun)
        std::sort(order.begin() + static_cast<std::ptrdiff_t>(runStart), order.end(),
                  std::greater<qint64>());
    m_done = true;
    return false;
}

// The index keeps a run of one surname oldest first, the list newest first: the window is read
// in the index's order, then each run it cuts is read again newest first from where the
// window starts in it. Only the order index's entries are stepped over, never the rows.
std::vector<qint64> Listing::readWindow(qint64 first, qsizetype rows, qint64 total) const {
    std::vector<qint64> window;
    rows = std::min<qint64>(rows, total - first);
    if (first < 0 || rows <= 0)
        return window;
    const sqlite::Connection& connection = *m_db->connection();
    const QString key = sortKey();
    const bool fromEnd = first + rows / 2 > total / 2;
    std::vector<qint64> indexOrder;
    {
        sqlite::Statement statement(
            connection,
            QStringLiteral("SELECT rowid FROM %1 ORDER BY %2 %3, rowid %3 LIMIT ?1 "
                           "OFFSET ?2")
                .arg(quoted(m_table), key, fromEnd ? QStringLiteral("DESC") : QStringLiteral("ASC"))
                .toUtf8());
        statement.bind(1, static_cast<qint64>(rows))
            .bind(2, fromEnd ? total - first - rows : first);
        while (statement.step())
            indexOrder.push_back(statement.integer(0));
    }
    if (static_cast<qint64>(indexOrder.size()) != rows)
        return window; // the table changed since it was counted
    if (fromEnd)
        std::reverse(indexOrder.begin(), indexOrder.end());

    std::vector<QByteArray> keys;
    keys.reserve(indexOrder.size());
    sqlite::Statement keyOf(
        connection,
        QStringLiteral("SELECT %1 FROM %2 WHERE rowid = ?1").arg(key, quoted(m_table)).toUtf8());
    for (qint64 rowid : indexOrder) {
        keyOf.bind(1, rowid);
        if (!keyOf.step())
            return window;
        keys.push_back(keyOf.blob(0));
        keyOf.reset();
    }

    window.reserve(indexOrder.size());
    for (size_t i = 0; i < indexOrder.size();) {
        size_t j = i;
        while (j < indexOrder.size() && keys[j] == keys[i])
            ++j;
        if (i > 0 && j < indexOrder.size()) {
            // A whole run: its rows newest first.
            window.insert(window.end(),
                          indexOrder.rbegin() + static_cast<std::ptrdiff_t>(indexOrder.size() - j),
                          indexOrder.rend() - static_cast<std::ptrdiff_t>(i));
        } else {
            // A run cut by the window: it starts `before` rows ahead of the window.
            qint64 before = 0;
            if (i == 0) {
                sqlite::Statement count(connection,
                                        QStringLiteral("SELECT count(*) FROM %1 WHERE %2 = ?1 AND "
                                                       "rowid < ?2")
                                            .arg(quoted(m_table), key)
                                            .toUtf8());
                count.bind(1, keys[i]).bind(2, indexOrder[i]);
                before = count.step() ? count.integer(0) : 0;
            }
            sqlite::Statement run(connection,
                                  QStringLiteral("SELECT rowid FROM %1 WHERE %2 = ?1 ORDER BY "
                                                 "rowid DESC LIMIT ?2 OFFSET ?3")
                                      .arg(quoted(m_table), key)
                                      .toUtf8());
            run.bind(1, keys[i]).bind(2, static_cast<qint64>(j - i)).bind(3, before);
            while (run.step())
                window.push_back(run.integer(0));
        }
        i = j;
    }
    if (window.size() != indexOrder.size())
        window.clear();
    return window;
}

QHash<qint64, Listing::Texts> Listing::read(std::span<const qint64> rowids) const {
    QHash<qint64, Texts> found;
    found.reserve(static_cast<qsizetype>(rowids.size()));
    sqlite::Statement& statement = m_reader->rows;
    for (size_t from = 0; from < rowids.size(); from += rowsPerRead) {
        const size_t n = std::min<size_t>(rowsPerRead, rowids.size() - from);
        for (int slot = 0; slot < rowsPerRead; ++slot) {
            if (static_cast<size_t>(slot) < n)
                statement.bind(slot + 1, rowids[from + static_cast<size_t>(slot)]);
            else
                statement.bindNull(slot + 1);
        }
        try {
            while (statement.step()) {
                Texts texts;
                texts.reserve(m_fields.size());
                for (int c = 1; c <= m_fields.size(); ++c)
                    texts.append(statement.isNull(c) ? QStringLiteral("") : statement.text(c));
                found.insert(statement.integer(0), texts);
            }
        } catch (...) {
            statement.reset();
            throw;
        }
        statement.reset();
    }
    return found;
}

} // namespace store
