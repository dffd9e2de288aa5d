// A send, without a window, against a stand-in of the service that also plays the SMS centre:
// what goes on the wire and in which order, what is archived and charged, what it reports.
#include "app/session.h"
#include "httpstandin.h"
#include "messaging/sendjob.h"
#include "support/testfolder.h"

#include <QUrlQuery>
#include <QtTest>

using Answer = HttpStandIn::Answer;
using Outcome = SendJob::Outcome;
Q_DECLARE_METATYPE(Answer)
Q_DECLARE_METATYPE(Outcome)

class tst_sendjob : public QObject {
    Q_OBJECT
private slots:
    void init() {
        m_folder = std::make_unique<TestFolder>();
        m_folder->write("registrazione", {"mario-segreto"});
        m_service = std::make_unique<HttpStandIn>();
        m_service->route("nosggi.pl", {.body = "127.0.0.1-quillet:quillet-" +
                                               QByteArray::number(m_service->port())});
        m_service->route("verifica", {.body = "OK"});
        m_service->route("sendsms", {.status = 202, .body = "0: Accepted for delivery"});
        m_state = Session{};
        m_state.appFolder = m_folder->path();
        m_state.service = m_service->servizio();
    }
    void cleanup() {
        m_state = Session{}; // closes the archive before the folder goes
        m_service.reset();
        m_folder.reset();
    }

    // The SMS go out after the credit, the channel and the report of the send; verifica2 and
    // verifica charge them, and verifica2 again corrects the charge when not all went out. A
    // list sends its one part to each recipient, a single number gets the parts in order.
    void sending_data() {
        QTest::addColumn<bool>("list");
        QTest::addColumn<QString>("number"); // single mode
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("credit");
        QTest::addColumn<QByteArray>("receiver"); // the SMS centre answers it this way
        QTest::addColumn<Answer>("answer");
        QTest::addColumn<Outcome>("outcome");
        QTest::addColumn<QString>("counts"); // sent/refused/rounds
        QTest::addColumn<QString>("detail"); // the first refusal, or the failure
        QTest::addColumn<QString>("wire");
        QTest::addColumn<QString>("residui");
        const QString ask = "leggi.pl, nosggi.pl, verifica.cgi, ";
        const QString list = ask + "verifica2.cgi 3/3, verifica.cgi, sendsms +393331000001, "
                                   "sendsms +393331000002";
        const QString text = "Saldi: -20% € da lunedì 😀";
        const QString refusal = "Sender missing and no global set, rejected";
        QTest::newRow("list of three, credit three")
            << true << "" << text << QByteArray("3") << QByteArray() << Answer{}
            << Outcome::Completed << "3/0/3"
            << "" << list + ", sendsms +393331000003"
            << " 0 ";
        QTest::newRow("list, the third refused")
            << true << "" << text << QByteArray("3") << QByteArray("%2B393331000003")
            << Answer{.status = 400, .body = refusal.toUtf8()} << Outcome::SomeRefused << "2/1/3"
            << refusal << list + ", sendsms +393331000003, verifica2.cgi 3/2"
            << " 1 ";
        QTest::newRow("list, the centre lost at the second")
            << true << "" << text << QByteArray("3") << QByteArray("%2B393331000002")
            << Answer{.kind = HttpStandIn::Kind::CloseMidBody, .body = {}} << Outcome::Interrupted
            << "1/0/3"
            << "Invio a 127.0.0.1 non riuscito: Connection closed" << list + ", verifica2.cgi 3/1"
            << " 2 ";
        QTest::newRow("ten parts at the blanks, credit ten")
            << false << "3471234567" << QString("abc ").repeated(400).trimmed() << QByteArray("10")
            << QByteArray() << Answer{} << Outcome::Completed << "10/0/10"
            << ""
            << ask + "verifica2.cgi 10/10, verifica.cgi, " +
                   QStringList(10, "sendsms +393471234567").join(", ")
            << " 0 ";
        QTest::newRow("empty number goes as +39 alone, refused")
            << false << ""
            << "Ciao" << QByteArray("10") << QByteArray("%2B39&")
            << Answer{.status = 400, .body = "Empty receiver"} << Outcome::SomeRefused << "0/1/1"
            << "Empty receiver"
            << ask + "verifica2.cgi 10/1, verifica.cgi, sendsms +39, verifica2.cgi 10/0"
            << " 10 ";
    }
    void sending() {
        QFETCH(bool, list);
        QFETCH(QString, number);
        QFETCH(QString, text);
        QFETCH(QByteArray, credit);
        QFETCH(QByteArray, receiver);
        QFETCH(Answer, answer);
        QFETCH(Outcome, outcome);
        m_service->route("leggi.pl", {.body = credit});
        if (!receiver.isEmpty())
            m_service->route("to=" + receiver, answer);
        SendJob::Message message = threeRecipients(text, "Principale");
        message.list = list;
        message.atBlank = true;
        message.number = number;
        message.numberLabel = list ? message.recipients.join(';') : number;
        message.surname = "Rossi";
        run(message);
        QCOMPARE(m_result.outcome, outcome);
        QTEST(QString("%1/%2/%3").arg(m_result.sent).arg(m_result.refused).arg(m_result.rounds),
              "counts");
        QTEST(outcome == Outcome::Interrupted ? m_result.failure : m_result.firstRefusal, "detail");
        QTEST(wire(), "wire");
        QTEST(platform::TextFile::readFirstLine(m_folder->file("residui.txt")).value_or(""),
              "residui");
        QVERIFY(m_result.creditCacheWritten);
        // Archived once, whole, before any SMS went out.
        QCOMPARE(rows(), QStringList{"Rossi|" + message.numberLabel + "|" + text});
        QStringList texts;
        for (const QByteArray& t : m_service->targets())
            if (t.contains("sendsms"))
                texts << QUrlQuery(QUrl(QString::fromLatin1(t)).query())
                             .queryItemValue("text", QUrl::FullyDecoded);
        if (list)
            QCOMPARE(texts, QStringList(texts.size(), text));
        else
            QCOMPARE(texts.join("").remove(' '), QString(text).remove(' '));
    }

