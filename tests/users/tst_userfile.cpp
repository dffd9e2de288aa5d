// The user file and the login: scrambling, lines the file can and cannot hold, reading what
// other programs wrote, the checks of the login, and the login before the main window.
#include "app/appstate.h"
#include "app/mdiform1.h"
#include "app/startup.h"
#include "platform/dialogs.h"
#include "support/foldertest.h"
#include "users/accesso.h"
#include "users/confaccount.h"
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

    void scrambling_data() {
        QTest::addColumn<QByteArray>("record");
        QTest::addColumn<QByteArray>("scrambled"); // "-": cannot be scrambled
        QTest::newRow("abc") << QByteArray("abc") << QByteArray("ddf");
        QTest::newRow("one character") << QByteArray("a") << QByteArray("b");
        QTest::newRow("empty") << QByteArray() << QByteArray();
        QTest::newRow("past 255") << QByteArray("ab\xFE") << QByteArray("-");
    }
    void scrambling() {
        QFETCH(QByteArray, record);
        QFETCH(QByteArray, scrambled);
        const auto out = users::scramble(record);
        QCOMPARE(out.value_or("-"), scrambled);
        if (out)
            QCOMPARE(users::unscramble(*out).value_or("-"), record);
    }

    void storable_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("password");
        QTest::addColumn<bool>("stored");
        QTest::newRow("plain") << "Mario"
                               << "segreto" << true;
        QTest::newRow("accents and euro") << "Niccolò"
                                          << "€uro" << true;
        QTest::newRow("comma in the name") << "Rossi, Mario"
                                           << "x" << false;
        QTest::newRow("comma in the password") << "Mario"
                                               << "a,b" << false;
        QTest::newRow("not in Windows-1252") << "Łukasz"
                                             << "x" << false;
        QTest::newRow("pushed past 255") << "Mario"
                                         << "ÿÿÿ" << false;
    }
    void storable() {
        QFETCH(QString, name);
        QFETCH(QString, password);
        QFETCH(bool, stored);
        const User user{name, password, "2"};
        QCOMPARE(users::lineOf(user).has_value(), stored);
        QCOMPARE(users::write(m_folder->path(), {user}), stored);
        if (stored) {
            const auto back = users::read(m_folder->path());
            QCOMPARE(back.users.size(), 1);
            QCOMPARE(back.users[0].name, name);
            QCOMPARE(back.users[0].password, password);
            QCOMPARE(back.users[0].level, "2");
        }
    }

    // Files as other programs may have left them.
    void reading_data() {
        QTest::addColumn<QByteArray>("file"); // "missing": no file
        QTest::addColumn<QStringList>("names");
        QTest::addColumn<int>("unreadable");
        const QByteArray a = line("anna,pw,1"), b = line("bruno,pw,4");
        QTest::newRow("CR LF") << a + "\r\n" + b + "\r\n" << QStringList{"anna", "bruno"} << 0;
        QTest::newRow("LF") << a + "\n" + b << QStringList{"anna", "bruno"} << 0;
        QTest::newRow("CR alone") << a + "\r" + b + "\r" << QStringList{"anna", "bruno"} << 0;
        QTest::newRow("no password") << line("carla") + "\r\n" + a << QStringList{"anna"} << 1;
        QTest::newRow("four fields") << line("carla,a,b,1") + "\r\n" << QStringList{} << 1;
        QTest::newRow("below 0") << QByteArray("\x01\x01\x01\r\n") + a << QStringList{"anna"} << 1;
        QTest::newRow("empty") << QByteArray() << QStringList{} << 0;
        QTest::newRow("missing") << QByteArray("missing") << QStringList{} << 0;
    }
    void reading() {
        QFETCH(QByteArray, file);
        QFETCH(QStringList, names);
        QFETCH(int, unreadable);
        if (file != "missing")
            writeBytes(users::filePath(m_folder->path()), file);
        const users::Contents contents = users::read(m_folder->path());
        QCOMPARE(contents.status,
                 file == "missing" ? users::Contents::Missing : users::Contents::Read);
        QStringList read;
        for (const User& u : contents.users)
            read << u.name;
        QCOMPARE(read, names);
        QCOMPARE(contents.unreadable, unreadable);
    }

    // The program writes at most maxUsers lines: one more and the file is damaged, and is
    // not read at all (a large file of junk neither fills memory nor turns the login on).
    void manyUsers() {
        QList<User> many;
        for (int i = 0; i < users::maxUsers; ++i)
            many.append({QStringLiteral("utente%1").arg(i), "pw", "3"});
        QVERIFY(users::write(m_folder->path(), many));
        QCOMPARE(users::read(m_folder->path()).users.size(), users::maxUsers);
        QVERIFY(users::damageNotice(users::read(m_folder->path())).isEmpty());

        QFile file(users::filePath(m_folder->path()));
        QVERIFY(file.open(QIODevice::Append));
        file.write(line("oltre,pw,3") + "\r\n");
        file.close();
        const users::Contents contents = users::read(m_folder->path());
        QCOMPARE(contents.status, users::Contents::TooLong);
        QVERIFY(contents.users.isEmpty());
        QCOMPARE(int(users::login(m_folder->path(), "utente0", "pw")),
                 int(users::Login::Unreadable));
    }

    void login_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("password");
        QTest::addColumn<int>("result");
        QTest::newRow("right") << "Mario"
                               << "uno" << int(users::Login::Accepted);
        QTest::newRow("second twin's password") << "Mario"
                                                << "due" << int(users::Login::Accepted);
        QTest::newRow("wrong password") << "Mario"
                                        << "tre" << int(users::Login::Refused);
        QTest::newRow("other letter case") << "mario"
                                           << "uno" << int(users::Login::Refused);
        QTest::newRow("unknown") << "Luigi"
                                 << "uno" << int(users::Login::Refused);
    }
    void login() {
        QFETCH(QString, name);
        QFETCH(QString, password);
        QFETCH(int, result);
        QVERIFY(users::write(m_folder->path(), {{"Mario", "uno", "1"}, {"Mario", "due", "3"}}));
        QCOMPARE(int(users::login(m_folder->path(), name, password)), result);
    }

    // The login window: a wrong password is said, the right one closes it; with no user file
    // it is created empty and the administration opens beside the login.
    void loginWindow_data() {
        QTest::addColumn<bool>("file");
        QTest::addColumn<QString>("password");
        QTest::addColumn<QString>("message");
        QTest::newRow("right") << true << "uno"
                               << "";
        QTest::newRow("wrong") << true << "due"
                               << "Nome utente o Password errati";
        QTest::newRow("no user file") << false << "uno"
                                      << "";
    }
    void loginWindow() {
        QFETCH(bool, file);
        QFETCH(QString, password);
        QFETCH(QString, message);
        if (file)
            QVERIFY(users::write(m_folder->path(), {{"Mario", "uno", "1"}}));
        platform::DialogScript script;
        Accesso window;
        window.show();
        window.uid->setText("Mario");
        window.pws->setText(password);
        window.Command1->click();

        const bool accepted = file && password == "uno";
        QCOMPARE(window.result(), accepted ? int(QDialog::Accepted) : int(QDialog::Rejected));
        QCOMPARE(window.isVisible(), !accepted);
        QCOMPARE(appState().utenteCorrente, accepted ? "Mario" : "");
        const QStringList shown = script.messages();
        QCOMPARE(shown.value(0), message);
        QCOMPARE(bool(window.findChild<confaccount*>()), !file);
        QVERIFY(QFile::exists(users::filePath(m_folder->path())));
        QCOMPARE(window.uid->text(), "Mario"); // the boxes keep what was typed
    }

    // The login stands before the main window only when the file holds a user.
    void firstWindow_data() {
        QTest::addColumn<QByteArray>("file"); // "missing": no file
        QTest::addColumn<bool>("login");
        QTest::newRow("no user file") << QByteArray("missing") << false;
        QTest::newRow("empty user file") << QByteArray() << false;
        QTest::newRow("one user") << line("Mario,uno,1") + "\r\n" << true;
        QTest::newRow("a user and a damaged line")
            << line("Mario,uno,1") + "\r\n" + line("carla") + "\r\n"
            << true;
        QTest::newRow("no password") << line("carla") + "\r\n" << false;
        QTest::newRow("junk") << QByteArray("a\na\na\n") << false;
    }
    void firstWindow() {
        QFETCH(QByteArray, file);
        QFETCH(bool, login);
        if (file != "missing")
            writeBytes(users::filePath(m_folder->path()), file);
        int quits = 0;
        platform::DialogScript script;
        startup::FirstWindows windows([&quits] { ++quits; });
        QWidget* first = windows.open();
        QCOMPARE(first == windows.login(), login);
        QCOMPARE(bool(windows.mainWindow()), !login);
        // A damaged line is said before anything else.
        const bool damaged = file.contains(line("carla")) || file.startsWith("a\n");
        QCOMPARE(script.messages().value(0).startsWith("Il file degli utenti tempaccesso è "
                                                       "danneggiato"),
                 damaged);
        if (!login)
            return;
        windows.login()->uid->setText("Mario");
        windows.login()->pws->setText("uno");
        windows.login()->Command1->click();
        QVERIFY(windows.mainWindow() && windows.mainWindow()->isVisible());
        QCOMPARE(quits, 0);
    }
};

QTEST_MAIN(tst_userfile)
#include "tst_userfile.moc"
