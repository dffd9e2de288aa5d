// The address-book window: creating, deleting and renaming keep the row of elenco, the file in
// rubriche and the list in step, also when a step fails; closing rebuilds the archive tree.
#include "app/mainwindow.h"
#include "contacts/addressbooks.h"
#include "contacts/addressbookwindow.h"
#include "contacts/contactstore.h"
#include "core/session.h"
#include "platform/dialogs.h"
#include "support/controls.h"
#include "support/foldertest.h"
#include "support/shownwindow.h"

#include <QListWidget>
#include <QTreeWidget>
#include <QtTest>

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace {

const QStringList books = {"Principale", "Clienti", "Società"};

// Root writes past permissions, not past the immutable flag. False where the file system
// has no such flag.
bool setImmutable(const QString& folder, bool on) {
    const int fd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY);
    int flags = 0;
    bool done = fd >= 0 && ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
    flags = on ? flags | FS_IMMUTABLE_FL : flags & ~FS_IMMUTABLE_FL;
    done = done && ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
    if (fd >= 0)
        ::close(fd);
    return done;
}

enum Command { Create, Delete, Rename };
enum Sabotage { None, FileAtTarget, ElencoRefuses, ReadOnlyFolder };

// One press of the new, delete or rename button on the selected name, what the user answers,
// the last message shown, and the books afterwards (the list's order when it differs).
struct Case {
    Command command;
    QString selected = {};
    QString typed = {};   // null: the input box is cancelled
    QString message = {}; // ending in ": ", the start of it; empty: no message at all
    QStringList inElenco = books;
    QStringList listed = {};
    Sabotage sabotage = None;
    bool confirm = true; // the answer to the deletion question
    int node = 0;        // the tree node clicked first, counted from the top
};

} // namespace

Q_DECLARE_METATYPE(Case)

class tst_addressbooks : public QObject, private FolderTest {
    Q_OBJECT
private slots:
    void init() {
        newFolder(books);
        testdata::addContact(*m_folder->book("Clienti"), "Anna", "Bianchi", "3331000001", "");
    }
    void cleanup() {
        unlockFolder(); // also after a failed check
        m_window.reset();
        dropFolder();
    }

