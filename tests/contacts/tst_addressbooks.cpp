// The address-book window: creating, deleting and renaming keep the row of elenco, the file in
// rubriche and the list in step, also when a step fails; closing rebuilds the archive tree.
#include "app/appstate.h"
#include "app/mdiform1.h"
#include "contacts/contactstore.h"
#include "contacts/form2.h"
#include "platform/dialogs.h"
#include "support/testfolder.h"

#include <QListWidget>
#include <QPushButton>
#include <QTreeWidget>
#include <QtTest>

#include <fcntl.h>
#include <linux/fs.h>
#include <sqlite3.h>
#include <sys/ioctl.h>
#include <unistd.h>

using platform::Icon;

namespace {

const QStringList books = {"Principale", "Clienti", "Società"};

QStringList entries(const QListWidget* list) {
    QStringList out;
    for (int i = 0; i < list->count(); ++i)
        out << list->item(i)->text();
    return out;
}

void select(Form2& window, const QString& name) {
    if (!name.isEmpty())
        window.List1->setCurrentItem(window.List1->findItems(name, Qt::MatchExactly).value(0));
}

void answerTyped(platform::DialogScript& script, bool cancel, const QString& typed) {
    script.answerText(cancel ? std::nullopt : std::optional<QString>(typed));
}

// Any later write to elenco fails, as on a full disk.
void refuseElencoWrites(const QString& path) {
    sqlite3* db = nullptr;
    QCOMPARE(sqlite3_open(path.toUtf8().constData(), &db), SQLITE_OK);
    const char* sql =
        "CREATE TRIGGER a BEFORE INSERT ON elenco BEGIN SELECT RAISE(ABORT, 'pieno'); END;"
        "CREATE TRIGGER b BEFORE UPDATE ON elenco BEGIN SELECT RAISE(ABORT, 'pieno'); END;"
        "CREATE TRIGGER c BEFORE DELETE ON elenco BEGIN SELECT RAISE(ABORT, 'pieno'); END;";
    const int rc = sqlite3_exec(db, sql, nullptr, nullptr, nullptr);
    sqlite3_close(db);
    QCOMPARE(rc, SQLITE_OK);
}

// Root writes past permissions, not past the immutable flag. False where the file system
// has no such flag.
bool setImmutable(const QString& folder, bool on) {
    const int fd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY);
    if (fd < 0)
        return false;
    int flags = 0;
    bool done = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
    if (done) {
        flags = on ? flags | FS_IMMUTABLE_FL : flags & ~FS_IMMUTABLE_FL;
        done = ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
    }
    ::close(fd);
    return done;
}

enum Sabotage { MissingTemplate, FolderAtTarget, FileAtTarget, ElencoRefuses, ReadOnlyFolder };

} // namespace

