// FoxPro tables as the customer import reads them: character fields of a real Visual FoxPro
// table among fields of other types, code pages, and damaged files that must fail cleanly.
#include "exchange/dbf.h"
#include "support/testfolder.h"
#include "tools/dbfwriter.h"

#include <QTemporaryDir>
#include <QtTest>

#include <functional>

using Row = std::vector<std::optional<QString>>;
using Patch = std::function<void(QByteArray&)>;
Q_DECLARE_METATYPE(Patch)

namespace {

QString realTable() {
    return qEnvironmentVariable("QUILLET_SOURCE_DIR") + "/tests/exchange/vfp-real/dbase_31.dbf";
}

int u16At(const QByteArray& bytes, int at) {
    return static_cast<unsigned char>(bytes[at]) | static_cast<unsigned char>(bytes[at + 1]) << 8;
}

void writeTable(const QString& path, const std::vector<dbfwriter::Column>& columns,
                const QList<Row>& rows, unsigned char codePage = 0x03) {
    dbfwriter::Writer writer(path, columns, 0x30, codePage);
    for (const Row& row : rows)
        writer.add(row);
    QVERIFY(writer.finish());
}

// The value of `field` in record `number`; "<NULL>" for NULL.
QString valueAt(const QString& path, qint64 number, const QString& field) {
    dbf::Table table(path);
    while (table.next()) {
        if (table.recordNumber() == number)
            return table.text(table.fieldIndex(field)).value_or("<NULL>");
    }
    return "<no record>";
}

} // namespace

class tst_dbf : public QObject {
    Q_OBJECT
private slots:
    // Character fields of the real table, after a patch of the record's bytes when given: every
    // record read, field names found whole and without regard to case.
    void realTableValues_data() {
        QTest::addColumn<int>("record");
        QTest::addColumn<int>("at"); // offset in the record; -1: its last byte, _NullFlags
        QTest::addColumn<QByteArray>("patch");
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("expected");
        const auto row = [](const char* tag, int record, int at, const QByteArray& patch,
                            const char* field, const QString& expected) {
            QTest::newRow(tag) << record << at << patch << QString(field) << expected;
        };
        row("text keeps blanks", 1, 0, {}, "PRODUCTNAM", "Chai" + QString(36, ' '));
        row("nullable text among integers", 1, 0, {}, "QUANTITYPE", "10 boxes x 20 bags  ");
        row("windows-1252", 54, 0, {}, "PRODUCTNAM", "Tourtière" + QString(31, ' '));
        row("null text", 2, -1, "\x04", "QUANTITYPE", "<NULL>");
        row("NUL padding", 1, 9, QByteArray(36, '\0'), "PRODUCTNAM", "Chai");
        row("last record, name in small letters", 77, 0, {}, "productnam",
            "Original Frankfurter grüne Soáe" + QString(9, ' '));
        row("none past the last", 78, 0, {}, "PRODUCTNAM", "<no record>");
        row("no field by the start of a name", 1, 0, {}, "QUANTITY", "<NULL>");
    }
    void realTableValues() {
        QFETCH(int, record);
        QFETCH(int, at);
        QFETCH(QByteArray, patch);
        QFETCH(QString, field);
        QString path = ::realTable();
        if (!patch.isEmpty()) {
            QByteArray bytes = readBytes(path);
            const int length = u16At(bytes, 10);
            const int start = u16At(bytes, 8) + (record - 1) * length;
            bytes.replace(start + (at < 0 ? length - 1 : at), patch.size(), patch);
            path = m_dir.filePath("patched.dbf");
            writeBytes(path, bytes);
        }
        QTEST(valueAt(path, record, field), "expected");
    }

    // The header's code page byte says how the text is stored (Windows-1252 is the real table's).
    void dosCodePage() {
        const QString path = m_dir.filePath("codepage.dbf");
        writeTable(path, {{"TESTO", 'C', 4}}, {{"èç"}}, 0x02);
        const QByteArray bytes = readBytes(path);
        QCOMPARE(bytes.mid(u16At(bytes, 8) + 1, 2), QByteArray("\x8A\x87"));
        QCOMPARE(valueAt(path, 1, "TESTO"), "èç  ");
    }

    // A good table of three 16-byte records, damaged: the records before the damage are read,
    // then an Error says what is wrong.
    void damaged_data() {
        QTest::addColumn<Patch>("damage");
        QTest::addColumn<int>("records");
        QTest::addColumn<QString>("reason");
        QTest::newRow("cut in a record")
            << Patch([](QByteArray& b) { b.truncate(u16At(b, 8) + 2 * 16 + 5); }) << 2
            << "record 3 troncato";
        QTest::newRow("header past the end")
            << Patch([](QByteArray& b) { b[9] = 0x10; }) << 0 << "oltre la fine";
        QTest::newRow("no _NullFlags") // it becomes a character field
            << Patch([](QByteArray& b) { b[32 + 2 * 32 + 11] = 'C'; }) << 0 << "_NullFlags";
        QTest::newRow("unknown version")
            << Patch([](QByteArray& b) { b[0] = 0x04; }) << 0 << "0x04";
        QTest::newRow("31 bytes") << Patch([](QByteArray& b) { b.truncate(31); }) << 0
                                  << "troppo corta";
    }
    void damaged() {
        QFETCH(Patch, damage);
        QFETCH(QString, reason);
        const QString path = m_dir.filePath("damaged.dbf");
        writeTable(path, {{"NUMERO", 'I', 4}, {"TESTO", 'C', 10, 0, true}},
                   {{"1", "uno"}, {"2", "due"}, {"3", std::nullopt}});
        QByteArray bytes = readBytes(path);
        damage(bytes);
        writeBytes(path, bytes);
        int read = 0;
        try {
            dbf::Table table(path);
            while (table.next())
                ++read;
            QFAIL("no error");
        } catch (const dbf::Error& e) {
            QCOMPARE(e.kind(), dbf::Error::Damaged);
            QVERIFY2(e.message().contains(reason), qPrintable(e.message()));
        }
        QTEST(read, "records");
    }

private:
    QTemporaryDir m_dir;
};

QTEST_GUILESS_MAIN(tst_dbf)
#include "tst_dbf.moc"
