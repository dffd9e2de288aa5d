// Inet and SMSSX against a scripted HTTP server on 127.0.0.1.
#include "httpstandin.h"
#include "messaging/gatewayrequests.h"
#include "messaging/inet.h"
#include "messaging/smssx.h"
#include "platform/clock.h"

#include <QtTest>

using namespace std::chrono_literals;
using Kind = HttpStandIn::Kind;

Q_DECLARE_METATYPE(HttpStandIn::Kind)

class tst_messaging_client : public QObject {
    Q_OBJECT
private slots:
    void cleanup() { platform::Clock::setNowForTesting({}); }
    void inetBody_data();
    void inetBody();
    void inetUnreachableIsEmpty();
    void inetFailures_data();
    void inetFailures();
    void requestsOnTheWire();
    void inetKeepsOneConnection();
    void smssxRequest_data();
    void smssxRequest();
    void smssxByDispatchId();
    void smssxResults_data();
    void smssxResults();
    void smssxNotSent_data();
    void smssxNotSent();
    void smssxKeepsOneConnection();
    void gsmAlphabet_data();
    void gsmAlphabet();
};

// A loopback port with nothing listening.
static quint16 closedPort() {
    QTcpServer server;
    server.listen(QHostAddress::LocalHost);
    return server.serverPort();
}

static QUrl standInUrl(const HttpStandIn& server, const QString& target) {
    return QUrl("http://127.0.0.1:" + QString::number(server.port()) + target);
}

void tst_messaging_client::inetBody_data() {
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("contentType");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QString>("text");
    QTest::newRow("UTF-8 named") << 200 << QByteArray("text/plain; charset=utf-8")
                                 << QByteArray("Credito: 12,5 \xe2\x82\xac") << "Credito: 12,5 €";
    QTest::newRow("ISO-8859-1 named") << 200 << QByteArray("text/html; charset=\"ISO-8859-1\"")
                                      << QByteArray("caff\xe8 citt\xe0") << "caffè città";
    QTest::newRow("windows-1252 named")
        << 200 << QByteArray("text/plain;charset=windows-1252") << QByteArray("\x80 5") << "€ 5";
    QTest::newRow("no charset, valid UTF-8")
        << 200 << QByteArray("text/plain") << QByteArray("perch\xc3\xa9") << "perché";
    QTest::newRow("no charset, 8-bit")
        << 200 << QByteArray("text/plain") << QByteArray("perch\xe9 \x80") << "perché €";
    QTest::newRow("leading blank kept")
        << 200 << QByteArray("text/plain") << QByteArray(" 25") << " 25";
    QTest::newRow("channel settings")
        << 200 << QByteArray("text/plain") << QByteArray("127.0.0.1-quillet:segreto-13013\r\n")
        << "127.0.0.1-quillet:segreto-13013\r\n";
    QTest::newRow("empty body") << 200 << QByteArray("text/plain") << QByteArray() << "";
    QTest::newRow("404 page") << 404 << QByteArray("text/html") << QByteArray("Not Found")
                              << "Not Found";
    QTest::newRow("400 page") << 400 << QByteArray("text/html") << QByteArray("Bad Request")
                              << "Bad Request";
    QTest::newRow("401 page") << 401 << QByteArray("text/html") << QByteArray("Unauthorized")
                              << "Unauthorized";
    QTest::newRow("500 without body") << 500 << QByteArray("text/html") << QByteArray() << "";
}

void tst_messaging_client::inetBody() {
    QFETCH(int, status);
    QFETCH(QByteArray, contentType);
    QFETCH(QByteArray, body);
    HttpStandIn server;
    server.setAnswer({Kind::Reply, status, contentType, body});
    Inet inet;
    QTEST(inet.OpenURL(standInUrl(server, "/cgi-bin/utenti/leggi.pl?utente=a")), "text");
}

void tst_messaging_client::inetUnreachableIsEmpty() {
    Inet inet;
    const QString reply =
        inet.OpenURL(QUrl("http://127.0.0.1:" + QString::number(closedPort()) + "/x"));
    QVERIFY(reply.isEmpty());
}

