// "Importa file csv" killed (SIGKILL) at random moments: the address book always opens whole,
// with its indexes, and holds exactly the first contacts of the file.
#include "store/archive.h"
#include "store/database.h"
#include "support/testfolder.h"

#include <QProcess>
#include <QRandomGenerator>
#include <QtTest>

namespace {

// Under the sanitizers the import is many times slower: a smaller file, still read in several
// transactions.
#if defined(__SANITIZE_ADDRESS__)
constexpr int lines = 25000;
#else
constexpr int lines = 100000;
#endif
constexpr int kills = 20;

// Contact i as the file holds it and as the book must store it, "Nome|cognome|cellulare|email".
QByteArray fileLine(int i) {
    return "Nicol\xC3\xB2 " + QByteArray::number(i) + ";\"Dell'Acqua; " + QByteArray::number(i) +
           "\";" + QByteArray::number(3330000000LL + i) + ";c" + QByteArray::number(i) +
           "@example.it\r\n";
}
QString stored(int i) {
    return QStringLiteral("Nicolò %1|Dell'Acqua; %1|%2|c%1@example.it")
        .arg(i)
        .arg(3330000000LL + i);
}

} // namespace

class tst_importkill : public QObject {
    Q_OBJECT
private slots:
    void killedAnywhere() {
        QTemporaryDir dir;
        const QString file = dir.filePath("contatti.csv");
        QByteArray text = "Nome;Cognome;Cellulare;Posta elettronica\r\n";
        for (int i = 0; i < lines; ++i)
            text += fileLine(i);
        writeBytes(file, text);
        const QString driver = QCoreApplication::applicationDirPath() + "/quillet-import-driver";
        const QString book = dir.filePath("rubrica");
        auto freshBook = [&] {
            QFile::remove(book);
            QFile::remove(book + "-journal");
            store::Database::create(book, store::archive::addressBookTables());
        };

        // One whole run: how many progress lines the import prints.
        freshBook();
        QProcess whole;
        whole.start(driver, {file, book});
        QVERIFY(whole.waitForFinished(120000));
        QCOMPARE(whole.exitCode(), 0);
        const int steps = int(whole.readAllStandardOutput().count('\n')) - 1;
        QVERIFY(steps > 10);

        const quint32 seed = QRandomGenerator::global()->generate();
        qInfo("seed %u", seed);
        QRandomGenerator random(seed);
        int killed = 0;
        for (int attempt = 0; killed < kills && attempt < 2 * kills; ++attempt) {
            freshBook();
            const int killAt = int(random.bounded(steps)) + 1;
            QProcess import;
            import.start(driver, {file, book});
            QVERIFY(import.waitForStarted());
            int seen = 0;
            while (seen < killAt && import.state() == QProcess::Running) {
                if (!import.canReadLine())
                    import.waitForReadyRead(1000);
                while (import.canReadLine() && seen < killAt)
                    seen += import.readLine().startsWith("fine") ? 0 : 1;
            }
            if (import.state() != QProcess::Running)
                continue;  // finished first: no kill this time
            import.kill(); // SIGKILL
            QVERIFY(import.waitForFinished());
            ++killed;

            auto db = store::Database::open(book);
            store::sqlite::Statement check(*db->connection(), "PRAGMA integrity_check");
            QVERIFY(check.step());
            QCOMPARE(check.text(0), QStringLiteral("ok"));
            QVERIFY(hasRubricaIndexes(*db));
            const QStringList rows =
                tableRows(*db, "rubrica", {"Nome", "cognome", "cellulare", "email"});
            qInfo("kill %d at step %d of %d: %lld rows", killed, killAt, steps, rows.size());
            for (int i = 0; i < rows.size(); ++i) // the first contacts of the file
                QCOMPARE(rows[i], stored(i));
        }
        QCOMPARE(killed, kills);
    }
};

QTEST_GUILESS_MAIN(tst_importkill)
#include "tst_importkill.moc"
