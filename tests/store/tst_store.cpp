#include "store/archive.h"
#include "store/database.h"
#include "store/jettext.h"
#include "store/sendreport.h"
#include "store/sqlite.h"
#include "support/testfolder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <memory>
#include <stdexcept>
#include <vector>

using namespace Qt::StringLiterals;
namespace archive = store::archive;
namespace jettext = store::jettext;
namespace sqlite = store::sqlite;
namespace sendreport = store::sendreport;
using store::Database;
using store::Query;
using store::Recordset;

namespace {

const QString sentAt = u"05/03/2024 18:30:12"_s;

// The code of the StoreError that fn throws, 0 when it throws none.
template <typename Fn> int errorCode(Fn&& fn) {
    try {
        fn();
    } catch (const store::StoreError& error) {
        return error.code();
    }
    return 0;
}

// The values of one field over the remaining rows, in the order the recordset gives them.
QStringList column(Recordset& rs, const QString& field) {
    QStringList values;
    for (; !rs.isEof(); rs.MoveNext())
        values.append(rs.value(field));
    return values;
}

// One contact per surname (a null surname stays unset), with Nome " " and cellulare
// 33900000<index>.
void addContacts(Database& db, const QStringList& surnames) {
    const auto rs = db.openRecordset(u"rubrica"_s);
    db.transaction([&] {
        for (qsizetype i = 0; i < surnames.size(); ++i) {
            rs->AddNew();
            rs->setValue(u"Nome"_s, u" "_s);
            if (!surnames[i].isNull())
                rs->setValue(u"cognome"_s, surnames[i]);
            rs->setValue(u"cellulare"_s, u"33900000%1"_s.arg(i));
            rs->Update();
        }
    });
}

bool usesIndex(Database& db, const Query& query) {
    const QString plan = db.queryPlan(query).join(u';');
    return plan.contains(u"USING") && plan.contains(u"INDEX") && !plan.contains(u"SCAN");
}

void addMessage(Database& db, const QString& cellulare, const QString& testo) {
    const auto rs = db.openRecordset(u"inviati"_s);
    rs->AddNew();
    rs->setValue(u"cellulare"_s, cellulare);
    rs->setValue(u"Data"_s, sentAt);
    rs->setValue(u"Testo"_s, testo);
    rs->Update();
}

} // namespace

class tst_store final : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> dir;
    std::unique_ptr<Database> db; // an empty address book in dir, new for every test