void tst_messaging_client::inetFailures_data() {
    QTest::addColumn<Kind>("kind");
    QTest::addColumn<QString>("message");
    QTest::newRow("never answers") << Kind::Silent << "Tempo scaduto per la richiesta a 127.0.0.1";
    QTest::newRow("closed mid-headers") << Kind::CloseMidHeaders << "Richiesta a 127.0.0.1 non";
    QTest::newRow("closed mid-body") << Kind::CloseMidBody << "Richiesta a 127.0.0.1 non";
    QTest::newRow("not HTTP") << Kind::NotHttp << "Richiesta a 127.0.0.1 non";
}

void tst_messaging_client::inetFailures() {
    QFETCH(Kind, kind);
    QFETCH(QString, message);
    HttpStandIn server;
    server.setAnswer({kind, 200, "text/plain", "25"});
    Inet inet;
    inet.setTimeout(300ms);
    try {
        const QString reply = inet.OpenURL(standInUrl(server, "/cgi-bin/utenti/leggi.pl"));
        QFAIL(qPrintable("no InetError; reply: " + reply));
    } catch (const InetError& e) {
        QVERIFY2(e.message().startsWith(message), qPrintable(e.message()));
        QCOMPARE(QString::fromUtf8(e.what()), e.message());
    }
}

void tst_messaging_client::requestsOnTheWire() {
    HttpStandIn server;
    server.setAnswer({Kind::Reply, 200, "text/plain", "ok"});
    platform::Clock::setNowForTesting([] { return QDateTime(QDate(2024, 9, 3), QTime(9, 5, 7)); });
    const gatewayrequests::Account account{"a&b=c", "x-y zà+%"};
    Inet inet;
    const QString servizio = server.servizio();
    for (const QUrl& url : {gatewayrequests::creditQuery(servizio, account),
                            gatewayrequests::channelSettingsRequest(servizio, account),
                            gatewayrequests::verificaRequest(servizio, account, 12.5, 3),
                            gatewayrequests::verifica2Request(servizio, account, 12.5, 2)})
        QCOMPARE(inet.OpenURL(url), "ok");

    const QByteArray keys = "utente=a%26b%3Dc&pass=x-y%20z%C3%A0%2B%25";
    const QList<QByteArray> expected{
        "/cgi-bin/utenti/leggi.pl?" + keys + "&datatime=392024957",
        "/cgi-bin/utenti/nosggi.pl?" + keys + "&datatime=392024957",
        "/cgi-bin/utenti/verifica.cgi?" + keys + "&numero=12,5&numerodet=3&datatime=392024957",
        "/cgi-bin/utenti/verifica2.cgi?" + keys + "&numero=12,5&numerodet=2&datatime=392024957"};
    QCOMPARE(server.targets(), expected);
}

void tst_messaging_client::inetKeepsOneConnection() {
    HttpStandIn server;
    server.setAnswer({Kind::Reply, 200, "text/plain", "25"});
    Inet inet;
    for (int i = 0; i < 4; ++i)
        QCOMPARE(inet.OpenURL(standInUrl(server, "/cgi-bin/utenti/leggi.pl")), "25");
    QCOMPARE(server.targets().size(), 4);
    QCOMPARE(server.connections(), 1);
}

