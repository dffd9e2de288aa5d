// A list send to 1,000 numbers through quillet-gateway's sink, its process killed (SIGKILL) at
// random moments: every file stays whole, a message with SMS in the sink is in inviati, and
// once the program has started again the ledger has charged exactly the SMS in the sink and
// the report says which they were.
#include "store/sendreport.h"
#include "store/sqlite.h"
#include "support/testfolder.h"

#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QtTest>

using store::sqlite::Connection;
using store::sqlite::Statement;

class tst_sendcrash : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() {
        m_db = m_dir.filePath("gateway.db");
        QCOMPARE(
            QProcess::execute(qEnvironmentVariable("QUILLET_GATEWAY"),
                              {"account", "create", "--db", m_db, "mario", "segreto", "1000000"}),
            0);
        m_gateway.start(qEnvironmentVariable("QUILLET_GATEWAY"),
                        {"serve", "--port", "0", "--db", m_db, "--sink-keep", "100000"});
        static const QRegularExpression ready("In ascolto su ([0-9.]+:[0-9]+)");
        QString out;
        while (!ready.match(out).hasMatch() && m_gateway.waitForReadyRead(10000))
            out += QString::fromUtf8(m_gateway.readAllStandardOutput());
        m_service = ready.match(out).captured(1);
        QVERIFY(!m_service.isEmpty());
        m_folder.write("registrazione", {"mario-segreto"});
    }
    void cleanupTestCase() {
        m_gateway.terminate();
        m_gateway.waitForFinished(10000);
    }

    // The first send runs to its end and sets the span the others are killed in.
    void killedAtRandom() {
        qint64 span = 0;
        for (int run = 0; run <= 20; ++run) {
            const QString text = QString("Prova %1").arg(run);
            const qint64 sinkBefore = gatewayCount("SELECT count(*) FROM sink");
            QProcess send;
            send.start(qEnvironmentVariable("QUILLET_SENDDRIVER"),
                       {m_folder.path(), m_service, "1000", text});
            QElapsedTimer clock;
            clock.start();
            if (run == 0) {
                QVERIFY(send.waitForFinished(60000));
                QCOMPARE(send.exitCode(), 0);
                span = clock.elapsed();
            } else {
                const qint64 at = QRandomGenerator::global()->bounded(span + 1);
                if (!send.waitForFinished(int(at))) {
                    send.kill();
                    QVERIFY(send.waitForFinished(10000));
                }
            }
            QString where = QString("run %1 after %2 ms").arg(run).arg(clock.elapsed());
            for (const char* file : {"elenco.mdb", "rubriche/Principale"})
                QVERIFY2(integrity(*store::Database::open(m_folder.file(file))->connection()) ==
                             "ok",
                         qPrintable(where + ": " + file));
            QVERIFY2(integrity(Connection(m_db, Connection::Mode::OpenExisting, 5000)) == "ok",
                     qPrintable(where));

            // The next start: the charge and the report come out right.
            QCOMPARE(
                QProcess::execute(qEnvironmentVariable("QUILLET_SENDDRIVER"), {m_folder.path()}),
                0);
            // The gateway may still have been storing the SMS on its way at the kill.
            const qint64 sent = gatewayCount("SELECT count(*) FROM sink") - sinkBefore;
            where += QString(", %1 SMS in the sink").arg(sent);
            QVERIFY2(gatewayCount("SELECT 1000000 - credit FROM accounts") ==
                         gatewayCount("SELECT count(*) FROM sink"),
                     qPrintable(where));
            const QString lines = report(text); // empty: not in inviati
            QVERIFY2(sent == 0 || !lines.isEmpty(), qPrintable(where));
            if (!lines.isEmpty())
                QCOMPARE(lines, QString("A %1, ? 0").arg(sent));
            QVERIFY2(QDir(m_folder.file("rubriche")).entryList({"*.invio"}).isEmpty(),
                     qPrintable(where));
        }
    }

private:
    // How many SMS of the message in inviati the report says went out, and how many nobody
    // knows of.
    QString report(const QString& text) const {
        const auto db = m_folder.book("Principale");
        for (auto rs = db->openRecordset("inviati"); !rs->isEof(); rs->MoveNext()) {
            if (rs->value("Testo") != text)
                continue;
            int accepted = 0, unknown = 0;
            for (const auto& line :
                 store::sendreport::read(*db, {rs->value("cognome"), rs->value("cellulare"),
                                               rs->value("Data"), text})) {
                accepted += line.outcome == store::sendreport::Outcome::Accepted;
                unknown += line.outcome == store::sendreport::Outcome::Pending;
            }
            return QString("A %1, ? %2").arg(accepted).arg(unknown);
        }
        return {};
    }
    static QString integrity(const Connection& db) {
        Statement check(db, "PRAGMA integrity_check");
        return check.step() ? check.text(0) : QString();
    }
    qint64 gatewayCount(const char* sql) const {
        Connection db(m_db, Connection::Mode::OpenExisting, 5000);
        Statement query(db, sql);
        return query.step() ? query.integer(0) : -1;
    }
    QTemporaryDir m_dir;
    TestFolder m_folder;
    QString m_db;
    QString m_service;
    QProcess m_gateway;
};

QTEST_GUILESS_MAIN(tst_sendcrash)
#include "tst_sendcrash.moc"
