#include "migration/jetcopy.h"

#include "migration/jetreader.h"
#include "store/database.h"
#include "store/schema.h"

namespace migration {

namespace {

QList<store::TableSchema> tablesOf(FileRole role) {
    return role == FileRole::List ? QList<store::TableSchema>{store::archive::elencoTable()}
                                  : store::archive::addressBookTables();
}

// Every table and field of the role, or the file is another program's.
void checkSchema(const JetReader& reader, FileRole role) {
    for (const store::TableSchema& table : tablesOf(role)) {
        const QStringList columns = reader.columns(table.name);
        for (const QString& field : table.fields)
            if (!columns.contains(field, Qt::CaseInsensitive))
                throw JetError(
                    QStringLiteral("non è un archivio del programma precedente: manca %1")
                        .arg(columns.isEmpty()
                                 ? QStringLiteral("la tabella %1").arg(table.name)
                                 : QStringLiteral("il campo %1.%2").arg(table.name, field)));
    }
}

QByteArray insertSql(const store::TableSchema& table) {
    QStringList params;
    for (qsizetype i = 1; i <= table.fields.size(); ++i)
        params.append(QStringLiteral("?%1").arg(i));
    return QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
        .arg(table.name, table.fields.join(u", "), params.join(u", "))
        .toUtf8();
}

} // namespace

FileRole roleOf(const QString& relativePath) {
    return relativePath.compare(QLatin1String("elenco.mdb"), Qt::CaseInsensitive) == 0
               ? FileRole::List
               : FileRole::Book;
}

QList<TableCount> countJet(const QString& source, FileRole role) {
    const JetReader reader(source);
    checkSchema(reader, role);
    QList<TableCount> counts;
    for (const store::TableSchema& table : tablesOf(role))
        counts.append({table.name, reader.declaredRows(table.name), 0});
    return counts;
}

QList<TableCount> copyJet(const QString& source, const QString& target, FileRole role,
                          const std::function<void(qint64)>& progress) {
    const JetReader reader(source);
    checkSchema(reader, role);
    const auto db = store::Database::create(target, tablesOf(role));
    const store::sqlite::Connection& connection = *db->connection();
    QList<TableCount> counts;
    qint64 written = 0;
    {
        store::Database::Transaction transaction(*db);
        if (role == FileRole::Book)
            db->dropContactIndexes(); // made once, after the rows
        for (const store::TableSchema& table : tablesOf(role)) {
            store::sqlite::Statement insert(connection, insertSql(table));
            const qint64 rows = reader.read(table.name, table.fields,
                                            [&](std::span<const JetReader::Value> values) {
                                                for (size_t i = 0; i < values.size(); ++i) {
                                                    if (values[i].null)
                                                        insert.bindNull(int(i) + 1);
                                                    else
                                                        insert.bindText(int(i) + 1, values[i].utf8);
                                                }
                                                insert.run();
                                                if (progress && ++written % 4096 == 0)
                                                    progress(written);
                                            });
            counts.append({table.name, reader.declaredRows(table.name), rows});
        }
        transaction.commit();
    }
    if (role == FileRole::Book)
        db->makeContactIndexes();
    if (progress)
        progress(written);
    return counts;
}

} // namespace migration
