#include "storetest.h"

#include "store/archive.h"
#include "store/database.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <sqlite3.h>

using namespace Qt::StringLiterals;
using store::Database;
using store::Query;
using store::Recordset;

namespace {

struct Message {
    QString cognome, cellulare, data, testo;
};

std::unique_ptr<Database> addressBook(const QTemporaryDir& dir) {
    return Database::create(dir.filePath(u"Principale"_s), store::archive::addressBookTables());
}

void addMessage(Database& db, const QString& table, const Message& m) {
    const auto rs = db.openRecordset(table);
    rs->AddNew();
    rs->setValue(u"cognome"_s, m.cognome);
    rs->setValue(u"cellulare"_s, m.cellulare);
    rs->setValue(u"Data"_s, m.data);
    rs->setValue(u"Testo"_s, m.testo);
    rs->Update();
}

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

// The values of one field over every row, in the order the recordset gives them.
QStringList column(Recordset& rs, const QString& field) {
    QStringList values;
    for (; !rs.isEof(); rs.MoveNext())
        values.append(rs.value(field));
    return values;
}

} // namespace

class DatabaseTest final : public QObject {
    Q_OBJECT

private slots:
    void openFailure_data();
    void openFailure();
    void unknownNames();
    void emptyResult();
    void storedOrder();
    void equalIgnoresCase_data();
    void equalIgnoresCase();
    void likeQuery_data();
    void likeQuery();
    void nullFieldsReadEmpty();
    void valuesRoundTrip_data();
    void valuesRoundTrip();
    void deleteRemovesFirstMatchOnly();
    void editChangesOnlyCurrentRow();
    void fieldNamesAnyCase_data();
    void fieldNamesAnyCase();
    void transactionAllOrNothing();
    void writeWhileAnotherRecordsetIsOpen();
    void recordsetOutlivesDatabase();
    void createdFileIsPlainSqlite();
    void largeTableWithNulls();
};

void DatabaseTest::openFailure_data() {
    QTest::addColumn<QByteArray>("content"); // empty name: no file at all
    QTest::addColumn<int>("code");

    QTest::newRow("missing") << QByteArray() << int(store::FileNotFound);
    QTest::newRow("text file") << QByteArray("Rubrica\r\nPrincipale\r\n")
                               << int(store::NotADatabase);
    QTest::newRow("empty file") << QByteArray("") << int(store::NotADatabase);
}

void DatabaseTest::openFailure() {
    QFETCH(QByteArray, content);
    QFETCH(int, code);

    QTemporaryDir dir;
    const QString path = dir.filePath(u"elenco.mdb"_s);
    if (!content.isNull()) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(content);
    }

    QString message;
    try {
        Database::open(path);
    } catch (const store::StoreError& error) {
        QCOMPARE(error.code(), code);
        message = error.message();
    }
    QVERIFY(message.contains(path));
    if (content.isNull()) {
        QVERIFY(!QFile::exists(path));
    } else {
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), content);
    }
}

void DatabaseTest::unknownNames() {
    QTemporaryDir dir;
    auto db = addressBook(dir);
    addContacts(*db, {u"Rossi"_s});

    QCOMPARE(errorCode([&] { db->openRecordset(u"rubriche"_s); }), store::TableNotFound);
    QCOMPARE(errorCode([&] { db->openRecordset(u"sqlite_master"_s); }), store::TableNotFound);
    QCOMPARE(
        errorCode([&] { db->openRecordset(Query(u"rubrica"_s).whereEqual(u"nomi"_s, u"x"_s)); }),
        store::ItemNotFound);
    QVERIFY(!db->hasTable(u"elenco"_s));
    QVERIFY(db->hasTable(u"RUBRICA"_s));

    const auto rs = db->openRecordset(u"rubrica"_s);
    QCOMPARE(errorCode([&] { rs->value(u"telefono"_s); }), store::ItemNotFound);
    QCOMPARE(errorCode([&] { rs->fieldIndex(u"telefono"_s); }), store::ItemNotFound);
    rs->Edit();
    QCOMPARE(errorCode([&] { rs->setValue(u"telefono"_s, u"1"_s); }), store::ItemNotFound);
}

void DatabaseTest::emptyResult() {
    QTemporaryDir dir;
    auto db = addressBook(dir);
    const auto rs = db->openRecordset(u"salvati"_s);

    QCOMPARE(rs->RecordCount(), 0);
    QVERIFY(rs->isEof());
    QCOMPARE(errorCode([&] { rs->MoveFirst(); }), store::NoCurrentRecord);
    QCOMPARE(errorCode([&] { rs->MoveNext(); }), store::NoCurrentRecord);
    QCOMPARE(errorCode([&] { rs->value(u"Testo"_s); }), store::NoCurrentRecord);
    QCOMPARE(errorCode([&] { rs->Delete(); }), store::NoCurrentRecord);
    QCOMPARE(errorCode([&] { rs->Update(); }), store::UpdateWithoutEdit);
}

