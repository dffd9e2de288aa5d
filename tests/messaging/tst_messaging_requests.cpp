#include "messaging/gatewayrequests.h"
#include "platform/clock.h"

#include <QtTest>

using namespace gatewayrequests;

class tst_messaging_requests : public QObject {
    Q_OBJECT
private slots:
    void cleanup() { platform::Clock::setNowForTesting({}); }
    void urls_data();
    void urls();
    void sameSecondSameStamp();
    void channelSettings_data();
    void channelSettings();
    void leadingBlank_data();
    void leadingBlank();
};

static QDateTime at(int y, int mo, int d, int h, int mi, int s, int ms = 0) {
    return QDateTime(QDate(y, mo, d), QTime(h, mi, s, ms));
}

static QString decodedValue(const QUrl& url, const QString& key) {
    const QString value = QUrlQuery(url).queryItemValue(key, QUrl::FullyEncoded);
    return QString::fromUtf8(QByteArray::fromPercentEncoding(value.toLatin1()));
}

static QUrl build(const QString& kind, const QString& servizio, const Account& account,
                  double credito, double count) {
    if (kind == "leggi")
        return creditQuery(servizio, account);
    if (kind == "nosggi")
        return channelSettingsRequest(servizio, account);
    if (kind == "verifica")
        return verificaRequest(servizio, account, credito, count);
    return verifica2Request(servizio, account, credito, count);
}

void tst_messaging_requests::urls_data() {
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("servizio");
    QTest::addColumn<QString>("user");
    QTest::addColumn<QString>("password");
    QTest::addColumn<QDateTime>("moment");
    QTest::addColumn<double>("credito");
    QTest::addColumn<double>("count");
    QTest::addColumn<QString>("expected");

    const QDateTime single = at(2024, 9, 3, 9, 5, 7);
    const QDateTime twoDigits = at(2024, 12, 28, 23, 59, 58);
    const QString base = "http://127.0.0.1:8765/cgi-bin/utenti/";
    QTest::newRow("credit, single digits")
        << "leggi"
        << ""
        << "mario"
        << "rossi" << single << 0.0 << 0.0
        << base + "leggi.pl?utente=mario&pass=rossi&datatime=392024957";
    QTest::newRow("credit, two digits")
        << "leggi"
        << ""
        << "mario"
        << "rossi" << twoDigits << 0.0 << 0.0
        << base + "leggi.pl?utente=mario&pass=rossi&datatime=28122024235958";
    QTest::newRow("credit, midnight on new year")
        << "leggi"
        << ""
        << "mario"
        << "rossi" << at(2025, 1, 1, 0, 0, 0) << 0.0 << 0.0
        << base + "leggi.pl?utente=mario&pass=rossi&datatime=112025000";
    QTest::newRow("channel settings, & = - and blank")
        << "nosggi"
        << ""
        << "a&b=c"
        << "x-y z" << single << 0.0 << 0.0
        << base + "nosggi.pl?utente=a%26b%3Dc&pass=x-y%20z&datatime=392024957";
    QTest::newRow("channel settings, accented letters")
        << "nosggi"
        << ""
        << "Niccolò"
        << "perché" << twoDigits << 0.0 << 0.0
        << base + "nosggi.pl?utente=Niccol%C3%B2&pass=perch%C3%A9&datatime=28122024235958";
    QTest::newRow("verifica, whole numbers")
        << "verifica"
        << ""
        << "mario"
        << "rossi" << single << 12.0 << 3.0
        << base + "verifica.cgi?utente=mario&pass=rossi&numero=12&numerodet=3&datatime=392024957";
    QTest::newRow("verifica, decimal comma, no grouping")
        << "verifica"
        << ""
        << "mario"
        << "rossi" << single << 1234567.25 << 0.0
        << base + "verifica.cgi?utente=mario&pass=rossi&numero=1234567,25&numerodet=0&"
                  "datatime=392024957";
    QTest::newRow("verifica2, + % / ? # in the password")
        << "verifica2"
        << ""
        << "mario"
        << "50%+1/?#" << single << 12.5 << 2.0
        << base + "verifica2.cgi?utente=mario&pass=50%25%2B1%2F%3F%23&numero=12,5&numerodet=2&"
                  "datatime=392024957";
    QTest::newRow("service host and port")
        << "verifica2"
        << " sms.example.it:8080 "
        << "u"
        << "p" << single << 0.0 << 1.0
        << "http://sms.example.it:8080/cgi-bin/utenti/"
           "verifica2.cgi?utente=u&pass=p&numero=0&numerodet=1&datatime=392024957";
}

