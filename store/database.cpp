#include "store/database.h"

#include "store/jettext.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <sqlite3.h>

#include <algorithm>
#include <limits>
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

    // The stored spelling of a table name (3078 when there is none) and its columns.
    QString tableName(const QString& table) const;
    QStringList columns(const QString& table) const;

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

QString Connection::tableName(const QString& table) const {
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
    const QString table = m_connection->tableName(query.table());
    QStringList fields = m_connection->columns(table);
    QString where;
    QStringList bindings;
    for (const Query::Condition& condition : query.conditions()) {
        const int index = fieldPosition(fields, condition.field);
        if (index < 0)
            throw itemNotFound(condition.field);
        bindings.append(condition.value);
        const QString parameter = u'?' + QString::number(bindings.size());
        if (!where.isEmpty())
            where += QStringLiteral(" AND ");
        if (condition.op == Query::Op::Equal)
            where += QStringLiteral("%1 = %2 COLLATE %3")
                         .arg(quoted(fields[index]), parameter, QLatin1String(collationName));
        else
            where += QStringLiteral("%1(%2, %3)")
                         .arg(QLatin1String(likeFunctionName), parameter, quoted(fields[index]));
    }
    std::unique_ptr<Recordset> recordset(new Recordset(m_connection, table, std::move(where),
                                                       std::move(bindings), std::move(fields)));
    recordset->execute();
    return recordset;
}

void Database::transaction(const std::function<void()>& fn) {
    Connection& connection = *m_connection;
    const bool nested = connection.inTransaction();
    connection.exec(nested ? "SAVEPOINT nested" : "BEGIN IMMEDIATE");
    try {
        fn();
        connection.exec(nested ? "RELEASE nested" : "COMMIT");
    } catch (...) {
        connection.rollback(nested);
        throw;
    }
}

// --- Recordset -----------------------------------------------------------------------------

// The rows of the current page (copied out, so no read lock is held between moves) and
// the prepared statements of the recordset.
struct Recordset::Statement {
    store::Statement select;
    std::vector<std::pair<QString, store::Statement>> writes;

    struct Cell {
        qsizetype offset;
        qsizetype length; // -1 for a null value
    };
    QByteArray data;
    std::vector<qint64> rowids;
    std::vector<Cell> cells; // rows * columns
    size_t row = 0;          // the current row within the page
    qint64 after = 0;        // the page holds the rows after this rowid
    bool lastPage = false;

    sqlite3_stmt* write(const Connection& connection, const QString& sql) {
        for (auto& [text, statement] : writes) {
            if (text == sql)
                return statement.get();
        }
        writes.emplace_back(sql, connection.prepare(sql, SQLITE_PREPARE_PERSISTENT));
        return writes.back().second.get();
    }
};

Recordset::Recordset(std::shared_ptr<Connection> connection, QString table, QString whereSql,
                     QStringList bindings, QStringList fields)
    : m_connection(std::move(connection))
    , m_table(std::move(table))
    , m_whereSql(std::move(whereSql))
    , m_bindings(std::move(bindings))
    , m_fields(std::move(fields))
    , m_statement(std::make_unique<Statement>()) {}

Recordset::~Recordset() = default;

void Recordset::execute() {
    QString sql = QStringLiteral("SELECT rowid");
    for (const QString& field : std::as_const(m_fields))
        sql += QStringLiteral(", ") + quoted(field);
    const int afterRowid = static_cast<int>(m_bindings.size()) + 1;
    sql += QStringLiteral(" FROM %1 WHERE rowid > ?%2").arg(quoted(m_table)).arg(afterRowid);
    if (!m_whereSql.isEmpty())
        sql += QStringLiteral(" AND (%1)").arg(m_whereSql);
    sql += QStringLiteral(" ORDER BY rowid LIMIT ?%1").arg(afterRowid + 1);

    m_statement->select = m_connection->prepare(sql, SQLITE_PREPARE_PERSISTENT);
    sqlite3_stmt* select = m_statement->select.get();
    for (qsizetype i = 0; i < m_bindings.size(); ++i)
        m_connection->bind(select, static_cast<int>(i) + 1, m_bindings[i]);
    restart();
}

void Recordset::restart() {
    cancelPending();
    Statement& s = *m_statement;
    s.rowids.clear();
    s.after = std::numeric_limits<qint64>::min();
    s.lastPage = false;
    m_position = 0;
    fetch(firstPageRows);
    land();
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

    sqlite3_stmt* select = s.select.get();
    const int afterParameter = static_cast<int>(m_bindings.size()) + 1;
    sqlite3_bind_int64(select, afterParameter, s.after);
    sqlite3_bind_int(select, afterParameter + 1, rows);
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
            s.cells.push_back({s.data.size(), length});
            s.data.append(text, length);
        }
    }
    sqlite3_reset(select);
    s.lastPage = static_cast<int>(s.rowids.size()) < rows;
    if (rc != SQLITE_DONE) {
        s.rowids.clear();
        s.cells.clear();
        s.lastPage = true;
        m_current = false;
        m_eof = true;
        m_connection->fail(rc);
    }
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
        m_rowid = s.rowids[s.row];
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
        s.cells[s.row * static_cast<size_t>(m_fields.size()) + static_cast<size_t>(column)];
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
    const QString table = quoted(m_table);
    QStringList columns;
    for (const auto& pending : std::as_const(m_pending))
        columns.append(quoted(pending.first));

    if (m_editMode == EditMode::AddNew) {
        QString sql;
        if (columns.isEmpty()) {
            sql = QStringLiteral("INSERT INTO %1 DEFAULT VALUES").arg(table);
        } else {
            QStringList parameters;
            for (qsizetype i = 1; i <= columns.size(); ++i)
                parameters.append(u'?' + QString::number(i));
            sql = QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                      .arg(table, columns.join(u", "), parameters.join(u", "));
        }
        sqlite3_stmt* insert = m_statement->write(connection, sql);
        for (qsizetype i = 0; i < m_pending.size(); ++i)
            connection.bind(insert, static_cast<int>(i) + 1, m_pending[i].second);
        connection.run(insert);
        cancelPending();
        return;
    }

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

void Recordset::storeInPage(const QList<QPair<QString, QString>>& values) {
    Statement& s = *m_statement;
    const size_t columns = static_cast<size_t>(m_fields.size());
    for (const auto& [field, value] : values) {
        Statement::Cell& cell =
            s.cells[s.row * columns + static_cast<size_t>(m_fields.indexOf(field))];
        if (value.isNull()) {
            cell = {0, -1};
        } else {
            const QByteArray utf8 = value.toUtf8();
            cell = {s.data.size(), utf8.size()};
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