void DatabaseTest::storedOrder() {
    QTemporaryDir dir;
    auto db = addressBook(dir);
    addContacts(*db, {u"Zeta"_s, u"alfa"_s, u"Mario"_s});
    {
        const auto rs = db->openRecordset(Query(u"rubrica"_s).whereEqual(u"cognome"_s, u"alfa"_s));
        rs->Delete();
    }
    addContacts(*db, {u"Beta"_s});

    const auto rs = db->openRecordset(u"rubrica"_s);
    QCOMPARE(rs->RecordCount(), 1);
    rs->MoveNext();
    QCOMPARE(rs->RecordCount(), 2);
    rs->MoveFirst();
    QCOMPARE(column(*rs, u"cognome"_s), (QStringList{u"Zeta"_s, u"Mario"_s, u"Beta"_s}));
    QCOMPARE(rs->RecordCount(), 3);
}

void DatabaseTest::equalIgnoresCase_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QStringList>("found");

    QTest::newRow("same spelling") << u"Principale"_s << QStringList{u"Principale"_s};
    QTest::newRow("small letters") << u"principale"_s << QStringList{u"Principale"_s};
    QTest::newRow("capitals") << u"PRINCIPALE"_s << QStringList{u"Principale"_s};
    QTest::newRow("accented capital") << u"èlite"_s << QStringList{u"Èlite"_s};
    QTest::newRow("accent required") << u"Elite"_s << QStringList{};
    QTest::newRow("apostrophe") << u"d'amico"_s << QStringList{u"D'Amico"_s};
    QTest::newRow("no partial match") << u"Princip"_s << QStringList{};
}

// The lookup that refuses a new address book with "Rubrica Esistente"; 3021 means the name
// is free.
void DatabaseTest::equalIgnoresCase() {
    QFETCH(QString, name);
    QFETCH(QStringList, found);

    QTemporaryDir dir;
    store::archive::createFolderDatabases(dir.path(), {u"Principale"_s, u"Èlite"_s, u"D'Amico"_s});
    const auto db = Database::open(store::archive::elencoPath(dir.path()));
    const auto rs = db->openRecordset(Query(u"elenco"_s).whereEqual(u"Rubrica"_s, name));

    QCOMPARE(rs->RecordCount() > 0, !found.isEmpty());
    if (found.isEmpty())
        QCOMPARE(errorCode([&] { rs->MoveFirst(); }), store::NoCurrentRecord);
    else
        rs->MoveFirst();
    QCOMPARE(column(*rs, u"Rubrica"_s), found);
}

void DatabaseTest::likeQuery_data() {
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<QStringList>("found");

    QTest::newRow("apostrophe prefix") << u"D'Amico*"_s << QStringList{u"D'Amico"_s};
    QTest::newRow("small letters") << u"d'a*"_s << QStringList{u"D'Amico"_s, u"d'Angelo"_s};
    QTest::newRow("first letter") << u"D*"_s
                                  << QStringList{u"D'Amico"_s, u"d'Angelo"_s, u"Damiani"_s,
                                                 u"De Luca"_s};
    QTest::newRow("one character") << u"?e*"_s << QStringList{u"De Luca"_s};
    QTest::newRow("everything but null")
        << u"*"_s << QStringList{u"D'Amico"_s, u"d'Angelo"_s, u"Damiani"_s, u"De Luca"_s};
    QTest::newRow("nothing") << u"Z*"_s << QStringList{};
}

void DatabaseTest::likeQuery() {
    QFETCH(QString, pattern);
    QFETCH(QStringList, found);

    QTemporaryDir dir;
    auto db = addressBook(dir);
    addContacts(*db, {u"D'Amico"_s, u"d'Angelo"_s, QString(), u"Damiani"_s, u"De Luca"_s});
    const auto rs = db->openRecordset(Query(u"rubrica"_s).whereLike(u"cognome"_s, pattern));
    QCOMPARE(column(*rs, u"cognome"_s), found);
}

