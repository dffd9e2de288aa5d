#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>

struct sqlite3;
struct sqlite3_stmt;

namespace gateway::sqlite {

// One open SQLite connection; closed by the destructor. Every failure throws GatewayError.
class Connection final {
public:
    enum class Mode { OpenExisting, CreateIfMissing };
    Connection(const QString& path, Mode mode);
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    // Runs one or more statements without results.
    void exec(const char* sql);
    qint64 lastInsertId() const;
    sqlite3* handle() const { return m_db; }
    const QString& path() const { return m_path; }

    // The SQLite message of the last failure, with what we were doing in front.
    [[noreturn]] void fail(const QString& doing) const;

private:
    sqlite3* m_db = nullptr;
    QString m_path;
};

// A prepared statement. Bind indexes start at 1, column indexes at 0.
class Statement final {
public:
    Statement(Connection& connection, const char* sql);
    ~Statement();
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    Statement& bind(int index, const QString& value);
    Statement& bind(int index, const QByteArray& value); // as a blob
    Statement& bind(int index, qint64 value);
    Statement& bind(int index, int value) { return bind(index, qint64{value}); }

    // Advances to the next row; false when there is none (the statement is done).
    bool step();
    // Runs a statement that returns no rows.
    void run();
    void reset();

    qint64 integer(int column) const;
    QString text(int column) const;
    QByteArray blob(int column) const;
    bool isNull(int column) const;

private:
    Connection& m_connection;
    sqlite3_stmt* m_stmt = nullptr;
};

// BEGIN IMMEDIATE on construction; rolled back by the destructor unless committed.
class Transaction final {
public:
    explicit Transaction(Connection& connection);
    ~Transaction();
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;
    void commit();

private:
    Connection& m_connection;
    bool m_open = true;
};

} // namespace gateway::sqlite
