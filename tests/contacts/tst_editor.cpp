// The prefix file, the prefix list window and the contact editor on the address book
// "Principale".
#include "app/session.h"
#include "contacts/contacteditor.h"
#include "contacts/prefixwindow.h"
#include "platform/dialogs.h"
#include "support/controls.h"
#include "support/foldertest.h"
#include "support/shownwindow.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QtTest>

namespace {

const QStringList seeded = {"Anna|Bianchi|3331000001|a@x.it|4",
                            "Carla|D'Amico|33451234567|c@x.it|4"};
const QStringList filePrefixes = {"320", "339", "", "347"};
const QString carla = "33451234567";

} // namespace

class tst_editor : public QObject, private FolderTest {
    Q_OBJECT
private slots:
    void init() {
        newFolder();
        auto db = m_folder->book("Principale");
        seed::addContact(*db, "Anna", "Bianchi", "3331000001", "a@x.it");
        seed::addContact(*db, "Carla", "D'Amico", "33451234567", "c@x.it");
        m_folder->write("prefissi.txt", filePrefixes);
    }
    void cleanup() { dropFolder(); }

    // A file that cannot be written is said; the typed prefix and the list stay.
    void prefixFileUnwritable() {
        QVERIFY(QFile::remove(m_folder->file("prefissi.txt")));
        QVERIFY(QDir().mkdir(m_folder->file("prefissi.txt")));
        platform::DialogScript script;
        PrefixWindow window(session());
        control<QLineEdit>(&window, "Text1")->setText("366");
        window.savePrefixes();
        QCOMPARE(script.messages(), QStringList{"Impossibile salvare il file dei prefissi."});
        QCOMPARE(control<QLineEdit>(&window, "Text1")->text(), "366");
        QCOMPARE(texts(control<QListWidget>(&window, "List1")->model()), QStringList{});
    }

    // Moves and removals change the list only (reopening drops them) until the save writes
    // them, with a new prefix at the end; the editor offers what was saved.
    void prefixList_data() {
        QTest::addColumn<int>("row");
        QTest::addColumn<QString>("action"); // up, down, remove, or "add " and the typed text
        QTest::addColumn<QStringList>("list");
        QTest::addColumn<int>("selected");
        QTest::newRow("up") << 1 << "up" << QStringList{"339", "320", "", "347"} << 0;
        QTest::newRow("down") << 1 << "down" << QStringList{"320", "", "339", "347"} << 2;
        QTest::newRow("remove") << 1 << "remove" << QStringList{"320", "", "347"} << 1;
        QTest::newRow("nothing typed") << 1 << "add " << filePrefixes << 1;
        QTest::newRow("add a duplicate")
            << 1 << "add 339" << filePrefixes + QStringList{"339"} << 1;
    }
    void prefixList() {
        QFETCH(int, row);
        QFETCH(QString, action);
        QFETCH(QStringList, list);
        platform::DialogScript script;
        PrefixWindow window(session());
        auto* prefixes = control<QListWidget>(&window, "List1");
        prefixes->setCurrentRow(row);
        if (action == "up")
            window.movePrefixUp();
        else if (action == "down")
            window.movePrefixDown();
        else if (action == "remove")
            window.removePrefix();
        else
            control<QLineEdit>(&window, "Text1")->setText(action.mid(4));
        QTEST(prefixes->currentRow(), "selected");
        const PrefixWindow reopened(session());
        QCOMPARE(texts(control<QListWidget>(&reopened, "List1")->model()), filePrefixes);

        window.savePrefixes();
        QCOMPARE(texts(prefixes->model()), list);
        const ContactEditor editor(session(), newContactIn);
        QCOMPARE(texts(control<QComboBox>(&editor, "Combo1")->model()), list);
    }