void tst_messaging_requests::urls() {
    QFETCH(QString, kind);
    QFETCH(QString, servizio);
    QFETCH(QString, user);
    QFETCH(QString, password);
    QFETCH(QDateTime, moment);
    QFETCH(double, credito);
    QFETCH(double, count);
    QFETCH(QString, expected);

    platform::Clock::setNowForTesting([moment] { return moment; });
    const QUrl url = build(kind, servizio, {user, password}, credito, count);
    QVERIFY(url.isValid());
    QCOMPARE(url.toString(QUrl::FullyEncoded), expected);
    QCOMPARE(url.toEncoded(), expected.toLatin1());
    // decoded as the gateway's CGI decodes it, the query gives the account back
    QCOMPARE(decodedValue(url, "utente"), user);
    QCOMPARE(decodedValue(url, "pass"), password);
}

void tst_messaging_requests::sameSecondSameStamp() {
    // milliseconds do not enter the stamp: two requests in one second are equal
    QList<QDateTime> moments{at(2024, 3, 1, 10, 0, 0, 1), at(2024, 3, 1, 10, 0, 0, 998),
                             at(2024, 3, 1, 10, 0, 1, 0)};
    platform::Clock::setNowForTesting([&moments] { return moments.takeFirst(); });
    const Account account{"mario", "rossi"};
    const QUrl first = verificaRequest({}, account, 10, 2);
    const QUrl second = verificaRequest({}, account, 10, 2);
    const QUrl third = verificaRequest({}, account, 10, 2);
    QCOMPARE(first, second);
    QVERIFY(second != third);
    QVERIFY(third.toString().endsWith("&datatime=1320241001"));
}

void tst_messaging_requests::channelSettings_data() {
    QTest::addColumn<QString>("reply");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<QString>("host");
    QTest::addColumn<QString>("account");
    QTest::addColumn<double>("port");
    QTest::newRow("three fields") << "127.0.0.1-quillet:segreto-13013" << true << "127.0.0.1"
                                  << "quillet:segreto" << 13013.0;
    QTest::newRow("line end after the port") << "h-u:p-8080\r\n"
                                             << true << "h"
                                             << "u:p" << 8080.0;
    QTest::newRow("fourth field ignored") << "h-u:p-13013-9999" << true << "h"
                                          << "u:p" << 13013.0;
    QTest::newRow("number then letters") << "h-u:p-12abc" << true << "h"
                                         << "u:p" << 12.0;
    QTest::newRow("blank before the number") << "h-u:p- 25" << true << "h"
                                             << "u:p" << 25.0;
    QTest::newRow("decimal point") << "h-u:p-2.5x" << true << "h"
                                   << "u:p" << 2.5;
    QTest::newRow("not numeric") << "h-u:p-abc" << true << "h"
                                 << "u:p" << 0.0;
    QTest::newRow("empty port") << "h-u:p-" << true << "h"
                                << "u:p" << 0.0;
    QTest::newRow("empty account") << "h--13013" << true << "h"
                                   << "" << 13013.0;
    QTest::newRow("two fields") << "h-u:p" << false << ""
                                << "" << 0.0;
    QTest::newRow("one field") << "h" << false << ""
                               << "" << 0.0;
    QTest::newRow("empty reply") << "" << false << ""
                                 << "" << 0.0;
}

void tst_messaging_requests::channelSettings() {
    QFETCH(QString, reply);
    QFETCH(bool, valid);
    const auto settings = parseChannelSettings(reply);
    QCOMPARE(settings.has_value(), valid);
    if (!valid)
        return;
    QTEST(settings->host, "host");
    QTEST(settings->account, "account");
    QTEST(settings->port, "port");
}

void tst_messaging_requests::leadingBlank_data() {
    QTest::addColumn<QString>("reply");
    QTest::addColumn<QString>("cleaned");
    QTest::newRow("one blank") << " 25"
                               << "25";
    QTest::newRow("two blanks: one stays") << "  25"
                                           << " 25";
    QTest::newRow("trailing blank kept") << "25 "
                                         << "25 ";
    QTest::newRow("tab is not a blank") << "\t25"
                                        << "\t25";
    QTest::newRow("blank alone") << " "
                                 << "";
    QTest::newRow("empty") << ""
                           << "";
}

void tst_messaging_requests::leadingBlank() {
    QFETCH(QString, reply);
    QTEST(stripLeadingBlank(reply), "cleaned");
}

QTEST_GUILESS_MAIN(tst_messaging_requests)
#include "tst_messaging_requests.moc"
