#include "store/database.h"

#include "store/archive.h"
#include "store/jettext.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <sqlite3.h>

#include <algorithm>
#include <limits>
#include <numeric>
#include <vector>

namespace store {

namespace {

constexpr char collationName[] = "quillet_nocase";
constexpr char likeFunctionName[] = "quillet_like";
constexpr int busyTimeoutMs = 5000;
constexpr int firstPageRows = 64;
constexpr int pageRows = 512;

QString quoted(const QString& identifier) {
    QString inner = identifier;
    inner.replace(u'"', QStringLiteral("\"\""));
    return u'"' + inner + u'"';
}

StoreError fileNotFound(const QString& path) {
    return StoreError(FileNotFound, QStringLiteral("Impossibile trovare il file '%1'.").arg(path));
}

StoreError notADatabase(const QString& path) {
    return StoreError(NotADatabase,
                      QStringLiteral("Formato di database '%1' non riconosciuto.").arg(path));
}

StoreError itemNotFound(const QString& field) {
    return StoreError(ItemNotFound,
                      QStringLiteral("Elemento '%1' non trovato nell'insieme.").arg(field));
}

StoreError noCurrentRecord() {
    return StoreError(NoCurrentRecord, QStringLiteral("Nessun record corrente."));
}

StoreError engineError(int rc, const char* detail, const QString& path) {
    switch (rc & 0xFF) {
    case SQLITE_NOTADB:
    case SQLITE_CORRUPT:
        return notADatabase(path);
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        return StoreError(
            EngineFailure,
            QStringLiteral("Il database '%1' è bloccato da un altro utente. Riprovare più tardi.")
                .arg(path));
    case SQLITE_READONLY:
    case SQLITE_PERM:
        return StoreError(
            EngineFailure,
            QStringLiteral("Impossibile aggiornare. Il database '%1' è di sola lettura.")
                .arg(path));
    case SQLITE_FULL:
        return StoreError(
            EngineFailure,
            QStringLiteral("Spazio su disco insufficiente per scrivere nel database '%1'.")
                .arg(path));
    case SQLITE_IOERR:
        return StoreError(
            EngineFailure,
            QStringLiteral("Errore del disco durante l'accesso al database '%1'.").arg(path));
    case SQLITE_CANTOPEN:
        return StoreError(EngineFailure,
                          QStringLiteral("Impossibile aprire il database '%1'.").arg(path));
    default:
        return StoreError(
            EngineFailure,
            QStringLiteral("Errore del database '%1': %2.").arg(path, QString::fromUtf8(detail)));
    }
}

int collate(void*, int lengthA, const void* a, int lengthB, const void* b) {
    return jettext::compareUtf8(QByteArrayView(static_cast<const char*>(a), lengthA),
                                QByteArrayView(static_cast<const char*>(b), lengthB));
}

QByteArrayView textArgument(sqlite3_value* value) {
    const auto* text = reinterpret_cast<const char*>(sqlite3_value_text(value));
    return QByteArrayView(text, sqlite3_value_bytes(value));
}

void deletePattern(void* pattern) {
    delete static_cast<jettext::LikePattern*>(pattern);
}

// quillet_like(pattern, value): the archive "like"; the parsed pattern is kept for the
// whole statement.
void likeFunction(sqlite3_context* context, int, sqlite3_value** args) {
    if (sqlite3_value_type(args[0]) == SQLITE_NULL || sqlite3_value_type(args[1]) == SQLITE_NULL)
        return; // NULL result: no match
    try {
        auto* pattern = static_cast<jettext::LikePattern*>(sqlite3_get_auxdata(context, 0));
        if (!pattern) {
            pattern = new jettext::LikePattern(textArgument(args[0]));
            sqlite3_set_auxdata(context, 0, pattern, deletePattern);
            pattern = static_cast<jettext::LikePattern*>(sqlite3_get_auxdata(context, 0));
            if (!pattern) {
                sqlite3_result_error_nomem(context);
                return;
            }
        }
        sqlite3_result_int(context, pattern->matches(textArgument(args[1])) ? 1 : 0);
    } catch (const std::bad_alloc&) {
        sqlite3_result_error_nomem(context);
    }
}

// A prepared statement, finalized on destruction.
class Statement {
public:
    Statement() = default;
    explicit Statement(sqlite3_stmt* handle)
        : m_handle(handle) {}
    ~Statement() { sqlite3_finalize(m_handle); }
    Statement(Statement&& other) noexcept
        : m_handle(std::exchange(other.m_handle, nullptr)) {}
    Statement& operator=(Statement&& other) noexcept {
        std::swap(m_handle, other.m_handle);
        return *this;
    }
    sqlite3_stmt* get() const { return m_handle; }

private:
    sqlite3_stmt* m_handle = nullptr;
};

int fieldPosition(const QStringList& fields, const QString& field) {
    for (qsizetype i = 0; i < fields.size(); ++i) {
        if (jettext::equal(fields[i], field))
            return static_cast<int>(i);
    }
    return -1;
}

} // namespace

// A column that leads an index under the archive comparison, and how many of the table's
// columns that index holds.
struct LeadingColumn {
    QString name;
    int columns;
};

// One SQLite connection, shared by a database and the recordsets opened on it; the file
// is closed when the last of them goes.
class Connection {
public:
    static std::shared_ptr<Connection> open(const QString& path, int flags);
    ~Connection() { sqlite3_close_v2(m_db); }
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    const QString& path() const { return m_path; }

