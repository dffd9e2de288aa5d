#include "store/database.h"

#include "store/jettext.h"
#include "store/schema.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <sqlite3.h>

#include <algorithm>
#include <deque>
#include <limits>
#include <numeric>
#include <vector>

namespace store {

namespace {

constexpr char collationName[] = "quillet_nocase";
constexpr char likeFunctionName[] = "quillet_like";
constexpr char sortKeyFunctionName[] = "quillet_sortkey";
constexpr int busyTimeoutMs = 5000;
// Room for the indexes of a large address book, so bulk writes do not spill pages before the
// commit (pages are taken only as they are used).
constexpr char cacheSizePragma[] = "PRAGMA cache_size=-32768";
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

StoreError engineError(int rc, const QString& detail, const QString& path) {
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
        return StoreError(EngineFailure,
                          QStringLiteral("Errore del database '%1': %2.").arg(path, detail));
    }
}

[[noreturn]] void raiseStoreError(const sqlite::Error& error) {
    throw engineError(error.code(), error.message(), error.path());
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

// quillet_sortkey(text): the list's order as a blob that compares byte by byte (a null value
// sorts with the empty text).
void sortKeyOf(sqlite3_context* context, int, sqlite3_value** args) {
    try {
        const QByteArray key = sqlite3_value_type(args[0]) == SQLITE_NULL
                                   ? QByteArray()
                                   : jettext::sortKey(textArgument(args[0]));
        sqlite3_result_blob64(context, key.constData(), static_cast<sqlite3_uint64>(key.size()),
                              SQLITE_TRANSIENT);
    } catch (const std::bad_alloc&) {
        sqlite3_result_error_nomem(context);
    }
}

int fieldPosition(const QStringList& fields, const QString& field) {
    for (qsizetype i = 0; i < fields.size(); ++i) {
        if (jettext::equal(fields[i], field))
            return static_cast<int>(i);
    }
    return -1;
}

// A text value bound as it is; a null QString as a null value.
void bindValue(sqlite::Statement& statement, int index, const QString& value) {
    if (value.isNull())
        statement.bindNull(index);
    else
        statement.bind(index, value);
}

// An archive file, with its text rules and the store's error codes; shared by a database
// and the recordsets opened on it, so the file is closed when the last of them goes.
std::shared_ptr<sqlite::Connection> openConnection(const QString& path,
                                                   sqlite::Connection::Mode mode) {
    auto connection =
        std::make_shared<sqlite::Connection>(path, mode, busyTimeoutMs, raiseStoreError);
    const int registered = Database::addTextRules(connection->handle());
    if (registered != SQLITE_OK)
        connection->fail(registered);
    connection->exec("PRAGMA synchronous=FULL");
    connection->exec(cacheSizePragma);
    return connection;
}

// The first value of the statement's rows, one per row.
QStringList firstColumn(sqlite::Statement& statement) {
    QStringList values;
    while (statement.step())
        values.append(statement.text(0));
    return values;
}

// The stored spelling of a table name; empty when there is none.
QString findTable(const sqlite::Connection& connection, const QString& table) {
    sqlite::Statement statement(
        connection,
        QStringLiteral("SELECT name FROM sqlite_master WHERE type = 'table' AND name = ?1 COLLATE "
                       "%1 AND name NOT LIKE 'sqlite\\_%' ESCAPE '\\'")
            .arg(QLatin1String(collationName))
            .toUtf8());
    statement.bind(1, table);
    return statement.step() ? statement.text(0) : QString();
}

// The stored spelling of a table name; throws 3078 when there is none.
QString tableName(const sqlite::Connection& connection, const QString& table) {
    QString name = findTable(connection, table);
    if (!name.isEmpty())
        return name;
    throw StoreError(TableNotFound,
                     QStringLiteral("Impossibile trovare la tabella o la query di input '%1'. "
                                    "Verificare che esista e che il nome sia stato digitato "
                                    "correttamente.")
                         .arg(table));
}

QStringList columnsOf(const sqlite::Connection& connection, const QString& table) {
    sqlite::Statement statement(connection, "SELECT name FROM pragma_table_info(?1)");
    statement.bind(1, table);
    return firstColumn(statement);
}

// A column that leads an index under the archive comparison, and how many of the table's
// columns that index holds.
struct LeadingColumn {
    QString name;
    int columns;
};

QList<LeadingColumn> indexesOf(const sqlite::Connection& connection, const QString& table) {
    sqlite::Statement statement(
        connection,
        QStringLiteral("SELECT x.name, (SELECT count(DISTINCT y.cid) FROM "
                       "pragma_index_xinfo(l.name) AS y WHERE y.key = 1 AND y.cid >= 0) "
                       "FROM pragma_index_list(?1) AS l, pragma_index_xinfo(l.name) AS x "
                       "WHERE l.partial = 0 AND x.seqno = 0 AND x.cid >= 0 AND "
                       "x.coll = '%1' COLLATE NOCASE")
            .arg(QLatin1String(collationName))
            .toUtf8());
    statement.bind(1, table);
    QList<LeadingColumn> found;
    while (statement.step())
        found.append({statement.text(0), static_cast<int>(statement.integer(1))});
    return found;
}

// --- Contact indexes -----------------------------------------------------------------------

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

void createIndexes(const sqlite::Connection& connection, const QString& table,
                   const QStringList& columns, const QList<archive::IndexedField>& fields) {
    for (const archive::IndexedField& field : fields) {
        QString keys =
            quoted(field.name) + QStringLiteral(" COLLATE ") + QLatin1String(collationName);
        for (const QString& column : columns) {
            if (field.wholeRow && column != field.name)
                keys += QStringLiteral(", ") + quoted(column);
        }
        sqlite::Statement(
            connection, QStringLiteral("CREATE INDEX IF NOT EXISTS %1 ON %2 (%3)")
                            .arg(quoted(archive::rubricaTable().name + u'_' + field.name.toLower()),
                                 quoted(table), keys)
                            .toUtf8())
            .run();
    }
}

// The list's order of the contacts: the surnames' sort keys, so a list reads its screens
// straight from the index.
QString orderIndexSql(const QString& table, const QStringList& columns, bool ifMissing) {
    const int surname = fieldPosition(columns, QStringLiteral("cognome"));
    if (surname < 0)
        return {};
    return QStringLiteral("CREATE INDEX %1 %2 ON %3 (%4(%5))")
        .arg(ifMissing ? QStringLiteral("IF NOT EXISTS") : QString(),
             quoted(archive::rubricaTable().name + QStringLiteral("_ordine")), quoted(table),
             QLatin1String(sortKeyFunctionName), quoted(columns[surname]));
}

bool hasIndex(const sqlite::Connection& connection, const QString& name) {
    sqlite::Statement statement(connection,
                                "SELECT 1 FROM sqlite_master WHERE type = 'index' AND name = ?1");
    statement.bind(1, name);
    return statement.step();
}

// The contact indexes a rubrica lacks: the lookup indexes and the list's order.
struct MissingIndexes {
    QString table; // stored spelling; empty when the file has no rubrica
    QStringList columns;
    QList<archive::IndexedField> fields;
    QString order; // the order index's statement, when it is missing

    bool none() const { return fields.isEmpty() && order.isEmpty(); }
    qsizetype count() const { return fields.size() + (order.isEmpty() ? 0 : 1); }
    void make(const sqlite::Connection& connection) const {
        createIndexes(connection, table, columns, fields);
        if (!order.isEmpty())
            sqlite::Statement(connection, order.toUtf8()).run();
    }
};

MissingIndexes missingContactIndexes(const sqlite::Connection& connection) {
    MissingIndexes missing;
    missing.table = findTable(connection, archive::rubricaTable().name);
    if (missing.table.isEmpty())
        return missing;
    missing.columns = columnsOf(connection, missing.table);
    missing.fields = missingIndexes(missing.columns, indexesOf(connection, missing.table));
    if (!hasIndex(connection, archive::rubricaTable().name + QStringLiteral("_ordine")))
        missing.order = orderIndexSql(missing.table, missing.columns, true);
    return missing;
}

// An address book made before the indexes, or by an import, gets them when it is opened; a
// file that cannot be written, or that another writer holds at that moment, is used as it is
// (searches scan it) and tried again at the next opening.
void indexContacts(const sqlite::Connection& connection) {
    const MissingIndexes missing = missingContactIndexes(connection);
    if (missing.none() || connection.readOnly())
        return;
    try {
        connection.setBusyTimeout(0); // no waiting for another writer
        sqlite::Transaction transaction(connection);
        connection.setBusyTimeout(busyTimeoutMs);
        missing.make(connection);
        transaction.commit();
    } catch (const StoreError&) {
        connection.setBusyTimeout(busyTimeoutMs);
    }
}

// An address book gets the send report's table, or the delivery columns its table lacks, when
// it is opened, as it gets the indexes: not when the file is read-only, nor while another
// writer holds it.
void addReportTable(const sqlite::Connection& connection) {
    if (connection.readOnly() || findTable(connection, QStringLiteral("inviati")).isEmpty())
        return;
    const QString table = findTable(connection, QLatin1String(archive::reportTable));
    QStringList missing;
    if (!table.isEmpty()) {
        const QStringList columns = columnsOf(connection, table);
        for (const char* column : archive::reportDeliveryColumns) {
            const QString name = QString::fromLatin1(column).section(u' ', 0, 0);
            if (fieldPosition(columns, name) < 0)
                missing.append(QString::fromLatin1(column));
        }
        if (missing.isEmpty())
            return;
    }
    try {
        connection.setBusyTimeout(0);
        sqlite::Transaction transaction(connection);
        connection.setBusyTimeout(busyTimeoutMs);
        if (table.isEmpty())
            connection.exec(archive::reportTableSql);
        for (const QString& column : std::as_const(missing))
            sqlite::Statement(
                connection,
                QStringLiteral("ALTER TABLE %1 ADD COLUMN %2").arg(quoted(table), column).toUtf8())
                .run();
        if (!missing.isEmpty())
            connection.exec(archive::reportKeyIndexSql);
        transaction.commit();
    } catch (const StoreError&) {
        connection.setBusyTimeout(busyTimeoutMs);
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

Selection selectionFor(const sqlite::Connection& connection, const Query& query) {
    Selection s;
    s.table = tableName(connection, query.table());
    s.fields = columnsOf(connection, s.table);
    if (query.conditions().isEmpty())
        return s;
    const QList<LeadingColumn> indexes = indexesOf(connection, s.table);
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

sqlite::Statement prepareBound(const sqlite::Connection& connection, const QString& sql,
                               const QStringList& bindings) {
    sqlite::Statement statement(connection, sql.toUtf8(), sqlite::Statement::Use::Kept);
    for (qsizetype i = 0; i < bindings.size(); ++i)
        bindValue(statement, static_cast<int>(i) + 1, bindings[i]);
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

Database::Database(QString path, std::shared_ptr<sqlite::Connection> connection)
    : m_path(std::move(path))
    , m_connection(std::move(connection)) {}

Database::~Database() = default;

std::unique_ptr<Database> Database::open(const QString& path) {
    const QFileInfo info(path);
    if (!info.isFile())
        throw fileNotFound(path);
    if (info.size() == 0) // SQLite would take it for a new, empty database
        throw notADatabase(path);
    auto connection = openConnection(path, sqlite::Connection::Mode::OpenExisting);
    // Reading the schema is what tells a database from any other file.
    sqlite::Statement(*connection, "SELECT count(*) FROM sqlite_master").run();
    indexContacts(*connection);
    addReportTable(*connection);
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
        const auto connection =
            openConnection(temporary, sqlite::Connection::Mode::CreateIfMissing);
        sqlite::Transaction transaction(*connection);
        for (const TableSchema& table : tables) {
            QStringList columns;
            for (const QString& field : table.fields)
                columns.append(quoted(field) + QStringLiteral(" TEXT"));
            sqlite::Statement(*connection, QStringLiteral("CREATE TABLE %1 (%2)")
                                               .arg(quoted(table.name), columns.join(u", "))
                                               .toUtf8())
                .run();
            if (jettext::equal(table.name, archive::rubricaTable().name)) {
                createIndexes(*connection, table.name, table.fields,
                              missingIndexes(table.fields, {}));
                const QString order = orderIndexSql(table.name, table.fields, false);
                if (!order.isEmpty())
                    sqlite::Statement(*connection, order.toUtf8()).run();
            }
        }
        transaction.commit();
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

const char* Database::textCollation() {
    return collationName;
}

int Database::addTextRules(sqlite3* db) {
    int registered =
        sqlite3_create_collation_v2(db, collationName, SQLITE_UTF8, nullptr, collate, nullptr);
    if (registered == SQLITE_OK) {
        registered = sqlite3_create_function_v2(
            db, likeFunctionName, 2, SQLITE_UTF8 | SQLITE_DETERMINISTIC | SQLITE_INNOCUOUS, nullptr,
            likeFunction, nullptr, nullptr, nullptr);
    }
    if (registered == SQLITE_OK) {
        registered = sqlite3_create_function_v2(
            db, sortKeyFunctionName, 1, SQLITE_UTF8 | SQLITE_DETERMINISTIC | SQLITE_INNOCUOUS,
            nullptr, sortKeyOf, nullptr, nullptr, nullptr);
    }
    return registered;
}

const char* Database::sortKeyFunction() {
    return sortKeyFunctionName;
}

bool Database::hasTable(const QString& table) const {
    try {
        tableName(*m_connection, table);
        return true;
    } catch (const StoreError& error) {
        if (error.code() == TableNotFound)
            return false;
        throw;
    }
}

void Database::dropContactIndexes() {
    QStringList names = {QStringLiteral("ordine")};
    for (const archive::IndexedField& field : archive::rubricaIndexes())
        names.append(field.name.toLower());
    for (const QString& name : std::as_const(names))
        sqlite::Statement(*m_connection,
                          QStringLiteral("DROP INDEX IF EXISTS %1")
                              .arg(quoted(archive::rubricaTable().name + u'_' + name))
                              .toUtf8())
            .run();
}

namespace {

// What SQLite's progress handler reports while the indexes are made: its calls, counted against
// the calls a table of that many rows takes, passed on every few milliseconds.
struct IndexProgress {
    const std::function<void(qint64, qint64)>& progress;
    qint64 expected;
    qint64 calls = 0;
    QElapsedTimer sinceLast;
};

constexpr int stepsPerCall = 10000;
// Making one index takes about this many steps a row.
constexpr int stepsPerRow = 10;

int onIndexProgress(void* context) {
    auto* p = static_cast<IndexProgress*>(context);
    ++p->calls;
    if (p->sinceLast.elapsed() >= 40) {
        p->progress(std::min(p->calls, p->expected), p->expected);
        p->sinceLast.start();
    }
    return 0;
}

} // namespace

void Database::makeContactIndexes(const std::function<void(qint64, qint64)>& progress) {
    const sqlite::Connection& connection = *m_connection;
    const MissingIndexes missing = missingContactIndexes(connection);
    if (missing.table.isEmpty() || missing.none())
        return;
    const qsizetype indexes = missing.count();
    sqlite::Statement count(
        connection, QStringLiteral("SELECT count(*) FROM %1").arg(quoted(missing.table)).toUtf8());
    count.step();
    const qint64 expected =
        std::max<qint64>(1, count.integer(0) * indexes * stepsPerRow / stepsPerCall);
    IndexProgress state{progress, expected, 0, {}};
    state.sinceLast.start();
    if (progress)
        sqlite3_progress_handler(connection.handle(), stepsPerCall, onIndexProgress, &state);
    // A smaller cache while sorting: SQLite sorts the keys in runs of that size, each in one go,
    // so the windows are painted between runs.
    struct Restore {
        const sqlite::Connection& connection;
        ~Restore() {
            sqlite3_progress_handler(connection.handle(), 0, nullptr, nullptr);
            sqlite3_exec(connection.handle(), cacheSizePragma, nullptr, nullptr, nullptr);
        }
    } restore{connection};
    connection.exec("PRAGMA cache_size=-4096");
    sqlite::Transaction transaction(connection);
    missing.make(connection);
    transaction.commit();
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

std::vector<qint64> Database::rowids(const Query& query) const {
    const Selection selection = selectionFor(*m_connection, query);
    const QString sql = selection.where.isEmpty()
                            ? QStringLiteral("SELECT rowid FROM %1").arg(quoted(selection.table))
                            : keysSql(selection);
    sqlite::Statement statement = prepareBound(*m_connection, sql, selection.bindings);
    std::vector<qint64> found;
    while (statement.step())
        found.push_back(statement.integer(0));
    statement.reset();
    std::sort(found.begin(), found.end());
    return found;
}

QStringList Database::queryPlan(const Query& query) const {
    const Selection selection = selectionFor(*m_connection, query);
    const QString sql = selection.access == RowAccess::Whole    ? wholeSql(selection)
                        : selection.access == RowAccess::ByKeys ? keysSql(selection)
                                                                : pageSql(selection);
    sqlite::Statement statement(*m_connection,
                                (QStringLiteral("EXPLAIN QUERY PLAN ") + sql).toUtf8());
    QStringList steps;
    while (statement.step())
        steps.append(statement.text(3));
    return steps;
}

Database::Transaction::Transaction(Database& db)
    : m_connection(db.m_connection)
    , m_transaction(*m_connection) {}

void Database::Transaction::commit() {
    m_transaction.commit();
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
    sqlite::Statement select; // Scan: pageSql; Whole: wholeSql
    sqlite::Statement keysSelect;
    std::vector<std::pair<int, sqlite::Statement>> keyedPages; // by slot count (keyedPageSql)
    std::deque<std::pair<QString, sqlite::Statement>> writes;  // a deque: lastInsert stays put
    sqlite::Statement* lastInsert = nullptr;                   // one of writes
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

    sqlite::Statement& write(const sqlite::Connection& connection, const QString& sql) {
        for (auto& [text, statement] : writes) {
            if (text == sql)
                return statement;
        }
        writes.emplace_back(
            sql, sqlite::Statement(connection, sql.toUtf8(), sqlite::Statement::Use::Kept));
        return writes.back().second;
    }
};

Recordset::Recordset(std::shared_ptr<sqlite::Connection> connection, Selection&& selection)
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
    readPage(s.select);
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
    try {
        while (s.keysSelect.step())
            s.keys.push_back(s.keysSelect.integer(0));
    } catch (...) {
        s.keys.clear();
        throw;
    }
    s.keysSelect.reset();
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
        const int afterParameter = static_cast<int>(m_bindings.size()) + 1;
        s.select.bind(afterParameter, s.after).bind(afterParameter + 1, rows);
        readPage(s.select);
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
    sqlite::Statement& select = page->second;
    do {
        for (int slot = 1; slot <= rows; ++slot) {
            if (s.nextKey < s.keys.size())
                select.bind(slot, s.keys[s.nextKey++]);
            else
                select.bindNull(slot);
        }
        s.lastPage = s.nextKey >= s.keys.size();
        readPage(select);
    } while (s.rowids.empty() && !s.lastPage);
}

void Recordset::readPage(sqlite::Statement& select) {
    Statement& s = *m_statement;
    const int columns = static_cast<int>(m_fields.size());
    try {
        while (select.step()) {
            s.rowids.push_back(select.integer(0));
            for (int c = 1; c <= columns; ++c) {
                const QByteArrayView text = select.utf8(c);
                if (text.isNull()) {
                    s.cells.push_back({0, -1});
                    continue;
                }
                s.cells.push_back(
                    {static_cast<qint32>(s.data.size()), static_cast<qint32>(text.size())});
                s.data.append(text);
            }
        }
    } catch (...) {
        s.rowids.clear();
        s.cells.clear();
        s.lastPage = true;
        m_current = false;
        m_eof = true;
        throw;
    }
    select.reset();
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
    const sqlite::Connection& connection = *m_connection;
    if (m_editMode == EditMode::AddNew) {
        insertStatement().run();
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
        sqlite::Statement& update = m_statement->write(connection, sql);
        for (qsizetype i = 0; i < m_pending.size(); ++i)
            bindValue(update, static_cast<int>(i) + 1, m_pending[i].second);
        update.bind(static_cast<int>(columns.size()) + 1, m_rowid).run();
        if (connection.changes() == 0)
            throw StoreError(RecordDeleted, QStringLiteral("Record eliminato."));
        storeInPage(m_pending);
    }
    cancelPending();
}

// The INSERT for the pending fields with their values bound. Rows added one after the other
// with the same fields (imports) reuse the statement without building its text again.
sqlite::Statement& Recordset::insertStatement() {
    const sqlite::Connection& connection = *m_connection;
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
        s.lastInsert = &s.write(connection, sql);
        s.lastInsertFields.clear();
        for (const auto& pending : std::as_const(m_pending))
            s.lastInsertFields.append(pending.first);
    }
    for (qsizetype i = 0; i < m_pending.size(); ++i)
        bindValue(*s.lastInsert, static_cast<int>(i) + 1, m_pending[i].second);
    return *s.lastInsert;
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
    const sqlite::Connection& connection = *m_connection;
    m_statement
        ->write(connection, QStringLiteral("DELETE FROM %1 WHERE rowid = ?1").arg(quoted(m_table)))
        .bind(1, m_rowid)
        .run();
    if (connection.changes() == 0)
        throw StoreError(RecordDeleted, QStringLiteral("Record eliminato."));
    // No current row until the next move; the rows after it move up by one.
    m_current = false;
    --m_position;
    --m_visited;
}

} // namespace store
