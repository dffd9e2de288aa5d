// A list send through quillet-gateway's sink: each recipient's own text, what is charged and what
// the report keeps.
#include "contacts/excludednumbers.h"
#include "core/session.h"
#include "messaging/sendjob.h"
#include "messaging/sendreportmodel.h"
#include "messaging/textfields.h"
#include "store/sendreport.h"
#include "support/testfolder.h"

#include <QProcess>
#include <QRegularExpression>
#include <QtTest>

using Outcome = SendJob::Outcome;
Q_DECLARE_METATYPE(Outcome)

static const QStringList recipients{"3331000001", "3331000002", "3339999999"};

class tst_listsend : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() {
        m_db = m_dir.filePath("gateway.db");
        QCOMPARE(QProcess::execute(qEnvironmentVariable("QUILLET_GATEWAY"),
                                   {"account", "create", "--db", m_db, "mario", "segreto", "1000"}),
                 0);
        m_gateway.start(qEnvironmentVariable("QUILLET_GATEWAY"),
                        {"serve", "--port", "0", "--db", m_db});
        static const QRegularExpression ready("In ascolto su ([0-9.]+:[0-9]+)");
        QString out;
        while (!ready.match(out).hasMatch() && m_gateway.waitForReadyRead(10000))
            out += QString::fromUtf8(m_gateway.readAllStandardOutput());
        m_state.service = ready.match(out).captured(1);
        QVERIFY(!m_state.service.isEmpty());
        m_folder.write("registrazione", {"mario-segreto"});
        m_state.appFolder = m_folder.path();
        auto book = m_folder.book("Principale");
        testdata::addContact(*book, "Anna", "D'Angelo", "3331000001", "");
        testdata::addContact(*book, "Nicolò", "Radić", "3331000002", "");
    }
    void cleanupTestCase() {
        m_state = Session{};
        m_gateway.terminate();
        m_gateway.waitForFinished(10000);
    }

    // Fields filled from the book, a number found however it is written; a number not in the
    // book gets them empty, and the blank next to them goes too.
    void filled_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("number");
        QTest::addColumn<QString>("expected");
        QTest::newRow("apostrophe") << "Gentile {Nome} {Cognome},"
                                    << "3331000001"
                                    << "Gentile Anna D'Angelo,";
        QTest::newRow("accents, +39 and blanks") << "{Nome} {Cognome} {Cellulare}"
                                                 << "+39 333 100 0002"
                                                 << "Nicolò Radić 3331000002";
        QTest::newRow("not in the book") << "Gentile {Nome}, il {Cellulare}."
                                         << "3339999999"
                                         << "Gentile, il.";
        QTest::newRow("not in the book, at the start") << "{Nome} ciao\n{Cognome} a te"
                                                       << "3339999999"
                                                       << "ciao\na te";
        QTest::newRow("no fields") << "Sconto {20%} a {nome}"
                                   << "3331000001"
                                   << "Sconto {20%} a {nome}";
    }
    void filled() {
        QFETCH(QString, text);
        QFETCH(QString, number);
        auto book = m_folder.book("Principale");
        textfields::People people(*book);
        QTEST(textfields::fill(text, people.find(number)), "expected");
    }

    // Each recipient gets its own text, one SMS each, in the alphabet it needs; the charge is
    // what the sink counts. A filled text over one SMS stops the send before anything goes, and
    // names its recipient.
    void filledTextsSent_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<Outcome>("outcome");
        QTest::addColumn<int>("tooLong");
        QTest::addColumn<QString>("codings"); // of the SMS in the sink, in send order
        const QString x = "x", y = "y";
        QTest::newRow("Nicolò's exactly 160")
            << "{Nome}: " + x.repeated(152) << Outcome::Completed << -1 << "0 0 0";
        QTest::newRow("Nicolò's 161")
            << "{Nome}: " + x.repeated(153) << Outcome::TooLongForList << 1 << "";
        QTest::newRow("Radić's Unicode, exactly 70")
            << "{Cognome} " + y.repeated(64) << Outcome::Completed << -1 << "0 2 0";
        QTest::newRow("Radić's Unicode, 71")
            << "{Cognome} " + y.repeated(65) << Outcome::TooLongForList << 1 << "";
    }
    void filledTextsSent() {
        QFETCH(QString, text);
        QFETCH(QString, codings);
        SendJob::Message message;
        message.text = text;
        message.list = true;
        message.recipients = recipients;
        message.book = "Principale";
        QStringList filled;
        {
            auto book = m_folder.book("Principale");
            textfields::People people(*book);
            for (const auto& one : textfields::fillAll(text, recipients, people))
                filled << one.text;
        }
        message.texts = filled;
        const qint64 sinkBefore = gatewayCount("SELECT ifnull(max(id), 0) FROM sink");
        const qint64 creditBefore = gatewayCount("SELECT credit FROM accounts");

        const SendJob::Result result = run(message);
        QTEST(result.outcome, "outcome");
        QTEST(result.tooLong, "tooLong");
        const QString newer = QString(" FROM sink WHERE id > %1").arg(sinkBefore);
        QCOMPARE(gatewayCount("SELECT count(*)" + newer), codings.isEmpty() ? 0 : 3);
        QCOMPARE(creditBefore - gatewayCount("SELECT credit FROM accounts"),
                 gatewayCount("SELECT ifnull(sum(parts), 0)" + newer));
        if (codings.isEmpty())
            return;
        QCOMPARE(gatewayTexts("SELECT coding" + newer + " ORDER BY id").join(' '), codings);
        QCOMPARE(gatewayTexts("SELECT text" + newer + " ORDER BY id"), filled);
        QVERIFY(result.archived);
        QCOMPARE(result.archived->testo, text); // archived as written
        QStringList reported;
        for (const auto& line :
             store::sendreport::read(*m_folder.book("Principale"), *result.archived))
            reported << line.text;
        QCOMPARE(reported, filled);
    }

    // A number in esclusi matches however either is written; an import skips blank lines and
    // refuses what is no number.
    void excludedSpellings_data() {
        QTest::addColumn<QString>("listed");
        QTest::addColumn<QString>("recipient");
        QTest::addColumn<bool>("excluded");
        QTest::newRow("blanks, +39") << "333 1234567"
                                     << "+39 3331234567" << true;
        QTest::newRow("0039, dashes") << "0039-333-123-4567"
                                      << "3331234567" << true;
        QTest::newRow("foreign") << "+49 162 2433834"
                                 << "0049 1622433834" << true;
        QTest::newRow("one digit apart") << "333 1234567"
                                         << "3331234568" << false;
    }
    void excludedSpellings() {
        QFETCH(QString, listed);
        QFETCH(QString, recipient);
        excluded::List list; // imported from a text file's lines: a blank and a word skipped
        const excluded::Imported imported =
            excluded::importLines(list, {listed, "", "33a", listed});
        QCOMPARE(QString("%1 %2 %3")
                     .arg(imported.added)
                     .arg(imported.already)
                     .arg(imported.refused.size()),
                 "1 1 1");
        QVERIFY(list.save(m_folder.path()));
        QTEST(excluded::List::load(m_folder.path()).contains(recipient), "excluded");
    }

    // A list send skips the excluded numbers: the sink never sees them, the charge leaves them
    // out, the report lists them as excluded.
    void excludedSkipped_data() {
        QTest::addColumn<QStringList>("listed");
        QTest::addColumn<Outcome>("outcome");
        QTest::addColumn<QStringList>("sink");
        QTest::addColumn<QString>("report");
        QTest::newRow("one, written otherwise")
            << QStringList{"+39 333 100 0002"} << Outcome::Completed
            << QStringList{"+393331000001", "+393339999999"}
            << "3331000001 Accettato, 3339999999 Accettato, 3331000002 Escluso";
        QTest::newRow("all") << recipients << Outcome::AllExcluded << QStringList{} << "";
    }
    void excludedSkipped() {
        QFETCH(QStringList, listed);
        QFETCH(QStringList, sink);
        m_folder.write(excluded::fileName, listed);
        SendJob::Message message;
        message.text = "Saldi";
        message.list = true;
        message.recipients = recipients;
        message.book = "Principale";
        const qint64 sinkBefore = gatewayCount("SELECT ifnull(max(id), 0) FROM sink");
        const qint64 creditBefore = gatewayCount("SELECT credit FROM accounts");
        const SendJob::Result result = run(message);
        QFile::remove(m_folder.file(excluded::fileName));
        QTEST(result.outcome, "outcome");
        const QString newer = QString(" FROM sink WHERE id > %1").arg(sinkBefore);
        QCOMPARE(gatewayTexts("SELECT receiver" + newer + " ORDER BY id"), sink);
        QCOMPARE(creditBefore - gatewayCount("SELECT credit FROM accounts"), sink.size());
        QStringList lines;
        if (result.archived)
            for (const auto& line :
                 store::sendreport::read(*m_folder.book("Principale"), *result.archived))
                lines << line.number + ' ' + SendReportModel::outcomeText(line.outcome);
        QTEST(lines.join(", "), "report");
    }

private:
    SendJob::Result run(const SendJob::Message& message) {
        SendJob job(m_state);
        std::optional<SendJob::Result> result;
        connect(&job, &SendJob::finished, this, [&](const SendJob::Result& r) { result = r; });
        job.start(message);
        [&] {
            QTRY_VERIFY_WITH_TIMEOUT(result.has_value(), 20000);
        }();
        return result.value_or(SendJob::Result{});
    }
    QStringList gatewayTexts(const QString& sql) const {
        using namespace store::sqlite;
        Connection db(m_db, Connection::Mode::OpenExisting, 5000);
        Statement query(db, sql.toUtf8());
        QStringList out;
        while (query.step())
            out << query.text(0);
        return out;
    }
    qint64 gatewayCount(const QString& sql) const {
        return gatewayTexts(sql).value(0).toLongLong();
    }

    QTemporaryDir m_dir;
    TestFolder m_folder;
    QString m_db;
    QProcess m_gateway;
    Session m_state;
};

QTEST_GUILESS_MAIN(tst_listsend)
#include "tst_listsend.moc"