void tst_messaging_client::smssxRequest_data() {
    QTest::addColumn<QString>("account");
    QTest::addColumn<QString>("sender");
    QTest::addColumn<bool>("flash");
    QTest::addColumn<QString>("number");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("target");
    const QByteArray path = "/cgi-bin/sendsms?";
    QTest::newRow("7-bit with euro, blanks in the number")
        << "quillet:pa+ss"
        << "Quillet" << false << "+39 333 123 4567"
        << "Ciao à tutti, 5 €"
        << path + "username=quillet&password=pa%2Bss&from=Quillet&to=%2B393331234567"
                  "&text=Ciao%20%C3%A0%20tutti%2C%205%20%E2%82%AC&charset=UTF-8";
    QTest::newRow("capital E grave needs UCS-2")
        << "u:p"
        << "Caffè" << false << "+393330000001"
        << "È pronto"
        << path + "username=u&password=p&from=Caff%C3%A8&to=%2B393330000001"
                  "&text=%C3%88%20pronto&charset=UTF-8&coding=2";
    QTest::newRow("flash") << "u:p"
                           << "Q" << true << "+393330000002"
                           << "a+b=c&d"
                           << path + "username=u&password=p&from=Q&to=%2B393330000002"
                                     "&text=a%2Bb%3Dc%26d&charset=UTF-8&mclass=0";
    QTest::newRow("flash and UCS-2, colon in the password")
        << "u:p:q"
        << "Q" << true << "3330000003"
        << "ł"
        << path + "username=u&password=p%3Aq&from=Q&to=3330000003"
                  "&text=%C5%82&charset=UTF-8&coding=2&mclass=0";
    QTest::newRow("no sender: from left out")
        << "u:p"
        << "" << false << "+393330000004"
        << "x" << path + "username=u&password=p&to=%2B393330000004&text=x&charset=UTF-8";
}

void tst_messaging_client::smssxRequest() {
    QFETCH(QString, account);
    QFETCH(QString, sender);
    QFETCH(bool, flash);
    QFETCH(QString, number);
    QFETCH(QString, text);
    QFETCH(QByteArray, target);
    HttpStandIn server;
    server.setAnswer({Kind::Reply, 202, "text/html", "0: Accepted for delivery"});
    SMSSX sms;
    sms.setHost("127.0.0.1");
    sms.setPort(server.port());
    sms.setAccount(account);
    sms.setSender(sender);
    sms.setFlash(flash);
    QCOMPARE(sms.send(number, text), 0);
    QCOMPARE(server.targets(), QList<QByteArray>{target});
    QVERIFY(sms.lastError().isEmpty());
}

void tst_messaging_client::smssxByDispatchId() {
    // the composer's order: 3, 2, 11, 1, 4, then 5 per SMS
    HttpStandIn server;
    server.setAnswer({Kind::Reply, 202, "text/html", "0: Accepted for delivery"});
    SMSSX sms;
    sms.setProperty(3, QString(" 127.0.0.1 "));
    sms.setProperty(2, QString("quillet:segreto"));
    sms.setProperty(11, double(server.port()));
    sms.setProperty(1, true);
    sms.setProperty(4, QString("Quillet"));
    sms.setProperty(99, QString("ignored"));
    QCOMPARE(sms.invoke(5, "+393331234567", "Ciao"), 0);
    QCOMPARE(server.targets(),
             QList<QByteArray>{"/cgi-bin/sendsms?username=quillet&password=segreto&from=Quillet"
                               "&to=%2B393331234567&text=Ciao&charset=UTF-8&mclass=0"});
    QCOMPARE(sms.invoke(6, "+393331234567", "Ciao"), int(SMSSX::NotConfigured));
    QCOMPARE(server.targets().size(), 1);
}

void tst_messaging_client::smssxResults_data() {
    QTest::addColumn<Kind>("kind");
    QTest::addColumn<int>("status");
    QTest::addColumn<int>("result");
    QTest::newRow("202 accepted") << Kind::Reply << 202 << 0;
    QTest::newRow("200 is not 202") << Kind::Reply << 200 << 200;
    QTest::newRow("403 wrong account") << Kind::Reply << 403 << 403;
    QTest::newRow("400 refused") << Kind::Reply << 400 << 400;
    QTest::newRow("401") << Kind::Reply << 401 << 401;
    QTest::newRow("404") << Kind::Reply << 404 << 404;
    QTest::newRow("415") << Kind::Reply << 415 << 415;
    QTest::newRow("503") << Kind::Reply << 503 << 503;
    QTest::newRow("never answers") << Kind::Silent << 0 << int(SMSSX::TimedOut);
    QTest::newRow("closed mid-headers")
        << Kind::CloseMidHeaders << 0 << int(SMSSX::TransportFailure);
    QTest::newRow("closed mid-body") << Kind::CloseMidBody << 202 << int(SMSSX::TransportFailure);
}