private slots:
    void init() {
        db.reset();
        dir = std::make_unique<QTemporaryDir>();
        QVERIFY(dir->isValid());
        db = Database::create(dir->filePath(u"Principale"_s), archive::addressBookTables());
    }

    void textRules_data() {
        QTest::addColumn<QString>("value");
        QTest::addColumn<bool>("like"); // false: "="
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<bool>("matches");

        QTest::newRow("= accented capital") << u"ÈLITE"_s << false << u"èlite"_s << true;
        QTest::newRow("= accent matters") << u"è"_s << false << u"e"_s << false;
        QTest::newRow("= no partial match") << u"Rossini"_s << false << u"Rossi"_s << false;
        QTest::newRow("emoji is one character") << u"😀x"_s << true << u"?x"_s << true;
        QTest::newRow("digits") << u"3391234567"_s << true << u"339#######"_s << true;
        QTest::newRow("range") << u"bianchi"_s << true << u"[A-C]*"_s << true;
    }

    // "=" (the lookup that refuses a second "Principale", field and book names) and "like"; that
    // a null never matches is the "empty start" row of indexedLikeMatchesScan.
    void textRules() {
        QFETCH(QString, value);
        QFETCH(bool, like);
        QFETCH(QString, pattern);

        addContacts(*db, {value});
        const Query query = like ? Query(u"rubrica"_s).whereLike(u"cognome"_s, pattern)
                                 : Query(u"rubrica"_s).whereEqual(u"cognome"_s, pattern);
        QTEST(db->openRecordset(query)->RecordCount() == 1, "matches");
    }

    void sortOrder_data() {
        QTest::addColumn<QString>("before");
        QTest::addColumn<QString>("after");

        QTest::newRow("blank before letters") << u"De Luca"_s << u"Del Monte"_s;
        QTest::newRow("accent after plain") << u"abaco"_s << u"àbaco"_s;
        QTest::newRow("accent outweighs case") << u"Rossi"_s << u"rossì"_s;
    }

    // The list's order through the model is pinned in tst_mainwindow.
    void sortOrder() {
        QFETCH(QString, before);
        QFETCH(QString, after);

        QCOMPARE_LT(jettext::sortKey(QByteArrayView(before.toUtf8())),
                    jettext::sortKey(QByteArrayView(after.toUtf8())));
    }

    void openFailure_data() {
        QTest::addColumn<QByteArray>("content"); // null: no file at all
        QTest::addColumn<int>("code");

        QTest::newRow("missing") << QByteArray() << int(store::FileNotFound);
        QTest::newRow("text file")
            << QByteArray("Rubrica\r\nPrincipale\r\n") << int(store::NotADatabase);
    }

    // A failed open neither creates nor changes the file.
    void openFailure() {
        QFETCH(QByteArray, content);

        QFile file(dir->filePath(u"elenco.mdb"_s));
        if (!content.isNull())
            writeBytes(file.fileName(), content);
        QTEST(errorCode([&] { Database::open(file.fileName()); }), "code");
        if (content.isNull()) // a connection without a handler of its own throws
            QVERIFY_THROWS_EXCEPTION(
                sqlite::Error,
                sqlite::Connection(file.fileName(), sqlite::Connection::Mode::OpenExisting, 0));
        QCOMPARE(file.exists(), !content.isNull());
        if (file.open(QIODevice::ReadOnly))
            QCOMPARE(file.readAll(), content);
    }

    // Table and field names in any case; what is not there, or no longer, is refused.
    void namesAndErrorCodes() {
        addContacts(*db, {u"Rossi"_s});
        const auto saved = db->openRecordset(u"SALVATI"_s);
        saved->AddNew();
        saved->setValue(u"DATA"_s, sentAt);
        saved->Update();
        QCOMPARE(
            db->openRecordset(Query(u"salvati"_s).whereEqual(u"data"_s, sentAt))->value(u"Data"_s),
            sentAt);

        QCOMPARE(errorCode([&] { db->openRecordset(u"sqlite_master"_s); }), store::TableNotFound);
        const auto rs = db->openRecordset(u"rubrica"_s);
        QCOMPARE(errorCode([&] { rs->value(u"telefono"_s); }), store::ItemNotFound);
        rs->Edit();
        // The row goes through another window meanwhile.
        Database::open(db->path())->openRecordset(u"rubrica"_s)->Delete();
        rs->setValue(u"Nome"_s, u"Anna"_s);
        QCOMPARE(errorCode([&] { rs->Update(); }), store::RecordDeleted);
        QCOMPARE(db->openRecordset(u"rubrica"_s)->RecordCount(), 0);

        const auto none = db->openRecordset(u"inviati"_s);
        QVERIFY(none->isEof());
        QCOMPARE(errorCode([&] { none->value(u"Testo"_s); }), store::NoCurrentRecord);
        QCOMPARE(errorCode([&] { none->Delete(); }), store::NoCurrentRecord);
    }

    void values_data() {
        QTest::addColumn<QString>("value");

        QTest::newRow("null") << QString();
        QTest::newRow("accents and emoji") << u"àèéìòù ÀÈÉÌÒÙ ç 😀👍🏽"_s;
        QTest::newRow("query text") << u"x'); DROP TABLE inviati; --"_s;
    }

    // Text reads back as written after reopening; null and never-set fields read as empty.
    void values() {
        QFETCH(QString, value);

        addMessage(*db, u"3391234567"_s, value);
        const auto rs = Database::open(db->path())->openRecordset(u"inviati"_s);
        QCOMPARE(rs->RecordCount(), 1);
        QVERIFY(!rs->value(u"cognome"_s).isNull());
        QVERIFY(!rs->value(u"Testo"_s).isNull());
        QCOMPARE(rs->value(u"Testo"_s), value);
        QCOMPARE(rs->rawText(rs->fieldIndex(u"Testo"_s)), QByteArrayView(value.toUtf8()));
    }

    // Two messages to one number in the same second: Delete removes the first only.
    void deleteRemovesFirstMatchOnly() {
        addMessage(*db, u"3391112223"_s, u"primo"_s);
        addMessage(*db, u"3391112223"_s, u"secondo"_s);
        addMessage(*db, u"3394445556"_s, u"altro"_s);
        {
            const auto rs = db->openRecordset(Query(u"inviati"_s)
                                                  .whereEqual(u"cellulare"_s, u"3391112223"_s)
                                                  .whereEqual(u"Data"_s, sentAt));
            rs->Delete();
            QCOMPARE(errorCode([&] { rs->value(u"Testo"_s); }), store::NoCurrentRecord);
            rs->MoveNext();
            QCOMPARE(rs->value(u"Testo"_s), u"secondo"_s);
        }
        const auto rs = db->openRecordset(u"inviati"_s);
        QCOMPARE(column(*rs, u"Testo"_s), (QStringList{u"secondo"_s, u"altro"_s}));
    }

    void editChangesOnlyCurrentRow() {
        addContacts(*db, {u"Rossi"_s, u"Rossi"_s, u"Verdi"_s});
        {
            const auto rs =
                db->openRecordset(Query(u"rubrica"_s).whereEqual(u"cellulare"_s, u"339000001"_s));
            rs->Edit();
            rs->setValue(u"Nome"_s, u"Anna"_s);
            rs->setValue(u"cognome"_s, u"Rossi-Bianchi"_s);
            rs->Update();
            rs->Edit();
            rs->setValue(u"Nome"_s, u"abbandonato"_s);
            rs->CancelUpdate();
        }
        const auto rs = db->openRecordset(u"rubrica"_s);
        QCOMPARE(column(*rs, u"cognome"_s),
                 (QStringList{u"Rossi"_s, u"Rossi-Bianchi"_s, u"Verdi"_s}));
        rs->MoveFirst();
        QCOMPARE(column(*rs, u"Nome"_s), (QStringList{u" "_s, u"Anna"_s, u" "_s}));
    }

    void transactionRollsBack() {
        QVERIFY_THROWS_EXCEPTION(std::runtime_error, db->transaction([&] {
            addContacts(*db, {u"Uno"_s, u"Due"_s});
            throw std::runtime_error("import interrotto");
        }));
        QCOMPARE(db->openRecordset(u"rubrica"_s)->RecordCount(), 0);
    }

    // Made again, the folder's databases never overwrite one that exists. What they hold when
    // made, every test folder reads back (tst_addressbooks the rows of elenco).
    void folderDatabasesNeverOverwrite() {
        const QStringList books = {u"Principale"_s, u"Lavoro"_s};
        archive::createFolderDatabases(dir->path(), books);
        const QString principale = archive::addressBookPath(dir->path(), u"Principale"_s);
        addContacts(*Database::open(principale), {u"Rossi"_s});
        QCOMPARE(errorCode([&] { archive::createFolderDatabases(dir->path(), books); }),
                 store::DatabaseExists);
        const auto kept = Database::open(principale)->openRecordset(u"rubrica"_s);
        QCOMPARE(column(*kept, u"cognome"_s), QStringList{u"Rossi"_s});

        // One book file already in place stops everything before anything is written.
        const QString other = dir->filePath(u"altra"_s);
        writeBytes(archive::addressBookPath(other, u"Lavoro"_s), {});
        QCOMPARE(errorCode([&] { archive::createFolderDatabases(other, books); }),
                 store::DatabaseExists);
        QVERIFY(!QFile::exists(archive::elencoPath(other)));
        QVERIFY(!QFile::exists(archive::addressBookPath(other, u"Principale"_s)));
    }

    void indexedLikeMatchesScan_data() {
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<int>("count");
        QTest::addColumn<bool>("indexed");

        QTest::newRow("small letters") << u"ros*"_s << 5 << true;
        QTest::newRow("apostrophe") << u"d'a*"_s << 2 << true;
        QTest::newRow("percent as text") << u"100%*"_s << 1 << true;
        QTest::newRow("star in brackets") << u"a[*]*"_s << 1 << true;
        QTest::newRow("accented capital") << u"è*"_s << 2 << true;
        QTest::newRow("empty start") << u"*"_s << 26 << false;
        QTest::newRow("set first") << u"[r]os*"_s << 5 << false;
    }

    // The rubrica fields go through an index; the message tables have none and are scanned.
    void indexedLikeMatchesScan() {
        QFETCH(QString, pattern);

        const QStringList surnames = {
            u"Rossi"_s,  u"ROSSETTI"_s, u"rossini"_s,    u"Rössler"_s, u"Ross"_s,    u"Ro"_s,
            u"Rosé"_s,   u"D'Angelo"_s, u"D'ANNUNZIO"_s, u"Dangelo"_s, u"100%"_s,    u"100_"_s,
            u"1000"_s,   u"a*b"_s,      u"a?b"_s,        u"axb"_s,     u""_s,        QString(),
            u"Èrcole"_s, u"èlite"_s,    u"Ercole"_s,     u"Straße"_s,  u"STRASSE"_s, u"x@y"_s,
            u"x[y"_s,    u"xAy"_s,      u"😀x"_s};
        addContacts(*db, surnames);
        const auto saved = db->openRecordset(u"salvati"_s);
        db->transaction([&] {
            for (const QString& surname : surnames) {
                saved->AddNew();
                saved->setValue(u"cognome"_s, surname);
                saved->Update();
            }
        });

        const Query byIndex = Query(u"rubrica"_s).whereLike(u"cognome"_s, pattern);
        const QStringList found = column(*db->openRecordset(byIndex), u"cognome"_s);
        QCOMPARE(found,
                 column(*db->openRecordset(Query(u"salvati"_s).whereLike(u"cognome"_s, pattern)),
                        u"cognome"_s));
        QTEST(int(found.size()), "count");
        QTEST(usesIndex(*db, byIndex), "indexed");
    }

    void writeWhileOpen_data() {
        QTest::addColumn<QString>("pattern"); // null: the whole table, a plain scan
        QTest::newRow("through the index") << u"ross*"_s;
        QTest::newRow("whole table") << QString();
    }
    // Rows come in stored order across pages. A recordset stays open (the shared one does for
    // the whole run) while another window writes the same file: its current row still reads,
    // and MoveFirst takes in the changes made since.
    void writeWhileOpen() {
        QFETCH(QString, pattern);
        const QString field = u"cognome"_s;
        QStringList expected;
        const auto rows = db->openRecordset(u"rubrica"_s);
        db->transaction([&] {
            for (int i = 0; i < 1500; ++i) {
                const QString name = (i % 3 == 0 ? u"Rossi %1"_s : u"Bianchi %1"_s).arg(1500 - i);
                rows->AddNew();
                rows->setValue(field, name);
                rows->Update();
                if (i % 3 == 0 || pattern.isNull())
                    expected.append(name);
            }
        });
        Query query(u"rubrica"_s);
        if (!pattern.isNull())
            query.whereLike(field, pattern);
        const auto rs = Database::open(db->path())->openRecordset(query);
        QCOMPARE(column(*rs, field), expected);
        rs->MoveFirst();
        rs->MoveNext();

        const auto writer = Database::open(db->path());
        for (const int row : {400, 1}) // on a later page, and the current row
            writer->openRecordset(Query(u"rubrica"_s).whereEqual(field, expected[row]))->Delete();
        const auto added = writer->openRecordset(u"rubrica"_s);
        added->AddNew();
        added->setValue(field, u"Rossi nuovo"_s);
        added->Update();
        QCOMPARE(rs->value(field), expected[1]);
        expected.removeAt(400);
        expected.removeAt(1);
        rs->MoveFirst();
        QCOMPARE(column(*rs, field), expected + QStringList{u"Rossi nuovo"_s});
    }

    // An older address book opens and answers, also while another writer keeps it busy. Free,
    // it gets the send report's table, or the delivery columns its report lacks, which a
    // program that knows nothing of them (no collation of ours) still writes beside; busy, a
    // send's report is simply not kept, and the report it had still reads.
    void olderBookOpens_data() {
        QTest::addColumn<bool>("busy");
        QTest::addColumn<bool>("report"); // the file has a report without delivery columns
        QTest::newRow("free") << false << false;
        QTest::newRow("free, with a report") << false << true;
        QTest::newRow("another writer holds it, with a report") << true << true;
    }
    void olderBookOpens() {
        QFETCH(bool, busy);
        QFETCH(bool, report);
        const QString folder = dir->filePath(u"cartella"_s);
        const QString path = archive::addressBookPath(folder, u"Principale"_s);
        // Plain SQLite, as older versions and other programs leave the file.
        QVERIFY(QDir().mkpath(archive::addressBookDir(folder)));
        sqlite::Connection(path, sqlite::Connection::Mode::CreateIfMissing, 0)
            .exec("CREATE TABLE rubrica (Nome TEXT, cognome TEXT, cellulare TEXT, email TEXT, "
                  "icona TEXT); INSERT INTO rubrica (cognome, cellulare) VALUES ('Rossi', "
                  "'339000000'), ('Bianchi', '339000001'), ('rossini', '339000002');"
                  "CREATE TABLE inviati (cognome TEXT, cellulare TEXT, Data TEXT, Testo TEXT)");
        const archive::MessageRow older{u"Rossi"_s, u"339000000"_s, u"30/11/2026 10:00:00"_s,
                                        u"Prima"_s};
        if (report)
            sqlite::Connection(path, sqlite::Connection::Mode::OpenExisting, 0)
                .exec(QByteArray("CREATE TABLE esiti (messaggio TEXT NOT NULL, ordine INTEGER NOT "
                                 "NULL, numero TEXT, cognome TEXT, parte INTEGER, esito TEXT, "
                                 "risposta TEXT); CREATE INDEX esiti_messaggio ON esiti "
                                 "(messaggio, ordine); INSERT INTO esiti VALUES ('") +
                      sendreport::messageKey(older).toLatin1() +
                      "', 1, '339000000', 'Rossi', 1, 'A', '0: Accepted for delivery')");
        sqlite::Connection writer(path, sqlite::Connection::Mode::OpenExisting, 0);
        if (busy)
            writer.exec("BEGIN IMMEDIATE");

        const auto book = Database::open(path);
        const Query search = Query(u"rubrica"_s).whereLike(u"cognome"_s, u"ros*"_s);
        const Query number = Query(u"rubrica"_s).whereEqual(u"cellulare"_s, u"339000001"_s);
        QCOMPARE(column(*book->openRecordset(search), u"cognome"_s),
                 (QStringList{u"Rossi"_s, u"rossini"_s}));
        QCOMPARE(column(*book->openRecordset(number), u"cognome"_s), QStringList{u"Bianchi"_s});

        const archive::MessageRow sent{u" "_s, u"339000001"_s, u"01/12/2026 09:30:00"_s, u"Ciao"_s};
        sendreport::Line line;
        line.number = sent.cellulare;
        const QString key(32, u'b');
        sendreport::Writer writing(*book, sent, {line});
        writing.record(0, sendreport::Outcome::Accepted, u"0: Accepted for delivery"_s, key);
        writing.finish();
        QCOMPARE(writing.failed(), busy);
        QCOMPARE(sendreport::recordStates(*book, {{key, 1, u"2026-12-01T09:30:02Z"_s, u""_s}}),
                 busy ? 0 : 1);
        if (report)
            QCOMPARE(sendreport::read(*book, older).value(0).answer, u"0: Accepted for delivery"_s);
        const auto lines = sendreport::read(*book, sent);
        QCOMPARE(lines.size(), busy ? 0 : 1);
        if (!busy) {
            QCOMPARE(lines[0].surname, u"Bianchi"_s); // the address book's, for the number
            QCOMPARE(lines[0].key + u' ' + QString::number(lines[0].state), key + u" 1"_s);
            writer.exec("INSERT INTO inviati VALUES ('Rossi', '339000000', '', 'x');"
                        "DELETE FROM esiti");
        }
    }

    // A long send's report written a slice at a time: each line once, in order, the last slice
    // ending exactly on the last line.
    void reportInSlices() {
        archive::createFolderDatabases(dir->path(), {u"Principale"_s});
        const auto book = Database::open(archive::addressBookPath(dir->path(), u"Principale"_s));
        const archive::MessageRow sent{u"<lista>"_s, u"x"_s, u"01/12/2026 09:30:00"_s, u"Ciao"_s};
        QList<sendreport::Line> lines(5);
        QStringList numbers;
        for (int i = 0; i < 5; ++i)
            numbers << (lines[i].number = QString::number(3330000000 + i));
        const auto writer = sendreport::Writer::deferred(*book, sent, lines);
        QVERIFY(sendreport::read(*book, sent).isEmpty());
        QVERIFY(!writer->writeLines(2) && !writer->writeLines(2));
        QVERIFY(writer->writeLines(1));
        QStringList written;
        for (const auto& line : sendreport::read(*book, sent))
            written << line.number;
        QCOMPARE(written, numbers);
    }
};

// A test that throws fails with a message instead of ending in the crash handler's debugger.
int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    std::vector<char*> args(argv, argv + argc);
    char noCrashHandler[] = "-nocrashhandler";
    args.push_back(noCrashHandler);
    tst_store test;
    return QTest::qExec(&test, static_cast<int>(args.size()), args.data());
}

#include "tst_store.moc"
