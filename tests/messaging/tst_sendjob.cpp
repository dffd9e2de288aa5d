// A send, without a window, against a stand-in of the service that also plays the SMS centre:
// what goes on the wire and in which order, what is archived and charged, what it reports.
#include "core/session.h"
#include "httpstandin.h"
#include "messaging/delivery.h"
#include "messaging/sendjob.h"
#include "messaging/sendjournal.h"
#include "messaging/sendreportmodel.h"
#include "store/sendreport.h"
#include "support/answerof.h"
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
        QTest::addColumn<QString>("number"); // single mode; empty: the list of three
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("credit");
        QTest::addColumn<QByteArray>("receiver"); // the SMS centre answers it this way
        QTest::addColumn<Answer>("answer");
        QTest::addColumn<Outcome>("outcome");
        QTest::addColumn<QString>("result"); // sent/refused/rounds, residui, refusal or failure
        QTest::addColumn<QString>("wire");
        QTest::addColumn<QString>("report"); // number surname/part, outcome, answer unless taken
        const QString list = "leggi.pl, nosggi.pl, verifica.cgi, verifica2.cgi 3/3, verifica.cgi, "
                             "sendsms +393331000001, sendsms +393331000002";
        auto row = [](const char* name, const QByteArray& receiver, const Answer& answer,
                      Outcome outcome, const QString& result, const QString& wire,
                      const QString& report, const QString& number = {},
                      const QByteArray& credit = "3") {
            QTest::newRow(name) << number
                                << (number.isEmpty() ? QString("Saldi: -20% € da lunedì 😀")
                                                     : QString("abc ").repeated(400).trimmed())
                                << credit << receiver << answer << outcome << result << wire
                                << report;
        };
        const QString first = "3331000001/1 A, 3331000002 Bianchi/1 ";
        row("list of three, credit three", {}, {}, Outcome::Completed, "3/0/3| 0 |",
            list + ", sendsms +393331000003", first + "A, 3331000003/1 A");
        row("list, the third refused", "%2B393331000003", {.status = 400, .body = "rejected"},
            Outcome::SomeRefused, "2/1/3| 1 |rejected",
            list + ", sendsms +393331000003, verifica2.cgi 3/2",
            first + "A, 3331000003/1 R rejected");
        row("list, the centre lost at the second", "%2B393331000002",
            {.kind = HttpStandIn::Kind::CloseMidBody, .body = {}}, Outcome::Interrupted,
            "1/0/3| 2 |Invio a 127.0.0.1 non riuscito: Connection closed",
            list + ", verifica2.cgi 3/1",
            first + "N Invio a 127.0.0.1 non riuscito: Connection closed, 3331000003/1 N");
        // The gateway handed it on and lost the SMS centre's answer: paid for, never resent.
        row("list, the third's fate unknown", "%2B393331000003",
            {.status = 504, .body = "Esito incerto\n0123456789abcdef0123456789abcdef"},
            Outcome::Completed, "3/0/3| 0 |", list + ", sendsms +393331000003",
            first + "A, 3331000003/1 ? " + store::sendreport::uncertainAnswer);
        // A foreign number goes to its own country, not to Italy.
        QStringList tenParts;
        for (int part = 1; part <= 10; ++part)
            tenParts << QString("+491622433834 Rossi/%1 A").arg(part);
        row("ten parts at the blanks, credit ten, a German number", {}, {}, Outcome::Completed,
            "10/0/10| 0 |",
            "leggi.pl, nosggi.pl, verifica.cgi, verifica2.cgi 10/10, verifica.cgi, " +
                QStringList(10, "sendsms +491622433834").join(", "),
            tenParts.join(", "), "+491622433834", "10");
    }
    void sending() {
        QFETCH(QString, number);
        QFETCH(QString, text);
        QFETCH(QByteArray, credit);
        QFETCH(QByteArray, receiver);
        QFETCH(Answer, answer);
        QFETCH(Outcome, outcome);
        const bool list = number.isEmpty();
        m_service->route("leggi.pl", {.body = credit});
        if (!receiver.isEmpty())
            m_service->route("to=" + receiver, answer);
        testdata::addContact(*m_folder->book("Principale"), "Anna", "Bianchi", "3331000002", "");
        SendJob::Message message = threeRecipients(text, "Principale");
        message.list = list;
        message.atBlank = true;
        message.number = number;
        message.numberLabel = list ? message.recipients.join(';') : number;
        message.surname = "Rossi";
        run(message);
        QCOMPARE(m_result.outcome, outcome);
        const QString detail =
            outcome == Outcome::Interrupted ? m_result.failure : m_result.firstRefusal;
        const auto residui = platform::TextFile::readFirstLine(m_folder->file("residui.txt"));
        const QString counts =
            QString("%1/%2/%3").arg(m_result.sent).arg(m_result.refused).arg(m_result.rounds);
        QTEST(counts + '|' + residui.value_or("") + '|' + detail, "result");
        QTEST(wire(), "wire");
        // Archived once, whole, before any SMS went out; beside it, an outcome for each SMS.
        QCOMPARE(rows(), QStringList{"Rossi|" + message.numberLabel + "|" + text});
        QVERIFY(m_result.reportWritten && m_result.archived);
        QStringList report;
        for (const auto& line :
             store::sendreport::read(*m_folder->book("Principale"), *m_result.archived)) {
            report << QString("%1%2/%3 %4")
                              .arg(line.number, line.surname.isEmpty() ? "" : ' ' + line.surname)
                              .arg(line.part)
                              .arg(QChar(char(line.outcome))) +
                          (line.outcome == store::sendreport::Outcome::Accepted ||
                                   line.answer.isEmpty()
                               ? QString()
                               : ' ' + line.answer);
        }
        QTEST(report.join(", "), "report");
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
        QTest::addColumn<QByteArray>("credit"); // "-": no account file; empty: no answer
        QTest::addColumn<QByteArray>("channel");
        QTest::addColumn<QString>("book");
        QTest::addColumn<Outcome>("outcome");
        QTest::addColumn<QString>("wire");
        const QByteArray channel = "127.0.0.1-quillet:quillet-13013";
        const QString asked = "leggi.pl, nosggi.pl";
        auto row = [&](const char* name, const QByteArray& credit, Outcome outcome,
                       const QString& wire, const QByteArray& settings = {},
                       const QString& book = "Principale", const QString& text = "Ciao") {
            QTest::newRow(name) << text << credit << (settings.isEmpty() ? channel : settings)
                                << book << outcome << wire;
        };
        row("empty text", "3", Outcome::EmptyText, "", {}, "Principale", "");
        row("no account", "-", Outcome::NoAccount, "");
        row("no answer", "", Outcome::ConnectionFailed, "");
        row("nothing known of the credit", "-1", Outcome::NoCredit, asked);
        row("credit used up", "0", Outcome::CreditExhausted, asked);
        row("two credits for three", "2", Outcome::InsufficientCredit, asked);
        row("no channel settings", "50", Outcome::NoChannel, asked, " ");
        row("the address book is gone", "50", Outcome::NotArchived, asked + ", verifica.cgi", {},
            "Perduta");
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
        QVERIFY(rows().isEmpty());
        QVERIFY(!QFile::exists(m_folder->file("residui.txt")));
    }

    // A send cut short with its first SMS of three on its way, the channel out of reach at the
    // next start: that SMS may have gone, so it stays charged (verifica2 3/1) and the journal goes.
    void settledWithTheChannelDown() {
        QTcpServer gone;
        gone.listen(QHostAddress::LocalHost);
        const QString channel = "127.0.0.1-quillet:quillet-" + QString::number(gone.serverPort());
        gone.close();
        auto journal = sendjournal::Journal::create(
            m_folder->path(),
            {"Principale", "m", "cafe", m_service->servizio(), "mario", "segreto", 3, channel, 3});
        journal->charging(3);
        journal->handing(0);
        journal.reset(); // the program ends here
        const auto settled = answerOf<QList<sendjournal::Settled>>(
            [&](auto done) { sendjournal::settleAll(m_folder->path(), done); });
        QVERIFY(settled.size() == 1 && settled[0].uncertain);
        QCOMPARE(wire(), "verifica2.cgi 3/1");
    }

    // The delivery of a send's SMS asked of esiti.pl by their keys (only those without a final
    // state) when its report opens: what the gateway answers, in Italian, in the counts and
    // in the numbers to send again. A final state stays; a line not of the form, or a gateway
    // without esiti.pl, changes nothing; the SMS centre's text keeps 200 characters.
    void deliveryStates_data() {
        QTest::addColumn<Answer>("answer");
        QTest::addColumn<QString>("delivery"); // of the four lines
        QTest::addColumn<QString>("counts");
        QTest::addColumn<QString>("resend");
        QTest::addColumn<QString>("text"); // the SMS centre's text kept for the second line
        const QByteArray a(32, 'a'), b(32, 'b'), c(32, 'c'), t = "2026-12-06T09:00:00Z";
        const QString none = "Consegnato|In attesa|In attesa|";
        const QString counts = "Accettati 3, rifiutati 1, non inviati 0, consegnati 1";
        const QString refused = "3330000004";
        QTest::newRow("each state") << Answer{.body = b + "\t8\t" + t + "\tACK/\n" + c + "\t2\t" +
                                                      t + "\tNumero non raggiungibile"}
                                    << "Consegnato|All'operatore|Non consegnato|" << counts
                                    << "3330000003 " + refused << "ACK/";
        QTest::newRow("a final state stays, no report yet")
            << Answer{.body = a + "\t8\t" + t + "\tACK/\n" + a + "\t0\t\t\n" + b + "\t0\t\t"}
            << none << counts << refused << "";
        QTest::newRow("lines not of the form")
            << Answer{.body = b + "\t1\t" + t + "\n" + b + "\t3\t" + t + "\tx\n" +
                              QByteArray(32, 'd') + "\t1\t" + t + "\tx\n" + b +
                              "\t1\t06/12/2026 09:00\tx\n" + b + "\t1\t" + t + "\tx\\q\n" + c +
                              "\t0\t" + t + "\t\n" + b.toUpper() + "\t1\t" + t + "\tx"}
            << none << counts << refused << "";
        QTest::newRow("escapes") << Answer{.body = b + "\t1\t" + t + "\tA\\tB\\\\C\\nD\\rE"}
                                 << "Consegnato|Consegnato|In attesa|"
                                 << "Accettati 3, rifiutati 1, non inviati 0, consegnati 2"
                                 << refused << "A\tB\\C\nD\rE";
        const QString long200 = QString("è").repeated(199) + "😀";
        QTest::newRow("200 characters kept")
            << Answer{.body = b + "\t16\t" + t + "\t" + long200.toUtf8()}
            << "Consegnato|Non consegnato|In attesa|" << counts << "3330000002 " + refused
            << long200;
        QTest::newRow("the 201st cut")
            << Answer{.body = b + "\t4\t" + t + "\t" + long200.toUtf8() + "x"}
            << "Consegnato|All'operatore|In attesa|" << counts << refused << long200;
        QTest::newRow("a gateway without esiti.pl")
            << Answer{.status = 404, .body = b + "\t1\t" + t + "\tNot Found"} << none << counts
            << refused << "";
    }
    void deliveryStates() {
        QFETCH(Answer, answer);
        m_service->route("esiti.pl", answer);
        const store::archive::MessageRow sent{"", "3330000001;3330000002;3330000003;3330000004",
                                              "06/12/2026 08:59:00", "Promemoria"};
        writeReport(sent, {QString(32, 'a'), QString(32, 'b'), QString(32, 'c'), QString()});
        store::sendreport::recordStates(*m_folder->book("Principale"),
                                        {{QString(32, 'a'), 1, "2026-12-06T08:59:01Z", ""}});
        askDelivery(sent);
        QCOMPARE(QString::fromLatin1(m_service->targets().value(0)).section("&datatime=", 0, 0),
                 "/cgi-bin/utenti/esiti.pl?utente=mario&pass=segreto&sms=" + QString(32, 'b') +
                     "%2C" + QString(32, 'c'));
        SendReportModel model;
        model.setLines(store::sendreport::read(*m_folder->book("Principale"), sent));
        QStringList delivery;
        for (const auto& line : model.lines())
            delivery << SendReportModel::deliveryText(line);
        QTEST(delivery.join('|'), "delivery");
        QTEST(model.counts(), "counts");
        QTEST(model.numbersToResend().join(' '), "resend");
        QTEST(model.lines().value(1).stateText, "text");
    }

    // esiti.pl takes 200 keys a request: a send to more is asked in several.
    void statesAskedTwoHundredAtATime_data() {
        QTest::addColumn<int>("keys");
        QTest::addColumn<QList<int>>("asked"); // keys per request
        QTest::newRow("200") << 200 << QList<int>{200};
        QTest::newRow("201") << 201 << QList<int>{200, 1};
    }
    void statesAskedTwoHundredAtATime() {
        QFETCH(int, keys);
        const store::archive::MessageRow sent{"", "lista", "06/12/2026 08:59:00", "Promemoria"};
        QStringList written;
        for (int i = 0; i < keys; ++i)
            written << QString::number(i).rightJustified(32, '0');
        writeReport(sent, written);
        askDelivery(sent);
        QList<int> asked;
        for (const QByteArray& target : m_service->targets())
            asked << QUrlQuery(QUrl(QString::fromLatin1(target)))
                         .queryItemValue("sms", QUrl::FullyDecoded)
                         .split(',')
                         .size();
        QTEST(asked, "asked");
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
    // The report of `sent` to 3330000001 on: each SMS accepted under its key, refused if null.
    void writeReport(const store::archive::MessageRow& sent, const QStringList& keys) {
        QList<store::sendreport::Line> lines(keys.size());
        for (qsizetype i = 0; i < keys.size(); ++i)
            lines[i].number = QString::number(3330000001 + i);
        auto db = m_folder->book("Principale");
        store::sendreport::Writer report(*db, sent, lines);
        for (int i = 0; i < keys.size(); ++i)
            keys[i].isNull() ? report.record(i, store::sendreport::Outcome::Refused, "rejected")
                             : report.record(i, store::sendreport::Outcome::Accepted,
                                             "0: Accepted for delivery", keys[i]);
        report.finish();
    }
    // Runs a send to its end; what it reported goes to m_result.
    void run(const SendJob::Message& message) {
        SendJob job(m_state);
        bool ended = false;
        connect(&job, &SendJob::finished, this, [&](const SendJob::Result& r) {
            m_result = r;
            ended = true;
        });
        job.start(message);
        QTRY_VERIFY_WITH_TIMEOUT(ended, 20000);
    }
    // What reached the service, in order: verifica2 with the credit and the SMS charged,
    // sendsms with the receiver.
    void askDelivery(const store::archive::MessageRow& sent) {
        HttpGet http;
        answerOf<int>([&](auto done) {
            delivery::askForMessage(http, m_state,
                                    store::archive::addressBookPath(m_folder->path(), "Principale"),
                                    sent, done);
        });
    }
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
    SendJob::Result m_result;
};

QTEST_GUILESS_MAIN(tst_sendjob)
#include "tst_sendjob.moc"
