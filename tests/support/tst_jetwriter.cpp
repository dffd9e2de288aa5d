// The Jet writer read back by two independent readers: mdbtools' command-line tools and npm's
// mdb-reader (under node). Both must show exactly what was written.
#include "tools/jetfolder.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

using namespace jetwriter;
using Rows = QList<QStringList>;
using Tables = QList<std::pair<QString, Rows>>;

namespace {

QByteArray run(const QString& program, const QStringList& args, bool* ok = nullptr) {
    QProcess p;
    p.start(program, args);
    const bool done =
        p.waitForFinished(120000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
    if (ok)
        *ok = done;
    else if (!done)
        qWarning().noquote() << program << args << p.readAllStandardError();
    return p.readAllStandardOutput();
}

// mdb-export's CSV: quoted text with doubled quotes; NULL and the empty text both print nothing.
Rows parseCsv(const QString& csv) {
    Rows rows;
    QStringList row;
    QString field;
    bool quoted = false;
    for (qsizetype i = 0; i < csv.size(); ++i) {
        const QChar c = csv[i];
        if (quoted && c == u'"' && i + 1 < csv.size() && csv[i + 1] == u'"')
            field += csv[++i];
        else if (c == u'"')
            quoted = !quoted;
        else if (!quoted && (c == u',' || c == u'\n')) {
            row.append(std::exchange(field, {}));
            if (c == u'\n')
                rows.append(std::exchange(row, {}));
        } else
            field += c;
    }
    return rows;
}

Tables readWithMdbtools(const QString& path) {
    Tables tables;
    const QString date = "%Y-%m-%d %H:%M:%S";
    for (const QString& name :
         QString::fromUtf8(run("mdb-tables", {"-1", path})).split(u'\n', Qt::SkipEmptyParts))
        tables.append({name, parseCsv(QString::fromUtf8(
                                 run("mdb-export", {"-H", "-D", date, "-T", date, path, name})))});
    return tables;
}

Tables readWithMdbReader(const QString& path) {
    Tables tables;
    const QJsonArray read =
        QJsonDocument::fromJson(run("node", {READMDB, NODE_PREFIX, path})).array();
    for (const QJsonValue& table : read) {
        Rows rows;
        for (const QJsonValue& row : table["rows"].toArray()) {
            rows.append(QStringList());
            for (const QJsonValue& v : row.toArray())
                rows.last().append(v.isNull()     ? "NULL"
                                   : v.isDouble() ? QString::number(v.toInteger())
                                                  : v.toString());
        }
        tables.append({table["name"].toString(), rows});
    }
    return tables;
}

// What a reader should show: mdb-reader keeps NULL apart and gives dates in ISO form.
Tables expected(const QList<Table>& written, bool keepsNull) {
    Tables tables;
    for (const Table& t : written) {
        Rows rows;
        for (const QVariantList& values : t.rows) {
            rows.append(QStringList());
            for (int i = 0; i < values.size(); ++i) {
                const QVariant& v = values[i];
                rows.last().append(v.isNull() ? (keepsNull ? "NULL" : "")
                                   : t.columns[i].type != Type::DateTime
                                       ? v.toString()
                                       : v.toDateTime().toString(keepsNull
                                                                     ? "yyyy-MM-ddTHH:mm:ss.zzzZ"
                                                                     : "yyyy-MM-dd HH:mm:ss"));
            }
        }
        tables.append({t.name, rows});
    }
    return tables;
}

void compare(const Tables& read, const Tables& written) {
    QCOMPARE(read.size(), written.size());
    for (qsizetype t = 0; t < read.size(); ++t) {
        QCOMPARE(read[t].first, written[t].first);
        QCOMPARE(read[t].second.size(), written[t].second.size());
        for (qsizetype r = 0; r < read[t].second.size(); ++r)
            QCOMPARE(read[t].second[r], written[t].second[r]);
    }
}

} // namespace

class TestJetWriter : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        bool node = false, mdbtools = false;
        run("node", {"-e", "0"}, &node);
        run("mdb-ver", {"--version"}, &mdbtools);
        QVERIFY2(node && QFile::exists(NODE_PREFIX "/node_modules/mdb-reader/package.json"),
                 "node with mdb-reader");
        QVERIFY2(mdbtools, "mdbtools");
    }

    void readsBack_data() {
        QTest::addColumn<QList<Table>>("tables");
        QTest::newRow("archive file") << jetfolder::bookTables(20, 10);
        const auto at = [](int y, int m, int d, int h, int min, int s) {
            return QDateTime(QDate(y, m, d), QTime(h, min, s));
        };
        // Memos: 512 characters stay in the row, 513 go to LVAL pages, 2038 fill exactly one.
        Table limits{"limiti",
                     {{"n", Type::Long},
                      {"quando", Type::DateTime},
                      {"testo", Type::Text, 255},
                      {"memo", Type::Memo}},
                     {{INT_MIN, at(1899, 12, 30, 0, 0, 0), QString(255, u'é'), QString(512, u'x')},
                      {INT_MAX, at(2004, 2, 29, 23, 59, 59), "", QString(513, u'€')},
                      {0, at(2999, 12, 31, 23, 59, 59), {}, QString(2038, u'ù')},
                      {{}, {}, "l'€", QString(2039, u'\'')},
                      {-1, at(2026, 12, 7, 12, 0, 1), "“virgolette”", ""}}};
        QTest::newRow("limits, empty table") << QList<Table>{limits, {"vuota", {{"a"}}, {}}};
        Table many{"elenco", {{"Rubrica", Type::Text, 50}, {"n", Type::Long}}, {}};
        for (int i = 0; i < 10000; ++i)
            many.rows.append({QStringLiteral("Rubrica n° %1").arg(i), i});
        QTest::newRow("10000 rows") << QList<Table>{many};
    }
    void readsBack() {
        QFETCH(QList<Table>, tables);
        QTemporaryDir dir;
        const QString path = dir.filePath("prova.mdb");
        QString error;
        QVERIFY2(write(path, tables, &error), qPrintable(error));
        compare(readWithMdbReader(path), expected(tables, true));
        compare(readWithMdbtools(path), expected(tables, false));
    }
};

QTEST_GUILESS_MAIN(TestJetWriter)
#include "tst_jetwriter.moc"
