// SMSSX against a real Kannel (bearerbox, smsbox, fake SMSC) started by tests/kannel/kannel-rig.
#include "messaging/smssx.h"

#include <QHostAddress>
#include <QProcess>
#include <QRegularExpression>
#include <QStringDecoder>
#include <QTcpSocket>
#include <QtTest>

#include <csignal>

namespace {

// Account of the rig: characters that break a request unless percent-encoded.
const QString rigUser = "quillet";
const QString rigPassword = "s3g+r%2B=t/o@,:x";

struct Delivery {
    bool complete = false;
    QString from;
    QByteArray payload; // the SMS bytes, parts joined in order
    int coding = -1;    // from the access log: 0 GSM 7-bit, 2 UCS-2
    int mclass = -1;    // from the access log: -1 not given, 0 flash
    QString text() const {
        if (coding == 2) {
            QStringDecoder utf16(QStringDecoder::Utf16BE);
            return utf16.decode(payload);
        }
        return QString::fromUtf8(payload); // fakesmsc shows 7-bit texts as UTF-8
    }
};

bool refusesConnections(quint16 port) {
    QTcpSocket probe;
    probe.connectToHost(QHostAddress::LocalHost, port);
    return !probe.waitForConnected(1000);
}

// fakesmsc's DATA: percent-encoded with "+" for a blank.
QByteArray unescape(QByteArray data) {
    return QByteArray::fromPercentEncoding(data.replace('+', "%20"));
}

} // namespace

class tst_messaging_kannel : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void delivered_data();
    void delivered();
    void wrongAccountRefused_data();
    void wrongAccountRefused();
    void smsboxStopped();

private:
    QString rig(const QStringList& args, int* exitCode = nullptr);
    void configure(SMSSX& sms, const QString& account) const;
    Delivery deliveryTo(const QString& to);

    QTemporaryDir m_dir;
    QMap<QString, QString> m_env;
};

QString tst_messaging_kannel::rig(const QStringList& args, int* exitCode) {
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("KANNEL_RIG_USER", rigUser);
    env.insert("KANNEL_RIG_PASS", rigPassword);
    process.setProcessEnvironment(env);
    process.start(KANNEL_RIG, args);
    if (!process.waitForFinished(60000)) {
        process.kill();
        process.waitForFinished();
    }
    if (exitCode)
        *exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    const QString err = QString::fromUtf8(process.readAllStandardError()).trimmed();
    return process.exitCode() == 0 ? QString::fromUtf8(process.readAllStandardOutput()) : err;
}

void tst_messaging_kannel::initTestCase() {
    QVERIFY(m_dir.isValid());
    int code = 0;
    const QString out = rig({"start", m_dir.path()}, &code);
    if (code == 3)
        QFAIL(qPrintable("Kannel is needed for this test: " + out));
    QVERIFY2(code == 0, qPrintable("kannel-rig start failed: " + out));
    for (const QString& line : out.split('\n', Qt::SkipEmptyParts))
        m_env.insert(line.section('=', 0, 0), line.section('=', 1));
    QVERIFY2(m_env.value("KANNEL_SENDSMS_PORT").toInt() > 0, qPrintable(out));
}

void tst_messaging_kannel::cleanupTestCase() {
    rig({"stop", m_dir.path()});
}

void tst_messaging_kannel::configure(SMSSX& sms, const QString& account) const {
    sms.setProperty(SMSSX::Host, m_env.value("KANNEL_SENDSMS_HOST"));
    sms.setProperty(SMSSX::Account, account);
    sms.setProperty(SMSSX::Port, m_env.value("KANNEL_SENDSMS_PORT").toDouble());
    sms.setTimeout(std::chrono::seconds(20));
}

// What the fake SMSC and the access log show for one recipient.
Delivery tst_messaging_kannel::deliveryTo(const QString& to) {
    Delivery d;
    QMap<int, QByteArray> parts;
    int total = 0;
    for (const QString& line : rig({"received", m_dir.path()}).split('\n', Qt::SkipEmptyParts)) {
        // FROM TO TYPE DATA
        const QStringList f = line.split(' ');
        if (f.size() < 3 || f[1] != to)
            continue;
        d.from = f[0];
        const QString data = line.section(' ', 3);
        if (f[2] == "text") {
            d.payload = data.toUtf8();
            total = 1;
            parts.insert(1, d.payload);
        } else if (f[2] == "ucs-2") {
            total = 1;
            parts.insert(1, unescape(data.toLatin1()));
        } else if (f[2] == "udh") {
            // udh <05 00 03 REF TOTAL SEQ> data <payload>
            const QByteArray header = unescape(f.value(3).toLatin1());
            if (header.size() < 6 || f.value(4) != "data")
                continue;
            total = static_cast<unsigned char>(header[4]);
            parts.insert(static_cast<unsigned char>(header[5]), unescape(f.value(5).toLatin1()));
        }
    }
    d.payload.clear();
    for (const QByteArray& part : parts)
        d.payload += part;

    QFile log(m_env.value("KANNEL_ACCESS_LOG"));
    if (log.open(QIODevice::ReadOnly)) {
        static const QRegularExpression flags("\\[flags:(-?\\d+):(-?\\d+):");
        for (const QByteArray& line : log.readAll().split('\n')) {
            if (!line.contains("Sent SMS") || !line.contains("[to:" + to.toUtf8() + "]"))
                continue;
            const auto m = flags.match(QString::fromUtf8(line));
            if (m.hasMatch()) {
                d.mclass = m.captured(1).toInt();
                d.coding = m.captured(2).toInt();
            }
        }
    }
    d.complete = total > 0 && parts.size() == total && d.coding >= 0;
    return d;
}

