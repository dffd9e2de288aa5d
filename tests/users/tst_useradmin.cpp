// The user administration window: listing, adding, changing and deleting users in the user
// file, the records it refuses, and files it cannot read or write.
#include "core/session.h"
#include "platform/dialogs.h"
#include "support/controls.h"
#include "support/foldertest.h"
#include "users/useradminwindow.h"
#include "users/userfile.h"

#include <QComboBox>
#include <QGroupBox>
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
    QStringList after = records(staff);           // the records afterwards
    int row = 1;                                  // the row selected
    bool confirm = true;                          // the answer to the deletion question
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

    // Unreadable lines are left out of the list, and the user is told they will be lost.
    void damagedFile() {
        writeBytes(users::filePath(m_folder->path()),
                   users::lineOf(staff[0]).value() + "\r\n\x01\x01\r\n\x02\x01\r\n");
        platform::DialogScript script;
        UserAdminWindow window(session());
        QCOMPARE(control<QListWidget>(&window, "List1")->count(), 1);
        QCOMPARE(script.messages(),
                 QStringList{"2 righe del file degli utenti sono illeggibili: non compaiono "
                             "nell'elenco e saranno tolte al prossimo salvataggio."});
    }

    // One press of new, modify or delete on a row, what is typed in the frame and pressed OK
    // on, and the file afterwards.
    void commands_data() {
        QTest::addColumn<Case>("c");
        const auto add = [](const char* tag, const Case& c) {
            QTest::newRow(tag) << c;
        };
        const QStringList kept = records(staff);
        add("new user",
            {New, "Anna", "segreta", "Power User", {}, kept + QStringList{"Anna,segreta,2"}});
        add("exact duplicate", {New, "Mario", "x", "User", "Utente Esistente"});
        add("comma in the name", {New, "Rossi, Anna", "x", "User",
                                  "Carattere non consentito in Nome Utente o Password"});
        const QString full = "Numero massimo di utenti raggiunto";
        const QStringList added = records(many(1000)) + QStringList{"Anna,x,3"};
        add("1000 users", {New, "Anna", "x", "User", {}, added, 1, true, many(1000)});
        add("1001 users",
            {New, "Anna", "x", "User", full, records(many(1001)), 1, true, many(1001)});
        add("modify the password only, guest kept",
            {Modify, "Lucia", "nuova", "Guest", {}, {"Mario,m1,1", "Lucia,nuova,4", "Paolo,p1,3"}});
        const QString question = "Cancellare l'utente Lucia";
        add("delete",
            {.action = Delete, .message = question, .after = {"Mario,m1,1", "Paolo,p1,3"}});
        add("delete cancelled", {.action = Delete, .message = question, .confirm = false});
        add("delete the current user",
            {.action = Delete, .message = "Impossibile Cancellare l'utente corrente", .row = 0});
        const QString unwritable = "Impossibile salvare il file degli utenti tempaccesso.";
        add("new, file unwritable",
            {New, "Anna", "x", "User", unwritable, kept, 1, true, staff, true});
        add("delete, file unwritable",
            {.action = Delete, .message = unwritable, .unwritable = true});
    }
    void commands() {
        QFETCH(Case, c);
        QVERIFY(users::write(m_folder->path(), c.file));
        session().currentUser = "Mario";
        UserAdminWindow window(session());
        if (c.unwritable) {
            const QString path = users::filePath(m_folder->path());
            QVERIFY(QFile::remove(path) && QDir().mkpath(path));
        }
        platform::DialogScript script;
        script.answer(c.confirm ? platform::Answer::Ok : platform::Answer::Cancel);
        control<QListWidget>(&window, "List1")->setCurrentRow(c.row);
        // Command1 to Command3: new, modify, delete.
        control<QPushButton>(&window, qPrintable("Command" + QString::number(c.action + 1)))
            ->click();
        if (c.action != Delete && !control<QGroupBox>(&window, "Frame2")->isHidden()) {
            control<QLineEdit>(&window, "Text2")->setText(c.name);
            control<QLineEdit>(&window, "Text3")->setText(c.password);
            control<QComboBox>(&window, "Combo1")->setEditText(c.level);
            control<QPushButton>(&window, "Command4")->click();
        }

        QCOMPARE(script.messages().value(script.messages().size() - 1), c.message);
        if (!c.unwritable)
            QCOMPARE(records(users::read(m_folder->path()).users), c.after);
        QCOMPARE(control<QListWidget>(&window, "List1")->count(), c.after.size());
    }
};

QTEST_MAIN(tst_useradmin)
#include "tst_useradmin.moc"
