#pragma once

#include "platform/textfile.h"
#include "store/archive.h"
#include "store/database.h"
#include "store/sqlite.h"
#include "tools/testdata.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringList>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

#include <sqlite3.h>

// The bytes of a file; `missing` when it cannot be read.
inline QByteArray readBytes(const QString& path, const QByteArray& missing = {}) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : missing;
}

// Replaces a file with exactly these bytes, making its folder when missing.
inline void writeBytes(const QString& path, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(file.write(bytes), bytes.size());
}

// Runs statements on a database file behind the program's back.
inline void rawSql(const QString& path, const QByteArray& sql) {
    sqlite3* db = nullptr;
    QCOMPARE(sqlite3_open(QFile::encodeName(path).constData(), &db), SQLITE_OK);
    const int rc = sqlite3_exec(db, sql.constData(), nullptr, nullptr, nullptr);
    const QByteArray error = sqlite3_errmsg(db);
    sqlite3_close(db);
    QVERIFY2(rc == SQLITE_OK, error.constData());
}

// The rows of a table in stored order, each as the texts of `fields` joined by '|'.
inline QStringList tableRows(store::Database& db, const QString& table, const QStringList& fields) {
    QStringList out;
    for (auto rs = db.openRecordset(table); !rs->isEof(); rs->MoveNext()) {
        QStringList values;
        for (const QString& field : fields)
            values << rs->value(field);
        out << values.join(u'|');
    }
    return out;
}

// Whether rubrica has all its indexes, the one of the list's order too.
inline bool hasRubricaIndexes(store::Database& db) {
    store::sqlite::Statement count(*db.connection(), "SELECT count(*) FROM sqlite_master WHERE "
                                                     "type = 'index' AND tbl_name = 'rubrica'");
    return count.step() && count.integer(0) == qint64(store::archive::rubricaIndexes().size()) + 1;
}

// The list in sorted order.
inline QStringList sortedList(QStringList list) {
    list.sort();
    return list;
}

// A throw-away application folder with the given address books.
class TestFolder {
public:
    explicit TestFolder(const QStringList& books = {QStringLiteral("Principale")}) {
        store::archive::createFolderDatabases(path(), books);
    }
    QString path() const { return m_dir.path(); }
    QString file(const QString& name) const { return QDir(path()).filePath(name); }
    std::unique_ptr<store::Database> book(const QString& name) const {
        return store::Database::open(store::archive::addressBookPath(path(), name));
    }
    void write(const QString& name, const QStringList& lines) const {
        platform::TextFile::replaceLines(file(name), lines);
    }

private:
    QTemporaryDir m_dir;
};