    // A send that stops before any SMS: nothing archived, nothing charged.
    void stopsBeforeSending_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("credit"); // "-": no account file
        QTest::addColumn<QByteArray>("channel");
        QTest::addColumn<QString>("book");
        QTest::addColumn<Outcome>("outcome");
        QTest::addColumn<QString>("wire");
        QTest::addColumn<QString>("statuses");
        const QByteArray channel = "127.0.0.1-quillet:quillet-13013";
        const QString asked = "leggi.pl, nosggi.pl";
        auto row = [&](const char* name, const QByteArray& credit, Outcome outcome,
                       const QString& wire, const QString& statuses = "Verifica Credito") {
            QTest::newRow(name) << "Ciao" << credit << channel << "Principale" << outcome << wire
                                << statuses;
        };
        QTest::newRow("empty text")
            << "" << QByteArray("3") << channel << "Principale" << Outcome::EmptyText << ""
            << "";
        row("no account", "-", Outcome::NoAccount, "");
        row("no answer", "", Outcome::ConnectionFailed, "");
        row("not a number", "Account non valido", Outcome::ConnectionFailed, asked);
        row("nothing known of the credit", "-1", Outcome::NoCredit, asked,
            "Verifica Credito, Credito Esaurito");
        row("credit used up", "0", Outcome::CreditExhausted, asked);
        row("two credits for three", "2", Outcome::InsufficientCredit, asked);
        QTest::newRow("no channel settings")
            << "Ciao" << QByteArray("50") << QByteArray(" ") << "Principale" << Outcome::NoChannel
            << asked << "Verifica Credito";
        QTest::newRow("the address book is gone")
            << "Ciao" << QByteArray("50") << channel << "Perduta" << Outcome::NotArchived
            << asked + ", verifica.cgi"
            << "Verifica Credito";
    }
    void stopsBeforeSending() {
        QFETCH(QString, text);
        QFETCH(QByteArray, credit);
        QFETCH(QByteArray, channel);
        QFETCH(QString, book);
        if (credit == "-")
            QFile::remove(m_folder->file("registrazione"));
        if (credit.isEmpty()) { // a port nobody listens on
            QTcpServer closed;
            closed.listen(QHostAddress::LocalHost);
            m_state.service = "127.0.0.1:" + QString::number(closed.serverPort());
        }
        m_service->route("leggi.pl", {.body = credit});
        m_service->route("nosggi.pl", {.body = channel});
        run(threeRecipients(text, book));
        QTEST(m_result.outcome, "outcome");
        QTEST(wire(), "wire");
        QTEST(m_reported.join(", "), "statuses");
        QVERIFY(rows().isEmpty());
        QVERIFY(!QFile::exists(m_folder->file("residui.txt")));
    }

private:
    static SendJob::Message threeRecipients(const QString& text, const QString& book) {
        SendJob::Message message;
        message.text = text;
        message.list = true;
        message.recipients = {"3331000001", "3331000002", "3331000003"};
        message.book = book;
        return message;
    }
    // Runs a send to its end; what it reported goes to m_reported and m_result.
    void run(const SendJob::Message& message) {
        SendJob job(m_state);
        m_reported.clear();
        bool ended = false;
        connect(&job, &SendJob::statusChanged, this, [&](const QString& s) { m_reported << s; });
        connect(&job, &SendJob::archived, this, [&] { m_reported << "archiviato"; });
        connect(&job, &SendJob::creditChanged, this,
                [&](double c) { m_reported << "credito " + QString::number(c); });
        connect(&job, &SendJob::finished, this, [&](const SendJob::Result& r) {
            m_result = r;
            ended = true;
        });
        job.start(message);
        QTRY_VERIFY_WITH_TIMEOUT(ended, 20000);
    }
    // What reached the service, in order: verifica2 with the credit and the SMS charged,
    // sendsms with the receiver.
    QString wire() const {
        QStringList out;
        for (const QByteArray& target : m_service->targets()) {
            const QUrl url(QString::fromLatin1(target));
            const QUrlQuery query(url);
            QString item = url.fileName();
            if (item == "verifica2.cgi")
                item +=
                    ' ' + query.queryItemValue("numero") + '/' + query.queryItemValue("numerodet");
            else if (item == "sendsms")
                item += ' ' + query.queryItemValue("to", QUrl::FullyDecoded);
            out << item;
        }
        return out.join(", ");
    }
    QStringList rows() const {
        QStringList out;
        auto db = m_folder->book("Principale");
        for (auto rs = db->openRecordset("inviati"); !rs->isEof(); rs->MoveNext())
            out << rs->value("cognome") + '|' + rs->value("cellulare") + '|' + rs->value("Testo");
        return out;
    }

    std::unique_ptr<TestFolder> m_folder;
    std::unique_ptr<HttpStandIn> m_service;
    Session m_state;
    QStringList m_reported;
    SendJob::Result m_result;
};

QTEST_GUILESS_MAIN(tst_sendjob)
#include "tst_sendjob.moc"
