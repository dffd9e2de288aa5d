// The prefix file, the prefix list window and the contact editor, in a main window listing
// the address book "Principale".
#include "app/appstate.h"
#include "app/mdiform1.h"
#include "browser/archivemodel.h"
#include "browser/seri.h"
#include "contacts/form4.h"
#include "contacts/form8.h"
#include "contacts/prefixes.h"
#include "platform/dialogs.h"
#include "support/testfolder.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QtTest>

namespace {

const QStringList seeded = {"Anna|Bianchi|3331000001|a@x.it|4",
                            "Carla|D'Amico|33451234567|c@x.it|4"};

QStringList entries(const QListWidget* list) {
    QStringList out;
    for (int i = 0; i < list->count(); ++i)
        out << list->item(i)->text();
    return out;
}

QStringList items(const QComboBox* combo) {
    QStringList out;
    for (int i = 0; i < combo->count(); ++i)
        out << combo->itemText(i);
    return out;
}

QByteArray bytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<none>");
}

} // namespace

class tst_editor : public QObject {
    Q_OBJECT
private slots:
    void init() {
        m_folder = std::make_unique<TestFolder>();
        {
            auto db = m_folder->book("Principale");
            seed::addContact(*db, "Anna", "Bianchi", "3331000001", "a@x.it");
            seed::addContact(*db, "Carla", "D'Amico", "33451234567", "c@x.it");
        }
        m_folder->write("prefissi.txt", {"320", "339", "", "347"});
        appState() = AppState{};
        appState().appFolder = m_folder->path();
        m_window = std::make_unique<MDIForm1>();
        m_window->Form_Load();
        m_window->TreeView1_Click();
        QTRY_COMPARE(m_window->browser()->model()->rowCount(), 2);
    }
    void cleanup() {
        m_window.reset();
        appState() = AppState{};
        m_folder.reset();
    }