void tst_messaging_kannel::delivered_data() {
    QTest::addColumn<QString>("number");
    QTest::addColumn<QString>("sender");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("flash");
    QTest::addColumn<QString>("to");
    QTest::addColumn<int>("coding");
    QTest::addColumn<int>("mclass");

    QTest::newRow("+39 number with blanks")
        << "+39 333 100 0001"
        << "Quillet"
        << "Ciao, a domani" << false << "+393331000001" << 0 << -1;
    QTest::newRow("accented letters and euro stay 7-bit")
        << "+393331000002"
        << "Caffè"
        << "Perché è già lì? Costa 5 € [sconto] ~{ok}|^\\" << false << "+393331000002" << 0 << -1;
    const QString gsm = QString::fromUtf8("@£$¥èéùìòÇØøÅåΔ_ΦΓΛΩΠΨΣΘΞÆæßÉ !\"#¤%&'()*+,-./09:;<=>?"
                                          "¡AZÄÖÑÜ§¿azäöñüà€");
    QTest::newRow("GSM alphabet, more than one part")
        << "+393331000003"
        << "Quillet" << gsm + gsm << false << "+393331000003" << 0 << -1;
    QString ucs2;
    while (ucs2.size() < 160)
        ucs2 += QString::fromUtf8("È ł ");
    ucs2.truncate(160);
    QTest::newRow("160 characters in UCS-2 arrive whole")
        << "+393331000004"
        << "Quillet" << ucs2 << false << "+393331000004" << 2 << -1;
    QTest::newRow("emoji") << "+393331000005"
                           << "Quillet" << QString::fromUtf8("Auguri 🎉 ç") << false
                           << "+393331000005" << 2 << -1;
    QTest::newRow("flash is class 0") << "+393331000006"
                                      << "Quillet"
                                      << "Leggimi subito" << true << "+393331000006" << 0 << 0;
    QTest::newRow("flash in UCS-2") << "+393331000007"
                                    << "Quillet"
                                    << "È urgente" << true << "+393331000007" << 2 << 0;
}

void tst_messaging_kannel::delivered() {
    QFETCH(QString, number);
    QFETCH(QString, sender);
    QFETCH(QString, text);
    QFETCH(bool, flash);
    QFETCH(QString, to);

    SMSSX sms;
    configure(sms, rigUser + ':' + rigPassword);
    sms.setProperty(SMSSX::Flash, flash);
    sms.setProperty(SMSSX::Sender, sender);
    QCOMPARE(sms.invoke(SMSSX::Send, number, text), 0);

    Delivery d;
    QTRY_VERIFY_WITH_TIMEOUT((d = deliveryTo(to)).complete, 15000);
    QCOMPARE(d.from, sender);
    QCOMPARE(d.text(), text);
    QTEST(d.coding, "coding");
    QTEST(d.mclass, "mclass");
}

void tst_messaging_kannel::wrongAccountRefused_data() {
    QTest::addColumn<QString>("account");
    QTest::newRow("wrong password") << rigUser + ":segreto";
    QTest::newRow("unknown user") << "mario:" + rigPassword;
    QTest::newRow("no password") << rigUser;
}

void tst_messaging_kannel::wrongAccountRefused() {
    QFETCH(QString, account);
    SMSSX sms;
    configure(sms, account);
    sms.setSender("Quillet");
    QCOMPARE(sms.send("+393331000099", "Ciao"), 403);
    QVERIFY(sms.lastError().contains("Authorization failed"));
}

void tst_messaging_kannel::smsboxStopped() {
    QFile pidFile(m_dir.filePath("smsbox.pid"));
    QVERIFY(pidFile.open(QIODevice::ReadOnly));
    const qint64 pid = pidFile.readAll().trimmed().toLongLong();
    QVERIFY(pid > 0);
    QCOMPARE(::kill(static_cast<pid_t>(pid), SIGTERM), 0);
    // wait until sendsms no longer takes connections
    const auto port = static_cast<quint16>(m_env.value("KANNEL_SENDSMS_PORT").toInt());
    QTRY_VERIFY_WITH_TIMEOUT(refusesConnections(port), 15000);

    SMSSX sms;
    configure(sms, rigUser + ':' + rigPassword);
    sms.setSender("Quillet");
    QCOMPARE(sms.send("+393331000100", "Ciao"), int(SMSSX::TransportFailure));
    QVERIFY(!sms.lastError().isEmpty());
}

QTEST_GUILESS_MAIN(tst_messaging_kannel)
#include "tst_messaging_kannel.moc"