void tst_messaging_client::smssxResults() {
    QFETCH(Kind, kind);
    QFETCH(int, status);
    HttpStandIn server;
    server.setAnswer({kind, status, "text/html", "answer"});
    SMSSX sms;
    sms.setTimeout(300ms);
    sms.setHost("127.0.0.1");
    sms.setPort(server.port());
    sms.setAccount("u:p");
    sms.setSender("Q");
    QTEST(sms.send("+393331234567", "Ciao"), "result");
    QCOMPARE(sms.lastError().isEmpty(), status == 202 && kind == Kind::Reply);
}

void tst_messaging_client::smssxNotSent_data() {
    QTest::addColumn<QString>("host");
    QTest::addColumn<double>("port");
    QTest::addColumn<int>("result");
    QTest::newRow("nothing listening")
        << "127.0.0.1" << double(closedPort()) << int(SMSSX::TransportFailure);
    QTest::newRow("port 0 (settings without a number)")
        << "127.0.0.1" << 0.0 << int(SMSSX::NotConfigured);
    QTest::newRow("port too large") << "127.0.0.1" << 70000.0 << int(SMSSX::NotConfigured);
    QTest::newRow("no host") << "" << 13013.0 << int(SMSSX::NotConfigured);
}

void tst_messaging_client::smssxNotSent() {
    QFETCH(QString, host);
    QFETCH(double, port);
    SMSSX sms;
    sms.setHost(host);
    sms.setPort(port);
    sms.setAccount("u:p");
    sms.setSender("Q");
    QTEST(sms.send("+393331234567", "Ciao"), "result");
    QVERIFY(!sms.lastError().isEmpty());
}

void tst_messaging_client::smssxKeepsOneConnection() {
    HttpStandIn server;
    server.setAnswer({Kind::Reply, 202, "text/html", "0: Accepted for delivery"});
    SMSSX sms;
    sms.setHost("127.0.0.1");
    sms.setPort(server.port());
    sms.setAccount("u:p");
    sms.setSender("Q");
    for (int i = 0; i < 5; ++i)
        QCOMPARE(sms.send("+39333000000" + QString::number(i), "Ciao"), 0);
    QCOMPARE(server.targets().size(), 5);
    QCOMPARE(server.connections(), 1);
}

void tst_messaging_client::gsmAlphabet_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("gsm7");
    QTest::newRow("whole default alphabet")
        << QString::fromUtf8("@£$¥èéùìòÇ\nØø\rÅåΔ_ΦΓΛΩΠΨΣΘΞÆæßÉ !\"#¤%&'()*+,-./0123456789:;<=>?"
                             "¡ABCDEFGHIJKLMNOPQRSTUVWXYZÄÖÑÜ§¿abcdefghijklmnopqrstuvwxyzäöñüà")
        << true;
    QTest::newRow("extension table") << QString::fromUtf8("€[]{}^~\\|\f") << true;
    QTest::newRow("empty") << "" << true;
    QTest::newRow("capital E grave") << "È" << false;
    QTest::newRow("small c cedilla (GSM has only the capital)") << "ç" << false;
    QTest::newRow("acute a") << "á" << false;
    QTest::newRow("backtick") << "`" << false;
    QTest::newRow("tab") << "a\tb" << false;
    QTest::newRow("typographic apostrophe") << "l’ora" << false;
    QTest::newRow("emoji") << "ok 😀" << false;
}

void tst_messaging_client::gsmAlphabet() {
    QFETCH(QString, text);
    QTEST(SMSSX::isGsm7(text), "gsm7");
}

QTEST_GUILESS_MAIN(tst_messaging_client)
#include "tst_messaging_client.moc"
