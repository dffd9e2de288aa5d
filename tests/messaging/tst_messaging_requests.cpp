#include "messaging/account.h"
#include "messaging/gatewayrequests.h"
#include "platform/clock.h"

#include <QtTest>

using namespace gatewayrequests;

static void setNow(const QDateTime& moment) {
    platform::Clock::setNowForTesting([moment] { return moment; });
}

class tst_messaging_requests : public QObject {
    Q_OBJECT
private slots:
    void cleanup() { platform::Clock::setNowForTesting({}); }

    // The URLs are built here, under this clock.
    void urls_data() {
        QTest::addColumn<QUrl>("url");
        QTest::addColumn<QByteArray>("expected");
        const Account mario{"mario", "rossi"};
        const QByteArray base = "http://127.0.0.1:8765/cgi-bin/utenti/";
        setNow(QDateTime(QDate(2024, 9, 3), QTime(9, 5, 7, 998))); // no zero padding, no ms
        QTest::newRow("channel settings, & = - blank and accented letters")
            << channelSettingsRequest({}, {"a&b=Niccolò", "x-y zé"})
            << base + "nosggi.pl?utente=a%26b%3DNiccol%C3%B2&pass=x-y%20z%C3%A9&datatime=392024957";
        QTest::newRow("verifica, whole numbers")
            << verificaRequest({}, mario, 12, 3)
            << base +
                   "verifica.cgi?utente=mario&pass=rossi&numero=12&numerodet=3&datatime=392024957";
        QTest::newRow("verifica2, decimal comma, + % / ? #")
            << verifica2Request({}, {"mario", "50%+1/?#"}, 1234567.25, 2)
            << base + "verifica2.cgi?utente=mario&pass=50%25%2B1%2F%3F%23&numero=1234567,25&"
                      "numerodet=2&datatime=392024957";
        QTest::newRow("service host and port")
            << creditQuery(" sms.example.it:8080 ", {"u", "p"})
            << QByteArray("http://sms.example.it:8080/cgi-bin/utenti/"
                          "leggi.pl?utente=u&pass=p&datatime=392024957");
    }
    void urls() {
        QFETCH(QUrl, url);
        QTEST(url.toEncoded(), "expected");
    }

    // "host|account|port" of the settings, or "invalid".
    void channelSettings_data() {
        QTest::addColumn<QString>("reply");
        QTest::addColumn<QString>("settings");
        QTest::newRow("three fields, line end")
            << QString("127.0.0.1-quillet:segreto-13013\r\n") << "127.0.0.1|quillet:segreto|13013";
        QTest::newRow("leading blank dropped") << QString(" h-u:p-25") << "h|u:p|25";
        QTest::newRow("two fields") << QString("h-u:p") << "invalid";
    }
    void channelSettings() {
        QFETCH(QString, reply);
        const auto s = parseChannelSettings(stripLeadingBlank(reply));
        QTEST(s ? s->host + '|' + s->account + '|' + QString::number(s->port)
                : QStringLiteral("invalid"),
              "settings");
    }

    void creditCache_data() {
        QTest::addColumn<double>("credit");
        QTest::addColumn<QString>("line");
        QTest::newRow("negative, no leading blank") << -3.0 << "-3 ";
        QTest::newRow("decimal comma") << 12.5 << " 12,5 ";
    }
    void creditCache() {
        QFETCH(double, credit);
        QTEST(account::creditCacheText(credit), "line");
    }
};

QTEST_GUILESS_MAIN(tst_messaging_requests)
#include "tst_messaging_requests.moc"
