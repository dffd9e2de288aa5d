#include "store/archive.h"
#include "store/database.h"
#include "store/jettext.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <sqlite3.h>

#include <memory>
#include <stdexcept>
#include <vector>

using namespace Qt::StringLiterals;
namespace archive = store::archive;
namespace jettext = store::jettext;
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

// A connection of SQLite's own, without the archive's comparison: files as older versions
// and other programs leave them.
struct RawFile {
    sqlite3* db = nullptr;
    explicit RawFile(const QString& path) { sqlite3_open(QFile::encodeName(path), &db); }
    ~RawFile() { sqlite3_close(db); }
    bool exec(const char* sql) { return sqlite3_exec(db, sql, nullptr, nullptr, nullptr) == 0; }
    int indexCount() {
        sqlite3_stmt* st = nullptr;
        sqlite3_prepare_v2(db, "SELECT count(*) FROM sqlite_master WHERE type = 'index'", -1, &st,
                           nullptr);
        const int count = sqlite3_step(st) == SQLITE_ROW ? sqlite3_column_int(st, 0) : -1;
        sqlite3_finalize(st);
        return count;
    }
};

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
    void init();
    void equality_data();
    void equality();
    void like_data();
    void like();
    void sortOrder_data();
    void sortOrder();
    void openFailure_data();
    void openFailure();
    void unknownNames();
    void emptyResult();
    void storedOrder();
    void values_data();
    void values();
    void deleteRemovesFirstMatchOnly();
    void editChangesOnlyCurrentRow();
    void fieldNamesAnyCase_data();
    void fieldNamesAnyCase();
    void transactionRollsBack();
    void writeWhileAnotherRecordsetIsOpen();
    void largeTableWithNulls();
    void folderDatabasesNeverOverwrite();
    void indexedLikeMatchesScan_data();
    void indexedLikeMatchesScan();
    void indexedLookupAcrossPages_data();
    void indexedLookupAcrossPages();
    void indexesOnOpen_data();
    void indexesOnOpen();
};

void tst_store::init() {
    db.reset();
    dir = std::make_unique<QTemporaryDir>();
    QVERIFY(dir->isValid());
    db = Database::create(dir->filePath(u"Principale"_s), archive::addressBookTables());
}

void tst_store::equality_data() {
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QString>("searched");
    QTest::addColumn<bool>("same");

    QTest::newRow("small letters") << u"Principale"_s << u"principale"_s << true;
    QTest::newRow("capitals") << u"Principale"_s << u"PRINCIPALE"_s << true;
    QTest::newRow("accented capital") << u"ÈLITE"_s << u"èlite"_s << true;
    QTest::newRow("accent matters") << u"è"_s << u"e"_s << false;
    QTest::newRow("apostrophe") << u"D'AMICO"_s << u"d'amico"_s << true;
    QTest::newRow("extended latin") << u"ŁÓDŹ"_s << u"łódź"_s << true;
    QTest::newRow("no partial match") << u"Rossini"_s << u"Rossi"_s << false;
}

// "=" in queries (the lookup that refuses a second "Principale"), field and book names.
void tst_store::equality() {
    QFETCH(QString, stored);
    QFETCH(QString, searched);
    QFETCH(bool, same);

    QCOMPARE(jettext::equal(stored, searched), same);
    addContacts(*db, {stored});
    const auto rs = db->openRecordset(Query(u"rubrica"_s).whereEqual(u"cognome"_s, searched));
    QCOMPARE(column(*rs, u"cognome"_s), same ? QStringList{stored} : QStringList{});
}

