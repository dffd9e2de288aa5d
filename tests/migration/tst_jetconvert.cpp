// The earlier program's folder, written in Jet 4 files, converted by `quillet --convert-jet` and
// at start: rows, order and texts as they were; damaged and foreign files left and named; a kill
// at any moment leaves the old folder or the new one.
#include "migration/jetconversion.h"
#include "migration/staging.h"
#include "platform/appfolder.h"
#include "platform/dialogs.h"
#include "store/database.h"
#include "support/testfolder.h"
#include "tools/jetfolder.h"

#include <QCryptographicHash>
#include <QDirIterator>
#include <QProcess>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QtTest>

namespace {

const QStringList order{"Lavoro € più", "Amici", "Città d'arte"}; // not the sorted order

// A folder of the earlier program: elenco.mdb lists `order`, each book 20 contacts and 10
// messages per table (the last book's icona as text).
void writeFolder(const QString& dir, jetfolder::Size size = {}) {
    QVERIFY(jetfolder::write(dir, size));
    jetwriter::Table elenco{"elenco", {{"Rubrica", jetwriter::Type::Text, 50}}, {}};
    for (const QString& book : order)
        elenco.rows.append({book});
    QFile::remove(dir + "/elenco.mdb");
    QVERIFY(jetwriter::write(dir + "/elenco.mdb", {elenco}));
}

// Every file under dir (relative path) and its hash.
QMap<QString, QByteArray> snapshot(const QString& dir) {
    QMap<QString, QByteArray> files;
    for (QDirIterator it(dir, QDir::Files, QDirIterator::Subdirectories); it.hasNext();) {
        const QString path = it.next();
        files[QDir(dir).relativeFilePath(path)] =
            QCryptographicHash::hash(readBytes(path), QCryptographicHash::Md5);
    }
    return files;
}

QStringList rows(const QString& path, const QString& table, const QStringList& fields) {
    const auto db = store::Database::open(path);
    store::sqlite::Statement read(
        *db->connection(), QString("SELECT %1 FROM %2").arg(fields.join(','), table).toUtf8());
    QStringList out;
    while (read.step()) {
        QStringList values;
        for (int i = 0; i < fields.size(); ++i)
            values << (read.isNull(i) ? "<null>" : read.text(i));
        out << values.join('|');
    }
    return out;
}

QStringList expected(const jetwriter::Table& table) {
    QStringList out;
    for (const QVariantList& row : table.rows) {
        QStringList values;
        for (const QVariant& value : row)
            values << (value.isNull() ? "<null>" : value.toString());
        out << values.join('|');
    }
    return out;
}

void verifyBook(const QString& path, bool iconAsText) {
    for (const jetwriter::Table& table : jetfolder::bookTables(20, 10, iconAsText)) {
        QStringList fields;
        for (const jetwriter::Column& column : table.columns)
            fields << column.name;
        QCOMPARE(rows(path, table.name, fields), expected(table));
    }
}

int convert(const QString& dir, QString* output = nullptr) {
    QProcess p;
    p.start(qEnvironmentVariable("QUILLET_BIN"), {"--convert-jet", dir});
    if (!p.waitForFinished(120000))
        return -1;
    if (output)
        *output = QString::fromUtf8(p.readAllStandardOutput());
    return p.exitCode();
}

// Until no process (a file child) names `dir` on its command line.
void waitForChildren(const QString& dir) {
    for (int tries = 0; tries < 500; ++tries) {
        bool running = false;
        for (const QString& pid : QDir("/proc").entryList({"[0-9]*"}, QDir::Dirs))
            running = running || readBytes("/proc/" + pid + "/cmdline").contains(dir.toUtf8());
        if (!running)
            return;
        QThread::msleep(10);
    }
}

enum Spoil { Intact = -1, OtherSchema = 99 };

} // namespace

