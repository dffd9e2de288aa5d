// The user administration window: listing, adding, changing and deleting users in the user
// file, the records it refuses, and files it cannot read or write.
#include "app/session.h"
#include "platform/dialogs.h"
#include "support/controls.h"
#include "support/foldertest.h"
#include "users/useradminwindow.h"
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

enum Action { New, Modify, Delete };

struct Case {
    Action action;
    QString name = {}, password = {}, level = {}; // typed in the frame
    QString message = {};                         // the last one shown
    QStringList after = {};                       // the records afterwards
    bool frameStays = false;                      // the frame stays open
    int row = 1;                                  // the row selected
    bool confirm = true;                          // the answer to the deletion question
    QString current = "Mario";                    // the user logged in
    QList<User> file = staff;
    bool unwritable = false; // the file turns into a folder once the window is open
};

} // namespace

Q_DECLARE_METATYPE(Case)

class tst_useradmin : public QObject, private FolderTest {
    Q_OBJECT
private slots:
    void init() { newFolder(); }
    void cleanup() { dropFolder(); }

    // What the window shows of the file when it opens: the first user, and what it tells of a
    // file it cannot read whole.
    void load_data() {
        QTest::addColumn<QByteArray>("file");   // "missing": none; "folder": a folder
        QTest::addColumn<QStringList>("shown"); // first user, password, level label, level box
        QTest::addColumn<int>("listed");
        QTest::addColumn<QString>("message");
        QTest::addColumn<platform::Icon>("icon");
        const auto file = [](const QList<User>& list) {
            QByteArray bytes;
            for (const User& user : list)
                bytes += users::lineOf(user).value() + "\r\n";
            return bytes;
        };
        QTest::newRow("no level: level left as it was")
            << file({{"Anna", "a", ""}, {"Mario", "m", "1"}})
            << QStringList{"Anna", "a", "", "Administrator"} << 2 << QString()
            << platform::Icon::None;
        QTest::newRow("two bad lines")
            << file(staff.mid(0, 1)) + "\x01\x01\r\n\x02\x01\r\n"
            << QStringList{"Mario", "m1", " Administrator", "Administrator"} << 1
            << "2 righe del file degli utenti sono illeggibili: non compaiono nell'elenco e "
               "saranno tolte al prossimo salvataggio."
            << platform::Icon::Exclamation;
        QTest::newRow("missing")
            << QByteArray("missing") << QStringList{"", "", "", "Administrator"} << 0
            << "Nessun utente configurato: il file degli utenti non esiste ancora."
            << platform::Icon::Information;
        QTest::newRow("folder") << QByteArray("folder") << QStringList{"", "", "", "Administrator"}
                                << 0 << "Impossibile leggere il file degli utenti tempaccesso."
                                << platform::Icon::Critical;
    }
    void load() {
        QFETCH(QByteArray, file);
        QFETCH(QString, message);
        const QString path = users::filePath(m_folder->path());
        if (file == "folder")
            QVERIFY(QDir().mkpath(path));
        else if (file != "missing")
            writeBytes(path, file);
        platform::DialogScript script;
        UserAdminWindow window(session());
        QTEST(QStringList({control<QLineEdit>(&window, "Text1")->text(),
                           control<QLineEdit>(&window, "Text3")->text(),
                           control<QLabel>(&window, "Label3")->text(),
                           control<QComboBox>(&window, "Combo1")->currentText()}),
              "shown");
        QTEST(int(control<QListWidget>(&window, "List1")->count()), "listed");
        QVERIFY(!control<QPushButton>(&window, "Command4")->isEnabled() &&
                control<QGroupBox>(&window, "Frame2")->isHidden());
        QCOMPARE(script.messages(), message.isEmpty() ? QStringList{} : QStringList{message});
        if (!message.isEmpty())
            QTEST(script.shown().first().icon, "icon");
    }

