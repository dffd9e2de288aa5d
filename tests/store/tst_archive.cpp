#include "storetest.h"

#include "store/archive.h"
#include "store/shareddatabase.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;
namespace archive = store::archive;
using store::Database;
using store::Query;

namespace {

QStringList rows(store::Recordset& rs, const QString& field) {
    QStringList values;
    for (; !rs.isEof(); rs.MoveNext())
        values.append(rs.value(field));
    return values;
}

} // namespace

class ArchiveTest final : public QObject {
    Q_OBJECT

private slots:
    void tableForKind_data();
    void tableForKind();
    void folderDatabases();
    void folderDatabasesNeverOverwrite();
    void sharedDatabaseReplaces();
};

void ArchiveTest::tableForKind_data() {
    QTest::addColumn<QChar>("kind");
    QTest::addColumn<QString>("table");

    QTest::newRow("contacts") << QChar(u'r') << u"rubrica"_s;
    QTest::newRow("saved") << QChar(u's') << u"salvati"_s;
    QTest::newRow("sent") << QChar(u'i') << u"inviati"_s;
    QTest::newRow("deleted") << QChar(u'c') << u"cancellati"_s;
    QTest::newRow("root node") << QChar(u'x') << QString();
}

void ArchiveTest::tableForKind() {
    QFETCH(QChar, kind);
    QFETCH(QString, table);
    QCOMPARE(archive::tableForKind(kind), table);
}

void ArchiveTest::folderDatabases() {
    QTemporaryDir dir;
    const QStringList books = {u"Principale"_s, u"Lavoro"_s, u"Mercato-01"_s};
    archive::createFolderDatabases(dir.path(), books);

    const auto elenco = Database::open(archive::elencoPath(dir.path()));
    const auto list = elenco->openRecordset(u"elenco"_s);
    QCOMPARE(rows(*list, u"Rubrica"_s), books);

    QStringList files = {archive::templatePath(dir.path())};
    for (const QString& book : books)
        files.append(archive::addressBookPath(dir.path(), book));
    for (const QString& file : files) {
        const auto db = Database::open(file);
        for (const store::TableSchema& table : archive::addressBookTables()) {
            const auto rs = db->openRecordset(table.name);
            QCOMPARE(rs->fieldNames(), table.fields);
            QCOMPARE(rs->RecordCount(), 0);
        }
    }
    QVERIFY(QFile::exists(dir.filePath(u"rubriche/Mercato-01"_s)));
}

void ArchiveTest::folderDatabasesNeverOverwrite() {
    QTemporaryDir dir;
    archive::createFolderDatabases(dir.path(), {u"Principale"_s});
    {
        const auto db = Database::open(archive::addressBookPath(dir.path(), u"Principale"_s));
        const auto rs = db->openRecordset(u"rubrica"_s);
        rs->AddNew();
        rs->setValue(u"cellulare"_s, u"3391234567"_s);
        rs->Update();
    }
    QCOMPARE(errorCode([&] { archive::createFolderDatabases(dir.path(), {u"Principale"_s}); }),
             store::DatabaseExists);
    const auto db = Database::open(archive::addressBookPath(dir.path(), u"Principale"_s));
    QCOMPARE(db->openRecordset(u"rubrica"_s)->value(u"cellulare"_s), u"3391234567"_s);

    // A book file already in place stops everything before anything is written.
    QTemporaryDir other;
    QVERIFY(QDir().mkpath(archive::addressBookDir(other.path())));
    QFile existing(archive::addressBookPath(other.path(), u"Lavoro"_s));
    QVERIFY(existing.open(QIODevice::WriteOnly));
    existing.close();
    QCOMPARE(errorCode([&] {
                 archive::createFolderDatabases(other.path(), {u"Principale"_s, u"Lavoro"_s});
             }),
             store::DatabaseExists);
    QVERIFY(!QFile::exists(archive::elencoPath(other.path())));
    QVERIFY(!QFile::exists(archive::addressBookPath(other.path(), u"Principale"_s)));
}

void ArchiveTest::sharedDatabaseReplaces() {
    QTemporaryDir dir;
    archive::createFolderDatabases(dir.path(), {u"Principale"_s});
    store::SharedDatabase shared;
    QCOMPARE(errorCode([&] { shared.openRecordset(u"elenco"_s); }), store::EngineFailure);

    shared.open(archive::elencoPath(dir.path()));
    QCOMPARE(shared.openRecordset(u"elenco"_s).value(u"rubrica"_s), u"Principale"_s);

    const QString missing = archive::addressBookPath(dir.path(), u"Mercato-07"_s);
    QCOMPARE(errorCode([&] { shared.open(missing); }), store::FileNotFound);
    QCOMPARE(shared.percorsoDb, missing);
    QVERIFY(!shared.rs);
    QVERIFY(!QFile::exists(missing));

    shared.open(archive::addressBookPath(dir.path(), u"Principale"_s));
    QCOMPARE(shared.openRecordset(u"inviati"_s).RecordCount(), 0);
    QCOMPARE(shared.db->path(), archive::addressBookPath(dir.path(), u"Principale"_s));
}

int runArchiveTests(int argc, char** argv) {
    ArchiveTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_archive.moc"
