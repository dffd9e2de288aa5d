// SMSSX against a real Kannel (bearerbox, smsbox, fake SMSC) started by tests/kannel/kannel-rig.
#include "messaging/smssx.h"
#include "support/kannelrig.h"

#include <QProcess>
#include <QRegularExpression>
#include <QStringDecoder>
#include <QTcpSocket>
#include <QtTest>

#include <csignal>

// Account of the rig: characters that break a request unless percent-encoded.
static const QString rigUser = "quillet";
static const QString rigPassword = "s3g+r%2B=t/o@,:x";

// fakesmsc's DATA: percent-encoded with "+" for a blank.
static QByteArray unescape(QString data) {
    return QByteArray::fromPercentEncoding(data.replace('+', "%20").toLatin1());
}

class tst_messaging_kannel : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() {
        QVERIFY(m_dir.isValid());
        int code = 0;
        const QString out = rig({"start", m_dir.path()}, &code);
        QVERIFY2(code != 3, qPrintable("Kannel is needed for this test: " + out));
        QVERIFY2(code == 0, qPrintable("kannel-rig start failed: " + out));
        for (const QString& line : out.split('\n', Qt::SkipEmptyParts))
            m_env.insert(line.section('=', 0, 0), line.section('=', 1));
        QVERIFY2(m_env.value("KANNEL_SENDSMS_PORT").toInt() > 0, qPrintable(out));
    }
    void cleanupTestCase() { rig({"stop", m_dir.path()}); }

    void delivered_data() {
        QTest::addColumn<QString>("number");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("flash");
        QTest::addColumn<int>("coding"); // 0 GSM 7-bit, 2 UCS-2
        QTest::addColumn<int>("mclass"); // -1 not given, 0 flash
        QTest::newRow("+39 number with blanks, accented letters and euro stay 7-bit")
            << "+39 333 100 0001"
            << "Perché è già lì? Costa 5 € [sconto] ~{ok}|^\\" << false << 0 << -1;
        QString ucs2;
        while (ucs2.size() < 160)
            ucs2 += QString::fromUtf8("È ł ");
        ucs2.truncate(160);
        QTest::newRow("160 characters in UCS-2 arrive whole")
            << "+393331000004" << ucs2 << false << 2 << -1;
        QTest::newRow("flash is class 0") << "+393331000006"
                                          << "Leggimi subito" << true << 0 << 0;
    }
    void delivered() {
        QFETCH(QString, number);
        QFETCH(QString, text);
        QFETCH(bool, flash);
        SMSSX sms;
        configure(sms, rigUser + ':' + rigPassword);
        sms.setProperty(SMSSX::Flash, flash);
        QCOMPARE(sms.invoke(SMSSX::Send, number, text), 0);
        QTRY_VERIFY_WITH_TIMEOUT(deliveryTo(QString(number).remove(QLatin1Char(' '))), 15000);
        QCOMPARE(m_from, QStringLiteral("Caffè"));
        QTEST(m_coding, "coding");
        QTEST(m_mclass, "mclass");
        QCOMPARE(m_coding == 2 ? QStringDecoder(QStringDecoder::Utf16BE).decode(m_payload)
                               : QString::fromUtf8(m_payload), // fakesmsc shows 7-bit as UTF-8
                 text);
    }

    // A wrong password, then smsbox stopped: neither counts as sent.
    void refused() {
        SMSSX sms;
        configure(sms, rigUser + ":segreto");
        QCOMPARE(sms.send("+393331000099", "Ciao"), 403);
        QVERIFY(sms.lastError().contains("Authorization failed"));

        QFile pidFile(m_dir.filePath("smsbox.pid"));
        QVERIFY(pidFile.open(QIODevice::ReadOnly));
        QCOMPARE(::kill(static_cast<pid_t>(pidFile.readAll().trimmed().toLongLong()), SIGTERM), 0);
        const auto port = static_cast<quint16>(m_env.value("KANNEL_SENDSMS_PORT").toInt());
        QTRY_VERIFY_WITH_TIMEOUT(
            [port] {
                QTcpSocket probe;
                probe.connectToHost(QHostAddress::LocalHost, port);
                return !probe.waitForConnected(1000);
            }(),
            15000);
        SMSSX again;
        configure(again, rigUser + ':' + rigPassword);
        QCOMPARE(again.send("+393331000100", "Ciao"), int(SMSSX::TransportFailure));
    }

private:
    QString rig(const QStringList& args, int* exitCode = nullptr) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("KANNEL_RIG_USER", rigUser);
        env.insert("KANNEL_RIG_PASS", rigPassword);
        return kannelRig(args, exitCode, env);
    }

    void configure(SMSSX& sms, const QString& account) const {
        sms.setProperty(SMSSX::Host, m_env.value("KANNEL_SENDSMS_HOST"));
        sms.setProperty(SMSSX::Account, account);
        sms.setProperty(SMSSX::Port, m_env.value("KANNEL_SENDSMS_PORT").toDouble());
        sms.setProperty(SMSSX::Sender, QStringLiteral("Caffè"));
        sms.setTimeout(std::chrono::seconds(20));
    }

    // Reads what the fake SMSC ("FROM TO TYPE DATA" a line) and the access log show for one
    // recipient; true once every part has arrived and been logged.
    bool deliveryTo(const QString& to) {
        QMap<int, QByteArray> parts;
        int total = 0;
        for (const QString& line :
             rig({"received", m_dir.path()}).split('\n', Qt::SkipEmptyParts)) {
            const QStringList f = line.split(' ');
            if (f.size() < 4 || f[1] != to || (f[2] == "udh" && unescape(f[3]).size() < 6))
                continue;
            m_from = f[0];
            if (f[2] == "udh") { // udh <05 00 03 REF TOTAL SEQ> data <payload>
                const QByteArray header = unescape(f[3]);
                total = static_cast<unsigned char>(header[4]);
                parts.insert(static_cast<unsigned char>(header[5]), unescape(f.value(5)));
            } else {
                total = 1;
                const QString data = line.section(' ', 3);
                parts.insert(1, f[2] == "text" ? data.toUtf8() : unescape(data));
            }
        }
        m_payload.clear();
        for (const QByteArray& part : parts)
            m_payload += part;
        m_coding = m_mclass = -1;
        QFile log(m_env.value("KANNEL_ACCESS_LOG"));
        const QString logText =
            log.open(QIODevice::ReadOnly) ? QString::fromUtf8(log.readAll()) : QString();
        const QRegularExpression sent("Sent SMS[^\n]*\\[to:" + QRegularExpression::escape(to) +
                                      "\\][^\n]*\\[flags:(-?\\d+):(-?\\d+):");
        for (auto it = sent.globalMatch(logText); it.hasNext();) {
            const auto m = it.next();
            m_mclass = m.captured(1).toInt();
            m_coding = m.captured(2).toInt();
        }
        return total > 0 && parts.size() == total && m_coding >= 0;
    }

    QTemporaryDir m_dir;
    QMap<QString, QString> m_env;
    QString m_from;
    QByteArray m_payload;
    int m_coding = -1;
    int m_mclass = -1;
};

QTEST_GUILESS_MAIN(tst_messaging_kannel)
#include "tst_messaging_kannel.moc"
