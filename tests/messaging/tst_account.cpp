// The account window and the credit refresh, against a small local stand-in of the service.
#include "app/mainwindow.h"
#include "core/session.h"
#include "httpstandin.h"
#include "messaging/account.h"
#include "messaging/accountwindow.h"
#include "messaging/senderheaderwindow.h"
#include "platform/dialogs.h"
#include "support/controls.h"
#include "support/foldertest.h"

#include <QLabel>
#include <QLineEdit>
#include <QtTest>

class tst_account : public QObject, private FolderTest {
    Q_OBJECT
private slots:
    void init() {
        newFolder();
        m_folder->write("residui.txt", {"7"});
        m_window = std::make_unique<MainWindow>(session());
        m_window->load();
        session().service = m_service.servizio();
    }
    void cleanup() {
        m_window.reset();
        dropFolder();
    }

    // What the service answers, as residui.txt and the credit label keep it.
    void refresh_data() {
        QTest::addColumn<QStringList>("registrazione");
        QTest::addColumn<bool>("up"); // the service answers
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<QString>("message");
        QTest::addColumn<bool>("updated"); // else residui.txt keeps 7
        const QStringList mario = this->mario();
        QTest::newRow("leading blank kept")
            << mario << true << QByteArray(" 25") << "Credito Aggiornato" << true;
        QTest::newRow("not a number") << mario << true << QByteArray("abc")
                                      << "Risposta del servizio non valida: abc" << false;
        QTest::newRow("service down")
            << mario << false << QByteArray() << "Connessione non Riuscita" << false;
        QTest::newRow("no password")
            << QStringList{"mario-"} << true << QByteArray("99")
            << "Account incompleto: inserire Nome Utente e Password" << false;
    }
    void refresh() {
        QFETCH(QStringList, registrazione);
        QFETCH(bool, up);
        QFETCH(QByteArray, reply);
        QFETCH(QString, message);
        QFETCH(bool, updated);
        const QString residui = updated ? " 25" : "7";
        m_folder->write("registrazione", registrazione);
        m_service.setAnswer({.body = reply});
        if (!up) {
            QTcpServer closed;
            QVERIFY(closed.listen(QHostAddress::LocalHost));
            session().service = QStringLiteral("127.0.0.1:%1").arg(closed.serverPort());
        }
        const qsizetype asked = m_service.targets().size();
        platform::DialogScript script;
        control<QAction>(m_window.get(), "aaa")->trigger();
        QTRY_COMPARE(script.messages().size(), 1);
        QVERIFY(script.messages().value(0).startsWith(message));
        QCOMPARE(platform::TextFile::readFirstLine(m_folder->file("residui.txt")).value_or("?"),
                 residui);
        QCOMPARE(m_service.targets().size(), asked + (up && registrazione == mario() ? 1 : 0));
    }

    // The window saves what is typed, or refuses it and writes nothing. The account reads back
    // as it was saved, split at the first "-"; only its owner may read the file.
    void signInSave_data() {
        QTest::addColumn<QStringList>("typed"); // user, password, the message said
        QTest::newRow("saved") << QStringList{"anna.verdi", "nuova&pa-ss", ""};
        QTest::newRow("- in the user name refused") << QStringList{
            "anna-maria", "pa-ss", "Il Nome Utente non può contenere il carattere \"-\""};
        QTest::newRow("no password") << QStringList{"anna", "", "Inserire il Campo Password"};
    }
    void signInSave() {
        QFETCH(QStringList, typed);
        platform::DialogScript script;
        AccountWindow window(session());
        control<QLineEdit>(&window, "ui")->setText(typed[0]);
        control<QLineEdit>(&window, "pw")->setText(typed[1]);
        window.saveAccount();
        QCOMPARE(script.messages().value(0), typed[2]);
        const bool saved = QTest::currentDataTag() == QByteArray("saved");
        QCOMPARE(window.result(), int(saved ? QDialog::Accepted : 0));
        const QStringList none, entered = typed.mid(0, 2);
        QCOMPARE(account::read(m_folder->path()).value_or(none), saved ? entered : none);
        const QString file = m_folder->file("registrazione");
        QCOMPARE(readBytes(file), saved ? "anna.verdi-nuova&pa-ss\r\n" : QByteArray());
        QCOMPARE(QFile::permissions(file) & (QFile::ReadGroup | QFile::ReadOther),
                 QFile::Permissions());
    }

    // The header window shows the file's first line; saving replaces the file.
    void header_data() {
        QTest::addColumn<bool>("writable");
        QTest::addColumn<QByteArray>("bytes"); // the file afterwards
        QTest::addColumn<QString>("message");
        QTest::newRow("saved") << true << QByteArray("NEW\r\n")
                               << "Intestazione Modificata correttamente";
        QTest::newRow("cannot be written") // a folder where the file should be
            << false << QByteArray() << "Si è verificato un errore";
    }
    void header() {
        QFETCH(bool, writable);
        QFETCH(QString, message);
        const QString path = m_folder->file("intestazione");
        if (writable)
            writeBytes(path, "OLD\r\nriga\r\n");
        else
            QVERIFY(QDir(m_folder->path()).mkdir("intestazione"));
        session().senderHeader = "OLD";
        platform::DialogScript script;
        SenderHeaderWindow window(session());
        auto* box = control<QLineEdit>(&window, "Text1");
        QCOMPARE(box->text(), writable ? "OLD" : "");
        box->setText("NEW");
        window.saveSenderHeader();
        QTEST(readBytes(path), "bytes");
        QCOMPARE(window.result(), int(writable ? QDialog::Accepted : QDialog::Rejected));
        QCOMPARE(session().senderHeader, writable ? "NEW" : "OLD");
        QCOMPARE(script.messages(), QStringList{message});
    }

    // At most 11 characters, each one the 8-bit code page can hold.
    void headerTyping_data() {
        QTest::addColumn<QStringList>("typed"); // and what the box keeps
        QTest::newRow("twelfth ignored") << QStringList{"ABCDEFGHIJKL", "ABCDEFGHIJK"};
        QTest::newRow("accents and euro") << QStringList{"Caffè € 5", "Caffè € 5"};
        QTest::newRow("not in cp1252, emoji") << QStringList{"Łódź A\U0001F600B", "ód AB"};
    }
    void headerTyping() {
        QFETCH(QStringList, typed);
        SenderHeaderWindow window(session());
        for (const char32_t c : typed[0].toUcs4()) {
            QKeyEvent key(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier,
                          QString::fromUcs4(&c, 1));
            QApplication::sendEvent(control<QLineEdit>(&window, "Text1"), &key);
        }
        QCOMPARE(control<QLineEdit>(&window, "Text1")->text(), typed[1]);
    }

private:
    static QStringList mario() { return {"mario-segreto"}; }

    HttpStandIn m_service;
    std::unique_ptr<MainWindow> m_window;
};

QTEST_MAIN(tst_account)
#include "tst_account.moc"
