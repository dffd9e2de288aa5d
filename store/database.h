#pragma once

#include "store/query.h"
#include "store/sqlite.h"
#include "store/storeerror.h"

#include <QByteArrayView>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <vector>

namespace store {

class Recordset;
struct Selection;
enum class RowAccess : unsigned char;

// One archive database file, opened for shared reading and writing.
// Text comparison follows the archive rules: "=" and "like" ignore letter case (accented
// letters included), "*" and "?" are the like wildcards, rows come back in stored order.
class Database final {
public:
    // Opens an existing file; never creates one. Throws StoreError 3024 when the file does
    // not exist, 3343 when it is not an archive database.
    static std::unique_ptr<Database> open(const QString& path);

    // Creates a new, empty database file with the given tables (each field a text column).
    // Throws StoreError when the file exists already or cannot be written.
    static std::unique_ptr<Database> create(const QString& path, const QList<TableSchema>& tables);

    ~Database();
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;

    const QString& path() const { return m_path; }

    // A recordset over a whole table, or over one of the query shapes. Throws 3078 for an
    // unknown table, 3265 for an unknown field.
    std::unique_ptr<Recordset> openRecordset(const QString& table);
    std::unique_ptr<Recordset> openRecordset(const Query& query);

    // Runs fn inside one transaction (all or nothing): bulk writers (imports, generators).
    void transaction(const std::function<void()>& fn);

    // A transaction kept open across calls, for a writer that fills several databases at once:
    // begun when made, undone when destroyed without commit(). Inside another transaction of
    // the same database it is a savepoint.
    class Transaction final {
    public:
        explicit Transaction(Database& db);
        void commit();

    private:
        std::shared_ptr<sqlite::Connection> m_connection; // outlives the transaction
        sqlite::Transaction m_transaction;
    };

    bool hasTable(const QString& table) const;

    // The rowids of the rows the query finds, in stored order, read through an index when one
    // serves (only the keys: a list then reads the rows it shows).
    std::vector<qint64> rowids(const Query& query) const;
    // A load into an empty rubrica makes its indexes once, after the rows, rather than row by
    // row: dropContactIndexes() inside the load's first transaction, makeContactIndexes() after
    // its last. A file left without them (the program stopped in between) gets them when it is
    // next opened. `progress` is called every few milliseconds while they are made, with the
    // work done so far and the whole (an estimate).
    void dropContactIndexes();
    void makeContactIndexes(const std::function<void(qint64 done, qint64 total)>& progress = {});

    // The file's connection, for what the store keeps beside the archive's tables (the send
    // report); it stays open as long as someone holds it.
    std::shared_ptr<sqlite::Connection> connection() const { return m_connection; }
    // The collation that compares texts as the archive's "=" does (and its indexes are made
    // with), for that SQL of the store's own.
    static const char* textCollation();
    // Registers that collation and the archive's functions (the like rule, the list's sort
    // key, which an index uses) on a connection opened elsewhere, as a raw SQLite baseline in
    // the benches must to write an address book: SQLite's result code.
    static int addTextRules(sqlite3* db);
    // The SQL function that gives a text's sort key in the lists' order (a blob compared byte
    // by byte); the contacts are indexed by it.
    static const char* sortKeyFunction();

    // The steps SQLite takes to find the rows of the query (EXPLAIN QUERY PLAN), to check
    // that a lookup goes through an index.
    QStringList queryPlan(const Query& query) const;

private:
    Database(QString path, std::shared_ptr<sqlite::Connection> connection);
    QString m_path;
    std::shared_ptr<sqlite::Connection> m_connection;
};

// A forward cursor over the rows of one table, in stored order, with the editing verbs of
// the archive engine. Field names are matched without regard to case.
// A query that an index serves ("=", or a "like" with a literal start, on an indexed field)
// fixes its rows when opened and at MoveFirst; other recordsets also meet rows added after
// them.
class Recordset final {
public:
    ~Recordset();
    Recordset(const Recordset&) = delete;
    Recordset& operator=(const Recordset&) = delete;

    // Rows visited so far: right after opening, 0 for an empty result and 1 otherwise.
    int RecordCount() const { return m_visited; }
    // The rows a query served by an index found when opened or at MoveFirst (rows deleted
    // since included); -1 for other recordsets. Lets a reader reserve room.
    qsizetype foundRows() const;
    void MoveFirst(); // throws 3021 on an empty result
    void MoveNext();
    bool isEof() const { return m_eof; }

    // The value of a field of the current row; a null value reads as an empty text.
    // Throws 3021 with no current row, 3265 for an unknown field.
    QString value(const QString& field) const;
    QString operator[](const QString& field) const { return value(field); }

    // Zero-copy read for list fillers: the UTF-8 text of column `column`, valid until the
    // next move or Update. Column numbers come from fieldIndex(); a null value is empty.
    int fieldIndex(const QString& field) const; // throws 3265
    QByteArrayView rawText(int column) const;
    const QStringList& fieldNames() const { return m_fields; }

    // Editing: AddNew or Edit, then setValue for each field, then Update (one durable write).
    // A null QString stores a null value. Moving away abandons the pending changes.
    void AddNew();
    void Edit();
    void setValue(const QString& field, const QString& value);
    void Update(); // throws 3020 without AddNew or Edit
    void CancelUpdate();
    void Delete(); // removes the current row; throws 3021 with no current row

private:
    friend class Database;
    Recordset(std::shared_ptr<sqlite::Connection> connection, Selection&& selection);
    Selection selection() const;
    void execute();
    void restart();
    void readKeys();
    void readWhole();
    void fetch(int rows);
    void readPage(sqlite::Statement& select);
    void step();
    void land();
    void requireCurrent() const;
    void cancelPending();
    sqlite::Statement& insertStatement();
    void storeInPage(const QList<QPair<QString, QString>>& values);
    static StoreError updateWithoutEdit();

    std::shared_ptr<sqlite::Connection> m_connection;
    QString m_table;
    QString m_whereSql;
    QStringList m_bindings;
    RowAccess m_access;
    QStringList m_fields;
    struct Statement;
    std::unique_ptr<Statement> m_statement;
    qint64 m_rowid = 0;
    int m_position = 0; // 1-based position of the current row since the last (re)start
    int m_visited = 0;
    bool m_eof = true;
    bool m_current = false;
    enum class EditMode { None, AddNew, Edit } m_editMode = EditMode::None;
    QList<QPair<QString, QString>> m_pending;
};

} // namespace store
