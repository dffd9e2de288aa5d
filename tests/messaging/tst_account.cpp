// The account window and the credit refresh, against a small local stand-in of the service.
#include "app/appstate.h"
#include "app/mdiform1.h"
#include "httpstandin.h"
#include "messaging/form6.h"
#include "platform/dialogs.h"
#include "support/testfolder.h"

#include <QLabel>
#include <QLineEdit>
#include <QTcpServer>
#include <QtTest>

namespace {

struct StubService : HttpStandIn {
    explicit StubService(const QByteArray& body) { setAnswer({.body = body}); }
    QString host() const { return servizio(); }
};

} // namespace

class tst_account : public QObject {
    Q_OBJECT
private slots:
    void init() {
        m_folder = std::make_unique<TestFolder>();
        m_folder->write("residui.txt", {"7"});
        appState() = AppState{};
        appState().appFolder = m_folder->path();
        m_window = std::make_unique<MDIForm1>();
        m_window->Form_Load();
    }
    void cleanup() {
        m_window.reset();
        appState() = AppState{};
        m_folder.reset();
    }

    void refresh_data() {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("residui");
        QTest::addColumn<QString>("label");
        QTest::newRow("whole") << QByteArray("25") << "Credito Aggiornato"
                               << "25"
                               << "Credito residuo 25";
        QTest::newRow("leading blank kept") << QByteArray(" 25") << "Credito Aggiornato"
                                            << " 25"
                                            << "Credito residuo  25";
        QTest::newRow("decimal comma") << QByteArray("12,5") << "Credito Aggiornato"
                                       << "12,5"
                                       << "Credito residuo 12,5";
        QTest::newRow("not a number")
            << QByteArray("abc") << "Risposta del servizio non valida: abc"
            << "7"
            << "Credito residuo 7";
        QTest::newRow("html page")
            << QByteArray("<html><body>Errore</body></html>")
            << "Risposta del servizio non valida: <html><body>Errore</body></html>"
            << "7"
            << "Credito residuo 7";
        QTest::newRow("empty")
            << QByteArray()
            << "Connessione non Riuscita \nVerificare la Connessione ad Internet e ritentare"
            << "7"
            << "Credito residuo 7";
    }
    void refresh() {
        QFETCH(QByteArray, reply);
        StubService service(reply);
        m_folder->write("registrazione", {"mario-segreto"});
        appState().servizio = service.host();
        platform::DialogScript script;
        m_window->aaa->trigger();
        QTEST(script.messages().value(0), "message");
        QTEST(platform::TextFile::readFirstLine(m_folder->file("residui.txt")).value_or("?"),
              "residui");
        QTEST(m_window->Label3->text(), "label");
        QCOMPARE(appState().account, (QStringList{"mario", "segreto"}));
        QCOMPARE(appState().credito, 7.0); // the refresh leaves the known credit alone
    }

    void refreshAccountProblems_data() {
        QTest::addColumn<QStringList>("registrazione");
        QTest::addColumn<QStringList>("messages");
        QTest::newRow("no account file") << QStringList{} << QStringList{};
        QTest::newRow("no dash") << QStringList{"mario"}
                                 << QStringList{
                                        "Account incompleto: inserire Nome Utente e Password"};
        QTest::newRow("no password")
            << QStringList{"mario-"}
            << QStringList{"Account incompleto: inserire Nome Utente e Password"};
    }
    void refreshAccountProblems() {
        QFETCH(QStringList, registrazione);
        StubService service("99");
        if (!registrazione.isEmpty())
            m_folder->write("registrazione", registrazione);
        appState().servizio = service.host();
        platform::DialogScript script;
        m_window->aggiorna();
        QTEST(script.messages(), "messages");
        QVERIFY(service.targets().isEmpty());
        QCOMPARE(platform::TextFile::readFirstLine(m_folder->file("residui.txt")).value_or("?"),
                 QStringLiteral("7"));
    }

    void refreshWithServiceDown() {
        QTcpServer closed;
        QVERIFY(closed.listen(QHostAddress::LocalHost));
        const quint16 port = closed.serverPort();
        closed.close();
        m_folder->write("registrazione", {"mario-segreto"});
        appState().servizio = QStringLiteral("127.0.0.1:%1").arg(port);
        platform::DialogScript script;
        m_window->aggiorna();
        QCOMPARE(script.shown().size(), 1);
        QCOMPARE(script.shown().first().icon, platform::Icon::Exclamation);
        QVERIFY(script.messages().first().startsWith("Connessione non Riuscita"));
        QVERIFY(!QGuiApplication::overrideCursor());
    }

    void accountTravelsEncoded() {
        StubService service("10");
        m_folder->write("registrazione", {"ma&ria rossi-p=à"});
        appState().servizio = service.host();
        platform::DialogScript script;
        m_window->aggiorna();
        QCOMPARE(service.targets().size(), 1);
        QVERIFY2(service.targets().first().startsWith(
                     "/cgi-bin/utenti/leggi.pl?utente=ma%26ria%20rossi&pass=p%3D%C3%A0&datatime="),
                 service.targets().first().constData());
    }

    void signInWindow() {
        m_folder->write("registrazione", {"mario-vecchia"});
        m_folder->write("progra", {"42-ABC"});
        appState().affiliazione = QStringList{"42", "ABC"};
        Form6 window;
        QCOMPARE(window.windowTitle(), QStringLiteral("Account Servizio SMS"));
        QCOMPARE(window.ui->text(), QStringLiteral("mario"));
        QCOMPARE(window.pw->text(), QStringLiteral("vecchia"));

        platform::DialogScript script;
        window.pw->clear();
        window.Command1_Click();
        QCOMPARE(script.messages(), QStringList{"Inserire il Campo Password"});
        QCOMPARE(script.shown().first().icon, platform::Icon::Information);
        QCOMPARE(window.result(), 0);

        window.ui->setText("anna.verdi");
        window.pw->setText("nuova&pass");
        window.Command1_Click();
        QCOMPARE(window.result(), int(QDialog::Accepted));
        QFile saved(m_folder->file("registrazione"));
        QVERIFY(saved.open(QIODevice::ReadOnly));
        QCOMPARE(saved.readAll(), QByteArray("anna.verdi-nuova&pass\r\n"));
        QCOMPARE(saved.permissions() & (QFile::ReadGroup | QFile::ReadOther), QFile::Permissions());
        QCOMPARE(appState().account, (QStringList{"anna.verdi", "nuova&pass"}));

        window.Label3_Click();
        QCOMPARE(
            script.shown().last().text,
            QStringLiteral(
                "http://127.0.0.1:8765/cgi-bin/affiliate/programma.pl?affiliato=42&codeaff=ABC"));
    }

    void emptyUserNameSavesNothing() {
        Form6 window;
        platform::DialogScript script;
        window.pw->setText("segreto");
        window.Command1_Click();
        QVERIFY(script.shown().isEmpty());
        QVERIFY(!QFile::exists(m_folder->file("registrazione")));
    }

private:
    std::unique_ptr<TestFolder> m_folder;
    std::unique_ptr<MDIForm1> m_window;
};

QTEST_MAIN(tst_account)
#include "tst_account.moc"
