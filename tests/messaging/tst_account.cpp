// The account window and the credit refresh, against a small local stand-in of the service.
#include "app/mainwindow.h"
#include "app/session.h"
#include "httpstandin.h"
#include "messaging/accountwindow.h"
#include "messaging/senderheaderwindow.h"
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
        m_session = Session{};
        m_session.appFolder = m_folder->path();
        m_window = std::make_unique<MainWindow>(m_session);
        m_window->load();
        m_session.service = m_service.servizio();
    }
    void cleanup() {
        m_window.reset();
        m_session = Session{};
        m_folder.reset();
    }

    void refresh_data() {
        QTest::addColumn<QStringList>("registrazione");
        QTest::addColumn<bool>("up"); // the service answers
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("residui");
        const QString incomplete = "Account incompleto: inserire Nome Utente e Password";
        QTest::newRow("leading blank kept")
            << mario() << true << QByteArray(" 25") << "Credito Aggiornato"
            << " 25";
        QTest::newRow("not a number")
            << mario() << true << QByteArray("abc") << "Risposta del servizio non valida: abc"
            << "7";
        QTest::newRow("service down")
            << mario() << false << QByteArray() << "Connessione non Riuscita"
            << "7";
        QTest::newRow("no account file") << QStringList{} << true << QByteArray("99") << ""
                                         << "7";
        QTest::newRow("no password")
            << QStringList{"mario-"} << true << QByteArray("99") << incomplete << "7";
    }
    void refresh() {
        QFETCH(QStringList, registrazione);
        QFETCH(bool, up);
        QFETCH(QByteArray, reply);
        QFETCH(QString, message);
        QFETCH(QString, residui);
        if (!registrazione.isEmpty())
            m_folder->write("registrazione", registrazione);
        m_service.setAnswer({.body = reply});
        if (!up) {
            QTcpServer closed;
            QVERIFY(closed.listen(QHostAddress::LocalHost));
            m_session.service = QStringLiteral("127.0.0.1:%1").arg(closed.serverPort());
        }
        const qsizetype asked = m_service.targets().size();
        platform::DialogScript script;
        m_window->aaa->trigger();
        QCOMPARE(script.messages().size(), message.isEmpty() ? 0 : 1);
        QCOMPARE(script.messages().value(0).left(message.size()), message);
        QCOMPARE(platform::TextFile::readFirstLine(m_folder->file("residui.txt")).value_or("?"),
                 residui);
        QCOMPARE(m_window->Label3->text(), "Credito residuo " + residui);
        QCOMPARE(m_service.targets().size(), asked + (up && registrazione == mario() ? 1 : 0));
        QVERIFY(!QGuiApplication::overrideCursor());
    }

    // What is saved reads back as it was typed, or is refused.
    void signInSave_data() {
        QTest::addColumn<QString>("user");
        QTest::addColumn<QString>("password");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QByteArray>("saved");
        QTest::newRow("& and - in the password") << "anna.verdi"
                                                 << "nuova&pa-ss"
                                                 << "" << QByteArray("anna.verdi-nuova&pa-ss\r\n");
        QTest::newRow("- in the user name refused")
            << "anna-maria"
            << "pa-ss"
            << "Il Nome Utente non può contenere il carattere \"-\"" << QByteArray();
        QTest::newRow("no password") << "anna"
                                     << ""
                                     << "Inserire il Campo Password" << QByteArray();
        QTest::newRow("no user name: nothing said") << ""
                                                    << "segreto"
                                                    << "" << QByteArray();
    }
    void signInSave() {
        QFETCH(QString, user);
        QFETCH(QString, password);
        QFETCH(QByteArray, saved);
        platform::DialogScript script;
        AccountWindow window(m_session);
        window.ui->setText(user);
        window.pw->setText(password);
        window.saveAccount();
        QTEST(script.messages().value(0), "message");
        QCOMPARE(window.result(), int(saved.isEmpty() ? 0 : QDialog::Accepted));
        QFile file(m_folder->file("registrazione"));
        QCOMPARE(readBytes(file.fileName()), saved);
        if (saved.isEmpty())
            return;
        QCOMPARE(file.permissions() & (QFile::ReadGroup | QFile::ReadOther), QFile::Permissions());
        QCOMPARE(m_session.account, (QStringList{user, password}));
        AccountWindow again(m_session);
        QCOMPARE(again.ui->text() + '|' + again.pw->text(), user + '|' + password);
    }

    void affiliatePage() {
        m_session.affiliate = QStringList{"42", "ABC"};
        platform::DialogScript script;
        AccountWindow window(m_session);
        window.openAccountRequestPage();
        QCOMPARE(script.shown().last().text,
                 "http://" + m_service.servizio() +
                     "/cgi-bin/affiliate/programma.pl?affiliato=42&codeaff=ABC");
    }

    // The header window shows the file's first line; saving replaces the file.
    void header_data() {
        QTest::addColumn<bool>("writable");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("save");
        QTest::addColumn<QByteArray>("bytes"); // the file afterwards
        QTest::addColumn<QString>("message");
        const QByteArray old = "OLD\r\nriga\r\n";
        const QString saved = "Intestazione Modificata correttamente";
        QTest::newRow("saved") << true << "NEW" << true << QByteArray("NEW\r\n") << saved;
        QTest::newRow("saved empty") << true << "" << true << QByteArray("\r\n") << saved;
        QTest::newRow("closed") << true << "Scartato" << false << old << "";
        QTest::newRow("cannot be written") // a folder where the file should be
            << false << "NEW" << true << QByteArray() << "Si è verificato un errore";
    }
    void header() {
        QFETCH(bool, writable);
        QFETCH(QString, typed);
        QFETCH(bool, save);
        QFETCH(QString, message);
        const QString path = m_folder->file("intestazione");
        if (writable)
            writeBytes(path, "OLD\r\nriga\r\n");
        else
            QVERIFY(QDir(m_folder->path()).mkdir("intestazione"));
        m_session.senderHeader = "OLD";
        platform::DialogScript script;
        SenderHeaderWindow window(m_session);
        QCOMPARE(window.Text1->text(), writable ? "OLD" : "");
        window.Text1->setText(typed);
        save ? window.saveSenderHeader() : window.closeSenderHeader();
        QTEST(readBytes(path), "bytes");
        const bool changed = !message.isEmpty() && writable;
        QCOMPARE(window.result(), int(changed ? QDialog::Accepted : QDialog::Rejected));
        QCOMPARE(m_session.senderHeader, changed ? typed : "OLD");
        QCOMPARE(script.messages(), message.isEmpty() ? QStringList() : QStringList{message});
        if (!message.isEmpty())
            QCOMPARE(script.shown().first().icon, platform::Icon::None);
    }

    // At most 11 characters, each one the 8-bit code page can hold.
    void headerTyping_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("kept");
        QTest::newRow("twelfth ignored") << "ABCDEFGHIJKL"
                                         << "ABCDEFGHIJK";
        QTest::newRow("accents and euro") << "Caffè € 5"
                                          << "Caffè € 5";
        QTest::newRow("not in cp1252, emoji") << "Łódź A\U0001F600B"
                                              << "ód AB";
    }
    void headerTyping() {
        QFETCH(QString, typed);
        SenderHeaderWindow window(m_session);
        for (const char32_t c : typed.toUcs4()) {
            QKeyEvent key(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier,
                          QString::fromUcs4(&c, 1));
            QApplication::sendEvent(window.Text1, &key);
        }
        QTEST(window.Text1->text(), "kept");
    }

private:
    static QStringList mario() { return {"mario-segreto"}; }

    HttpStandIn m_service;
    Session m_session;
    std::unique_ptr<TestFolder> m_folder;
    std::unique_ptr<MainWindow> m_window;
};

QTEST_MAIN(tst_account)
#include "tst_account.moc"
