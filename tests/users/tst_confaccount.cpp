// The user administration window: listing, adding, changing and deleting users in the user
// file, the records it refuses, and files it cannot read or write.
#include "app/appstate.h"
#include "platform/dialogs.h"
#include "support/foldertest.h"
#include "users/confaccount.h"
#include "users/userfile.h"

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QtTest>

using users::User;

namespace {

const QList<User> staff = {{"Mario", "m1", "1"}, {"Lucia", "l1", "4"}, {"Paolo", "p1", "3"}};

// "name,password,level" for each user, to compare lists.
QStringList records(const QList<User>& list) {
    QStringList out;
    for (const User& user : list)
        out << user.name + ',' + user.password + ',' + user.level;
    return out;
}

QList<User> many(int count) {
    QList<User> list;
    for (int i = 0; i < count; ++i)
        list.append({QStringLiteral("utente%1").arg(i), "pw", "3"});
    return list;
}

} // namespace

class tst_confaccount : public QObject, private FolderTest {
    Q_OBJECT
private slots:
    void init() { newFolder(); }
    void cleanup() { dropFolder(); }

    void load_data() {
        QTest::addColumn<QList<User>>("file");
        QTest::addColumn<QString>("label");
        QTest::addColumn<QString>("combo");
        QTest::newRow("guest first") << staff.mid(1) << " Guest"
                                     << "Guest";
        QTest::newRow("no level: level left as it was")
            << QList<User>{{"Anna", "a", ""}, {"Mario", "m", "1"}} << ""
            << "Administrator";
    }
    void load() {
        QFETCH(QList<User>, file);
        QVERIFY(users::write(m_folder->path(), file));
        platform::DialogScript script;
        confaccount window;
        QCOMPARE(window.windowTitle(), "Configurazione Account");
        QCOMPARE(window.List1->count(), file.size());
        QCOMPARE(window.List1->currentRow(), 0);
        QCOMPARE(window.Text1->text(), file.first().name);
        QCOMPARE(window.Text3->text(), file.first().password);
        QTEST(window.Label3->text(), "label");
        QTEST(window.Combo1->currentText(), "combo");
        QVERIFY(!window.Command4->isEnabled());
        QVERIFY(window.Frame2->isHidden());
        QVERIFY(script.shown().isEmpty());
    }

