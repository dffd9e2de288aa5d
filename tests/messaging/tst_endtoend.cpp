// Quillet's requests and SMS against the real reference gateway, as a send goes on the wire.
#include "app/appstate.h"
#include "app/mdiform1.h"
#include "messaging/gatewayrequests.h"
#include "messaging/inet.h"
#include "messaging/smssx.h"
#include "platform/dialogs.h"
#include "support/testfolder.h"

#include <QLabel>
#include <QProcess>
#include <QRegularExpression>
#include <QtTest>

class tst_endtoend : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() {
        const QString db = m_dir.filePath("gateway.db");
        QCOMPARE(gateway({"account", "create", "--db", db, "anna&co", "pw=à ok", "100"}), 0);
        m_gateway.setProgram(qEnvironmentVariable("QUILLET_GATEWAY"));
        m_gateway.setArguments({"serve", "--db", db, "--port", "0"});
        m_gateway.start();
        QVERIFY(m_gateway.waitForStarted());
        static const QRegularExpression ready(QStringLiteral("In ascolto su ([0-9.]+:[0-9]+)"));
        QString out;
        while (!ready.match(out).hasMatch() && m_gateway.waitForReadyRead(10000))
            out += QString::fromUtf8(m_gateway.readAllStandardOutput());
        const auto match = ready.match(out);
        QVERIFY2(match.hasMatch(), qPrintable(out));
        m_servizio = match.captured(1);
    }
    void cleanupTestCase() {
        m_gateway.terminate();
        m_gateway.waitForFinished(5000);
    }

    // Credit, channel settings, verifica, the SMS, verifica2 and its correction.
    void sendOnTheWire() {
        using namespace gatewayrequests;
        const Account account{"anna&co", "pw=à ok"};
        Inet inet;
        inet.setTimeout(std::chrono::seconds(10));
        QCOMPARE(inet.OpenURL(creditQuery(m_servizio, account)), QStringLiteral("100"));
        const auto channel = parseChannelSettings(
            stripLeadingBlank(inet.OpenURL(channelSettingsRequest(m_servizio, account))));
        QVERIFY(channel);
        inet.OpenURL(verificaRequest(m_servizio, account, 100, 3));
        inet.OpenURL(verifica2Request(m_servizio, account, 100, 3));
        QCOMPARE(inet.OpenURL(creditQuery(m_servizio, account)), QStringLiteral("97"));

        SMSSX sms;
        sms.setProperty(SMSSX::Host, channel->host);
        sms.setProperty(SMSSX::Account, channel->account);
        sms.setProperty(SMSSX::Port, channel->port);
        sms.setProperty(SMSSX::Flash, true);
        sms.setProperty(SMSSX::Sender, QStringLiteral("Caffè Roma"));
        QCOMPARE(sms.invoke(SMSSX::Send, "+393471234567", "Sconto del 10% € à è"), 0);
        QCOMPARE(sms.invoke(SMSSX::Send, "+393289876543", "Secondo"), 0);
        QVERIFY(sms.invoke(SMSSX::Send, "", "Nessun numero") != 0);

        // One SMS failed: the charge is corrected to the two sent.
        inet.OpenURL(verifica2Request(m_servizio, account, 100, 2));
        QCOMPARE(inet.OpenURL(creditQuery(m_servizio, account)), QStringLiteral("98"));

        const QString sink = inet.OpenURL(QUrl("http://" + m_servizio + "/sink.txt"));
        QVERIFY2(sink.contains("+393471234567") && sink.contains("Sconto del 10% € à è"),
                 qPrintable(sink));
        QVERIFY(sink.contains("Secondo"));
        QVERIFY(!sink.contains("Nessun numero"));
    }

    void wrongAccountIsNotANumber() {
        using namespace gatewayrequests;
        Inet inet;
        const QString reply = inet.OpenURL(creditQuery(m_servizio, {"anna&co", "sbagliata"}));
        bool number = false;
        reply.trimmed().toDouble(&number);
        QVERIFY2(!reply.isEmpty() && !number, qPrintable(reply));
        QVERIFY(inet.OpenURL(channelSettingsRequest(m_servizio, {"x", "y"})).isEmpty());
    }

    // "Aggiorna Credito" from the main window shows the gateway's figure.
    void creditRefreshFromTheMenu() {
        TestFolder folder;
        folder.write("registrazione", {"anna&co-pw=à ok"});
        folder.write("servizio", {m_servizio});
        appState() = AppState{};
        appState().appFolder = folder.path();
        MDIForm1 window;
        window.Form_Load();
        platform::DialogScript script;
        window.aaa->trigger();
        QCOMPARE(script.messages(), QStringList{"Credito Aggiornato"});
        const QString credit =
            platform::TextFile::readFirstLine(folder.file("residui.txt")).value_or("");
        QVERIFY(credit.toInt() > 0);
        QCOMPARE(window.Label3->text(), "Credito residuo " + credit);
        appState() = AppState{};
    }

private:
    int gateway(const QStringList& args) {
        QProcess p;
        p.start(qEnvironmentVariable("QUILLET_GATEWAY"), args);
        p.waitForFinished(10000);
        return p.exitCode();
    }

    QTemporaryDir m_dir;
    QProcess m_gateway;
    QString m_servizio;
};

QTEST_MAIN(tst_endtoend)
#include "tst_endtoend.moc"