    Statement prepare(const QString& sql, unsigned int flags = 0) const;
    void bind(sqlite3_stmt* statement, int index, const QString& value) const;
    // Runs a statement that returns no rows, then resets it.
    void run(sqlite3_stmt* statement) const;
    void exec(const char* sql) const;
    [[noreturn]] void fail(int rc) const;

    bool inTransaction() const { return !sqlite3_get_autocommit(m_db); }
    // Undoes the open transaction (or savepoint); the failure that led here is the one to
    // report, so its own errors are ignored.
    void rollback(bool savepoint) const noexcept;
    qint64 changes() const { return sqlite3_changes64(m_db); }

    bool readOnly() const { return sqlite3_db_readonly(m_db, "main") == 1; }
    void setBusyTimeout(int ms) const { sqlite3_busy_timeout(m_db, ms); }

    // The stored spelling of a table name (3078 when there is none; findTable: empty) and
    // its columns.
    QString tableName(const QString& table) const;
    QString findTable(const QString& table) const;
    QStringList columns(const QString& table) const;
    // The columns that lead an index under the archive comparison.
    QList<LeadingColumn> indexes(const QString& table) const;

private:
    Connection(sqlite3* db, QString path)
        : m_db(db)
        , m_path(std::move(path)) {}
    sqlite3* m_db;
    QString m_path;
};

std::shared_ptr<Connection> Connection::open(const QString& path, int flags) {
    QByteArray fileName = QFile::encodeName(path);
    if (fileName.startsWith("file:")) // never read as a URI
        fileName.prepend("./");
    sqlite3* db = nullptr;
    const int rc = sqlite3_open_v2(fileName.constData(), &db, flags, nullptr);
    if (rc != SQLITE_OK) {
        const StoreError error = engineError(rc, db ? sqlite3_errmsg(db) : "", path);
        sqlite3_close_v2(db);
        throw error;
    }
    std::shared_ptr<Connection> connection(new Connection(db, path));
    sqlite3_extended_result_codes(db, 1);
    sqlite3_busy_timeout(db, busyTimeoutMs);
    int registered =
        sqlite3_create_collation_v2(db, collationName, SQLITE_UTF8, nullptr, collate, nullptr);
    if (registered == SQLITE_OK) {
        registered = sqlite3_create_function_v2(
            db, likeFunctionName, 2, SQLITE_UTF8 | SQLITE_DETERMINISTIC | SQLITE_INNOCUOUS, nullptr,
            likeFunction, nullptr, nullptr, nullptr);
    }
    if (registered != SQLITE_OK)
        connection->fail(registered);
    connection->exec("PRAGMA synchronous=FULL");
    // Room for the indexes of a large address book, so bulk writes do not spill pages before
    // the commit (pages are taken only as they are used).
    connection->exec("PRAGMA cache_size=-32768");
    return connection;
}

Statement Connection::prepare(const QString& sql, unsigned int flags) const {
    const QByteArray utf8 = sql.toUtf8();
    sqlite3_stmt* handle = nullptr;
    const int rc = sqlite3_prepare_v3(m_db, utf8.constData(), static_cast<int>(utf8.size()), flags,
                                      &handle, nullptr);
    if (rc != SQLITE_OK)
        fail(rc);
    return Statement(handle);
}

void Connection::bind(sqlite3_stmt* statement, int index, const QString& value) const {
    int rc;
    if (value.isNull()) {
        rc = sqlite3_bind_null(statement, index);
    } else {
        const QByteArray utf8 = value.toUtf8();
        rc = sqlite3_bind_text64(statement, index, utf8.constData(),
                                 static_cast<sqlite3_uint64>(utf8.size()), SQLITE_TRANSIENT,
                                 SQLITE_UTF8);
    }
    if (rc != SQLITE_OK)
        fail(rc);
}

void Connection::run(sqlite3_stmt* statement) const {
    const int rc = sqlite3_step(statement);
    sqlite3_reset(statement);
    if (rc != SQLITE_DONE && rc != SQLITE_ROW)
        fail(rc);
}

void Connection::exec(const char* sql) const {
    const int rc = sqlite3_exec(m_db, sql, nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK)
        fail(rc);
}

void Connection::rollback(bool savepoint) const noexcept {
    if (inTransaction())
        sqlite3_exec(m_db, savepoint ? "ROLLBACK TO nested; RELEASE nested" : "ROLLBACK", nullptr,
                     nullptr, nullptr);
}

void Connection::fail(int rc) const {
    throw engineError(rc, sqlite3_errmsg(m_db), m_path);
}

QString Connection::findTable(const QString& table) const {
    const Statement statement =
        prepare(QStringLiteral("SELECT name FROM sqlite_master WHERE type = 'table' AND name = "
                               "?1 COLLATE %1 AND name NOT LIKE 'sqlite\\_%' ESCAPE '\\'")
                    .arg(QLatin1String(collationName)));
    bind(statement.get(), 1, table);
    const int rc = sqlite3_step(statement.get());
    if (rc == SQLITE_ROW)
        return QString::fromUtf8(
            reinterpret_cast<const char*>(sqlite3_column_text(statement.get(), 0)));
    if (rc != SQLITE_DONE)
        fail(rc);
    return {};
}

QString Connection::tableName(const QString& table) const {
    QString name = findTable(table);
    if (!name.isEmpty())
        return name;
    throw StoreError(TableNotFound,
                     QStringLiteral("Impossibile trovare la tabella o la query di input '%1'. "
                                    "Verificare che esista e che il nome sia stato digitato "
                                    "correttamente.")
                         .arg(table));
}

QStringList Connection::columns(const QString& table) const {
    const Statement statement = prepare(QStringLiteral("SELECT name FROM pragma_table_info(?1)"));
    bind(statement.get(), 1, table);
    QStringList names;
    int rc;
    while ((rc = sqlite3_step(statement.get())) == SQLITE_ROW)
        names.append(QString::fromUtf8(
            reinterpret_cast<const char*>(sqlite3_column_text(statement.get(), 0))));
    if (rc != SQLITE_DONE)
        fail(rc);
    return names;
}

QList<LeadingColumn> Connection::indexes(const QString& table) const {
    const Statement statement =
        prepare(QStringLiteral("SELECT x.name, (SELECT count(DISTINCT y.cid) FROM "
                               "pragma_index_xinfo(l.name) AS y WHERE y.key = 1 AND y.cid >= 0) "
                               "FROM pragma_index_list(?1) AS l, pragma_index_xinfo(l.name) AS x "
                               "WHERE l.partial = 0 AND x.seqno = 0 AND x.cid >= 0 AND "
                               "x.coll = '%1' COLLATE NOCASE")
                    .arg(QLatin1String(collationName)));
    bind(statement.get(), 1, table);
    QList<LeadingColumn> found;
    int rc;
    while ((rc = sqlite3_step(statement.get())) == SQLITE_ROW)
        found.append({QString::fromUtf8(
                          reinterpret_cast<const char*>(sqlite3_column_text(statement.get(), 0))),
                      sqlite3_column_int(statement.get(), 1)});
    if (rc != SQLITE_DONE)
        fail(rc);
    return found;
}

// --- Contact indexes -----------------------------------------------------------------------

namespace {

// The indexed rubrica fields among `columns` (stored spelling) that no index leads yet.
QList<archive::IndexedField> missingIndexes(const QStringList& columns,
                                            const QList<LeadingColumn>& indexed) {
    QList<archive::IndexedField> missing;
    for (const archive::IndexedField& field : archive::rubricaIndexes()) {
        const int column = fieldPosition(columns, field.name);
        const bool present = std::any_of(indexed.begin(), indexed.end(), [&](const auto& index) {
            return jettext::equal(index.name, field.name);
        });
        if (column >= 0 && !present)
            missing.append({columns[column], field.wholeRow});
    }
    return missing;
}

void createIndexes(const Connection& connection, const QString& table, const QStringList& columns,
                   const QList<archive::IndexedField>& fields) {
    for (const archive::IndexedField& field : fields) {
        QString keys =
            quoted(field.name) + QStringLiteral(" COLLATE ") + QLatin1String(collationName);
        for (const QString& column : columns) {
            if (field.wholeRow && column != field.name)
                keys += QStringLiteral(", ") + quoted(column);
        }
        const Statement statement = connection.prepare(
            QStringLiteral("CREATE INDEX IF NOT EXISTS %1 ON %2 (%3)")
                .arg(quoted(archive::rubricaTable().name + u'_' + field.name.toLower()),
                     quoted(table), keys));
        connection.run(statement.get());
    }
}

// An address book made before the indexes, or by an import, gets them when it is opened; a
// file that cannot be written, or that another writer holds at that moment, is used as it is
// (searches scan it) and tried again at the next opening.
void indexContacts(const Connection& connection) {
    const QString table = connection.findTable(archive::rubricaTable().name);
    if (table.isEmpty())
        return;
    const QStringList columns = connection.columns(table);
    const auto missing = missingIndexes(columns, connection.indexes(table));
    if (missing.isEmpty() || connection.readOnly())
        return;
    try {
        connection.setBusyTimeout(0); // no waiting for another writer
        connection.exec("BEGIN IMMEDIATE");
        connection.setBusyTimeout(busyTimeoutMs);
        createIndexes(connection, table, columns, missing);
        connection.exec("COMMIT");
    } catch (const StoreError&) {
        connection.setBusyTimeout(busyTimeoutMs);
        connection.rollback(false);
    }
}

} // namespace

// --- Selection -----------------------------------------------------------------------------

// How a recordset reaches its rows.
enum class RowAccess : unsigned char {
    Scan,   // each page read in rowid order straight from the table
    ByKeys, // the matching rowids read first through an index (when opened and at MoveFirst),
            // then the rows fetched by rowid, a page at a time
    Whole,  // all the matching rows read at once from an index that carries them, then put
            // in rowid order
};

struct Selection {
    QString table;
    QStringList fields;
    QString where; // the conditions, ?1..?n
    QStringList bindings;
    RowAccess access = RowAccess::Scan;
};

namespace {

Selection selectionFor(const Connection& connection, const Query& query) {
    Selection s;
    s.table = connection.tableName(query.table());
    s.fields = connection.columns(s.table);
    if (query.conditions().isEmpty())
        return s;
    const QList<LeadingColumn> indexes = connection.indexes(s.table);
    const QLatin1String collation(collationName);
    QStringList terms;
    QList<QPair<QString, jettext::LikeBounds>> ranges; // by quoted column
    // True when an index can narrow the rows by this field; one that carries the whole row is
    // read alone.
    auto useIndex = [&](const QString& field) {
        bool found = false;
        for (const LeadingColumn& index : indexes) {
            if (!jettext::equal(index.name, field))
                continue;
            found = true;
            if (index.columns >= s.fields.size())
                s.access = RowAccess::Whole;
            else if (s.access == RowAccess::Scan)
                s.access = RowAccess::ByKeys;
        }
        return found;
    };
    for (const Query::Condition& condition : query.conditions()) {
        const int index = fieldPosition(s.fields, condition.field);
        if (index < 0)
            throw itemNotFound(condition.field);
        s.bindings.append(condition.value);
        const QString parameter = u'?' + QString::number(s.bindings.size());
        const QString column = quoted(s.fields[index]);
        if (condition.op == Query::Op::Equal) {
            terms.append(QStringLiteral("%1 = %2 COLLATE %3").arg(column, parameter, collation));
            useIndex(s.fields[index]);
            continue;
        }
        terms.append(
            QStringLiteral("%1(%2, %3)").arg(QLatin1String(likeFunctionName), parameter, column));
        if (condition.value.isNull())
            continue;
        // From the same UTF-8 text the like function receives.
        const QByteArray pattern = condition.value.toUtf8();
        jettext::LikeBounds bounds = jettext::LikePattern(QByteArrayView(pattern)).bounds();
        if (bounds.low.isEmpty())
            continue;
        if (useIndex(s.fields[index]))
            ranges.append({column, std::move(bounds)});
    }
    // The like test stays the exact filter; the ranges only let the index narrow the rows.
    for (const auto& [column, bounds] : std::as_const(ranges)) {
        s.bindings.append(bounds.low);
        terms.append(QStringLiteral("%1 >= ?%2 COLLATE %3")
                         .arg(column)
                         .arg(s.bindings.size())
                         .arg(collation));
        if (bounds.high.isNull())
            continue;
        s.bindings.append(bounds.high);
        terms.append(QStringLiteral("%1 < ?%2 COLLATE %3")
                         .arg(column)
                         .arg(s.bindings.size())
                         .arg(collation));
    }
    s.where = terms.join(QStringLiteral(" AND "));
    return s;
}

QString selectColumns(const QString& table, const QStringList& fields) {
    QString sql = QStringLiteral("SELECT rowid");
    for (const QString& field : fields)
        sql += QStringLiteral(", ") + quoted(field);
    return sql + QStringLiteral(" FROM ") + quoted(table);
}

// The rows after rowid ?n+1, at most ?n+2 of them.
QString pageSql(const Selection& s) {
    const qsizetype after = s.bindings.size() + 1;
    QString sql =
        selectColumns(s.table, s.fields) + QStringLiteral(" WHERE rowid > ?%1").arg(after);
    if (!s.where.isEmpty())
        sql += QStringLiteral(" AND (%1)").arg(s.where);
    return sql + QStringLiteral(" ORDER BY rowid LIMIT ?%1").arg(after + 1);
}

// The rows whose rowids are bound to ?1 ... ?slotCount (a null slot matches nothing).
QString keyedPageSql(const Selection& s, int slotCount) {
    QStringList parameters;
    for (int i = 1; i <= slotCount; ++i)
        parameters.append(u'?' + QString::number(i));
    return selectColumns(s.table, s.fields) +
           QStringLiteral(" WHERE rowid IN (%1) ORDER BY rowid").arg(parameters.join(u','));
}

store::Statement prepareBound(const Connection& connection, const QString& sql,
                              const QStringList& bindings) {
    store::Statement statement = connection.prepare(sql, SQLITE_PREPARE_PERSISTENT);
    for (qsizetype i = 0; i < bindings.size(); ++i)
        connection.bind(statement.get(), static_cast<int>(i) + 1, bindings[i]);
    return statement;
}

// All the matching rows, in the order of the index that carries them.
QString wholeSql(const Selection& s) {
    return selectColumns(s.table, s.fields) + QStringLiteral(" WHERE ") + s.where;
}

QString keysSql(const Selection& s) {
    // No ORDER BY: the planner would rather walk the table in rowid order than sort.
    return QStringLiteral("SELECT rowid FROM %1 WHERE %2").arg(quoted(s.table), s.where);
}

} // namespace

// --- Database ------------------------------------------------------------------------------

Database::Database(QString path, std::shared_ptr<Connection> connection)
    : m_path(std::move(path))
    , m_connection(std::move(connection)) {}

Database::~Database() = default;

std::unique_ptr<Database> Database::open(const QString& path) {
    const QFileInfo info(path);
    if (!info.isFile())
        throw fileNotFound(path);
    if (info.size() == 0) // SQLite would take it for a new, empty database
        throw notADatabase(path);
    auto connection = Connection::open(path, SQLITE_OPEN_READWRITE);
    // Reading the schema is what tells a database from any other file.
    const Statement probe =
        connection->prepare(QStringLiteral("SELECT count(*) FROM sqlite_master"));
    connection->run(probe.get());
    indexContacts(*connection);
    return std::unique_ptr<Database>(new Database(path, std::move(connection)));
}

std::unique_ptr<Database> Database::create(const QString& path, const QList<TableSchema>& tables) {
    auto exists = [&path] {
        return StoreError(DatabaseExists, QStringLiteral("Database '%1' già esistente.").arg(path));
    };
    if (QFileInfo::exists(path))
        throw exists();

    // Written under a temporary name and renamed, so no half-made file ever carries the name.
    QString temporary;
    do {
        temporary = QStringLiteral("%1.%2.tmp")
                        .arg(path)
                        .arg(QRandomGenerator::global()->generate(), 8, 16, QLatin1Char('0'));
    } while (QFileInfo::exists(temporary));
    try {
        auto connection = Connection::open(temporary, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
        connection->exec("BEGIN IMMEDIATE");
        for (const TableSchema& table : tables) {
            QStringList columns;
            for (const QString& field : table.fields)
                columns.append(quoted(field) + QStringLiteral(" TEXT"));
            const Statement statement =
                connection->prepare(QStringLiteral("CREATE TABLE %1 (%2)")
                                        .arg(quoted(table.name), columns.join(u", ")));
            connection->run(statement.get());
            if (jettext::equal(table.name, archive::rubricaTable().name))
                createIndexes(*connection, table.name, table.fields,
                              missingIndexes(table.fields, {}));
        }
        connection->exec("COMMIT");
    } catch (const StoreError& error) {
        QFile::remove(temporary);
        QFile::remove(temporary + QStringLiteral("-journal"));
        throw StoreError(error.code(), QString(error.message()).replace(temporary, path));
    }
    if (!QFile::rename(temporary, path)) {
        QFile::remove(temporary);
        if (QFileInfo::exists(path))
            throw exists();
        throw StoreError(EngineFailure,
                         QStringLiteral("Impossibile creare il file '%1'.").arg(path));
    }
    return open(path);
}

bool Database::hasTable(const QString& table) const {
    try {
        m_connection->tableName(table);
        return true;
    } catch (const StoreError& error) {
        if (error.code() == TableNotFound)
            return false;
        throw;
    }
}

std::unique_ptr<Recordset> Database::openRecordset(const QString& table) {
    return openRecordset(Query(table));
}

std::unique_ptr<Recordset> Database::openRecordset(const Query& query) {
    std::unique_ptr<Recordset> recordset(
        new Recordset(m_connection, selectionFor(*m_connection, query)));
    recordset->execute();
    return recordset;
}

QStringList Database::queryPlan(const Query& query) const {
    const Selection selection = selectionFor(*m_connection, query);
    const QString sql = selection.access == RowAccess::Whole    ? wholeSql(selection)
                        : selection.access == RowAccess::ByKeys ? keysSql(selection)
                                                                : pageSql(selection);
    const Statement statement = m_connection->prepare(QStringLiteral("EXPLAIN QUERY PLAN ") + sql);
    QStringList steps;
    int rc;
    while ((rc = sqlite3_step(statement.get())) == SQLITE_ROW)
        steps.append(QString::fromUtf8(
            reinterpret_cast<const char*>(sqlite3_column_text(statement.get(), 3))));
    if (rc != SQLITE_DONE)
        m_connection->fail(rc);
    return steps;
}

Database::Transaction::Transaction(Database& db)
    : m_connection(db.m_connection)
    , m_nested(m_connection->inTransaction()) {
    m_connection->exec(m_nested ? "SAVEPOINT nested" : "BEGIN IMMEDIATE");
}

Database::Transaction::~Transaction() {
    if (!m_done)
        m_connection->rollback(m_nested);
}

void Database::Transaction::commit() {
    m_connection->exec(m_nested ? "RELEASE nested" : "COMMIT");
    m_done = true;
}

void Database::transaction(const std::function<void()>& fn) {
    Transaction transaction(*this);
    fn();
    transaction.commit();
}

// --- Recordset -----------------------------------------------------------------------------

// The rows of the current page (copied out, so no read lock is held between moves) and
// the prepared statements of the recordset.
struct Recordset::Statement {
    store::Statement select; // Scan: pageSql; Whole: wholeSql
    store::Statement keysSelect;
    std::vector<std::pair<int, store::Statement>> keyedPages; // by slot count (keyedPageSql)
    std::vector<std::pair<QString, store::Statement>> writes;
    sqlite3_stmt* lastInsert = nullptr; // one of writes
    QStringList lastInsertFields;

    struct Cell {
        qint32 offset;
        qint32 length; // -1 for a null value
    };
    QByteArray data;
    std::vector<qint64> rowids;
    std::vector<Cell> cells;    // rows * columns
    std::vector<quint32> order; // Whole: the rows as read, in stored order
    size_t row = 0;             // the current row within the page
    qint64 after = 0;           // the page holds the rows after this rowid
    bool lastPage = false;
    std::vector<qint64> keys; // ByKeys: the matching rowids, ascending
    size_t nextKey = 0;       // ByKeys: the first key not fetched yet

    // Where the current row lies in rowids and cells.
    size_t stored() const { return order.empty() ? row : order[row]; }

    sqlite3_stmt* write(const Connection& connection, const QString& sql) {
        for (auto& [text, statement] : writes) {
            if (text == sql)
                return statement.get();
        }
        writes.emplace_back(sql, connection.prepare(sql, SQLITE_PREPARE_PERSISTENT));
        return writes.back().second.get();
    }
};

Recordset::Recordset(std::shared_ptr<Connection> connection, Selection&& selection)
    : m_connection(std::move(connection))
    , m_table(std::move(selection.table))
    , m_whereSql(std::move(selection.where))
    , m_bindings(std::move(selection.bindings))
    , m_access(selection.access)
    , m_fields(std::move(selection.fields))
    , m_statement(std::make_unique<Statement>()) {}

Recordset::~Recordset() = default;

Selection Recordset::selection() const {
    return {m_table, m_fields, m_whereSql, m_bindings, m_access};
}

void Recordset::execute() {
    Statement& s = *m_statement;
    switch (m_access) {
    case RowAccess::Scan:
        s.select = prepareBound(*m_connection, pageSql(selection()), m_bindings);
        break;
    case RowAccess::ByKeys:
        s.keysSelect = prepareBound(*m_connection, keysSql(selection()), m_bindings);
        break;
    case RowAccess::Whole:
        s.select = prepareBound(*m_connection, wholeSql(selection()), m_bindings);
        break;
    }
    restart();
}

void Recordset::restart() {
    cancelPending();
    Statement& s = *m_statement;
    s.rowids.clear();
    s.after = std::numeric_limits<qint64>::min();
    s.lastPage = false;
    m_position = 0;
    if (m_access == RowAccess::Whole) {
        readWhole();
    } else {
        if (m_access == RowAccess::ByKeys)
            readKeys();
        fetch(firstPageRows);
    }
    land();
}

// All the matching rows as one page, put in stored order.
void Recordset::readWhole() {
    Statement& s = *m_statement;
    s.data.clear();
    s.rowids.clear();
    s.cells.clear();
    s.row = 0;
    s.lastPage = true;
    s.order.clear();
    readPage(s.select.get());
    s.order.resize(s.rowids.size());
    std::iota(s.order.begin(), s.order.end(), quint32{0});
    std::sort(s.order.begin(), s.order.end(),
              [&s](quint32 a, quint32 b) { return s.rowids[a] < s.rowids[b]; });
}

// The rowids of the matching rows, read at once (so no lock is held afterwards).
void Recordset::readKeys() {
    Statement& s = *m_statement;
    s.keys.clear();
    s.nextKey = 0;
    sqlite3_stmt* select = s.keysSelect.get();
    int rc;
    while ((rc = sqlite3_step(select)) == SQLITE_ROW)
        s.keys.push_back(sqlite3_column_int64(select, 0));
    sqlite3_reset(select);
    if (rc != SQLITE_DONE) {
        s.keys.clear();
        m_connection->fail(rc);
    }
    std::sort(s.keys.begin(), s.keys.end());
}

// Replaces the page with the next rows after the last one read; the statement is reset at
// once, so the file is not kept locked between moves.
void Recordset::fetch(int rows) {
    Statement& s = *m_statement;
    if (!s.rowids.empty())
        s.after = s.rowids.back();
    s.data.clear();
    s.rowids.clear();
    s.cells.clear();
    s.row = 0;

    if (m_access == RowAccess::Scan) {
        sqlite3_stmt* select = s.select.get();
        const int afterParameter = static_cast<int>(m_bindings.size()) + 1;
        sqlite3_bind_int64(select, afterParameter, s.after);
        sqlite3_bind_int(select, afterParameter + 1, rows);
        readPage(select);
        s.lastPage = static_cast<int>(s.rowids.size()) < rows;
        return;
    }

    // ByKeys: the next `rows` keys; rows deleted since the keys were read are skipped.
    if (s.nextKey >= s.keys.size()) {
        s.lastPage = true;
        return;
    }
    auto page = std::find_if(s.keyedPages.begin(), s.keyedPages.end(),
                             [rows](const auto& p) { return p.first == rows; });
    if (page == s.keyedPages.end()) {
        s.keyedPages.emplace_back(rows,
                                  prepareBound(*m_connection, keyedPageSql(selection(), rows), {}));
        page = s.keyedPages.end() - 1;
    }
    sqlite3_stmt* select = page->second.get();
    do {
        for (int slot = 1; slot <= rows; ++slot) {
            if (s.nextKey < s.keys.size())
                sqlite3_bind_int64(select, slot, s.keys[s.nextKey++]);
            else
                sqlite3_bind_null(select, slot);
        }
        s.lastPage = s.nextKey >= s.keys.size();
        readPage(select);
    } while (s.rowids.empty() && !s.lastPage);
}

void Recordset::readPage(sqlite3_stmt* select) {
    Statement& s = *m_statement;
    const int columns = static_cast<int>(m_fields.size());
    int rc;
    while ((rc = sqlite3_step(select)) == SQLITE_ROW) {
        s.rowids.push_back(sqlite3_column_int64(select, 0));
        for (int c = 1; c <= columns; ++c) {
            const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(select, c));
            if (!text) {
                s.cells.push_back({0, -1});
                continue;
            }
            const int length = sqlite3_column_bytes(select, c);
            s.cells.push_back({static_cast<qint32>(s.data.size()), length});
            s.data.append(text, length);
        }
    }
    sqlite3_reset(select);
    if (rc != SQLITE_DONE) {
        s.rowids.clear();
        s.cells.clear();
        s.lastPage = true;
        m_current = false;
        m_eof = true;
        m_connection->fail(rc);
    }
}

qsizetype Recordset::foundRows() const {
    switch (m_access) {
    case RowAccess::ByKeys:
        return static_cast<qsizetype>(m_statement->keys.size());
    case RowAccess::Whole:
        return static_cast<qsizetype>(m_statement->rowids.size());
    case RowAccess::Scan:
        break;
    }
    return -1;
}

void Recordset::step() {
    cancelPending();
    Statement& s = *m_statement;
    ++s.row;
    if (s.row >= s.rowids.size() && !s.lastPage)
        fetch(pageRows);
    land();
}

void Recordset::land() {
    const Statement& s = *m_statement;
    if (s.row < s.rowids.size()) {
        m_rowid = s.rowids[s.stored()];
        m_current = true;
        m_eof = false;
        ++m_position;
        m_visited = std::max(m_visited, m_position);
    } else {
        m_current = false;
        m_eof = true;
    }
}

void Recordset::cancelPending() {
    m_editMode = EditMode::None;
    m_pending.clear();
}

void Recordset::MoveFirst() {
    restart();
    if (!m_current)
        throw noCurrentRecord();
}

void Recordset::MoveNext() {
    if (m_eof)
        throw noCurrentRecord();
    step();
}

void Recordset::requireCurrent() const {
    if (!m_current)
        throw noCurrentRecord();
}

int Recordset::fieldIndex(const QString& field) const {
    const int index = fieldPosition(m_fields, field);
    if (index < 0)
        throw itemNotFound(field);
    return index;
}

QByteArrayView Recordset::rawText(int column) const {
    requireCurrent();
    if (column < 0 || column >= m_fields.size())
        throw itemNotFound(QString::number(column));
    const Statement& s = *m_statement;
    const Statement::Cell& cell =
        s.cells[s.stored() * static_cast<size_t>(m_fields.size()) + static_cast<size_t>(column)];
    if (cell.length < 0)
        return {};
    return QByteArrayView(s.data.constData() + cell.offset, cell.length);
}

QString Recordset::value(const QString& field) const {
    const int column = fieldIndex(field);
    const QByteArrayView text = rawText(column);
    return text.isNull() ? QStringLiteral("") : QString::fromUtf8(text);
}

void Recordset::AddNew() {
    cancelPending();
    m_editMode = EditMode::AddNew;
}

void Recordset::Edit() {
    requireCurrent();
    cancelPending();
    m_editMode = EditMode::Edit;
}

void Recordset::setValue(const QString& field, const QString& value) {
    if (m_editMode == EditMode::None)
        throw updateWithoutEdit();
    const QString& name = m_fields[fieldIndex(field)];
    for (auto& pending : m_pending) {
        if (pending.first == name) {
            pending.second = value;
            return;
        }
    }
    m_pending.append({name, value});
}

StoreError Recordset::updateWithoutEdit() {
    return StoreError(UpdateWithoutEdit,
                      QStringLiteral("Update o CancelUpdate senza AddNew o Edit."));
}

void Recordset::Update() {
    if (m_editMode == EditMode::None)
        throw updateWithoutEdit();
    const Connection& connection = *m_connection;
    if (m_editMode == EditMode::AddNew) {
        connection.run(insertStatement());
        cancelPending();
        return;
    }

    const QString table = quoted(m_table);
    QStringList columns;
    for (const auto& pending : std::as_const(m_pending))
        columns.append(quoted(pending.first));
    requireCurrent();
    if (!columns.isEmpty()) {
        QStringList assignments;
        for (qsizetype i = 0; i < columns.size(); ++i)
            assignments.append(columns[i] + QStringLiteral(" = ?") + QString::number(i + 1));
        const QString sql = QStringLiteral("UPDATE %1 SET %2 WHERE rowid = ?%3")
                                .arg(table, assignments.join(u", "))
                                .arg(columns.size() + 1);
        sqlite3_stmt* update = m_statement->write(connection, sql);
        for (qsizetype i = 0; i < m_pending.size(); ++i)
            connection.bind(update, static_cast<int>(i) + 1, m_pending[i].second);
        sqlite3_bind_int64(update, static_cast<int>(columns.size()) + 1, m_rowid);
        connection.run(update);
        if (connection.changes() == 0)
            throw StoreError(RecordDeleted, QStringLiteral("Record eliminato."));
        storeInPage(m_pending);
    }
    cancelPending();
}

// The INSERT for the pending fields with their values bound. Rows added one after the other
// with the same fields (imports) reuse the statement without building its text again.
sqlite3_stmt* Recordset::insertStatement() {
    const Connection& connection = *m_connection;
    Statement& s = *m_statement;
    bool same = s.lastInsert && s.lastInsertFields.size() == m_pending.size();
    for (qsizetype i = 0; same && i < m_pending.size(); ++i)
        same = s.lastInsertFields[i] == m_pending[i].first;
    if (!same) {
        QString sql;
        QStringList columns, parameters;
        for (const auto& pending : std::as_const(m_pending)) {
            columns.append(quoted(pending.first));
            parameters.append(u'?' + QString::number(parameters.size() + 1));
        }
        if (columns.isEmpty())
            sql = QStringLiteral("INSERT INTO %1 DEFAULT VALUES").arg(quoted(m_table));
        else
            sql = QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                      .arg(quoted(m_table), columns.join(u", "), parameters.join(u", "));
        s.lastInsert = s.write(connection, sql);
        s.lastInsertFields.clear();
        for (const auto& pending : std::as_const(m_pending))
            s.lastInsertFields.append(pending.first);
    }
    for (qsizetype i = 0; i < m_pending.size(); ++i)
        connection.bind(s.lastInsert, static_cast<int>(i) + 1, m_pending[i].second);
    return s.lastInsert;
}

void Recordset::storeInPage(const QList<QPair<QString, QString>>& values) {
    Statement& s = *m_statement;
    const size_t columns = static_cast<size_t>(m_fields.size());
    for (const auto& [field, value] : values) {
        Statement::Cell& cell =
            s.cells[s.stored() * columns + static_cast<size_t>(m_fields.indexOf(field))];
        if (value.isNull()) {
            cell = {0, -1};
        } else {
            const QByteArray utf8 = value.toUtf8();
            cell = {static_cast<qint32>(s.data.size()), static_cast<qint32>(utf8.size())};
            s.data.append(utf8);
        }
    }
}

void Recordset::CancelUpdate() {
    if (m_editMode == EditMode::None)
        throw updateWithoutEdit();
    cancelPending();
}

void Recordset::Delete() {
    requireCurrent();
    cancelPending();
    const Connection& connection = *m_connection;
    sqlite3_stmt* remove = m_statement->write(
        connection, QStringLiteral("DELETE FROM %1 WHERE rowid = ?1").arg(quoted(m_table)));
    sqlite3_bind_int64(remove, 1, m_rowid);
    connection.run(remove);
    if (connection.changes() == 0)
        throw StoreError(RecordDeleted, QStringLiteral("Record eliminato."));
    // No current row until the next move; the rows after it move up by one.
    m_current = false;
    --m_position;
    --m_visited;
}

} // namespace store
