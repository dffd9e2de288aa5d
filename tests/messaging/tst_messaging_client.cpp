// Inet and SMSSX against a scripted HTTP server on 127.0.0.1.
#include "httpstandin.h"
#include "messaging/gatewayrequests.h"
#include "messaging/inet.h"
#include "messaging/smssx.h"
#include "support/answerof.h"

#include <QtTest>

using namespace std::chrono_literals;
using Kind = HttpStandIn::Kind;

Q_DECLARE_METATYPE(HttpStandIn::Kind)

static const QByteArray target = "/cgi-bin/utenti/leggi.pl?utente=a%26b%3Dc&pass=x%20z%C3%A0%2B%25";

// The most memory the process has held since the peak was last reset.
static qint64 peakKilobytes() {
    QFile status("/proc/self/status");
    status.open(QIODevice::ReadOnly);
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ')[0].toLongLong();
    return -1;
}

static QUrl urlOf(const HttpStandIn& server) {
    return QUrl::fromEncoded("http://" + server.servizio().toLatin1() + target);
}

class tst_messaging_client : public QObject {
    Q_OBJECT
private slots:
    void inetBody_data() {
        QTest::addColumn<QByteArray>("contentType");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("text");
        QTest::newRow("ISO-8859-1 named") << QByteArray("text/html; charset=\"ISO-8859-1\"")
                                          << QByteArray("caff\xe8 citt\xe0") << "caffè città";
        QTest::newRow("no charset, UTF-8")
            << QByteArray("text/plain") << QByteArray("perch\xc3\xa9") << "perché";
        QTest::newRow("no charset, 8-bit")
            << QByteArray("text/plain") << QByteArray("perch\xe9 \x80") << "perché €";
    }
    // Also: the request goes out as encoded.
    void inetBody() {
        QFETCH(QByteArray, contentType);
        QFETCH(QByteArray, body);
        HttpStandIn server;
        server.setAnswer({Kind::Reply, 200, contentType, body});
        QTEST(openUrl(urlOf(server), 64).text, "text");
        QCOMPARE(server.targets(), QList<QByteArray>{target});
    }

    void inetTimeout() {
        HttpStandIn server;
        server.setAnswer({Kind::Silent, 200, "text/plain", "25"});
        Inet inet;
        inet.setTimeout(300ms);
        const Inet::Reply reply = openUrl(inet, urlOf(server), 64);
        QVERIFY2(reply.failure.startsWith("Tempo scaduto per la richiesta a"),
                 qPrintable(reply.failure + " / " + reply.text));
    }

    // An answer past its bytes is refused unread, whether its length is told first or not,
    // without holding it in memory; one of exactly as many bytes is read.
    void boundedAnswers_data() {
        QTest::addColumn<Kind>("kind");
        QTest::addColumn<qsizetype>("size");
        QTest::addColumn<bool>("read");
        const qsizetype most = gatewayrequests::creditAnswerBytes;
        QTest::newRow("exactly the most") << Kind::Reply << most << true;
        QTest::newRow("one byte more") << Kind::Reply << most + 1 << false;
        QTest::newRow("10 MB, length told") << Kind::Reply << qsizetype(10 << 20) << false;
        QTest::newRow("10 MB, length untold") << Kind::Stream << qsizetype(10 << 20) << false;
    }
    void boundedAnswers() {
        QFETCH(Kind, kind);
        QFETCH(qsizetype, size);
        HttpStandIn server;
        server.setAnswer({kind, 200, "text/plain", QByteArray(size, '7')});
        QFile reset("/proc/self/clear_refs"); // the peak memory from here on
        QVERIFY(reset.open(QIODevice::WriteOnly) && reset.write("5") == 1);
        reset.close();
        const qint64 before = peakKilobytes();
        Inet inet;
        inet.setTimeout(5s);
        const auto [text, failure] =
            openUrl(inet, urlOf(server), gatewayrequests::creditAnswerBytes);
        QTEST(failure.isEmpty(), "read");
        if (failure.isEmpty())
            QCOMPARE(text.size(), size);
        else
            QVERIFY2(failure.contains("supera i 256 byte"), qPrintable(failure));
        if (kind == Kind::Stream)
            QCOMPARE_LT(peakKilobytes() - before, 4096);
    }

    // One SMS: 0 when the SMS centre accepted it (202), else its status or why nothing went.
    void smssxResults_data() {
        QTest::addColumn<Kind>("kind");
        QTest::addColumn<int>("status");
        QTest::addColumn<int>("port"); // -1: the stand-in's
        QTest::addColumn<int>("result");
        QTest::newRow("202 accepted") << Kind::Reply << 202 << -1 << 0;
        QTest::newRow("200 is not 202") << Kind::Reply << 200 << -1 << 200;
        QTest::newRow("never answers") << Kind::Silent << 0 << -1 << int(SMSSX::TimedOut);
        QTest::newRow("closed mid-body")
            << Kind::CloseMidBody << 202 << -1 << int(SMSSX::TransportFailure);
        QTest::newRow("port 0 (settings without a number)")
            << Kind::Reply << 202 << 0 << int(SMSSX::NotConfigured);
    }
    void smssxResults() {
        QFETCH(Kind, kind);
        QFETCH(int, status);
        QFETCH(int, port);
        HttpStandIn server;
        server.setAnswer({kind, status, "text/html", "answer"});
        SMSSX sms;
        sms.setTimeout(300ms);
        sms.setHost("127.0.0.1");
        sms.setPort(port < 0 ? server.port() : port);
        sms.setAccount("u:p");
        sms.setSender("Q");
        const int result = sendSms(sms, "+393331234567", "Ciao");
        QTEST(result, "result");
        QCOMPARE(sms.lastError().isEmpty(), result == 0);
    }
};

QTEST_GUILESS_MAIN(tst_messaging_client)
#include "tst_messaging_client.moc"