void DatabaseTest::nullFieldsReadEmpty() {
    QTemporaryDir dir;
    auto db = addressBook(dir);
    {
        const auto rs = db->openRecordset(u"inviati"_s);
        rs->AddNew();
        rs->setValue(u"cellulare"_s, u"3391234567"_s);
        rs->Update();
    }
    const auto rs = db->openRecordset(u"inviati"_s);
    QCOMPARE(rs->RecordCount(), 1);
    QVERIFY(!rs->value(u"cognome"_s).isNull());
    QCOMPARE(rs->value(u"cognome"_s), u""_s);
    QCOMPARE(rs->value(u"Testo"_s), u""_s);
    QVERIFY(rs->rawText(rs->fieldIndex(u"Testo"_s)).isEmpty());
    QCOMPARE(rs->rawText(rs->fieldIndex(u"cellulare"_s)), QByteArrayView("3391234567"));
}

void DatabaseTest::valuesRoundTrip_data() {
    QTest::addColumn<QString>("value");

    QTest::newRow("apostrophes") << u"l'unico d'oro"_s;
    QTest::newRow("accents") << u"àèéìòù ÀÈÉÌÒÙ ç"_s;
    QTest::newRow("long text") << u"Messaggio lungo. "_s.repeated(15);
    QTest::newRow("emoji") << u"Ciao 😀👍🏽"_s;
    QTest::newRow("query text") << u"x'); DROP TABLE inviati; --"_s;
    QTest::newRow("line breaks") << u"riga uno\r\nriga due"_s;
}

void DatabaseTest::valuesRoundTrip() {
    QFETCH(QString, value);

    QTemporaryDir dir;
    addMessage(*addressBook(dir), u"inviati"_s, {value, value, u"01/02/2024 10:00:00"_s, value});

    const auto db = Database::open(dir.filePath(u"Principale"_s));
    const auto rs = db->openRecordset(Query(u"inviati"_s)
                                          .whereEqual(u"cellulare"_s, value)
                                          .whereEqual(u"data"_s, u"01/02/2024 10:00:00"_s));
    QCOMPARE(rs->RecordCount(), 1);
    QCOMPARE(rs->value(u"Testo"_s), value);
    QCOMPARE(rs->value(u"cognome"_s), value);
    QCOMPARE(rs->rawText(rs->fieldIndex(u"Testo"_s)), QByteArrayView(value.toUtf8()));
}

void DatabaseTest::deleteRemovesFirstMatchOnly() {
    QTemporaryDir dir;
    auto db = addressBook(dir);
    const QString when = u"05/03/2024 18:30:12"_s;
    addMessage(*db, u"inviati"_s, {u"Rossi"_s, u"3391112223"_s, when, u"primo"_s});
    addMessage(*db, u"inviati"_s, {u"Rossi"_s, u"3391112223"_s, when, u"secondo"_s});
    addMessage(*db, u"inviati"_s, {u"Bianchi"_s, u"3394445556"_s, when, u"altro"_s});

    {
        const auto rs = db->openRecordset(Query(u"inviati"_s)
                                              .whereEqual(u"cellulare"_s, u"3391112223"_s)
                                              .whereEqual(u"Data"_s, when));
        rs->Delete();
        QCOMPARE(errorCode([&] { rs->value(u"Testo"_s); }), store::NoCurrentRecord);
        rs->MoveNext();
        QCOMPARE(rs->value(u"Testo"_s), u"secondo"_s);
        rs->MoveNext();
        QVERIFY(rs->isEof());
    }
    const auto rs = db->openRecordset(u"inviati"_s);
    QCOMPARE(column(*rs, u"Testo"_s), (QStringList{u"secondo"_s, u"altro"_s}));
}

