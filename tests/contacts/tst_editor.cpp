// The prefix file, the prefix list window and the contact editor on the address book
// "Principale".
#include "contacts/contacteditor.h"
#include "contacts/prefixwindow.h"
#include "core/session.h"
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

const QStringList seeded = {"Anna|Bianchi|3331000001|a@x.it|4", "Carla|D'Amico|3345123456|c@x.it|4",
                            "Hans|Weber|+491622433834|h@x.de|4"};
const QStringList filePrefixes = {"320", "339", "", "347"};
const QString landline = "Il numero 06 1234 5678 non risulta un cellulare: gli SMS potrebbero "
                         "non arrivare.\nSalvare comunque?";

} // namespace

class tst_editor : public QObject, private FolderTest {
    Q_OBJECT
private slots:
    void init() {
        newFolder();
        auto db = m_folder->book("Principale");
        testdata::addContact(*db, "Anna", "Bianchi", "3331000001", "a@x.it");
        testdata::addContact(*db, "Carla", "D'Amico", "3345123456", "c@x.it");
        testdata::addContact(*db, "Hans", "Weber", "+491622433834", "h@x.de");
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

    // A new contact (no number opened) or a change, typed as "Nome|Cognome|Prefisso|Cellulare|
    // Email"; a question is answered Yes when the row expects a number kept.
    void saveContact_data() {
        QTest::addColumn<QString>("opened");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("message"); // empty: none
        QTest::addColumn<QString>("stored");  // the number kept; empty: nothing saved
        const QString noPrefix = "Selezionare un Prefisso Valido";
        const QString exists = "Numero di cellulare Esistente";
        const auto row = [](const char* name, const char* opened, const QString& typed,
                            const QString& message, const QString& stored = {}) {
            QTest::newRow(name) << opened << typed << message << stored;
        };
        const char *fresh = "", *carla = "3345123456", *hans = "+491622433834";
        row("prefix untouched", fresh, "|Rossi|Prefisso|1|", noPrefix);
        row("one 0 is no country code", fresh, "|Rossi|Prefisso|06 1234 5678|", noPrefix);
        row("no surname", fresh, "||339|1234567|", "Cognome obbligatorio");
        row("+39 before the prefix", fresh, "|Rossi|+39 333|123 4567|", "", "3331234567");
        row("0039, whole", fresh, "|Rossi|Prefisso|0039 333-123-4567|", "", "3331234567");
        row("blanks and dashes", fresh, "Ada|Rossi|333|123-45 67|a@r.it", "", "3331234567");
        row("German, 0049 in the prefix", fresh, "|Klein|0049|(151) 234.567.89|", "",
            "+4915123456789");
        row("German, 00 whole", fresh, "|Klein||00 49 151 23456789|", "", "+4915123456789");
        row("Swiss, whole", fresh, "|Keller|Prefisso|+41 79 123 45 67|", "", "+41791234567");
        row("US", fresh, "|Brown|+1|202-555-0143|", "", "+12025550143");
        row("two numbers", fresh, "|Rossi|Prefisso|+39 333 1234567 +39 347 7654321|",
            "Numero non valido: contiene più di un numero.");
        row("landline kept", fresh, "|Ufficio|06|1234 5678|", landline, "0612345678");
        row("landline dropped", fresh, "|Ufficio|06|1234 5678|", landline);
        row("existing, +39", fresh, "|Rossi|+39|333 100 0001|", exists);
        row("existing foreign, 0049", fresh, "|Rossi|0049|162 243 38 34|", exists);
        row("one digit off", fresh, "|Rossi|333|1000002|", "", "3331000002");
        row("change, own number", carla, "Carla Maria|D'Amico|334|5123456|c@x.it", "", carla);
        row("change, own number otherwise", carla, "|D'Amico|+39|334 512 34 56|", "", carla);
        row("change to another's number", carla, "|D'Amico|Prefisso|0039 333 100 0001|", exists);
        row("change, no surname", carla, "Carla||334|5123456|", "Cognome obbligatorio");
        row("change, foreign kept", hans, "Hans|Weber|+49|1622433834|h@x.de", "", hans);
        row("change, foreign to Swiss", hans, "Hans|Weber|+41|79 123 45 67|", "", "+41791234567");
        row("change to a landline, No", hans, "Hans|Weber|0|6 1234 5678|h@x.de", landline);
    }
    void saveContact() {
        QFETCH(QString, opened);
        QFETCH(QString, typed);
        QFETCH(QString, stored);
        platform::DialogScript script;
        script.answer(stored.isEmpty() ? platform::Answer::No : platform::Answer::Yes);
        ContactEditor window(
            session(),
            {"Principale", opened.isEmpty() ? std::nullopt : std::optional<QString>(opened)});
        QSignalSpy saved(&window, &ContactEditor::contactSaved);
        type(window, typed);
        window.saveContact();

        QTEST(script.messages().join(""), "message");
        QStringList f = typed.split('|'), after = seeded;
        f.replaceInStrings(QRegularExpression("^$"), " "); // an empty box is kept as one blank
        const QString row = QStringList{f[0], f[1], stored, f[4], "4"}.join('|');
        const qsizetype changed = opened.isEmpty() ? -1 : seeded.indexOf(seeded.filter(opened)[0]);
        if (!stored.isEmpty())
            changed < 0 ? after.append(row) : void(after[changed] = row);
        QCOMPARE(rows(), after);
        QCOMPARE(saved.size(), stored.isEmpty() ? 0 : 1);
    }

    // A contact opened for a change: an Italian number as its first three digits and the rest,
    // a foreign one as its country prefix and its national number.
    void shownForChange() {
        QCOMPARE(boxes(ContactEditor(session(), {"Principale", "3345123456"})),
                 "Carla|D'Amico|334|5123456|c@x.it");
        QCOMPARE(boxes(ContactEditor(session(), {"Principale", "+491622433834"})),
                 "Hans|Weber|+49|1622433834|h@x.de");
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
