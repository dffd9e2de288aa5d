// Quillet's requests and SMS against the real reference gateway, as a send goes on the wire.
#include "app/appstate.h"
#include "app/mdiform1.h"
#include "browser/archivemodel.h"
#include "browser/seri.h"
#include "messaging/form5.h"
#include "messaging/gatewayrequests.h"
#include "messaging/inet.h"
#include "messaging/smssplitter.h"
#include "messaging/smssx.h"
#include "platform/dialogs.h"
#include "support/kannelrig.h"
#include "support/testfolder.h"

#include <QComboBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QTimer>
#include <QtTest>

#include <optional>

class tst_endtoend : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() {
        const QString db = m_dir.filePath("gateway.db");
        QCOMPARE(gateway({"account", "create", "--db", db, "anna&co", "pw=à ok", "100"}), 0);
        QCOMPARE(gateway({"account", "create", "--db", db, "ufficio", "Segreta 1", "20"}), 0);
        m_servizio = serve(m_gateway, {"--db", db});
        QVERIFY(!m_servizio.isEmpty());

        // A second gateway whose channel is a real Kannel with a fake SMS centre.
        int code = 0;
        const QString out = kannelRig({"start", m_kannelDir.path()}, &code);
        QVERIFY2(code == 0, qPrintable("kannel-rig start failed: " + out));
        QMap<QString, QString> env;
        for (const QString& line : out.split('\n', Qt::SkipEmptyParts))
            env.insert(line.section('=', 0, 0), line.section('=', 1));
        m_kannelSender = env["KANNEL_SENDER"];
        const QString kdb = m_dir.filePath("kannel-gateway.db");
        QCOMPARE(gateway({"account", "create", "--db", kdb, "ufficio", "Segreta 1", "20"}), 0);
        m_kannelServizio =
            serve(m_kannelGateway, {"--db", kdb, "--channel",
                                    "127.0.0.1-quillet:rigsecret-" + env["KANNEL_SENDSMS_PORT"]});
        QVERIFY(!m_kannelServizio.isEmpty());
    }
    void cleanupTestCase() {
        for (QProcess* p : {&m_gateway, &m_kannelGateway}) {
            p->terminate();
            p->waitForFinished(5000);
        }
        kannelRig({"stop", m_kannelDir.path()});
    }

    // Credit, channel settings, verifica and verifica2, the SMS, for an account with & = à.
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

        const QString sink = inet.OpenURL(QUrl("http://" + m_servizio + "/sink.txt"));
        QVERIFY2(sink.contains("+393471234567") && sink.contains("Sconto del 10% € à è"),
                 qPrintable(sink));
        QVERIFY(sink.contains("Secondo"));
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

    // Three ticked contacts, "Invia SMS Multipli", a text: three SMS reach the SMS centre, the
    // credit drops by three. In single mode a long text arrives as its parts, in order. Without
    // a sender header the SMS go out with the account's default sender.
    void sendFromTheMainWindow_data() {
        QTest::addColumn<bool>("kannel");
        QTest::addColumn<bool>("list");
        QTest::addColumn<QString>("header");
        // The demo folder as quillet-folder writes it, the gateway as scripts/run starts it.
        QTest::newRow("demo, as scripts/run") << false << true << "";
        QTest::newRow("list, Kannel, no header") << true << true << "";
        QTest::newRow("three parts, Kannel, header") << true << false << "HotelSole";
    }
    void sendFromTheMainWindow() {
        QFETCH(bool, kannel);
        QFETCH(bool, list);
        QFETCH(QString, header);
        QTemporaryDir temporary;
        QString servizio = m_kannelServizio, user = "ufficio", password = "Segreta 1";
        std::optional<TestFolder> kannelFolder;
        QString folder;
        QProcess demoGateway;
        if (!kannel) {
            folder = temporary.filePath("demo");
            QCOMPARE(run("QUILLET_FOLDER", {"demo", folder, "--from",
                                            qEnvironmentVariable("QUILLET_DEFAULT_FOLDER")}),
                     0);
            const QString db = temporary.filePath("demo-gateway.db");
            QCOMPARE(run("QUILLET_GATEWAY",
                         {"account", "create", "--db", db, "demo", "demo", "100", "--if-missing"}),
                     0);
            servizio = serve(demoGateway, {"--db", db, "--port", "8765"});
            QVERIFY2(servizio == "127.0.0.1:8765", "port 8765 busy: is scripts/run running?");
            user = password = "demo";
        } else {
            kannelFolder.emplace();
            auto db = kannelFolder->book("Principale");
            for (int i = 1; i <= 3; ++i)
                seed::addContact(*db, "Nome", QString("Cognome%1").arg(i),
                                 QString("33310%1%1%1%1%1").arg(i), "");
            kannelFolder->write("registrazione", {"ufficio-Segreta 1"});
            kannelFolder->write("servizio", {servizio});
            folder = kannelFolder->path();
        }
        if (!header.isEmpty())
            platform::TextFile::replaceLines(QDir(folder).filePath("intestazione"), {header});
        const QString credit = creditOf(servizio, user, password);
        appState() = AppState{};
        appState().appFolder = folder;
        MDIForm1 window;
        window.Form_Load();
        window.TreeView1_Click();
        ArchiveModel* model = window.browser()->model();
        QTRY_VERIFY(model->rowCount() >= 3);
        QStringList numbers, ticked;
        for (int row = 0; row < 3; ++row) {
            model->setChecked(row, list || row == 2);
            if (list || row == 2)
                ticked << model->text(row, 1);
            numbers << "+39" + model->text(list ? row : 2, 1);
        }

        const QString word = "Conferma ";
        const QString text = list ? "Offerta: camera doppia a 80 €, colazione inclusa!"
                                  : word.repeated(50).trimmed(); // 449 characters
        platform::DialogScript script;
        QTimer::singleShot(0, this, [&] {
            Form5* f = Form5::instance();
            QVERIFY(f);
            QTRY_VERIFY(f->isActiveWindow()); // as the user finds it
            f->Text1->setPlainText(text);
            f->Option2->setChecked(!list);
            f->Command1->click();
        });
        (list ? window.ismsm : window.ismss)->trigger();

        QCOMPARE(script.messages().last(), "Messaggio/i  inviato correttamente");
        const QString left = QString::number(credit.toInt() - 3);
        if (!kannel)
            QCOMPARE(credit + " -> " + left, "100 -> 97");
        QCOMPARE(
            platform::TextFile::readFirstLine(QDir(folder).filePath("residui.txt")).value_or(""),
            " " + left + " ");
        QCOMPARE(window.Label3->text(), "Credito residuo " + left);
        QCOMPARE(creditOf(servizio, user, password), left);
        {
            QStringList sent;
            auto db = store::Database::open(store::archive::addressBookPath(folder, "Principale"));
            for (auto rs = db->openRecordset("inviati"); !rs->isEof(); rs->MoveNext())
                sent << rs->value("cellulare") + '|' + rs->value("Testo");
            QVERIFY(sent.contains(ticked.join(';') + '|' + text));
        }

        // What the SMS centre received, "FROM TO TEXT" (the sink adds the class, -1).
        const QString from = !header.isEmpty() ? header : kannel ? m_kannelSender : "demo";
        QStringList expected;
        for (int i = 0; i < 3; ++i)
            expected << from + ' ' + numbers[i] + ' ' + (kannel ? "" : "-1 ") +
                            (list ? text : sms::cutAtBlank(text).value(i).trimmed());
        auto received = [&] {
            QStringList got;
            const QString all = kannel ? kannelRig({"received", m_kannelDir.path()})
                                       : Inet().OpenURL(QUrl("http://" + servizio + "/sink.txt"));
            for (const QString& line : all.split('\n', Qt::SkipEmptyParts)) {
                const QStringList f = line.split(' ');
                if (f.size() < 4 || !numbers.contains(f[1]))
                    continue;
                // fakesmsc: "FROM TO text DATA", DATA percent-encoded with "+" for a blank
                got << (kannel ? f[0] + ' ' + f[1] + ' ' +
                                     QString::fromUtf8(QByteArray::fromPercentEncoding(
                                         line.section(' ', 3).replace('+', "%20").toUtf8()))
                               : line)
                           .trimmed();
            }
            return got.mid(got.size() - 3);
        };
        QTRY_COMPARE_WITH_TIMEOUT(received(), expected, 15000);
        appState() = AppState{};
        demoGateway.terminate();
        demoGateway.waitForFinished(5000);
    }