    void readPrefixFile_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QStringList>("read");
        QTest::newRow("empty lines kept") << "prefissi.txt" << QByteArray("320\r\n\r\n339\r\n\r\n")
                                          << QStringList{"320", "", "339", ""};
        QTest::newRow("no final line end")
            << "prefissi.txt" << QByteArray("320\r\n 39") << QStringList{"320", " 39"};
        QTest::newRow("8-bit text")
            << "prefissi.txt" << QByteArray("3\xe8\r\n") << QStringList{"3è"};
        QTest::newRow("other letter case")
            << "Prefissi.txt" << QByteArray("340\r\n") << QStringList{"340"};
        QTest::newRow("missing file") << "" << QByteArray() << QStringList{};
    }
    void readPrefixFile() {
        QFETCH(QString, name);
        QFETCH(QByteArray, content);
        QFETCH(QStringList, read);
        QVERIFY(QFile::remove(m_folder->file("prefissi.txt")));
        if (!name.isEmpty()) {
            QFile file(m_folder->file(name));
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(content);
        }
        QCOMPARE(contacts::prefixes::read(m_folder->path()), read);
        QCOMPARE(entries(Form8().List1), read);
        appState().modifica = 0;
        QCOMPARE(items(Form4().Combo1), read);

        // Saving writes back to the same file, every line ended by CR LF.
        Form8 window;
        window.Command1_Click();
        QByteArray expected;
        for (const QString& line : read)
            expected += platform::TextFile::encode(line) + "\r\n";
        QCOMPARE(bytes(m_folder->file(name.isEmpty() ? "prefissi.txt" : name)), expected);
    }

    void manyPrefixes() {
        QStringList many;
        for (int i = 0; i < 10000; ++i)
            many << (i % 100 == 0 ? QString() : QString::number(300 + i));
        QVERIFY(contacts::prefixes::write(m_folder->path(), many));
        const QByteArray written = bytes(m_folder->file("prefissi.txt"));
        Form8 window;
        QCOMPARE(window.List1->count(), 10000);
        window.List1->setCurrentRow(9999);
        window.Command2_Click();
        window.Command2_Click();
        window.Command3_Click();
        window.Command3_Click();
        window.Command1_Click();
        QCOMPARE(bytes(m_folder->file("prefissi.txt")), written);
        QCOMPARE(items(Form4().Combo1), many);
    }

    // Moves and removals change the list only; reopening drops them, saving writes them.
    void editList_data() {
        QTest::addColumn<int>("row");
        QTest::addColumn<QString>("action");
        QTest::addColumn<QStringList>("list");
        QTest::addColumn<int>("selected");
        const QStringList file = {"320", "339", "", "347"};
        QTest::newRow("up") << 1 << "up" << QStringList{"339", "320", "", "347"} << 0;
        QTest::newRow("down") << 1 << "down" << QStringList{"320", "", "339", "347"} << 2;
        QTest::newRow("first up") << 0 << "up" << file << 0;
        QTest::newRow("last down") << 3 << "down" << file << 3;
        QTest::newRow("empty entry up") << 2 << "up" << file << 2;
        QTest::newRow("empty entry down") << 2 << "down" << file << 2;
        QTest::newRow("nothing selected") << -1 << "down" << file << -1;
        QTest::newRow("remove") << 1 << "remove" << QStringList{"320", "", "347"} << -2;
    }
    void editList() {
        QFETCH(int, row);
        QFETCH(QString, action);
        QFETCH(QStringList, list);
        QFETCH(int, selected);
        const QByteArray before = bytes(m_folder->file("prefissi.txt"));
        Form8 window;
        window.List1->setCurrentRow(row);
        if (action == "up")
            window.Command2_Click();
        else if (action == "down")
            window.Command3_Click();
        else
            window.List1_DblClick();
        QCOMPARE(entries(window.List1), list);
        if (selected != -2)
            QCOMPARE(window.List1->currentRow(), selected);
        QCOMPARE(bytes(m_folder->file("prefissi.txt")), before);
        QCOMPARE(entries(Form8().List1), (QStringList{"320", "339", "", "347"}));

        window.Command1_Click();
        QCOMPARE(contacts::prefixes::read(m_folder->path()), list);
    }

    void addPrefix_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QStringList>("list");
        QTest::newRow("nothing typed") << "" << QStringList{"320", "339", "", "347"};
        QTest::newRow("new") << "3'9" << QStringList{"320", "339", "", "347", "3'9"};
        QTest::newRow("already there") << "339" << QStringList{"320", "339", "", "347", "339"};
        QTest::newRow("one blank") << " " << QStringList{"320", "339", "", "347", " "};
    }
    void addPrefix() {
        QFETCH(QString, typed);
        QFETCH(QStringList, list);
        platform::DialogScript script;
        Form8 window;
        window.Text1->setText(typed);
        window.Command1_Click();
        QCOMPARE(entries(window.List1), list);
        QCOMPARE(window.Text1->text(), QString());
        QCOMPARE(entries(Form8().List1), list);
        QCOMPARE(items(Form4().Combo1), list);
        QCOMPARE(script.shown().size(), 0);
    }

    void addPrefixUnwritable() {
        QVERIFY(QFile::remove(m_folder->file("prefissi.txt")));
        QVERIFY(QDir(m_folder->path()).mkdir("prefissi.txt"));
        platform::DialogScript script;
        Form8 window;
        window.Text1->setText("366");
        window.Command1_Click();
        QCOMPARE(script.messages(), QStringList{"Impossibile salvare il file dei prefissi."});
        QCOMPARE(script.shown().first().icon, platform::Icon::Critical);
        QCOMPARE(window.List1->count(), 0);
        QCOMPARE(window.Text1->text(), QString("366"));
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
                            const QString& after, const QString& stored) {
            QTest::newRow(name) << typed << message << after << stored;
        };
        row("prefix untouched", "|Rossi|Prefisso|1|", noPrefix, "|Rossi|Prefisso|1|", "");
        row("empty prefix", "||||", noPrefix, "||||", "");
        row("blank prefix", "|| |1|", noPrefix, "|| |1|", "");
        row("no number", "||339||", "Inserire un numero telefonico valido", "||339||", "");
        row("no surname", "||339|1|", "Cognome obbligatorio", " ||339|1| ", "");
        row("letter in number", "|Rossi|339|12a4|m@x.it", badNumber, " |Rossi|339|12a4|m@x.it", "");
        row("blank in number", "Ugo|Rossi|339|123 4|", badNumber, "Ugo|Rossi|339|123 4| ", "");
        row("+39", "Ugo|Rossi|339|+391234567|", badNumber, "Ugo|Rossi|339|+391234567| ", "");
        row("existing number", "Ugo|Rossi|333|1000001|", exists, "Ugo|Rossi|333|1000001| ", "");
        row("ten digits", "Ugo|Rossi|339|0123456789|u@x.it", "", "||339||",
            "Ugo|Rossi|3390123456789|u@x.it|4");
        row("typed letter prefix", "Ugo|Rossi|abc|12|u@x.it", "", "||abc||",
            "Ugo|Rossi|abc12|u@x.it|4");
        row("surname only", "|Rossi|339|12|", "", "||339||", " |Rossi|33912| |4");
        row("apostrophes", "D'Angelo|D'Angelo|D'A|12|d'a@x.it", "", "||D'A||",
            "D'Angelo|D'Angelo|D'A12|d'a@x.it|4");
    }
    void newContact() {
        QFETCH(QString, typed);
        QFETCH(QString, message);
        QFETCH(QString, stored);
        platform::DialogScript script;
        Form4 window;
        QCOMPARE(boxes(window), QString("||Prefisso||"));
        QCOMPARE(window.Label8->text(), QString("4"));
        type(window, typed);
        window.Command1_Click();

        QTEST(boxes(window), "after");
        QCOMPARE(rows(), stored.isEmpty() ? seeded : seeded + QStringList{stored});
        QCOMPARE(script.messages(), message.isEmpty() ? QStringList{} : QStringList{message});
        if (message.isEmpty()) {
            QCOMPARE(window.result(), int(QDialog::Accepted));
            QTRY_COMPARE(m_window->browser()->model()->rowCount(), 3);
        } else {
            QCOMPARE(window.result(), 0);
            QCOMPARE(script.shown().first().icon, message.startsWith("Numero di")
                                                      ? platform::Icon::Critical
                                                      : platform::Icon::None);
        }
    }

    // A prefix typed by hand stays as typed, even when the list holds a longer one.
    void typedPrefix() {
        platform::DialogScript script;
        Form4 window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        window.Combo1->setFocus();
        window.Combo1->lineEdit()->clear();
        QTest::keyClicks(window.Combo1, "33");
        QTest::keyClick(window.Combo1, Qt::Key_Return); // the save button
        QCOMPARE(script.messages(), QStringList{"Inserire un numero telefonico valido"});
        QCOMPARE(window.Combo1->currentText(), QString("33"));
        QCOMPARE(items(window.Combo1), (QStringList{"320", "339", "", "347"}));
    }

    // Only the joined text is compared.
    void joinedNumberExists() {
        platform::DialogScript script;
        for (const QString typed : {"|Rossi|339|12|", "|Rossi|33|912|", "|Rossi|3391|2|"}) {
            Form4 window;
            type(window, typed);
            window.Command1_Click();
        }
        QCOMPARE(script.messages(), QStringList(2, "Numero di cellulare Esistente"));
        QCOMPARE(rows(), seeded + QStringList{" |Rossi|33912| |4"});
    }

    void editContact_data() {
        QTest::addColumn<QString>("numero"); // the browser's current entry
        QTest::addColumn<QString>("loaded");
        QTest::addColumn<QString>("typed"); // null: saved as loaded
        QTest::addColumn<QStringList>("messages");
        QTest::addColumn<QStringList>("stored");
        const QString carla = "Carla|D'Amico|334|51234567|c@x.it";
        QTest::newRow("saved back unchanged")
            << "33451234567" << carla << QString() << QStringList{} << seeded;
        QTest::newRow("no checks")
            << "33451234567" << carla << "Carla|||1000001|c@x.it" << QStringList{}
            << QStringList{seeded[0], "Carla||1000001|c@x.it|4"};
        QTest::newRow("another contact's number")
            << "33451234567" << carla << "Carla|D'Amico|333|1000001|c@x.it" << QStringList{}
            << QStringList{seeded[0], "Carla|D'Amico|3331000001|c@x.it|4"};
        QTest::newRow("no such contact")
            << "3330000000"
            << "||Prefisso||"
            << "|Verdi|339|1|" << QStringList(2, "Contatto non trovato") << seeded;
    }
    void editContact() {
        QFETCH(QString, numero);
        QFETCH(QString, typed);
        QFETCH(QStringList, messages);
        platform::DialogScript script;
        appState().numeroScelto = numero;
        appState().modifica = 1;
        Form4 window;
        QTEST(boxes(window), "loaded");
        if (!typed.isNull())
            type(window, typed);
        window.Command1_Click();
        QTEST(rows(), "stored");
        QCOMPARE(script.messages(), messages);
        for (const auto& shown : script.shown())
            QCOMPARE(shown.icon, platform::Icon::Critical);
        QCOMPARE(window.result(), messages.isEmpty() ? int(QDialog::Accepted) : 0);
        QCOMPARE(appState().modifica, messages.isEmpty() ? 0 : 1);
    }

    void cancel_data() {
        QTest::addColumn<int>("modifica");
        QTest::addColumn<bool>("closeBox");
        QTest::newRow("new, cancel button") << 0 << false;
        QTest::newRow("edit, cancel button") << 1 << false;
        QTest::newRow("edit, close box") << 1 << true;
    }
    void cancel() {
        QFETCH(int, modifica);
        QFETCH(bool, closeBox);
        appState().numeroScelto = "3331000001";
        appState().modifica = modifica;
        Form4 window;
        type(window, "|Verdi|339|555|");
        if (closeBox) {
            window.show();
            QVERIFY(window.close());
        } else {
            window.Command2_Click();
        }
        QCOMPARE(window.result(), int(QDialog::Rejected));
        QCOMPARE(appState().modifica, 0);
        QCOMPARE(rows(), seeded);
    }

private:
    static QString boxes(const Form4& window) {
        return QStringList{window.Text1->text(), window.Text2->text(), window.Combo1->currentText(),
                           window.Text3->text(), window.Text4->text()}
            .join('|');
    }
    static void type(Form4& window, const QString& typed) {
        const QStringList fields = typed.split('|');
        window.Text1->setText(fields[0]);
        window.Text2->setText(fields[1]);
        window.Combo1->setEditText(fields[2]);
        window.Text3->setText(fields[3]);
        window.Text4->setText(fields[4]);
    }
    QStringList rows() const {
        auto db = m_folder->book("Principale");
        auto rs = db->openRecordset("rubrica");
        QStringList out;
        for (; !rs->isEof(); rs->MoveNext())
            out << QStringList{rs->value("Nome"), rs->value("cognome"), rs->value("cellulare"),
                               rs->value("email"), rs->value("icona")}
                       .join('|');
        return out;
    }

    std::unique_ptr<TestFolder> m_folder;
    std::unique_ptr<MDIForm1> m_window;
};

QTEST_MAIN(tst_editor)
#include "tst_editor.moc"