void tst_store::like_data() {
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<bool>("matches");

    QTest::newRow("typed prefix") << u"D'Amico Luigi"_s << u"D'Amico*"_s << true;
    QTest::newRow("small letters") << u"D'Amico"_s << u"d'a*"_s << true;
    QTest::newRow("apostrophe required") << u"Damico"_s << u"D'Amico*"_s << false;
    QTest::newRow("accented prefix") << u"Èrcole"_s << u"è*"_s << true;
    QTest::newRow("accent differs") << u"Ercole"_s << u"è*"_s << false;
    QTest::newRow("one character") << u"Rossi"_s << u"R?ssi"_s << true;
    QTest::newRow("emoji is one character") << u"😀x"_s << u"?x"_s << true;
    QTest::newRow("digits") << u"3391234567"_s << u"339#######"_s << true;
    QTest::newRow("letter for a digit") << u"339123456a"_s << u"339#######"_s << false;
    QTest::newRow("range") << u"bianchi"_s << u"[A-C]*"_s << true;
    QTest::newRow("negated range") << u"Bianchi"_s << u"[!A-C]*"_s << false;
    QTest::newRow("star in brackets") << u"a*b"_s << u"a[*]b"_s << true;
    QTest::newRow("unclosed bracket") << u"[x"_s << u"[x"_s << true;
    QTest::newRow("inner run") << u"mississippi"_s << u"*sip*"_s << true;
    QTest::newRow("suffix after retry") << u"abcab"_s << u"*ab"_s << true;
    QTest::newRow("one character on empty") << u""_s << u"?"_s << false;
    QTest::newRow("whole text only") << u"Rossini"_s << u"Rossi"_s << false;
    QTest::newRow("null never matches") << QString() << u"*"_s << false;
}

void tst_store::like() {
    QFETCH(QString, value);
    QFETCH(QString, pattern);
    QFETCH(bool, matches);

    addContacts(*db, {value});
    const auto rs = db->openRecordset(Query(u"rubrica"_s).whereLike(u"cognome"_s, pattern));
    QCOMPARE(rs->RecordCount(), matches ? 1 : 0);
}

void tst_store::sortOrder_data() {
    QTest::addColumn<QString>("before");
    QTest::addColumn<QString>("after");

    QTest::newRow("empty first") << u""_s << u" "_s;
    QTest::newRow("apostrophe before letters") << u"d'Amico"_s << u"De Luca"_s;
    QTest::newRow("blank before letters") << u"De Luca"_s << u"Del Monte"_s;
    QTest::newRow("accent after plain") << u"abaco"_s << u"àbaco"_s;
    QTest::newRow("accent with its base letter") << u"àbaco"_s << u"abacus"_s;
    QTest::newRow("capital sorts by letter") << u"zappa"_s << u"Zeta"_s;
    QTest::newRow("small before capital") << u"zappa"_s << u"Zappa"_s;
    QTest::newRow("accent outweighs case") << u"Rossi"_s << u"rossì"_s;
    QTest::newRow("cedilla with c") << u"Cecco"_s << u"Çelik"_s;
    QTest::newRow("sharp s as ss") << u"strasse"_s << u"straße"_s;
    QTest::newRow("sharp s before longer") << u"straße"_s << u"strasser"_s;
    QTest::newRow("extended latin") << u"Lodi"_s << u"Łódź"_s;
    QTest::newRow("other scripts after latin") << u"Zurigo"_s << u"Ωmega"_s;
    QTest::newRow("prefix first") << u"Ross"_s << u"Rossi"_s;
}

void tst_store::sortOrder() {
    QFETCH(QString, before);
    QFETCH(QString, after);

    QCOMPARE_LT(jettext::sortKey(QByteArrayView(before.toUtf8())),
                jettext::sortKey(QByteArrayView(after.toUtf8())));
}

void tst_store::openFailure_data() {
    QTest::addColumn<QByteArray>("content"); // null: no file at all
    QTest::addColumn<int>("code");

    QTest::newRow("missing") << QByteArray() << int(store::FileNotFound);
    QTest::newRow("text file") << QByteArray("Rubrica\r\nPrincipale\r\n")
                               << int(store::NotADatabase);
    QTest::newRow("empty file") << QByteArray("") << int(store::NotADatabase);
}

// A failed open neither creates nor changes the file.
void tst_store::openFailure() {
    QFETCH(QByteArray, content);
    QFETCH(int, code);

    QFile file(dir->filePath(u"elenco.mdb"_s));
    if (!content.isNull()) {
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(content);
        file.close();
    }
    QCOMPARE(errorCode([&] { Database::open(file.fileName()); }), code);
    QCOMPARE(file.exists(), !content.isNull());
    if (file.open(QIODevice::ReadOnly))
        QCOMPARE(file.readAll(), content);
}

