#pragma once

#include <QByteArrayView>
#include <QString>
#include <QStringList>

#include <exception>
#include <functional>
#include <span>

// Reads the tables of a Jet 3 or Jet 4 file through libmdb, texts as UTF-8. Run it in a process
// of its own: a damaged file may bring the library down.
namespace migration {

class JetError final : public std::exception {
public:
    explicit JetError(QString message)
        : m_message(std::move(message)) {}
    const QString& message() const noexcept { return m_message; }
    const char* what() const noexcept override { return "jet"; }

private:
    QString m_message;
};

class JetReader final {
public:
    // Throws JetError when the file cannot be opened or its catalogue read.
    explicit JetReader(const QString& path);
    ~JetReader();
    JetReader(const JetReader&) = delete;
    JetReader& operator=(const JetReader&) = delete;

    QStringList tables() const; // the user tables
    // The table's columns as stored; empty when there is no such table (names in any case).
    QStringList columns(const QString& table) const;
    // The rows the table's definition declares.
    qint64 declaredRows(const QString& table) const;

    struct Value {
        QByteArrayView utf8;
        bool null = false;
    };
    using Row = std::function<void(std::span<const Value>)>;
    // Reads the table's rows in stored order, the named columns in the order given; returns
    // the rows read. Throws JetError for an unknown table or column.
    qint64 read(const QString& table, const QStringList& columns, const Row& row) const;

private:
    void* entry(const QString& table) const;

    void* m_mdb;
    QString m_path;
};

} // namespace migration