    // The boxes as "Nome|Cognome|Prefisso|Cellulare|Email".
    void newContact_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("message"); // empty: stored
        QTest::addColumn<QString>("after");   // the boxes afterwards
        QTest::addColumn<QString>("stored");
        const QString noPrefix = "Selezionare un Prefisso Valido";
        const QString badNumber = "inserire un numero telefonico valido";
        const QString exists = "Numero di cellulare Esistente";
        const auto row = [](const char* name, const QString& typed, const QString& message,
                            const QString& after, const QString& stored = {}) {
            QTest::newRow(name) << typed << message << after << stored;
        };
        row("prefix untouched", "|Rossi|Prefisso|1|", noPrefix, "|Rossi|Prefisso|1|");
        row("no surname", "||339|1|", "Cognome obbligatorio", " ||339|1| ");
        row("letter in number", "|Rossi|339|12a4|m@x.it", badNumber, " |Rossi|339|12a4|m@x.it");
        // Only the joined text is compared.
        row("existing number split otherwise", "|Rossi|33|31000001|", exists,
            " |Rossi|33|31000001| ");
        row("surname only", "|Rossi|339|12|", "", "||339||", " |Rossi|33912| |4");
        row("apostrophes, letters in the prefix", "D'Angelo|D'Angelo|D'A|12|d'a@x.it", "",
            "||D'A||", "D'Angelo|D'Angelo|D'A12|d'a@x.it|4");
    }
    void newContact() {
        QFETCH(QString, typed);
        QFETCH(QString, message);
        QFETCH(QString, stored);
        platform::DialogScript script;
        ContactEditor window(session(), newContactIn);
        QSignalSpy saved(&window, &ContactEditor::contactSaved);
        type(window, typed);
        window.saveContact();

        QTEST(boxes(window), "after");
        QCOMPARE(rows(), stored.isEmpty() ? seeded : seeded + QStringList{stored});
        QCOMPARE(script.messages(), message.isEmpty() ? QStringList{} : QStringList{message});
        QCOMPARE(saved.size(), message.isEmpty() ? 1 : 0);
    }

    // A prefix typed by hand stays as typed, even when the list holds a longer one.
    void typedPrefix() {
        platform::DialogScript script;
        ContactEditor window(session(), newContactIn);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        auto* prefix = control<QComboBox>(&window, "Combo1");
        prefix->setFocus();
        prefix->lineEdit()->clear();
        QTest::keyClicks(prefix, "33");
        QTest::keyClick(prefix, Qt::Key_Return); // the save button
        QCOMPARE(script.messages(), QStringList{"Inserire un numero telefonico valido"});
        QCOMPARE(prefix->currentText(), QString("33"));
    }

    // Edit mode, on one contact: cancelling keeps it, saving stores the boxes unchecked.
    void editContact() {
        platform::DialogScript script;
        for (const bool save : {false, true}) {
            ContactEditor window(session(), {"Principale", carla});
            QCOMPARE(boxes(window), "Carla|D'Amico|334|51234567|c@x.it");
            type(window, "Carla|||3331000001|c@x.it"); // no surname, another contact's number
            save ? window.saveContact() : window.cancelEdit();
            QCOMPARE(window.result(), save ? QDialog::Accepted : QDialog::Rejected);
            QCOMPARE(rows(),
                     save ? QStringList({seeded[0], "Carla||3331000001|c@x.it|4"}) : seeded);
        }
        QVERIFY(script.messages().isEmpty());
    }

private:
    const ContactEditor::Request newContactIn{"Principale", std::nullopt};

    // The boxes in order, the prefix box's text third.
    static QList<QLineEdit*> lineEdits(const ContactEditor& window) {
        return {control<QLineEdit>(&window, "Text1"), control<QLineEdit>(&window, "Text2"),
                control<QComboBox>(&window, "Combo1")->lineEdit(),
                control<QLineEdit>(&window, "Text3"), control<QLineEdit>(&window, "Text4")};
    }
    static QString boxes(const ContactEditor& window) {
        QStringList out;
        for (const QLineEdit* box : lineEdits(window))
            out << box->text();
        return out.join('|');
    }
    static void type(ContactEditor& window, const QString& typed) {
        const QStringList fields = typed.split('|');
        for (int i = 0; i < fields.size(); ++i)
            lineEdits(window)[i]->setText(fields[i]);
    }
    QStringList rows() const {
        return tableRows(*m_folder->book("Principale"), "rubrica",
                         {"Nome", "cognome", "cellulare", "email", "icona"});
    }
};

QTEST_MAIN(tst_editor)
#include "tst_editor.moc"