class tst_addressbooks : public QObject {
    Q_OBJECT
private slots:
    void init() {
        m_folder = std::make_unique<TestFolder>(books);
        appState() = AppState{};
        appState().appFolder = m_folder->path();
    }
    void cleanup() {
        if (geteuid() == 0) // also after a failed check
            setImmutable(rubriche(), false);
        QFile::setPermissions(rubriche(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        m_window.reset();
        appState() = AppState{};
        m_folder.reset();
    }

    void create_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("cancel");
        QTest::addColumn<QString>("created");
        QTest::addColumn<QString>("message");
        const QString ok, bad = "Nome di rubrica non valido", taken = "Rubrica Esistente";
        const QString x100(100, u'x');
        QTest::newRow("plain") << "Fornitori" << false << "Fornitori" << ok;
        QTest::newRow("apostrophe") << "D'Angelo" << false << "D'Angelo" << ok;
        QTest::newRow("accents") << "Caffè Più" << false << "Caffè Più" << ok;
        QTest::newRow("blanks trimmed") << "  Agenti " << false << "Agenti" << ok;
        QTest::newRow("100 characters") << x100 << false << x100 << ok;
        QTest::newRow("other case") << "CLIENTI" << false << ok << taken;
        QTest::newRow("accented other case") << "SOCIETÀ" << false << ok << taken;
        QTest::newRow("cancelled") << ok << true << ok << ok;
        QTest::newRow("empty") << ok << false << ok << bad;
        QTest::newRow("blank") << "   " << false << ok << bad;
        QTest::newRow("slash") << "a/b" << false << ok << bad;
        QTest::newRow("backslash") << "a\\b" << false << ok << bad;
        QTest::newRow("tab") << "a\tb" << false << ok << bad;
        QTest::newRow("dot") << "." << false << ok << bad;
        QTest::newRow("dot dot") << ".." << false << ok << bad;
        QTest::newRow("101 characters") << x100 + u'x' << false << ok << bad;
    }
    void create() {
        QFETCH(QString, typed);
        QFETCH(bool, cancel);
        QFETCH(QString, created);
        QFETCH(QString, message);
        Form2 window;
        platform::DialogScript script;
        answerTyped(script, cancel, typed);
        window.Command1_Click();

        QCOMPARE(script.shown().first().text, "Inserisci il nome della Nuova Rubrica");
        QCOMPARE(script.shown().first().title, "Nuova Rubrica");
        QCOMPARE(script.messages(), message.isEmpty() ? QStringList{} : QStringList{message});
        if (!message.isEmpty()) {
            QCOMPARE(script.shown().last().icon, Icon::Critical);
            QCOMPARE(script.shown().last().title, "Errore");
        }
        const QStringList expected = created.isEmpty() ? books : books + QStringList{created};
        QCOMPARE(rows(), expected);
        QCOMPARE(entries(window.List1), expected);
        QCOMPARE(files(), sorted(expected));
    }

    void buttonsFollowList() {
        m_folder = std::make_unique<TestFolder>(QStringList{});
        appState().appFolder = m_folder->path();
        Form2 window;
        QVERIFY(!window.Command2->isEnabled() && !window.Command3->isEnabled());
        platform::DialogScript script;
        script.answerText("Prima").answer(platform::Answer::Ok);
        window.Command1_Click();
        QVERIFY(window.Command2->isEnabled() && window.Command3->isEnabled());
        select(window, "Prima");
        window.Command2_Click();
        QVERIFY(!window.Command2->isEnabled() && !window.Command3->isEnabled());
        QCOMPARE(rows(), QStringList{});
        QCOMPARE(files(), QStringList{});
    }

    // Refusals and cancellations change nothing. The browser lists "Principale" unless a node
    // of the tree is clicked.
    void refusals_data() {
        QTest::addColumn<bool>("rename");
        QTest::addColumn<QString>("selected");
        QTest::addColumn<QString>("clicked");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("message");
        QTest::addColumn<Icon>("icon");
        QTest::addColumn<QString>("title");
        const QString ok, none = "Selezionare una delle Rubriche in elenco";
        const QString taken = "Rubrica Esistente",
                      inUse = "Impossibile modificare la rubrica in uso";
        const QString principale = "Principale", clienti = "Clienti", other = "Altro";
        const QString error = "Errore", info = "Informazione";
        const Icon critical = Icon::Critical;
        QTest::newRow("delete Principale")
            << false << principale << ok << ok << "Impossibile eliminare la rubrica Principale"
            << critical << "Quillet";
        QTest::newRow("rename Principale")
            << true << principale << ok << other << "Impossibile modificare la rubrica Principale"
            << critical << info;
        QTest::newRow("delete, none selected")
            << false << ok << ok << ok << none << Icon::Exclamation << info;
        QTest::newRow("rename, none selected")
            << true << ok << ok << other << none << Icon::Exclamation << info;
        QTest::newRow("delete cancelled")
            << false << clienti << ok << ok << "Cancellare la Rubrica: Clienti?" << Icon::None
            << "Cancella Rubrica";
        QTest::newRow("rename cancelled") << true << clienti << ok << ok << ok << Icon::None << ok;
        QTest::newRow("rename to another in other case")
            << true << clienti << ok << "società" << taken << critical << error;
        QTest::newRow("rename to its own name")
            << true << clienti << ok << clienti << taken << critical << error;
        QTest::newRow("rename to an invalid name")
            << true << clienti << ok << "a/b"
            << "Nome di rubrica non valido" << critical << error;
        QTest::newRow("rename, its contacts listed")
            << true << clienti << "r2" << other << inUse << critical << error;
        QTest::newRow("rename, its sent messages listed")
            << true << clienti << "i2" << other << inUse << critical << error;
    }
    void refusals() {
        QFETCH(bool, rename);
        QFETCH(QString, selected);
        QFETCH(QString, clicked);
        QFETCH(QString, typed);
        QFETCH(QString, message);
        startMainWindow();
        if (!clicked.isEmpty())
            clickNode(clicked);
        Form2 window(m_window.get());
        select(window, selected);
        platform::DialogScript script; // the deletion question gets Cancel
        answerTyped(script, typed.isNull(), typed);
        rename ? window.Command3_Click() : window.Command2_Click();

        QCOMPARE(script.messages(), message.isEmpty() ? QStringList{} : QStringList{message});
        if (!message.isEmpty()) {
            QTEST(script.shown().last().icon, "icon");
            QTEST(script.shown().last().title, "title");
        }
        QCOMPARE(rows(), books);
        QCOMPARE(entries(window.List1), books);
        QCOMPARE(files(), sorted(books));
    }

    void deleteRemovesRowAndFile() {
        Form2 window;
        select(window, "Clienti");
        appState().corrente.open(store::archive::addressBookPath(m_folder->path(), "Clienti"));
        platform::DialogScript script;
        script.answer(platform::Answer::Ok);
        window.Command2_Click();

        QCOMPARE(script.shown().size(), 1);
        QCOMPARE(script.shown().first().buttons, platform::Buttons::OkCancel);
        const QStringList left = {"Principale", "Società"};
        QCOMPARE(rows(), left);
        QCOMPARE(entries(window.List1), left);
        QCOMPARE(files(), left);
    }

    void renameMovesFileAndRow_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("renamed");
        const QString plain = "Clienti 2025";
        QTest::newRow("plain") << plain << plain;
        QTest::newRow("apostrophe, accent, blanks")
            << QString(" D'Angelo & Figlià ") << QString("D'Angelo & Figlià");
    }
    void renameMovesFileAndRow() {
        QFETCH(QString, typed);
        QFETCH(QString, renamed);
        seed::addContact(*m_folder->book("Clienti"), "Anna", "Bianchi", "3331000001", "");
        startMainWindow();
        Form2 window(m_window.get());
        select(window, "Clienti");
        platform::DialogScript script;
        script.answerText(typed);
        window.Command3_Click();

        QCOMPARE(script.shown().size(), 1);
        QCOMPARE(script.shown().first().text, "Nuovo Nome Rubrica");
        QCOMPARE(script.shown().first().title, "Modifica Rubrica");
        QCOMPARE(entries(window.List1), (QStringList{"Principale", "Società", renamed}));
        const QStringList inElenco = {"Principale", renamed, "Società"};
        QCOMPARE(rows(), inElenco);
        QCOMPARE(files(), sorted(inElenco));
        QVERIFY(contacts::numberExists(*m_folder->book(renamed), "3331000001"));

        window.Command4_Click();
        QCOMPARE(window.result(), int(QDialog::Rejected));
        QCOMPARE(treeBooks(), inElenco);
    }

