#include "gateway/sqlite.h"

#include "gateway/gatewayerror.h"

#include <QFileInfo>

#include <sqlite3.h>

namespace gateway::sqlite {

Connection::Connection(const QString& path, Mode mode)
    : m_path(path) {
    if (mode == Mode::OpenExisting && !QFileInfo::exists(path))
        throw GatewayError(QStringLiteral("Il database %1 non esiste").arg(path));
    int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX;
    if (mode == Mode::CreateIfMissing)
        flags |= SQLITE_OPEN_CREATE;
    const int rc = sqlite3_open_v2(path.toUtf8().constData(), &m_db, flags, nullptr);
    if (rc != SQLITE_OK) {
        const QString reason = m_db != nullptr ? QString::fromUtf8(sqlite3_errmsg(m_db))
                                               : QString::fromUtf8(sqlite3_errstr(rc));
        sqlite3_close(m_db);
        m_db = nullptr;
        throw GatewayError(
            QStringLiteral("Impossibile aprire il database %1: %2").arg(path, reason));
    }
    sqlite3_extended_result_codes(m_db, 1);
    // Writers of other processes (the command line) wait instead of failing at once.
    sqlite3_busy_timeout(m_db, 15000);
}

Connection::~Connection() {
    sqlite3_close_v2(m_db);
}

void Connection::exec(const char* sql) {
    if (sqlite3_exec(m_db, sql, nullptr, nullptr, nullptr) != SQLITE_OK)
        fail(QString::fromUtf8(sql).section(QLatin1Char(' '), 0, 2));
}

qint64 Connection::lastInsertId() const {
    return sqlite3_last_insert_rowid(m_db);
}

void Connection::fail(const QString& doing) const {
    throw GatewayError(QStringLiteral("Errore del database %1 (%2): %3")
                           .arg(m_path, doing, QString::fromUtf8(sqlite3_errmsg(m_db))));
}

Statement::Statement(Connection& connection, const char* sql)
    : m_connection(connection) {
    if (sqlite3_prepare_v2(connection.handle(), sql, -1, &m_stmt, nullptr) != SQLITE_OK)
        connection.fail(QStringLiteral("preparazione"));
}

Statement::~Statement() {
    sqlite3_finalize(m_stmt);
}

Statement& Statement::bind(int index, const QString& value) {
    const QByteArray utf8 = value.toUtf8();
    if (sqlite3_bind_text64(m_stmt, index, utf8.constData(),
                            static_cast<sqlite3_uint64>(utf8.size()), SQLITE_TRANSIENT,
                            SQLITE_UTF8) != SQLITE_OK)
        m_connection.fail(QStringLiteral("parametro %1").arg(index));
    return *this;
}

Statement& Statement::bind(int index, const QByteArray& value) {
    if (sqlite3_bind_blob64(m_stmt, index, value.constData(),
                            static_cast<sqlite3_uint64>(value.size()),
                            SQLITE_TRANSIENT) != SQLITE_OK)
        m_connection.fail(QStringLiteral("parametro %1").arg(index));
    return *this;
}

Statement& Statement::bind(int index, qint64 value) {
    if (sqlite3_bind_int64(m_stmt, index, value) != SQLITE_OK)
        m_connection.fail(QStringLiteral("parametro %1").arg(index));
    return *this;
}

bool Statement::step() {
    const int rc = sqlite3_step(m_stmt);
    if (rc == SQLITE_ROW)
        return true;
    if (rc == SQLITE_DONE)
        return false;
    m_connection.fail(QStringLiteral("esecuzione"));
}

void Statement::run() {
    while (step()) {
    }
}

void Statement::reset() {
    sqlite3_reset(m_stmt);
    sqlite3_clear_bindings(m_stmt);
}

qint64 Statement::integer(int column) const {
    return sqlite3_column_int64(m_stmt, column);
}

QString Statement::text(int column) const {
    const auto* data = sqlite3_column_text(m_stmt, column);
    const int size = sqlite3_column_bytes(m_stmt, column);
    return QString::fromUtf8(reinterpret_cast<const char*>(data), size);
}

QByteArray Statement::blob(int column) const {
    const void* data = sqlite3_column_blob(m_stmt, column);
    const int size = sqlite3_column_bytes(m_stmt, column);
    return QByteArray(static_cast<const char*>(data), size);
}

bool Statement::isNull(int column) const {
    return sqlite3_column_type(m_stmt, column) == SQLITE_NULL;
}

Transaction::Transaction(Connection& connection)
    : m_connection(connection) {
    connection.exec("BEGIN IMMEDIATE");
}

Transaction::~Transaction() {
    if (m_open)
        sqlite3_exec(m_connection.handle(), "ROLLBACK", nullptr, nullptr, nullptr);
}

void Transaction::commit() {
    m_connection.exec("COMMIT");
    m_open = false;
}

} // namespace gateway::sqlite