    void add_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("password");
        QTest::addColumn<QString>("level");
        QTest::addColumn<QString>("message"); // empty: saved as the last line
        const QString refused = "Carattere non consentito in Nome Utente o Password";
        const auto row = [](const char* tag, const QString& name, const QString& password,
                            const QString& level, const QString& message = {}) {
            QTest::newRow(tag) << name << password << level << message;
        };
        row("user", "Anna", "segreta", "Power User");
        row("exact duplicate", "Mario", "x", "User", "Utente Esistente");
        row("differs only in case", "mario", "x", "User");
        row("empty level", "Anna", "x", "");
        row("unknown level", "Anna", "x", "Ospite");
        row("euro sign", "Caffè Roma", "5€", "Guest");
        row("comma", "Rossi, Anna", "x", "User", refused);
        row("past 255 when scrambled", "Anna", "xÿ", "User", refused);
        row("not in the code page", "Ωmega", "x", "User", refused);
    }
    void add() {
        QFETCH(QString, name);
        QFETCH(QString, password);
        QFETCH(QString, level);
        QFETCH(QString, message);
        QVERIFY(users::write(m_folder->path(), staff));
        confaccount window;
        platform::DialogScript script;
        window.List1->setCurrentRow(1);
        window.Command1->click();
        QCOMPARE(window.mode(), "nuovo");
        QVERIFY(!window.Frame2->isHidden());
        window.Text2->setText(name);
        window.Text3->setText(password);
        window.Combo1->setEditText(level);
        window.Command4->click();

        QList<User> expected = staff;
        if (message.isEmpty())
            expected.append({name, password, users::levelCode(level)});
        QCOMPARE(records(users::read(m_folder->path()).users), records(expected));
        QCOMPARE(script.messages(), message.isEmpty() ? QStringList() : QStringList{message});
        QCOMPARE(window.Frame2->isHidden(), message.isEmpty());
        QCOMPARE(window.List1->count(), expected.size());
        if (message.isEmpty()) {
            QCOMPARE(window.mode(), "");
            QCOMPARE(window.Text1->text(), "Mario");
            QVERIFY(!window.Command4->isEnabled());
        } else {
            QCOMPARE(script.shown().first().icon, platform::Icon::Critical);
        }
    }

    void limit_data() {
        QTest::addColumn<int>("count");
        QTest::addColumn<QStringList>("messages");
        QTest::newRow("1000") << 1000 << QStringList{};
        QTest::newRow("1001") << 1001 << QStringList{"Numero massimo di utenti raggiunto"};
    }
    void limit() {
        QFETCH(int, count);
        QFETCH(QStringList, messages);
        QVERIFY(users::write(m_folder->path(), many(count)));
        confaccount window;
        QCOMPARE(window.List1->count(), count);
        window.List1->setCurrentRow(count - 1);
        QCOMPARE(window.Text1->text(), many(count).last().name);
        platform::DialogScript script;
        window.Command1_Click();
        QCOMPARE(script.messages(), messages);
        QCOMPARE(window.Frame2->isHidden(), !messages.isEmpty());
    }

    void modify_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("password");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("password only, guest kept")
            << "Lucia"
            << "nuova" << QStringList{"Mario,m1,1", "Lucia,nuova,4", "Paolo,p1,3"};
        QTest::newRow("into another user's name")
            << "Mario"
            << "l1" << QStringList{"Mario,m1,1", "Mario,l1,4", "Paolo,p1,3"};
    }
    void modify() {
        QFETCH(QString, name);
        QFETCH(QString, password);
        QVERIFY(users::write(m_folder->path(), staff));
        confaccount window;
        platform::DialogScript script;
        window.List1->setCurrentRow(1);
        window.Command2->click();
        QCOMPARE(window.Combo1->currentText(), "Guest");
        window.Text2->setText(name);
        window.Text3->setText(password);
        window.Command4->click();
        QTEST(records(users::read(m_folder->path()).users), "expected");
        QVERIFY(script.shown().isEmpty());
        QVERIFY(window.Frame2->isHidden());
    }

    void remove_data() {
        QTest::addColumn<QString>("current");
        QTest::addColumn<int>("row");
        QTest::addColumn<bool>("confirm");
        QTest::addColumn<bool>("deleted");
        QTest::addColumn<QString>("refusal");
        const QString refused = "Impossibile Cancellare l'utente corrente";
        QTest::newRow("confirmed") << "Mario" << 1 << true << true << "";
        QTest::newRow("cancelled") << "Mario" << 1 << false << false << "";
        QTest::newRow("current user") << "Mario" << 0 << true << false << refused;
        QTest::newRow("nobody logged in, named user") << "" << 1 << true << true << "";
        QTest::newRow("nobody logged in, empty name") << "" << 3 << true << true << "";
    }
    void remove() {
        QFETCH(QString, current);
        QFETCH(int, row);
        QFETCH(bool, confirm);
        QFETCH(bool, deleted);
        QFETCH(QString, refusal);
        const QList<User> file = staff + QList<User>{{"", "vuoto", "3"}};
        QVERIFY(users::write(m_folder->path(), file));
        appState().utenteCorrente = current;
        confaccount window;
        window.List1->setCurrentRow(row);
        platform::DialogScript script;
        script.answer(confirm ? platform::Answer::Ok : platform::Answer::Cancel);
        window.Command3->click();

        QCOMPARE(script.shown().first().text, "Cancellare l'utente " + file[row].name);
        QCOMPARE(script.shown().first().buttons, platform::Buttons::OkCancel);
        QCOMPARE(script.messages().value(1), refusal);
        QList<User> expected = file;
        if (deleted)
            expected.removeAt(row);
        QCOMPARE(records(users::read(m_folder->path()).users), records(expected));
        QCOMPARE(window.List1->count(), expected.size());
        QCOMPARE(window.Text1->text(), deleted ? "Mario" : file[row].name);
        QCOMPARE(window.mode(), "cancella");
    }

    void emptyList() {
        QVERIFY(users::write(m_folder->path(), {}));
        confaccount window;
        platform::DialogScript script;
        window.Command3_Click();
        QVERIFY(script.shown().isEmpty());
        window.Command2_Click();
        QCOMPARE(script.messages(), QStringList{"Nessun Utente Configurato"});
        QVERIFY(window.Frame2->isHidden());
    }

    void okEnabling_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("password");
        QTest::addColumn<QString>("level"); // "erase": text deleted; "erase, pick": then picked
        QTest::addColumn<bool>("enabled");
        const auto row = [](const char* tag, const QString& name, const QString& password,
                            const QString& level, bool enabled) {
            QTest::newRow(tag) << name << password << level << enabled;
        };
        row("name only", "Anna", "", "", false);
        row("password only", "", "x", "", false);
        row("both", "Anna", "x", "", true);
        row("level erased", "Anna", "x", "erase", false);
        row("level erased, then picked", "Anna", "x", "erase, pick", true);
    }
    void okEnabling() {
        QFETCH(QString, name);
        QFETCH(QString, password);
        QFETCH(QString, level);
        QVERIFY(users::write(m_folder->path(), staff));
        confaccount window;
        window.Command1_Click();
        window.Text2->setText(name);
        window.Text3->setText(password);
        if (level.startsWith("erase")) {
            window.Combo1->lineEdit()->setText("Guest");
            window.Combo1->lineEdit()->selectAll();
            QTest::keyClick(window.Combo1->lineEdit(), Qt::Key_Backspace);
        }
        if (level.endsWith("pick"))
            QTest::keyClick(window.Combo1, Qt::Key_Down);
        QTEST(window.Command4->isEnabled(), "enabled");
    }

    void unreadableFile_data() {
        QTest::addColumn<QByteArray>("extra"); // bytes after a good line; "folder": a folder
        QTest::addColumn<QString>("message");
        QTest::addColumn<platform::Icon>("icon");
        QTest::addColumn<int>("listed");
        QTest::newRow("missing") << QByteArray("missing")
                                 << "Nessun utente configurato: il file degli utenti non esiste "
                                    "ancora."
                                 << platform::Icon::Information << 0;
        QTest::newRow("folder") << QByteArray("folder")
                                << "Impossibile leggere il file degli utenti tempaccesso."
                                << platform::Icon::Critical << 0;
        QTest::newRow("two bad lines")
            << QByteArray("\x01\x01\r\n\x02\x01\r\n")
            << "2 righe del file degli utenti sono illeggibili: non compaiono nell'elenco e "
               "saranno tolte al prossimo salvataggio."
            << platform::Icon::Exclamation << 1;
    }
    void unreadableFile() {
        QFETCH(QByteArray, extra);
        const QString path = users::filePath(m_folder->path());
        if (extra == "folder") {
            QVERIFY(QDir().mkpath(path));
        } else if (extra != "missing") {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(users::lineOf(staff.first()).value() + "\r\n" + extra);
        }
        platform::DialogScript script;
        confaccount window;
        QCOMPARE(script.shown().size(), 1);
        QTEST(script.shown().first().text, "message");
        QTEST(script.shown().first().icon, "icon");
        QTEST(int(window.List1->count()), "listed");
    }

    void failedWrite_data() {
        QTest::addColumn<bool>("adding"); // else deleting
        QTest::newRow("add") << true;
        QTest::newRow("delete") << false;
    }
    void failedWrite() {
        QFETCH(bool, adding);
        QVERIFY(users::write(m_folder->path(), staff));
        confaccount window;
        const QString path = users::filePath(m_folder->path());
        QVERIFY(QFile::remove(path));
        QVERIFY(QDir().mkpath(path));
        platform::DialogScript script;
        script.answer(platform::Answer::Ok);
        window.List1->setCurrentRow(1);
        if (adding) {
            window.Command1_Click();
            window.Text2->setText("Anna");
            window.Text3->setText("x");
            window.Command4->click();
        } else {
            window.Command3_Click();
        }
        QCOMPARE(script.messages().last(), "Impossibile salvare il file degli utenti tempaccesso.");
        QCOMPARE(window.List1->count(), staff.size());
        QCOMPARE(window.Text1->text(), "Lucia");
        QCOMPARE(window.Frame2->isHidden(), !adding);
        QCOMPARE(window.mode(), adding ? "nuovo" : "cancella");
    }
};

QTEST_MAIN(tst_confaccount)
#include "tst_confaccount.moc"