    // A failing step leaves the rows, the files and the list as they were, and says why.
    void failureKeepsRowAndFile_data() {
        QTest::addColumn<int>("command");
        QTest::addColumn<QString>("selected");
        QTest::addColumn<int>("sabotage");
        QTest::addColumn<QString>("message");
        const QString create = "Impossibile creare la rubrica: ";
        const QString rename = "Impossibile modificare la rubrica: ";
        const QString remove = "Impossibile eliminare la rubrica: ";
        QTest::newRow("create, template missing") << 1 << "" << int(MissingTemplate) << create;
        QTest::newRow("create, a folder where the file goes")
            << 1 << "" << int(FolderAtTarget) << create;
        QTest::newRow("create, a stray file where the file goes")
            << 1 << "" << int(FileAtTarget) << create;
        QTest::newRow("create, elenco refuses the row") << 1 << "" << int(ElencoRefuses) << create;
        QTest::newRow("create, read-only folder") << 1 << "" << int(ReadOnlyFolder) << create;
        QTest::newRow("rename, a stray file where the file goes")
            << 3 << "Clienti" << int(FileAtTarget) << rename;
        QTest::newRow("rename, elenco refuses the change")
            << 3 << "Clienti" << int(ElencoRefuses) << rename;
        QTest::newRow("rename, read-only folder")
            << 3 << "Clienti" << int(ReadOnlyFolder)
            << "Impossibile modificare il Nome la Rubrica è in uso";
        QTest::newRow("delete, elenco refuses") << 2 << "Clienti" << int(ElencoRefuses) << remove;
        QTest::newRow("delete, read-only folder")
            << 2 << "Clienti" << int(ReadOnlyFolder) << remove;
    }
    void failureKeepsRowAndFile() {
        QFETCH(int, command);
        QFETCH(QString, selected);
        QFETCH(int, sabotage);
        QFETCH(QString, message);
        const QString target = store::archive::addressBookPath(m_folder->path(), "Nuova");
        switch (sabotage) {
        case MissingTemplate:
            QVERIFY(QFile::remove(store::archive::templatePath(m_folder->path())));
            break;
        case FolderAtTarget:
            QVERIFY(QDir().mkdir(target));
            break;
        case FileAtTarget:
            m_folder->write("rubriche/Nuova", {"dati"});
            break;
        case ElencoRefuses:
            refuseElencoWrites(store::archive::elencoPath(m_folder->path()));
            break;
        case ReadOnlyFolder:
            QVERIFY(QFile::setPermissions(rubriche(), QFile::ReadOwner | QFile::ExeOwner));
            if (geteuid() == 0 && !setImmutable(rubriche(), true))
                QSKIP("root writes into read-only folders");
            break;
        }
        const QStringList before = files();
        Form2 window;
        select(window, selected);
        platform::DialogScript script;
        script.answerText("Nuova").answer(platform::Answer::Ok);
        command == 1 ? window.Command1_Click()
                     : (command == 2 ? window.Command2_Click() : window.Command3_Click());
        if (sabotage == ReadOnlyFolder && geteuid() == 0)
            setImmutable(rubriche(), false);
        QFile::setPermissions(rubriche(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

        const QString shown = script.messages().value(script.messages().size() - 1);
        QVERIFY2(shown.startsWith(message), qPrintable(shown));
        QCOMPARE(script.shown().last().icon, Icon::Critical);
        // The refusal of a book in use speaks for the program; the others are errors.
        QCOMPARE(script.shown().last().title,
                 message.endsWith("in uso") ? QString("Quillet") : QString("Errore"));
        QCOMPARE(rows(), books);
        QCOMPARE(entries(window.List1), books);
        QCOMPARE(files(), before);
    }

private:
    QString rubriche() const { return store::archive::addressBookDir(m_folder->path()); }
    static QStringList sorted(QStringList names) {
        names.sort();
        return names;
    }
    // Every entry of the folder, hidden ones too, so a leftover temporary file shows.
    QStringList files() const {
        return sorted(
            QDir(rubriche())
                .entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot));
    }
    QStringList rows() const {
        auto elenco = store::Database::open(store::archive::elencoPath(m_folder->path()));
        QStringList out;
        for (auto rs = elenco->openRecordset("elenco"); !rs->isEof(); rs->MoveNext())
            out << rs->value("Rubrica");
        return out;
    }
    void startMainWindow() {
        m_window = std::make_unique<MDIForm1>();
        m_window->Form_Load();
        m_window->TreeView1_Click();
    }
    void clickNode(const QString& key) {
        QTreeWidgetItemIterator it(m_window->TreeView1);
        for (; *it; ++it)
            if ((*it)->data(0, Qt::UserRole).toString() == key)
                break;
        QVERIFY(*it);
        m_window->TreeView1->setCurrentItem(*it);
        m_window->TreeView1_Click();
    }
    QStringList treeBooks() const {
        QStringList out;
        const QTreeWidgetItem* root = m_window->TreeView1->topLevelItem(0);
        for (int i = 0; i < root->childCount(); ++i)
            out << root->child(i)->text(0);
        return out;
    }

    std::unique_ptr<TestFolder> m_folder;
    std::unique_ptr<MDIForm1> m_window;
};

QTEST_MAIN(tst_addressbooks)
#include "tst_addressbooks.moc"