void tst_store::unknownNames() {
    addContacts(*db, {u"Rossi"_s});

    QCOMPARE(errorCode([&] { db->openRecordset(u"rubriche"_s); }), store::TableNotFound);
    QCOMPARE(errorCode([&] { db->openRecordset(u"sqlite_master"_s); }), store::TableNotFound);
    QCOMPARE(
        errorCode([&] { db->openRecordset(Query(u"rubrica"_s).whereEqual(u"nomi"_s, u"x"_s)); }),
        store::ItemNotFound);
    const auto rs = db->openRecordset(u"rubrica"_s);
    QCOMPARE(errorCode([&] { rs->value(u"telefono"_s); }), store::ItemNotFound);
    rs->Edit();
    QCOMPARE(errorCode([&] { rs->setValue(u"telefono"_s, u"1"_s); }), store::ItemNotFound);
}

void tst_store::emptyResult() {
    const auto rs = db->openRecordset(u"salvati"_s);

    QCOMPARE(rs->RecordCount(), 0);
    QVERIFY(rs->isEof());
    QCOMPARE(errorCode([&] { rs->MoveFirst(); }), store::NoCurrentRecord);
    QCOMPARE(errorCode([&] { rs->value(u"Testo"_s); }), store::NoCurrentRecord);
    QCOMPARE(errorCode([&] { rs->Delete(); }), store::NoCurrentRecord);
}

// Rows come back as added, a deleted row's place not reused; RecordCount counts rows visited.
void tst_store::storedOrder() {
    addContacts(*db, {u"Zeta"_s, u"alfa"_s, u"Mario"_s});
    db->openRecordset(Query(u"rubrica"_s).whereEqual(u"cognome"_s, u"alfa"_s))->Delete();
    addContacts(*db, {u"Beta"_s});

    const auto rs = db->openRecordset(u"rubrica"_s);
    QCOMPARE(rs->RecordCount(), 1);
    rs->MoveNext();
    QCOMPARE(rs->RecordCount(), 2);
    rs->MoveFirst();
    QCOMPARE(column(*rs, u"cognome"_s), (QStringList{u"Zeta"_s, u"Mario"_s, u"Beta"_s}));
    QCOMPARE(rs->RecordCount(), 3);
}

void tst_store::values_data() {
    QTest::addColumn<QString>("value");

    QTest::newRow("null") << QString();
    QTest::newRow("apostrophes") << u"l'unico d'oro"_s;
    QTest::newRow("accents and emoji") << u"àèéìòù ÀÈÉÌÒÙ ç 😀👍🏽"_s;
    QTest::newRow("long text") << u"Messaggio lungo. "_s.repeated(20);
    QTest::newRow("query text") << u"x'); DROP TABLE inviati; --"_s;
    QTest::newRow("line breaks") << u"riga uno\r\nriga due"_s;
}