class tst_jetconvert : public QObject {
    Q_OBJECT
private slots:
    void convertsFolder_data() {
        QTest::addColumn<QString>("spoilt");
        QTest::addColumn<int>("how");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("reported");
        using jetwriter::Damage;
        QTest::newRow("whole")
            << "" << int(Intact) << 0
            << "rubriche/Amici: rubrica 20, salvati 10, inviati 10, cancellati 10";
        QTest::newRow("truncated book")
            << "rubriche/Amici" << int(Damage::Truncated) << 1 << "rubriche/Amici: NON convertito";
        QTest::newRow("garbage book")
            << "rubriche/Amici" << int(Damage::Garbage) << 1 << "rubriche/Amici: NON convertito";
        QTest::newRow("ACE book") << "rubriche/Amici" << int(Damage::Ace) << 1 << "formato ACE";
        QTest::newRow("other schema") << "rubriche/Amici" << int(OtherSchema) << 1
                                      << "rubriche/Amici: NON convertito, resta dov'è: non è un "
                                         "archivio del programma precedente: manca la tabella "
                                         "rubrica.";
        QTest::newRow("damaged list")
            << "elenco.mdb" << int(Damage::Garbage) << 2 << "Nessun file è stato cambiato";
    }
    void convertsFolder() {
        QFETCH(QString, spoilt);
        QFETCH(int, how);
        QFETCH(int, status);
        QFETCH(QString, reported);
        QTemporaryDir tmp;
        const QString dir = tmp.path();
        writeFolder(dir);
        if (how == OtherSchema) {
            QFile::remove(dir + '/' + spoilt);
            QVERIFY(jetwriter::write(dir + '/' + spoilt,
                                     {{"Clienti", {{"Ragione"}}, {{QString("Rossi Srl")}}}}));
        } else if (how != Intact) {
            QVERIFY(jetwriter::damage(dir + '/' + spoilt, jetwriter::Damage(how)));
        }
        const auto before = snapshot(dir);

        QString report;
        QCOMPARE(convert(dir, &report), status);
        QVERIFY2(report.contains(reported), qPrintable(report));
        QVERIFY(!QFile::exists(migration::staging::folder(dir)));
        if (status == 2) {
            QCOMPARE(snapshot(dir), before);
            return;
        }
        QCOMPARE(rows(dir + "/elenco.mdb", "elenco", {"Rubrica"}), order);
        for (const QString& book : order)
            if ("rubriche/" + book != spoilt)
                verifyBook(dir + "/rubriche/" + book, book == "Lavoro € più");
        const auto after = snapshot(dir);
        for (auto it = before.cbegin(); it != before.cend(); ++it)
            QCOMPARE(after.value(it.key() == spoilt ? it.key() : "archivi-precedenti/" + it.key()),
                     it.value());
        QCOMPARE(QString::fromUtf8(readBytes(dir + "/conversione.txt")),
                 report.mid(report.indexOf("Conversione")));
        if (status == 0) {
            QCOMPARE(convert(dir, &report), 0); // nothing left to do
            QVERIFY(report.startsWith("Nella cartella non ci sono"));
            QCOMPARE(snapshot(dir), after);
        }
    }

    // A stop at any step of the swap: the next start completes it (marked) or drops the staged
    // files (unmarked).
    void settleAfterStop_data() {
        QTest::addColumn<bool>("marked");
        QTest::addColumn<int>("steps");
        QTest::newRow("unmarked") << false << 0;
        for (int steps = 0; steps <= 6; ++steps)
            QTest::addRow("marked, %d steps", steps) << true << steps;
    }
    void settleAfterStop() {
        QFETCH(bool, marked);
        QFETCH(int, steps);
        QTemporaryDir tmp;
        const QString dir = tmp.path();
        const QString staged = migration::staging::folder(dir);
        const QStringList files{"elenco.mdb", "rubriche/A", "conversione.txt"};
        for (const QString& file : files) {
            if (file != "conversione.txt")
                writeBytes(dir + '/' + file, "old " + file.toUtf8());
            writeBytes(staged + '/' + file, "new " + file.toUtf8());
        }
        if (marked)
            migration::staging::markReady(dir, files);
        // The swap's steps in order: an original out, then its new file in.
        for (int step = 0; step < steps; ++step) {
            const QString file = files[step / 2];
            if (step % 2 == 1)
                QVERIFY(QDir().rename(staged + '/' + file, dir + '/' + file));
            else if (QFile::exists(dir + '/' + file))
                QVERIFY(QDir().mkpath(dir + "/archivi-precedenti/rubriche") &&
                        QDir().rename(dir + '/' + file, dir + "/archivi-precedenti/" + file));
        }
        migration::staging::settle(dir);
        migration::staging::settle(dir); // and again: nothing left to do
        QVERIFY(!QFile::exists(staged));
        for (const QString& file : files) {
            const bool original = file != "conversione.txt";
            QCOMPARE(readBytes(dir + '/' + file), marked     ? "new " + file.toUtf8()
                                                  : original ? "old " + file.toUtf8()
                                                             : "");
            QCOMPARE(readBytes(dir + "/archivi-precedenti/" + file),
                     marked && original ? "old " + file.toUtf8() : QByteArray());
        }
    }

