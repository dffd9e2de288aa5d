#pragma once

#include <QList>
#include <QString>
#include <QStringList>

namespace store {

// The columns of one table; every field is text.
struct TableSchema {
    QString name;
    QStringList fields;
};

// The query shapes the program sends: a table, optionally narrowed by conditions joined
// with "and". "=" compares without regard to case; "like" takes "*" and "?" wildcards.
// Values are always bound as parameters, so any text (apostrophes included) is safe.
class Query final {
public:
    enum class Op { Equal, Like };
    struct Condition {
        QString field;
        Op op;
        QString value;
    };

    explicit Query(QString table)
        : m_table(std::move(table)) {}
    Query& whereEqual(const QString& field, const QString& value);
    Query& whereLike(const QString& field, const QString& pattern);

    const QString& table() const { return m_table; }
    const QList<Condition>& conditions() const { return m_conditions; }

private:
    QString m_table;
    QList<Condition> m_conditions;
};

} // namespace store