    // A refusal or a failing step changes no row, no file and no entry of the list.
    void commands_data() {
        QTest::addColumn<Case>("c");
        const auto add = [](const char* tag, const Case& c) {
            QTest::newRow(tag) << c;
        };
        const QString x100(100, u'x'), invalid = "Nome di rubrica non valido",
                                       taken = "Rubrica Esistente",
                                       question = "Cancellare la Rubrica: Clienti?";
        const QString cl = "Clienti", D = "D'Angelo & Figlià";
        add("create", {Create, {}, " " + D + " ", {}, books + QStringList{D}});
        add("create, 101 characters", {Create, {}, x100 + 'x', invalid});
        add("create, accented other case", {Create, {}, "SOCIETÀ", taken});
        add("delete", {Delete, cl, {}, question, {"Principale", "Società"}});
        add("delete cancelled", {Delete, cl, {}, question, books, {}, None, false});
        add("delete Principale",
            {Delete, "Principale", {}, "Impossibile eliminare la rubrica Principale"});
        const QStringList renamed = {"Principale", "Nuova", "Società"};
        add("rename", {Rename, cl, " Nuova ", {}, renamed, {"Principale", "Società", "Nuova"}});
        add("rename Principale",
            {Rename, "Principale", "Altro", "Impossibile modificare la rubrica Principale"});
        const QString create = "Impossibile creare la rubrica: ",
                      rename = "Impossibile modificare la rubrica: ",
                      remove = "Impossibile eliminare la rubrica: ",
                      inUse = "Impossibile modificare la rubrica in uso",
                      fileInUse = "Impossibile modificare il Nome la Rubrica è in uso";
        add("rename, its contacts listed", {Rename, cl, "Altro", inUse, books, {}, None, true, 3});
        // Failing steps.
        add("create, stray file", {Create, {}, "Nuova", create, books, {}, FileAtTarget});
        add("create, elenco refuses", {Create, {}, "Nuova", create, books, {}, ElencoRefuses});
        add("rename, stray file", {Rename, cl, "Nuova", rename, books, {}, FileAtTarget});
        add("rename, elenco refuses", {Rename, cl, "Nuova", rename, books, {}, ElencoRefuses});
        add("rename, read-only", {Rename, cl, "Nuova", fileInUse, books, {}, ReadOnlyFolder});
        add("delete, elenco refuses", {Delete, cl, {}, remove, books, {}, ElencoRefuses});
        add("delete, read-only folder", {Delete, cl, {}, remove, books, {}, ReadOnlyFolder});
    }
    void commands() {
        QFETCH(Case, c);
        const QStringList stray = c.sabotage == FileAtTarget ? QStringList{"Nuova"} : QStringList{};
        m_window = std::make_unique<MainWindow>(session());
        m_window->load();
        m_window->selectNode(c.node ? c.node : 2); // else the first book, Principale
        m_window->onTreeNodeClicked();
        if (c.sabotage == FileAtTarget)
            m_folder->write("rubriche/Nuova", {"dati"});
        if (c.sabotage == ElencoRefuses) // as on a full disk
            rawSql(store::archive::elencoPath(m_folder->path()),
                   "CREATE TRIGGER a BEFORE INSERT ON elenco BEGIN SELECT RAISE(ABORT, 'x'); END;"
                   "CREATE TRIGGER b BEFORE UPDATE ON elenco BEGIN SELECT RAISE(ABORT, 'x'); END;"
                   "CREATE TRIGGER c BEFORE DELETE ON elenco BEGIN SELECT RAISE(ABORT, 'x'); END;");
        if (c.sabotage == ReadOnlyFolder) {
            QVERIFY(QFile::setPermissions(rubriche(), QFile::ReadOwner | QFile::ExeOwner));
            if (geteuid() == 0 && !setImmutable(rubriche(), true))
                QSKIP("root writes into read-only folders");
        }
        AddressBookWindow window(session(), m_window->listedBook(), m_window.get());
        // As the main window wires it: closing the window rebuilds the tree.
        connect(&window, &AddressBookWindow::addressBooksChanged, m_window.get(),
                &MainWindow::rebuildTree);
        auto* list = control<QListWidget>(&window, "List1");
        if (!c.selected.isEmpty())
            list->setCurrentItem(list->findItems(c.selected, Qt::MatchExactly).value(0));
        platform::DialogScript script;
        script.answerText(c.typed.isNull() ? std::nullopt : std::optional<QString>(c.typed));
        script.answer(c.confirm ? platform::Answer::Ok : platform::Answer::Cancel);
        c.command == Create   ? window.createAddressBook()
        : c.command == Delete ? window.deleteAddressBook()
                              : window.renameAddressBook();
        unlockFolder();

        const QString last = script.messages().value(script.messages().size() - 1);
        QVERIFY2(c.message.endsWith(": ") ? last.startsWith(c.message) : last == c.message,
                 qPrintable(last));
        QCOMPARE(rows(), c.inElenco);
        QCOMPARE(texts(list->model()), c.listed.isEmpty() ? c.inElenco : c.listed);
        QCOMPARE(files(), sortedList(c.inElenco + stray));
        if (c.inElenco.contains("Nuova"))
            QVERIFY(contacts::numberExists(*m_folder->book("Nuova"), "3331000001"));
        window.closeAddressBooks();
        QCOMPARE(treeBooks(m_window.get()), c.inElenco);
    }

    // A name the folder can hold as a file, at most 100 characters.
    void validNames() {
        QVERIFY(addressbooks::isValidName(QString(100, u'x')));
        for (const QString& bad : {QString(101, u'x'), QString("   "), QString("a/b"),
                                   QString("a\\b"), QString("a\tb"), QString("..")})
            QVERIFY2(!addressbooks::isValidName(bad), qPrintable(bad));
    }

private:
    QString rubriche() const { return store::archive::addressBookDir(m_folder->path()); }
    void unlockFolder() {
        if (geteuid() == 0)
            setImmutable(rubriche(), false);
        QFile::setPermissions(rubriche(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    // Every entry of the folder, hidden ones too, so a leftover temporary file shows.
    QStringList files() const {
        return sortedList(
            QDir(rubriche())
                .entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot));
    }
    QStringList rows() const {
        return tableRows(*store::Database::open(store::archive::elencoPath(m_folder->path())),
                         "elenco", {"Rubrica"});
    }

    std::unique_ptr<MainWindow> m_window;
};

QTEST_MAIN(tst_addressbooks)
#include "tst_addressbooks.moc"