    // SIGKILL at random moments of a conversion: after the next start's settle the folder is the
    // old one untouched or the new one complete.
    void killedAnywhere() {
        QTemporaryDir tmp;
        const QString dir = tmp.path() + "/cartella";
        const QString copy = tmp.path() + "/originale";
        writeFolder(copy, {3, 20000, 3000});
        const auto original = snapshot(copy);
        auto fresh = [&] {
            QDir(dir).removeRecursively();
            QVERIFY(platform::AppFolder::copyTree(copy, dir));
        };
        fresh();
        QElapsedTimer whole;
        whole.start();
        QCOMPARE(convert(dir), 0);
        const qint64 wholeMs = whole.elapsed();
        const quint32 seed = QRandomGenerator::global()->generate();
        qInfo("seed %u, whole run %lld ms", seed, wholeMs);
        QRandomGenerator random(seed);
        int olds = 0, news = 0;
        for (int kill = 0; kill < 20; ++kill) {
            fresh();
            QProcess p;
            p.start(qEnvironmentVariable("QUILLET_BIN"), {"--convert-jet", dir});
            QVERIFY(p.waitForStarted());
            // Most of the run reads; the later half holds the checks, the marker and the swap.
            QThread::msleep(random.bounded(quint32(wholeMs / 2), quint32(wholeMs + 20)));
            p.kill();
            QVERIFY(p.waitForFinished());
            waitForChildren(dir); // SIGKILL on the parent's end: gone after their last call
            migration::staging::settle(dir);
            const auto now = snapshot(dir);
            if (now == original) {
                ++olds;
                continue;
            }
            ++news;
            for (auto it = original.cbegin(); it != original.cend(); ++it)
                QCOMPARE(now.value("archivi-precedenti/" + it.key()), it.value());
            QCOMPARE(rows(dir + "/elenco.mdb", "elenco", {"Rubrica"}), order);
            for (const QString& book : order)
                QCOMPARE(rows(dir + "/rubriche/" + book, "rubrica", {"count(*)"}), {"20000"});
        }
        qInfo("old folder %d times, new folder %d times", olds, news);
    }

    // At start: one question, then the conversion under the wait box, then one report.
    void atStart_data() {
        QTest::addColumn<platform::Answer>("answer");
        QTest::newRow("Sì") << platform::Answer::Yes;
        QTest::newRow("No") << platform::Answer::No;
    }
    void atStart() {
        QFETCH(platform::Answer, answer);
        QTemporaryDir tmp;
        writeFolder(tmp.path());
        const auto before = snapshot(tmp.path());
        platform::DialogScript script;
        script.answer(answer);
        JetConversion conversion(tmp.path(), qEnvironmentVariable("QUILLET_BIN"));
        QSignalSpy finished(&conversion, &JetConversion::finished);
        conversion.start();
        QVERIFY(finished.wait(60000));
        const bool yes = answer == platform::Answer::Yes;
        QCOMPARE(finished.first().first().toBool(), yes);
        const QStringList shown = script.messages();
        QCOMPARE(shown.size(), yes ? 2 : 1);
        QCOMPARE(shown[0], "Trovati gli archivi del programma precedente: 3 rubriche, 60 "
                           "contatti, 90 messaggi. Convertirli ora? Gli originali restano in "
                           "archivi-precedenti/");
        QCOMPARE(script.shown()[0].buttons, platform::Buttons::YesNo);
        if (!yes) {
            QCOMPARE(snapshot(tmp.path()), before);
            return;
        }
        QCOMPARE(script.shown()[1].icon, platform::Icon::Information);
        QCOMPARE(shown[1] + '\n', QString::fromUtf8(readBytes(tmp.path() + "/conversione.txt")));
    }
};

QTEST_MAIN(tst_jetconvert)
#include "tst_jetconvert.moc"
