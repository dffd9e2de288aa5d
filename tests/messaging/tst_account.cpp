// The account window and the credit refresh, against a small local stand-in of the service.
#include "app/appstate.h"
#include "app/mdiform1.h"
#include "httpstandin.h"
#include "messaging/form6.h"
#include "messaging/form7.h"
#include "platform/dialogs.h"
#include "support/testfolder.h"

#include <QLabel>
#include <QLineEdit>
#include <QtTest>

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
        appState().servizio = m_service.servizio();
    }
    void cleanup() {
        m_window.reset();
        appState() = AppState{};
        m_folder.reset();
    }

    void refresh_data() {
        QTest::addColumn<QStringList>("registrazione");
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("residui");
        const QString incomplete = "Account incompleto: inserire Nome Utente e Password";
        QTest::newRow("whole") << mario() << QByteArray("25") << "Credito Aggiornato"
                               << "25";
        QTest::newRow("leading blank kept") << mario() << QByteArray(" 25") << "Credito Aggiornato"
                                            << " 25";
        QTest::newRow("not a number")
            << mario() << QByteArray("abc") << "Risposta del servizio non valida: abc"
            << "7";
        QTest::newRow("no account file") << QStringList{} << QByteArray("99") << ""
                                         << "7";
        QTest::newRow("no password")
            << QStringList{"mario-"} << QByteArray("99") << incomplete << "7";
    }
    void refresh() {
        QFETCH(QStringList, registrazione);
        QFETCH(QByteArray, reply);
        QFETCH(QString, residui);
        if (!registrazione.isEmpty())
            m_folder->write("registrazione", registrazione);
        m_service.setAnswer({.body = reply});
        const qsizetype asked = m_service.targets().size();
        platform::DialogScript script;
        m_window->aaa->trigger();
        QTEST(script.messages().value(0), "message");
        QCOMPARE(platform::TextFile::readFirstLine(m_folder->file("residui.txt")).value_or("?"),
                 residui);
        QCOMPARE(m_window->Label3->text(), "Credito residuo " + residui);
        QCOMPARE(m_service.targets().size(), asked + (registrazione == mario() ? 1 : 0));
    }

    void refreshWithServiceDown() {
        QTcpServer closed;
        QVERIFY(closed.listen(QHostAddress::LocalHost));
        appState().servizio = QStringLiteral("127.0.0.1:%1").arg(closed.serverPort());
        closed.close();
        m_folder->write("registrazione", mario());
        platform::DialogScript script;
        m_window->aggiorna();
        QCOMPARE(script.shown().size(), 1);
        QCOMPARE(script.shown().first().icon, platform::Icon::Exclamation);
        QVERIFY(script.messages().first().startsWith("Connessione non Riuscita"));
        QVERIFY(!QGuiApplication::overrideCursor());
    }

    void signInWindow() {
        m_folder->write("registrazione", {"mario-vecchia"});
        appState().affiliazione = QStringList{"42", "ABC"};
        Form6 window;
        QCOMPARE(window.ui->text(), QStringLiteral("mario"));
        QCOMPARE(window.pw->text(), QStringLiteral("vecchia"));

        platform::DialogScript script;
        window.pw->clear();
        window.Command1_Click();
        QCOMPARE(script.messages(), QStringList{"Inserire il Campo Password"});
        window.ui->clear();
        window.pw->setText("segreto");
        window.Command1_Click(); // no user name: nothing said, nothing saved
        QCOMPARE(script.shown().size(), 1);
        QCOMPARE(window.result(), 0);

        window.Label3_Click();
        QCOMPARE(script.shown().last().text,
                 QStringLiteral("http://") + m_service.servizio() +
                     QStringLiteral("/cgi-bin/affiliate/programma.pl?affiliato=42&codeaff=ABC"));
    }

    // What is saved reads back as it was typed, or is refused.
    void signInSave_data() {
        QTest::addColumn<QString>("user");
        QTest::addColumn<QString>("password");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QByteArray>("saved");
        QTest::newRow("plain") << "anna.verdi"
                               << "nuova&pass"
                               << "" << QByteArray("anna.verdi-nuova&pass\r\n");
        QTest::newRow("- in the password") << "anna"
                                           << "pa-ss"
                                           << "" << QByteArray("anna-pa-ss\r\n");
        QTest::newRow("- in the user name refused")
            << "anna-maria"
            << "pa-ss"
            << "Il Nome Utente non può contenere il carattere \"-\"" << QByteArray();
    }
    void signInSave() {
        QFETCH(QString, user);
        QFETCH(QString, password);
        QFETCH(QByteArray, saved);
        platform::DialogScript script;
        Form6 window;
        window.ui->setText(user);
        window.pw->setText(password);
        window.Command1_Click();
        QTEST(script.messages().value(0), "message");
        QCOMPARE(window.result(), int(saved.isEmpty() ? 0 : QDialog::Accepted));
        QFile file(m_folder->file("registrazione"));
        QCOMPARE(readBytes(file.fileName()), saved);
        if (saved.isEmpty())
            return;
        QCOMPARE(file.permissions() & (QFile::ReadGroup | QFile::ReadOther), QFile::Permissions());
        QCOMPARE(appState().account, (QStringList{user, password}));
        Form6 again;
        QCOMPARE(again.ui->text() + '|' + again.pw->text(), user + '|' + password);
    }

    void headerWindow_data() {
        QTest::addColumn<QStringList>("file");
        QTest::addColumn<QString>("shown");
        QTest::newRow("first line") << QStringList{"3331234567", "altro"} << "3331234567";
        QTest::newRow("no file") << QStringList{} << "";
    }
    void headerWindow() {
        QFETCH(QStringList, file);
        if (!file.isEmpty())
            m_folder->write("intestazione", file);
        Form7 window;
        QTEST(window.Text1->text(), "shown");
        window.Text1->setText("Scartato");
        window.Command2_Click();
        QCOMPARE(window.result(), int(QDialog::Rejected));
        QCOMPARE(QFile::exists(m_folder->file("intestazione")), !file.isEmpty());
    }

    void headerTyping_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("kept");
        QTest::newRow("twelfth ignored") << "ABCDEFGHIJKL"
                                         << "ABCDEFGHIJK";
        QTest::newRow("accents") << "Caffè Roma"
                                 << "Caffè Roma";
        QTest::newRow("euro sign") << "€ 5"
                                   << "€ 5";
        QTest::newRow("not in cp1252") << "Łódź"
                                       << "ód";
        QTest::newRow("emoji") << "A\U0001F600B"
                               << "AB";
    }
    void headerTyping() {
        QFETCH(QString, typed);
        Form7 window;
        for (const char32_t c : typed.toUcs4()) {
            QKeyEvent key(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier,
                          QString::fromUcs4(&c, 1));
            QApplication::sendEvent(window.Text1, &key);
        }
        QTEST(window.Text1->text(), "kept");
    }

    void headerSave_data() {
        QTest::addColumn<QString>("header");
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("text") << "NEW" << QByteArray("NEW\r\n");
        QTest::newRow("empty") << "" << QByteArray("\r\n");
    }
    void headerSave() {
        QFETCH(QString, header);
        QFETCH(QByteArray, bytes);
        m_folder->write("intestazione", {"OLD", "riga"});
        appState().intestazioneSms = "OLD";
        platform::DialogScript script;
        for (int i = 0; i < 2; ++i) {
            Form7 window;
            window.Text1->setText(header);
            window.Command1_Click();
            QCOMPARE(window.result(), int(QDialog::Accepted));
        }
        QFile saved(m_folder->file("intestazione"));
        QVERIFY(saved.open(QIODevice::ReadOnly));
        QCOMPARE(saved.readAll(), bytes);
        QCOMPARE(appState().intestazioneSms, header);
        QCOMPARE(script.messages(), QStringList(2, "Intestazione Modificata correttamente"));
        QCOMPARE(script.shown().first().icon, platform::Icon::None);
    }

    // A folder where the file should be: it cannot be written.
    void headerSaveFails() {
        appState().intestazioneSms = "OLD";
        QVERIFY(QDir(m_folder->path()).mkdir("intestazione"));
        platform::DialogScript script;
        Form7 window;
        window.Text1->setText("NEW");
        window.Command1_Click();
        QCOMPARE(script.messages(), QStringList{"Si è verificato un errore"});
        QCOMPARE(script.shown().first().icon, platform::Icon::None);
        QCOMPARE(window.result(), int(QDialog::Rejected));
        QCOMPARE(appState().intestazioneSms, QStringLiteral("OLD"));
    }

private:
    static QStringList mario() { return {"mario-segreto"}; }

    HttpStandIn m_service;
    std::unique_ptr<TestFolder> m_folder;
    std::unique_ptr<MDIForm1> m_window;
};

QTEST_MAIN(tst_account)
#include "tst_account.moc"
