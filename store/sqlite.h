#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <exception>

struct sqlite3;
struct sqlite3_stmt;

// A thin layer over the SQLite C API, shared by the archive store and the gateway: each
// adds its own rules and error messages on top.
namespace store::sqlite {

// A failure SQLite reported: its extended result code, its message and the database file.
class Error final : public std::exception {
public:
    Error(int code, QString message, QString path);
    int code() const noexcept { return m_code; }
    int primaryCode() const noexcept { return m_code & 0xFF; }
    const QString& message() const noexcept { return m_message; }
    const QString& path() const noexcept { return m_path; }
    const char* what() const noexcept override { return m_utf8.constData(); }

private:
    int m_code;
    QString m_message;
    QString m_path;
    QByteArray m_utf8;
};

// Turns an Error into the exception the owner of a connection reports; it must throw.
using Raise = void (*)(const Error&);

// One open connection, closed by the destructor, used by one thread at a time. Every
// failure goes through `raise`, or throws Error when there is none.
class Connection final {
public:
    enum class Mode { OpenExisting, CreateIfMissing };
    // A path that starts with "file:" is a file name too, never a URI.
    Connection(const QString& path, Mode mode, int busyTimeoutMs, Raise raise = nullptr);
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    const QString& path() const { return m_path; }
    // For the owner's collations and functions.
    sqlite3* handle() const { return m_db; }

    // Runs one or more statements without results.
    void exec(const char* sql) const;
    // Rows changed by the last INSERT, UPDATE or DELETE.
    qint64 changes() const;
    bool inTransaction() const;
    bool readOnly() const;
    void setBusyTimeout(int ms) const;

    Error error(int rc) const;
    [[noreturn]] void raise(const Error& error) const;
    [[noreturn]] void fail(int rc) const { raise(error(rc)); }

private:
    sqlite3* m_db = nullptr;
    QString m_path;
    Raise m_raise;
};

// A prepared statement. Bind indexes start at 1, column indexes at 0; bindings stay across
// reset().
class Statement final {
public:
    // Kept: a statement run many times over a long life (SQLITE_PREPARE_PERSISTENT).
    enum class Use { Once, Kept };
    Statement() = default;
    Statement(const Connection& connection, QByteArrayView sql, Use use = Use::Once);
    ~Statement();
    Statement(Statement&& other) noexcept;
    Statement& operator=(Statement&& other) noexcept;

    Statement& bind(int index, const QString& value);    // as text, a null QString too
    Statement& bind(int index, const QByteArray& value); // as a blob
    Statement& bindText(int index, QByteArrayView utf8); // UTF-8 text as it is
    Statement& bind(int index, qint64 value);
    Statement& bind(int index, int value) { return bind(index, qint64{value}); }
    Statement& bindNull(int index);

    // Advances to the next row; false when there is none. After a failure the statement is
    // reset, so it holds no lock.
    bool step();
    // Runs a statement for its effect (one step), then resets it.
    void run();
    void reset();

    qint64 integer(int column) const;
    QString text(int column) const;
    // The UTF-8 text of a column, valid until the next step or reset; null for a NULL value.
    QByteArrayView utf8(int column) const;
    QByteArray blob(int column) const;
    bool isNull(int column) const;

private:
    const Connection* m_connection = nullptr;
    sqlite3_stmt* m_stmt = nullptr;
};

// BEGIN IMMEDIATE, or a savepoint inside a transaction already open; rolled back by the
// destructor unless committed.
class Transaction final {
public:
    explicit Transaction(const Connection& connection);
    ~Transaction();
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;
    void commit();

private:
    const Connection& m_connection;
    bool m_nested;
    bool m_done = false;
};

} // namespace store::sqlite