// Text reads back as written after reopening; null and never-set fields read as empty.
void tst_store::values() {
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
void tst_store::deleteRemovesFirstMatchOnly() {
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

void tst_store::editChangesOnlyCurrentRow() {
    addContacts(*db, {u"Rossi"_s, u"Rossi"_s, u"Verdi"_s});
    {
        const auto rs =
            db->openRecordset(Query(u"rubrica"_s).whereEqual(u"cellulare"_s, u"339000001"_s));
        rs->Edit();
        rs->setValue(u"Nome"_s, u"Anna"_s);
        rs->setValue(u"cognome"_s, u"Rossi-Bianchi"_s);
        rs->Update();
        QCOMPARE(rs->value(u"cognome"_s), u"Rossi-Bianchi"_s);
        rs->Edit();
        rs->setValue(u"Nome"_s, u"abbandonato"_s);
        rs->CancelUpdate();
    }
    const auto rs = db->openRecordset(u"rubrica"_s);
    QCOMPARE(column(*rs, u"cognome"_s), (QStringList{u"Rossi"_s, u"Rossi-Bianchi"_s, u"Verdi"_s}));
    rs->MoveFirst();
    QCOMPARE(column(*rs, u"Nome"_s), (QStringList{u" "_s, u"Anna"_s, u" "_s}));
}

void tst_store::fieldNamesAnyCase_data() {
    QTest::addColumn<QString>("field");

    QTest::newRow("as created") << u"Data"_s;
    QTest::newRow("small letters") << u"data"_s;
    QTest::newRow("capitals") << u"DATA"_s;
}

void tst_store::fieldNamesAnyCase() {
    QFETCH(QString, field);
    {
        const auto rs = db->openRecordset(u"SALVATI"_s);
        rs->AddNew();
        rs->setValue(field, sentAt);
        rs->Update();
    }
    const auto rs = db->openRecordset(Query(u"salvati"_s).whereEqual(field, sentAt));
    QCOMPARE(rs->RecordCount(), 1);
    QCOMPARE(rs->value(field), sentAt);
}

void tst_store::transactionRollsBack() {
    QVERIFY_THROWS_EXCEPTION(std::runtime_error, db->transaction([&] {
        addContacts(*db, {u"Uno"_s, u"Due"_s});
        throw std::runtime_error("import interrotto");
    }));
    QCOMPARE(db->openRecordset(u"rubrica"_s)->RecordCount(), 0);

    addContacts(*db, {u"Uno"_s, u"Due"_s});
    const auto rs = Database::open(db->path())->openRecordset(u"rubrica"_s);
    QCOMPARE(column(*rs, u"cognome"_s), (QStringList{u"Uno"_s, u"Due"_s}));
}

// The shared recordset stays open for the whole run while other windows write the same file.
void tst_store::writeWhileAnotherRecordsetIsOpen() {
    addContacts(*db, QStringList(700, u"Rossi"_s));

    const auto reader = Database::open(db->path());
    const auto open = reader->openRecordset(u"rubrica"_s);
    open->MoveNext();

    const auto writer = Database::open(db->path());
    addContacts(*writer, {u"Nuovo"_s});
    writer->openRecordset(Query(u"rubrica"_s).whereEqual(u"cellulare"_s, u"339000001"_s))->Delete();

    QCOMPARE(open->value(u"cellulare"_s), u"339000001"_s);
    int rows = 0;
    for (open->MoveFirst(); !open->isEof(); open->MoveNext())
        ++rows;
    QCOMPARE(rows, 700);
}

void tst_store::largeTableWithNulls() {
    constexpr int rows = 100000;
    {
        const auto rs = db->openRecordset(u"inviati"_s);
        db->transaction([&] {
            for (int i = 0; i < rows; ++i) {
                rs->AddNew();
                rs->setValue(u"cellulare"_s, QString::number(i));
                if (i % 3 == 0)
                    rs->setValue(u"Testo"_s, u"testo %1"_s.arg(i));
                rs->Update();
            }
        });
    }

    const auto rs = Database::open(db->path())->openRecordset(u"inviati"_s);
    const int cellulare = rs->fieldIndex(u"cellulare"_s);
    int read = 0;
    int mismatches = 0;
    for (; !rs->isEof(); rs->MoveNext(), ++read) {
        if (rs->rawText(cellulare) != QByteArray::number(read) ||
            rs->value(u"testo"_s) != (read % 3 == 0 ? u"testo %1"_s.arg(read) : QString()))
            ++mismatches;
    }
    QCOMPARE(read, rows);
    QCOMPARE(mismatches, 0);
}

void tst_store::folderDatabasesNeverOverwrite() {
    const QStringList books = {u"Principale"_s, u"Lavoro"_s};
    archive::createFolderDatabases(dir->path(), books);
    const auto elenco = Database::open(archive::elencoPath(dir->path()));
    QCOMPARE(column(*elenco->openRecordset(u"elenco"_s), u"Rubrica"_s), books);
    for (const QString& name : books) {
        const auto book = Database::open(archive::addressBookPath(dir->path(), name));
        for (const store::TableSchema& table : archive::addressBookTables())
            QCOMPARE(book->openRecordset(table.name)->RecordCount(), 0);
    }

    const QString principale = archive::addressBookPath(dir->path(), u"Principale"_s);
    addContacts(*Database::open(principale), {u"Rossi"_s});
    QCOMPARE(errorCode([&] { archive::createFolderDatabases(dir->path(), books); }),
             store::DatabaseExists);
    const auto kept = Database::open(principale)->openRecordset(u"rubrica"_s);
    QCOMPARE(column(*kept, u"cognome"_s), QStringList{u"Rossi"_s});

    // One book file already in place stops everything before anything is written.
    const QString other = dir->filePath(u"altra"_s);
    QVERIFY(QDir().mkpath(archive::addressBookDir(other)));
    QFile existing(archive::addressBookPath(other, u"Lavoro"_s));
    QVERIFY(existing.open(QIODevice::WriteOnly));
    existing.close();
    QCOMPARE(errorCode([&] { archive::createFolderDatabases(other, books); }),
             store::DatabaseExists);
    QVERIFY(!QFile::exists(archive::elencoPath(other)));
    QVERIFY(!QFile::exists(archive::addressBookPath(other, u"Principale"_s)));
}

void tst_store::indexedLikeMatchesScan_data() {
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<int>("count");
    QTest::addColumn<bool>("indexed");

    QTest::newRow("small letters") << u"ros*"_s << 5 << true;
    QTest::newRow("capitals") << u"ROSS*"_s << 4 << true;
    QTest::newRow("accented start") << u"rö*"_s << 1 << true;
    QTest::newRow("no wildcard") << u"ross"_s << 1 << true;
    QTest::newRow("apostrophe") << u"d'a*"_s << 2 << true;
    QTest::newRow("percent as text") << u"100%*"_s << 1 << true;
    QTest::newRow("underscore as text") << u"100_*"_s << 1 << true;
    QTest::newRow("star inside") << u"a*b*"_s << 3 << true;
    QTest::newRow("star in brackets") << u"a[*]*"_s << 1 << true;
    QTest::newRow("accented capital") << u"è*"_s << 2 << true;
    QTest::newRow("accent differs") << u"e*"_s << 1 << true;
    QTest::newRow("sharp s") << u"straß*"_s << 1 << true;
    QTest::newRow("greek") << u"σοφ*"_s << 2 << true;
    QTest::newRow("title case letter") << u"ǆu*"_s << 2 << true;
    QTest::newRow("before a capital") << u"x@*"_s << 1 << true;
    QTest::newRow("emoji") << u"😀*"_s << 1 << true;
    QTest::newRow("next sign folds lower") << u"℩*"_s << 1 << true; // U+212A folds to "k"
    QTest::newRow("unclosed bracket") << u"[x"_s << 1 << true;
    QTest::newRow("empty brackets") << u"[]ros*"_s << 5 << true;
    QTest::newRow("nothing found") << u"zzz*"_s << 0 << true;
    QTest::newRow("empty start") << u"*"_s << 33 << false;
    QTest::newRow("set first") << u"[r]os*"_s << 5 << false;
    QTest::newRow("empty pattern") << u""_s << 1 << false;
}

// The rubrica fields go through an index; the message tables have none and are scanned.
void tst_store::indexedLikeMatchesScan() {
    QFETCH(QString, pattern);
    QFETCH(int, count);
    QFETCH(bool, indexed);

    const QStringList surnames = {
        u"Rossi"_s,  u"ROSSETTI"_s, u"rossini"_s,    u"Rössler"_s, u"Ross"_s,    u"Ro"_s,
        u"Rosé"_s,   u"D'Angelo"_s, u"D'ANNUNZIO"_s, u"Dangelo"_s, u"100%"_s,    u"100_"_s,
        u"1000"_s,   u"a*b"_s,      u"a?b"_s,        u"axb"_s,     u""_s,        QString(),
        u"Èrcole"_s, u"èlite"_s,    u"Ercole"_s,     u"Straße"_s,  u"STRASSE"_s, u"Σοφία"_s,
        u"σοφός"_s,  u"ǅuro"_s,     u"Ǆura"_s,       u"ǈa"_s,      u"x@y"_s,     u"x[y"_s,
        u"xAy"_s,    u"😀x"_s,       u"[x"_s,         u"℩x"_s};
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
    QCOMPARE(found, column(*db->openRecordset(Query(u"salvati"_s).whereLike(u"cognome"_s, pattern)),
                           u"cognome"_s));
    QCOMPARE(found.size(), count);
    QCOMPARE(usesIndex(*db, byIndex), indexed);
}

void tst_store::indexedLookupAcrossPages_data() {
    QTest::addColumn<QString>("field");

    QTest::newRow("surname, rows read from the index") << u"cognome"_s;
    QTest::newRow("first name, rows fetched by key") << u"Nome"_s;
}

// Rows come in stored order across pages; MoveFirst takes in the changes made since.
void tst_store::indexedLookupAcrossPages() {
    QFETCH(QString, field);

    QStringList expected;
    const auto rows = db->openRecordset(u"rubrica"_s);
    db->transaction([&] {
        for (int i = 0; i < 1500; ++i) {
            const QString name = (i % 3 == 0 ? u"Rossi %1"_s : u"Bianchi %1"_s).arg(1500 - i);
            rows->AddNew();
            rows->setValue(field, name);
            rows->Update();
            if (i % 3 == 0)
                expected.append(name);
        }
    });
    const auto rs = db->openRecordset(Query(u"rubrica"_s).whereLike(field, u"ross*"_s));
    QCOMPARE(column(*rs, field), expected);

    const auto writer = Database::open(db->path());
    writer->openRecordset(Query(u"rubrica"_s).whereEqual(field, expected[400]))->Delete();
    expected.removeAt(400);
    const auto added = writer->openRecordset(u"rubrica"_s);
    added->AddNew();
    added->setValue(field, u"Rossi nuovo"_s);
    added->Update();
    rs->MoveFirst();
    QCOMPARE(column(*rs, field), expected + QStringList{u"Rossi nuovo"_s});
}

void tst_store::indexesOnOpen_data() {
    QTest::addColumn<QString>("file");
    QTest::addColumn<bool>("indexed");

    QTest::newRow("new folder") << u"new"_s << true;
    QTest::newRow("older file") << u"old"_s << true;
    QTest::newRow("older file, another writer at work") << u"busy"_s << false;
    QTest::newRow("older file, read only") << u"readonly"_s << false;
}

// Searches and the number lookup go through the indexes of a new address book or of an older
// one once opened; a file that cannot take them still opens and answers the same.
void tst_store::indexesOnOpen() {
    QFETCH(QString, file);
    QFETCH(bool, indexed);

    const QString folder = dir->filePath(u"cartella"_s);
    QVERIFY(QDir().mkpath(folder));
    const QString path = archive::addressBookPath(folder, u"Principale"_s);
    std::unique_ptr<RawFile> writer;
    if (file == u"new") {
        archive::createFolderDatabases(folder, {u"Principale"_s});
        QCOMPARE(RawFile(path).indexCount(), archive::rubricaIndexes().size());
        addContacts(*Database::open(path), {u"Rossi"_s, u"Bianchi"_s, u"rossini"_s});
    } else {
        QVERIFY(QDir().mkpath(archive::addressBookDir(folder)));
        RawFile old(path);
        QVERIFY(old.exec("CREATE TABLE rubrica (Nome TEXT, cognome TEXT, cellulare TEXT, "
                         "email TEXT, icona TEXT); INSERT INTO rubrica (cognome, cellulare) "
                         "VALUES ('Rossi', '339000000'), ('Bianchi', '339000001'), "
                         "('rossini', '339000002')"));
        QCOMPARE(old.indexCount(), 0);
    }
    if (file == u"busy") {
        writer = std::make_unique<RawFile>(path);
        QVERIFY(writer->exec("BEGIN IMMEDIATE"));
    }
    if (file == u"readonly") {
        QVERIFY(QFile::setPermissions(path, QFile::ReadOwner | QFile::ReadGroup));
        if (QFile(path).open(QIODevice::ReadWrite))
            QSKIP("This user writes read-only files too.");
    }

    const auto book = Database::open(path);
    const Query search = Query(u"rubrica"_s).whereLike(u"cognome"_s, u"ros*"_s);
    const Query number = Query(u"rubrica"_s).whereEqual(u"cellulare"_s, u"339000001"_s);
    QCOMPARE(column(*book->openRecordset(search), u"cognome"_s),
             (QStringList{u"Rossi"_s, u"rossini"_s}));
    QCOMPARE(column(*book->openRecordset(number), u"cognome"_s), QStringList{u"Bianchi"_s});
    QCOMPARE(usesIndex(*book, search), indexed);
    QCOMPARE(usesIndex(*book, number), indexed);
}

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