void DatabaseTest::editChangesOnlyCurrentRow() {
    QTemporaryDir dir;
    auto db = addressBook(dir);
    addContacts(*db, {u"Rossi"_s, u"Rossi"_s, u"Verdi"_s});

    {
        const auto rs =
            db->openRecordset(Query(u"rubrica"_s).whereEqual(u"cellulare"_s, u"339000001"_s));
        QCOMPARE(errorCode([&] { rs->setValue(u"Nome"_s, u"x"_s); }), store::UpdateWithoutEdit);
        QCOMPARE(errorCode([&] { rs->Update(); }), store::UpdateWithoutEdit);
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

void DatabaseTest::fieldNamesAnyCase_data() {
    QTest::addColumn<QString>("field");

    QTest::newRow("as created") << u"Data"_s;
    QTest::newRow("small letters") << u"data"_s;
    QTest::newRow("capitals") << u"DATA"_s;
}

void DatabaseTest::fieldNamesAnyCase() {
    QFETCH(QString, field);

    QTemporaryDir dir;
    auto db = addressBook(dir);
    {
        const auto rs = db->openRecordset(u"SALVATI"_s);
        rs->AddNew();
        rs->setValue(field, u"01/01/2024 08:00:00"_s);
        rs->Update();
    }
    const auto rs =
        db->openRecordset(Query(u"salvati"_s).whereEqual(field, u"01/01/2024 08:00:00"_s));
    QCOMPARE(rs->RecordCount(), 1);
    QCOMPARE(rs->value(field), u"01/01/2024 08:00:00"_s);
    QCOMPARE(rs->fieldNames().at(rs->fieldIndex(field)), u"Data"_s);
}

void DatabaseTest::transactionAllOrNothing() {
    QTemporaryDir dir;
    auto db = addressBook(dir);
    const auto rs = db->openRecordset(u"rubrica"_s);
    auto addTwo = [&] {
        for (const QString& name : {u"Uno"_s, u"Due"_s}) {
            rs->AddNew();
            rs->setValue(u"cognome"_s, name);
            rs->Update();
        }
    };

    bool rethrown = false;
    try {
        db->transaction([&] {
            addTwo();
            throw std::runtime_error("import interrotto");
        });
    } catch (const std::runtime_error&) {
        rethrown = true;
    }
    QVERIFY(rethrown);
    QCOMPARE(db->openRecordset(u"rubrica"_s)->RecordCount(), 0);

    db->transaction(addTwo);
    const auto other = Database::open(db->path());
    const auto rows = other->openRecordset(u"rubrica"_s);
    QCOMPARE(column(*rows, u"cognome"_s), (QStringList{u"Uno"_s, u"Due"_s}));
}

// The shared recordset stays open for the whole run while other windows write the same file.
void DatabaseTest::writeWhileAnotherRecordsetIsOpen() {
    QTemporaryDir dir;
    auto db = addressBook(dir);
    addContacts(*db, QStringList(700, u"Rossi"_s));

    const auto reader = Database::open(db->path());
    const auto open = reader->openRecordset(u"rubrica"_s);
    open->MoveNext();

    const auto writer = Database::open(db->path());
    addContacts(*writer, {u"Nuovo"_s});
    const auto rs =
        writer->openRecordset(Query(u"rubrica"_s).whereEqual(u"cellulare"_s, u"339000001"_s));
    rs->Delete();

    QCOMPARE(open->value(u"cellulare"_s), u"339000001"_s);
    int rows = 0;
    for (open->MoveFirst(); !open->isEof(); open->MoveNext())
        ++rows;
    QCOMPARE(rows, 700);
}

void DatabaseTest::recordsetOutlivesDatabase() {
    QTemporaryDir dir;
    auto db = addressBook(dir);
    addContacts(*db, {u"Rossi"_s, u"Verdi"_s});
    auto rs = db->openRecordset(u"rubrica"_s);
    db.reset();

    rs->MoveNext();
    rs->Edit();
    rs->setValue(u"Nome"_s, u"Luca"_s);
    rs->Update();
    rs->MoveFirst();
    QCOMPARE(column(*rs, u"Nome"_s), (QStringList{u" "_s, u"Luca"_s}));
}

void DatabaseTest::createdFileIsPlainSqlite() {
    QTemporaryDir dir;
    const QString path = addressBook(dir)->path();
    addContacts(*Database::open(path), {u"Rossi"_s});
    QCOMPARE(errorCode([&] { addressBook(dir); }), store::DatabaseExists);

    // Any SQLite reader, without the functions the store registers.
    sqlite3* db = nullptr;
    QCOMPARE(
        sqlite3_open_v2(QFile::encodeName(path).constData(), &db, SQLITE_OPEN_READONLY, nullptr),
        SQLITE_OK);
    sqlite3_stmt* statement = nullptr;
    QCOMPARE(sqlite3_prepare_v2(db, "SELECT cognome FROM rubrica", -1, &statement, nullptr),
             SQLITE_OK);
    QCOMPARE(sqlite3_step(statement), SQLITE_ROW);
    QCOMPARE(reinterpret_cast<const char*>(sqlite3_column_text(statement, 0)), "Rossi");
    sqlite3_finalize(statement);
    sqlite3_close(db);
}

void DatabaseTest::largeTableWithNulls() {
    constexpr int rows = 100000;
    QTemporaryDir dir;
    auto db = addressBook(dir);
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
        const QString testo = rs->value(u"testo"_s);
        if (rs->rawText(cellulare) != QByteArray::number(read) ||
            testo != (read % 3 == 0 ? u"testo %1"_s.arg(read) : QString()))
            ++mismatches;
    }
    QCOMPARE(read, rows);
    QCOMPARE(mismatches, 0);
    QCOMPARE(rs->RecordCount(), rows);
}

int runDatabaseTests(int argc, char** argv) {
    DatabaseTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_database.moc"