    // One press of new, modify or delete on a row, what is typed in the frame and pressed OK
    // on, and the file afterwards.
    void commands_data() {
        QTest::addColumn<Case>("c");
        const auto add = [](const char* tag, const Case& c) {
            QTest::newRow(tag) << c;
        };
        const QString refused = "Carattere non consentito in Nome Utente o Password";
        const QStringList kept = records(staff);
        const auto plus = [&](const QString& record) {
            return kept + QStringList{record};
        };
        add("new user", {New, "Anna", "segreta", "Power User", {}, plus("Anna,segreta,2")});
        add("exact duplicate", {New, "Mario", "x", "User", "Utente Esistente", kept, true});
        add("differs only in case", {New, "mario", "x", "User", {}, plus("mario,x,3")});
        add("unknown level", {New, "Anna", "x", "Ospite", {}, plus("Anna,x,")});
        add("comma in the name", {New, "Rossi, Anna", "x", "User", refused, kept, true});
        const QStringList full = records(many(1000)) + QStringList{"Anna,x,3"};
        add("1000 users",
            {New, "Anna", "x", "User", {}, full, false, 1, true, "Mario", many(1000)});
        add("1001 users", {New, "Anna", "x", "User", "Numero massimo di utenti raggiunto",
                           records(many(1001)), false, 1, true, "Mario", many(1001)});
        add("modify the password only, guest kept",
            {Modify, "Lucia", "nuova", "Guest", {}, {"Mario,m1,1", "Lucia,nuova,4", "Paolo,p1,3"}});
        add("modify into another user's name",
            {Modify, "Mario", "l1", "Guest", {}, {"Mario,m1,1", "Mario,l1,4", "Paolo,p1,3"}});
        add("modify, no user",
            {Modify, {}, {}, {}, "Nessun Utente Configurato", {}, false, 1, true, "Mario", {}});
        add("delete, none there", {Delete, {}, {}, {}, {}, {}, false, 1, true, "Mario", {}});
        const QString question = "Cancellare l'utente Lucia";
        add("delete", {Delete, {}, {}, {}, question, {"Mario,m1,1", "Paolo,p1,3"}});
        add("delete cancelled", {Delete, {}, {}, {}, question, kept, false, 1, false});
        add("delete the current user",
            {Delete, {}, {}, {}, "Impossibile Cancellare l'utente corrente", kept, false, 0});
        const QList<User> withEmpty = staff + QList<User>{{"", "vuoto", "3"}};
        add("delete the empty name, nobody logged in",
            {Delete, {}, {}, {}, "Cancellare l'utente ", kept, false, 3, true, "", withEmpty});
        const QString unwritable = "Impossibile salvare il file degli utenti tempaccesso.";
        add("new, file unwritable",
            {New, "Anna", "x", "User", unwritable, kept, true, 1, true, "Mario", staff, true});
        add("delete, file unwritable",
            {Delete, {}, {}, {}, unwritable, kept, false, 1, true, "Mario", staff, true});
    }
    void commands() {
        QFETCH(Case, c);
        QVERIFY(users::write(m_folder->path(), c.file));
        session().currentUser = c.current;
        UserAdminWindow window(session());
        if (c.unwritable) {
            const QString path = users::filePath(m_folder->path());
            QVERIFY(QFile::remove(path) && QDir().mkpath(path));
        }
        platform::DialogScript script;
        script.answer(c.confirm ? platform::Answer::Ok : platform::Answer::Cancel);
        control<QListWidget>(&window, "List1")->setCurrentRow(c.row);
        const QString selected = control<QLineEdit>(&window, "Text1")->text();
        control<QPushButton>(&window, c.action == New      ? "Command1"
                                      : c.action == Modify ? "Command2"
                                                           : "Command3")
            ->click();
        if (c.action != Delete && !control<QGroupBox>(&window, "Frame2")->isHidden()) {
            control<QLineEdit>(&window, "Text2")->setText(c.name);
            control<QLineEdit>(&window, "Text3")->setText(c.password);
            control<QComboBox>(&window, "Combo1")->setEditText(c.level);
            control<QPushButton>(&window, "Command4")->click();
        }

        if (c.action == Delete && !c.file.isEmpty()) {
            QCOMPARE(script.shown().first().text, "Cancellare l'utente " + selected);
            QCOMPARE(script.shown().first().buttons, platform::Buttons::OkCancel);
        }
        QCOMPARE(script.messages().value(script.messages().size() - 1), c.message);
        if (!c.message.isEmpty() && !c.message.startsWith("Cancellare"))
            QCOMPARE(script.shown().last().icon, platform::Icon::Critical);
        if (!c.unwritable)
            QCOMPARE(records(users::read(m_folder->path()).users), c.after);
        QCOMPARE(control<QListWidget>(&window, "List1")->count(), c.after.size());
        QCOMPARE(control<QLineEdit>(&window, "Text1")->text(),
                 c.after == records(c.file) ? selected : c.file[0].name);
        QCOMPARE(control<QGroupBox>(&window, "Frame2")->isHidden(), !c.frameStays);
    }

    // OK needs a name, a password and a level.
    void okEnabling() {
        QVERIFY(users::write(m_folder->path(), staff));
        UserAdminWindow window(session());
        window.newUser();
        control<QLineEdit>(&window, "Text2")->setText("Anna");
        QVERIFY(!control<QPushButton>(&window, "Command4")->isEnabled());
        control<QLineEdit>(&window, "Text3")->setText("x");
        QVERIFY(control<QPushButton>(&window, "Command4")->isEnabled());
        control<QComboBox>(&window, "Combo1")->lineEdit()->setText("Guest");
        control<QComboBox>(&window, "Combo1")->lineEdit()->selectAll();
        QTest::keyClick(control<QComboBox>(&window, "Combo1")->lineEdit(), Qt::Key_Backspace);
        QVERIFY(!control<QPushButton>(&window, "Command4")->isEnabled());
        QTest::keyClick(control<QComboBox>(&window, "Combo1"), Qt::Key_Down);
        QVERIFY(control<QPushButton>(&window, "Command4")->isEnabled());
    }
};

QTEST_MAIN(tst_useradmin)
#include "tst_useradmin.moc"
