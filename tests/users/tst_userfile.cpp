// The user file and the login: scrambling, reading what other programs wrote, the checks of
// the login, and the login before the main window.
#include "app/mainwindow.h"
#include "app/startup.h"
#include "core/session.h"
#include "platform/dialogs.h"
#include "support/controls.h"
#include "support/foldertest.h"
#include "users/loginwindow.h"
#include "users/useradminwindow.h"
#include "users/userfile.h"

#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

using users::User;

namespace {

QByteArray line(const QString& record) {
    return users::scramble(platform::TextFile::encode(record)).value_or("?");
}

} // namespace

class tst_userfile : public QObject, private FolderTest {
    Q_OBJECT
private slots:
    void init() { newFolder(); }
    void cleanup() { dropFolder(); }

    // The first code moves by the length, each other one by its position; none past 255. The
    // files read back below undo it.
    void scrambling() {
        QCOMPARE(users::scramble("abc").value_or("-"), "ddf");
        QVERIFY(!users::scramble("ab\xFE"));
        // A record is stored only if it reads back as it was.
        QVERIFY(users::lineOf({"Caffè Roma", "5€", "4"}));
        for (const User& refused : {User{"Rossi, Anna", "x", "3"}, User{"Anna", "a,b", "3"},
                                    User{"Anna", "xÿ", "3"}, User{"Ωmega", "x", "3"}})
            QVERIFY2(!users::lineOf(refused), qPrintable(refused.name + refused.password));
    }

    // Files as other programs may have left them. The login stands before the main window
    // only when the file holds a user; damaged lines are told before anything else. One line
    // more than the program writes (tst_useradmin reads back the most it writes) and the file
    // is damaged, and is not read at all (a large file of junk neither fills memory nor turns
    // the login on).
    void reading_data() {
        QTest::addColumn<QByteArray>("file"); // "missing": no file
        QTest::addColumn<QStringList>("names");
        QTest::addColumn<int>("unreadable"); // -1: none read, too many lines
        const QByteArray a = line("anna,pw,1"), b = line("bruno,pw,4");
        const QStringList both = {"anna", "bruno"};
        QTest::newRow("CR LF") << a + "\r\n" + b + "\r\n" << both << 0;
        QTest::newRow("no password") << line("carla") + "\r\n" + a << QStringList{"anna"} << 1;
        QTest::newRow("junk") << QByteArray("a\na\na\n") << QStringList{} << 3;
        QTest::newRow("missing") << QByteArray("missing") << QStringList{} << 0;
        QTest::newRow("one line too many")
            << (a + "\r\n").repeated(users::maxUsers + 1) << QStringList{} << -1;
    }
    void reading() {
        QFETCH(QByteArray, file);
        QFETCH(QStringList, names);
        QFETCH(int, unreadable);
        if (file != "missing")
            writeBytes(users::filePath(m_folder->path()), file);
        const users::Contents contents = users::read(m_folder->path());
        QCOMPARE(contents.status, file == "missing" ? users::Contents::Missing
                                  : unreadable < 0  ? users::Contents::TooLong
                                                    : users::Contents::Read);
        QStringList read;
        for (const User& u : contents.users)
            read << u.name;
        QCOMPARE(read, names);
        QCOMPARE(contents.unreadable, qMax(unreadable, 0));
        if (unreadable < 0)
            QCOMPARE(users::login(m_folder->path(), "anna", "pw"), users::Login::Unreadable);

        int quits = 0;
        platform::DialogScript script;
        startup::FirstWindows windows(session(), [&quits] { ++quits; });
        QCOMPARE(windows.open() == windows.login(), !names.isEmpty());
        QCOMPARE(bool(windows.mainWindow()), names.isEmpty());
        QCOMPARE(
            script.messages().value(0).startsWith("Il file degli utenti tempaccesso è danneggiato"),
            unreadable != 0);
        if (names.isEmpty())
            return;
        control<QLineEdit>(windows.login(), "uid")->setText(names.first());
        control<QLineEdit>(windows.login(), "pws")->setText("pw");
        control<QPushButton>(windows.login(), "Command1")->click();
        QVERIFY(windows.mainWindow() && windows.mainWindow()->isVisible());
        QCOMPARE(quits, 0);
    }

    // The login window: exact name and password of any record, letter case counts; a wrong
    // one is said, the right one closes it. With no user file it is created empty and the
    // administration opens beside the login.
    void loginWindow_data() {
        QTest::addColumn<bool>("file");
        QTest::addColumn<QStringList>("login"); // name and password
        QTest::addColumn<bool>("accepted");
        QTest::newRow("right") << true << QStringList{"Mario", "uno"} << true;
        QTest::newRow("second twin's password") << true << QStringList{"Mario", "due"} << true;
        QTest::newRow("wrong password") << true << QStringList{"Mario", "tre"} << false;
        QTest::newRow("other letter case") << true << QStringList{"mario", "uno"} << false;
        QTest::newRow("no user file") << false << QStringList{"Mario", "uno"} << false;
    }
    void loginWindow() {
        QFETCH(bool, file);
        QFETCH(QStringList, login);
        QFETCH(bool, accepted);
        if (file)
            QVERIFY(users::write(m_folder->path(), {{"Mario", "uno", "1"}, {"Mario", "due", "3"}}));
        platform::DialogScript script;
        LoginWindow window(session());
        window.show();
        control<QLineEdit>(&window, "uid")->setText(login[0]);
        control<QLineEdit>(&window, "pws")->setText(login[1]);
        control<QPushButton>(&window, "Command1")->click();

        QCOMPARE(window.result(), accepted ? int(QDialog::Accepted) : int(QDialog::Rejected));
        QCOMPARE(session().currentUser, accepted ? login[0] : "");
        QCOMPARE(script.messages(),
                 accepted || !file ? QStringList{} : QStringList{"Nome utente o Password errati"});
        QCOMPARE(bool(window.findChild<UserAdminWindow*>()), !file);
        QVERIFY(QFile::exists(users::filePath(m_folder->path())));
    }
};

QTEST_MAIN(tst_userfile)
#include "tst_userfile.moc"
