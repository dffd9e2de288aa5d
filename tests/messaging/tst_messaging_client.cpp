// Inet and SMSSX against a scripted HTTP server on 127.0.0.1.
#include "httpstandin.h"
#include "messaging/inet.h"
#include "messaging/smssx.h"

#include <QtTest>

using namespace std::chrono_literals;
using Kind = HttpStandIn::Kind;

Q_DECLARE_METATYPE(HttpStandIn::Kind)

// A loopback port with nothing listening.
static quint16 closedPort() {
    QTcpServer server;
    server.listen(QHostAddress::LocalHost);
    return server.serverPort();
}

static const QByteArray target = "/cgi-bin/utenti/leggi.pl?utente=a%26b%3Dc&pass=x%20z%C3%A0%2B%25";

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
        QTest::newRow("UTF-8 named") << QByteArray("text/plain; charset=utf-8")
                                     << QByteArray("12,5 \xe2\x82\xac") << "12,5 €";
        QTest::newRow("ISO-8859-1 named") << QByteArray("text/html; charset=\"ISO-8859-1\"")
                                          << QByteArray("caff\xe8 citt\xe0") << "caffè città";
        QTest::newRow("no charset, UTF-8")
            << QByteArray("text/plain") << QByteArray("perch\xc3\xa9") << "perché";
        QTest::newRow("no charset, 8-bit")
            << QByteArray("text/plain") << QByteArray("perch\xe9 \x80") << "perché €";
    }
    // Also: the request goes out as encoded, and both share one kept-alive connection.
    void inetBody() {
        QFETCH(QByteArray, contentType);
        QFETCH(QByteArray, body);
        HttpStandIn server;
        server.setAnswer({Kind::Reply, 200, contentType, body});
        Inet inet;
        QTEST(inet.OpenURL(urlOf(server)), "text");
        QTEST(inet.OpenURL(urlOf(server)), "text");
        QCOMPARE(server.targets(), QList<QByteArray>(2, target));
        QCOMPARE(server.connections(), 1);
    }

    void inetRefusedIsEmpty() {
        QVERIFY(
            Inet().OpenURL(QUrl("http://127.0.0.1:" + QString::number(closedPort()))).isEmpty());
    }

    void inetFailures_data() {
        QTest::addColumn<Kind>("kind");
        QTest::addColumn<QString>("message");
        QTest::newRow("never answers") << Kind::Silent << "Tempo scaduto per la richiesta a";
        QTest::newRow("closed mid-body") << Kind::CloseMidBody << "Richiesta a 127.0.0.1 non";
    }
    void inetFailures() {
        QFETCH(Kind, kind);
        QFETCH(QString, message);
        HttpStandIn server;
        server.setAnswer({kind, 200, "text/plain", "25"});
        Inet inet;
        inet.setTimeout(300ms);
        QElapsedTimer timer;
        timer.start();
        try {
            QFAIL(qPrintable("no InetError; reply: " + inet.OpenURL(urlOf(server))));
        } catch (const InetError& e) {
            QVERIFY2(e.message().startsWith(message), qPrintable(e.message()));
        }
        QVERIFY(timer.elapsed() < 5000);
    }

    // Set up by dispatch id in the composer's order: 3, 2, 11, 1, 4, then 5 per SMS.
    void smssxRequest_data() {
        QTest::addColumn<QString>("account");
        QTest::addColumn<QString>("sender");
        QTest::addColumn<bool>("flash");
        QTest::addColumn<QString>("number");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("query");
        QTest::newRow("7-bit with euro, blanks in the number, no sender")
            << "quillet:pa+ss"
            << "" << false << "+39 333 123 4567"
            << "Ciao à tutti, 5 €"
            << QByteArray("username=quillet&password=pa%2Bss&to=%2B393331234567"
                          "&text=Ciao%20%C3%A0%20tutti%2C%205%20%E2%82%AC&charset=UTF-8");
        QTest::newRow("flash and UCS-2, colon in the password")
            << "u:p:q"
            << "Caffè" << true << "3330000003"
            << "È a+b=c&d"
            << QByteArray("username=u&password=p%3Aq&from=Caff%C3%A8&to=3330000003"
                          "&text=%C3%88%20a%2Bb%3Dc%26d&charset=UTF-8&coding=2&mclass=0");
    }
    void smssxRequest() {
        QFETCH(QString, account);
        QFETCH(QString, sender);
        QFETCH(bool, flash);
        QFETCH(QString, number);
        QFETCH(QString, text);
        QFETCH(QByteArray, query);
        HttpStandIn server;
        server.setAnswer({Kind::Reply, 202, "text/html", "0: Accepted for delivery"});
        SMSSX sms;
        sms.setProperty(3, QString(" 127.0.0.1 "));
        sms.setProperty(2, account);
        sms.setProperty(11, double(server.port()));
        sms.setProperty(1, flash);
        sms.setProperty(4, sender);
        QCOMPARE(sms.invoke(5, number, text), 0);
        QCOMPARE(sms.invoke(5, number, text), 0);
        QCOMPARE(server.targets(), QList<QByteArray>(2, "/cgi-bin/sendsms?" + query));
        QCOMPARE(server.connections(), 1);
    }

    void smssxResults_data() {
        QTest::addColumn<Kind>("kind");
        QTest::addColumn<int>("status");
        QTest::addColumn<int>("result");
        QTest::newRow("202 accepted") << Kind::Reply << 202 << 0;
        QTest::newRow("200 is not 202") << Kind::Reply << 200 << 200;
        QTest::newRow("403 wrong account") << Kind::Reply << 403 << 403;
        QTest::newRow("never answers") << Kind::Silent << 0 << int(SMSSX::TimedOut);
        QTest::newRow("closed mid-body")
            << Kind::CloseMidBody << 202 << int(SMSSX::TransportFailure);
    }
    void smssxResults() {
        QFETCH(Kind, kind);
        QFETCH(int, status);
        HttpStandIn server;
        server.setAnswer({kind, status, "text/html", "answer"});
        QTEST(send(server.port()), "result");
    }

    void smssxNotSent_data() {
        QTest::addColumn<QString>("host");
        QTest::addColumn<double>("port");
        QTest::addColumn<int>("result");
        QTest::newRow("nothing listening")
            << "127.0.0.1" << double(closedPort()) << int(SMSSX::TransportFailure);
        QTest::newRow("port 0 (settings without a number)")
            << "127.0.0.1" << 0.0 << int(SMSSX::NotConfigured);
        QTest::newRow("no host") << "" << 13013.0 << int(SMSSX::NotConfigured);
    }
    void smssxNotSent() {
        QFETCH(QString, host);
        QFETCH(double, port);
        QTEST(send(port, host), "result");
    }

    void gsmAlphabet_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("gsm7");
        QTest::newRow("default alphabet and extension")
            << QString::fromUtf8(
                   "@£$¥èéùìòÇ\nØø\rÅåΔ_ΦΓΛΩΠΨΣΘΞÆæßÉ !\"#¤%&'()*+,-./0123456789:;<=>?"
                   "¡ABCDEFGHIJKLMNOPQRSTUVWXYZÄÖÑÜ§¿abcdefghijklmnopqrstuvwxyzäöñüà"
                   "€[]{}^~\\|\f")
            << true;
        QTest::newRow("capital E grave") << "È" << false;
        QTest::newRow("typographic apostrophe") << "l’ora" << false;
        QTest::newRow("emoji") << "ok 😀" << false;
    }
    void gsmAlphabet() {
        QFETCH(QString, text);
        QTEST(SMSSX::isGsm7(text), "gsm7");
    }

private:
    // One SMS; the error text is set exactly when it was not accepted.
    static int send(double port, const QString& host = "127.0.0.1") {
        SMSSX sms;
        sms.setTimeout(300ms);
        sms.setHost(host);
        sms.setPort(port);
        sms.setAccount("u:p");
        sms.setSender("Q");
        const int result = sms.send("+393331234567", "Ciao");
        if (sms.lastError().isEmpty() != (result == 0))
            QTest::qFail("lastError does not match the result", __FILE__, __LINE__);
        return result;
    }
};

QTEST_GUILESS_MAIN(tst_messaging_client)
#include "tst_messaging_client.moc"