private:
    static QString creditOf(const QString& servizio, const QString& user, const QString& pass) {
        return Inet().OpenURL(gatewayrequests::creditQuery(servizio, {user, pass}));
    }
    // Starts `quillet-gateway serve` (on a free port unless told); its host:port, or empty.
    static QString serve(QProcess& process, const QStringList& args) {
        process.setProgram(qEnvironmentVariable("QUILLET_GATEWAY"));
        process.setArguments(QStringList{"serve", "--port", "0"} + args);
        process.start();
        if (!process.waitForStarted())
            return {};
        static const QRegularExpression ready(QStringLiteral("In ascolto su ([0-9.]+:[0-9]+)"));
        QString out;
        while (!ready.match(out).hasMatch() && process.waitForReadyRead(10000))
            out += QString::fromUtf8(process.readAllStandardOutput());
        return ready.match(out).captured(1);
    }
    // Runs the program named by this environment variable; its exit code.
    static int run(const char* program, const QStringList& args) {
        QProcess p;
        p.start(qEnvironmentVariable(program), args);
        p.waitForFinished(10000);
        return p.exitCode();
    }
    static int gateway(const QStringList& args) { return run("QUILLET_GATEWAY", args); }

    QTemporaryDir m_dir;
    QTemporaryDir m_kannelDir;
    QString m_kannelSender; // the rig's default sender
    QProcess m_gateway;
    QProcess m_kannelGateway;
    QString m_servizio;
    QString m_kannelServizio;
};

QTEST_MAIN(tst_endtoend)
#include "tst_endtoend.moc"
