#include "store/sqlite.h"

#include <QFile>

#include <sqlite3.h>

#include <utility>

namespace store::sqlite {

Error::Error(int code, QString message, QString path)
    : m_code(code)
    , m_message(std::move(message))
    , m_path(std::move(path))
    , m_utf8((m_path + QStringLiteral(": ") + m_message).toUtf8()) {}

Connection::Connection(const QString& path, Mode mode, int busyTimeoutMs, Raise raise)
    : m_path(path)
    , m_raise(raise) {
    QByteArray fileName = QFile::encodeName(path);
    if (fileName.startsWith("file:"))
        fileName.prepend("./");
    int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX;
    if (mode == Mode::CreateIfMissing)
        flags |= SQLITE_OPEN_CREATE;
    const int rc = sqlite3_open_v2(fileName.constData(), &m_db, flags, nullptr);
    if (rc != SQLITE_OK) {
        const Error failure(rc, QString::fromUtf8(m_db ? sqlite3_errmsg(m_db) : sqlite3_errstr(rc)),
                            path);
        sqlite3_close_v2(m_db);
        m_db = nullptr;
        this->raise(failure); // the member: `raise` here is the parameter, and may be empty
    }
    sqlite3_extended_result_codes(m_db, 1);
    sqlite3_busy_timeout(m_db, busyTimeoutMs);
}

Connection::~Connection() {
    sqlite3_close_v2(m_db);
}

void Connection::exec(const char* sql) const {
    const int rc = sqlite3_exec(m_db, sql, nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK)
        fail(rc);
}

qint64 Connection::changes() const {
    return sqlite3_changes64(m_db);
}

bool Connection::inTransaction() const {
    return sqlite3_get_autocommit(m_db) == 0;
}

bool Connection::readOnly() const {
    return sqlite3_db_readonly(m_db, "main") == 1;
}

void Connection::setBusyTimeout(int ms) const {
    sqlite3_busy_timeout(m_db, ms);
}

Error Connection::error(int rc) const {
    return Error(rc, QString::fromUtf8(sqlite3_errmsg(m_db)), m_path);
}

void Connection::raise(const Error& error) const {
    if (m_raise)
        m_raise(error);
    throw error;
}

Statement::Statement(const Connection& connection, QByteArrayView sql, Use use)
    : m_connection(&connection) {
    const int rc =
        sqlite3_prepare_v3(connection.handle(), sql.data(), static_cast<int>(sql.size()),
                           use == Use::Kept ? SQLITE_PREPARE_PERSISTENT : 0, &m_stmt, nullptr);
    if (rc != SQLITE_OK)
        connection.fail(rc);
}

Statement::~Statement() {
    sqlite3_finalize(m_stmt);
}

Statement::Statement(Statement&& other) noexcept
    : m_connection(other.m_connection)
    , m_stmt(std::exchange(other.m_stmt, nullptr)) {}

Statement& Statement::operator=(Statement&& other) noexcept {
    std::swap(m_connection, other.m_connection);
    std::swap(m_stmt, other.m_stmt);
    return *this;
}

Statement& Statement::bind(int index, const QString& value) {
    const QByteArray utf8 = value.toUtf8();
    const int rc = sqlite3_bind_text64(m_stmt, index, utf8.constData(),
                                       static_cast<sqlite3_uint64>(utf8.size()), SQLITE_TRANSIENT,
                                       SQLITE_UTF8);
    if (rc != SQLITE_OK)
        m_connection->fail(rc);
    return *this;
}

Statement& Statement::bindText(int index, QByteArrayView utf8) {
    const int rc = sqlite3_bind_text64(m_stmt, index, utf8.data() ? utf8.data() : "",
                                       static_cast<sqlite3_uint64>(utf8.size()), SQLITE_TRANSIENT,
                                       SQLITE_UTF8);
    if (rc != SQLITE_OK)
        m_connection->fail(rc);
    return *this;
}

Statement& Statement::bind(int index, const QByteArray& value) {
    const int rc = sqlite3_bind_blob64(m_stmt, index, value.constData(),
                                       static_cast<sqlite3_uint64>(value.size()), SQLITE_TRANSIENT);
    if (rc != SQLITE_OK)
        m_connection->fail(rc);
    return *this;
}

Statement& Statement::bind(int index, qint64 value) {
    const int rc = sqlite3_bind_int64(m_stmt, index, value);
    if (rc != SQLITE_OK)
        m_connection->fail(rc);
    return *this;
}

Statement& Statement::bindNull(int index) {
    const int rc = sqlite3_bind_null(m_stmt, index);
    if (rc != SQLITE_OK)
        m_connection->fail(rc);
    return *this;
}

bool Statement::step() {
    const int rc = sqlite3_step(m_stmt);
    if (rc == SQLITE_ROW)
        return true;
    if (rc == SQLITE_DONE)
        return false;
    const Error failure = m_connection->error(rc);
    sqlite3_reset(m_stmt);
    m_connection->raise(failure);
}

void Statement::run() {
    step();
    sqlite3_reset(m_stmt);
}

void Statement::reset() {
    sqlite3_reset(m_stmt);
}

qint64 Statement::integer(int column) const {
    return sqlite3_column_int64(m_stmt, column);
}

QString Statement::text(int column) const {
    return QString::fromUtf8(utf8(column));
}

QByteArrayView Statement::utf8(int column) const {
    const auto* data = reinterpret_cast<const char*>(sqlite3_column_text(m_stmt, column));
    return QByteArrayView(data, data ? sqlite3_column_bytes(m_stmt, column) : 0);
}

QByteArray Statement::blob(int column) const {
    const void* data = sqlite3_column_blob(m_stmt, column);
    const int size = sqlite3_column_bytes(m_stmt, column);
    return QByteArray(static_cast<const char*>(data), size);
}

bool Statement::isNull(int column) const {
    return sqlite3_column_type(m_stmt, column) == SQLITE_NULL;
}

Transaction::Transaction(const Connection& connection)
    : m_connection(connection)
    , m_nested(connection.inTransaction()) {
    connection.exec(m_nested ? "SAVEPOINT nested" : "BEGIN IMMEDIATE");
}

// The failure that led here is the one to report, so the rollback's own errors are ignored.
Transaction::~Transaction() {
    if (!m_done && m_connection.inTransaction())
        sqlite3_exec(m_connection.handle(),
                     m_nested ? "ROLLBACK TO nested; RELEASE nested" : "ROLLBACK", nullptr, nullptr,
                     nullptr);
}

void Transaction::commit() {
    m_connection.exec(m_nested ? "RELEASE nested" : "COMMIT");
    m_done = true;
}

} // namespace store::sqlite
