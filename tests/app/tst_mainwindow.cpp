#include "app/mainwindow.h"
#include "browser/archivebrowser.h"
#include "browser/archivemodel.h"
#include "contacts/addressbooks.h"
#include "core/session.h"
#include "platform/dialogs.h"
#include "support/controls.h"
#include "support/foldertest.h"
#include "support/shownwindow.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QTableView>
#include <QTimer>
#include <QTreeWidget>
#include <QtTest>

class tst_mainwindow : public QObject, private FolderTest {
    Q_OBJECT
private slots:
    // Two address books with a few contacts and messages in the first.
    void init() {
        newFolder({"Principale", "Clienti"});
        auto db = m_folder->book("Principale");
        testdata::addContact(*db, "Giulia", "Bianchi", "3471234567", "giulia@example.it");
        testdata::addContact(*db, "Marco", "D'Amico", "3289876543", " ");
        testdata::addContact(*db, "Sofia", "Àlberti", "3391239876", "sofia@example.it");
        testdata::addMessage(*db, "salvati", "Bianchi", "3471234567", "01/12/2026 10:00:00",
                             "Bozza");
        testdata::addMessage(*db, "inviati", "<lista>", "3471234567;3289876543",
                             "02/12/2026 11:00:00", "A tutti");
        testdata::addMessage(*db, "inviati", "Bianchi", "3471234567", "03/12/2026 12:00:00",
                             "Solo a te");
        testdata::addMessage(*db, "cancellati", "Conti", "3331234567", "04/12/2026 13:00:00",
                             "Vecchio");
        m_script = std::make_unique<platform::DialogScript>();
    }

    void cleanup() {
        m_window.reset();
        m_script.reset();
        dropFolder();
    }

    // The template of new address books plays no part in browsing.
    void startListsFirstBook() {
        QVERIFY(QFile::remove(store::archive::templatePath(m_folder->path())));
        m_folder->write("residui.txt", {" 12,5 "});
        start();
        QCOMPARE(control<QLabel>(m_window->browser(), "Label6")->text(), " Principale");
        QTRY_COMPARE(model()->rowCount(), 3);
        QCOMPARE(control<QLabel>(m_window.get(), "Label3")->text(), "Credito residuo 12,5");
        QVERIFY(m_script->shown().isEmpty());
    }

    // Without a saved layout the list waits for a click; contacts an import just added show.
    void startWithoutLayout() {
        start(false);
        QCOMPARE(model()->rowCount(), 0);
        writeBytes(m_folder->file("in.csv"), "Nome;Cognome;Cellulare\r\nUgo;Verdi;340 1234567\r\n");
        m_script->answerText(m_folder->file("in.csv"));
        control<QAction>(m_window.get(), "impcvs")->trigger();
        QTRY_COMPARE(model()->rowCount(), 4);
        QVERIFY(column(*model(), 1).contains("3401234567"));
    }

    // A click lists the archive and the book of its node: "label6|label2|third header|numbers".
    // The other archives are listed in tst_selection, their captions in tst_settings.
    void clickNode_data() {
        QTest::addColumn<int>("node");
        QTest::addColumn<QString>("shown");
        QTest::newRow("root") << 4 << " SMS Salvati|SMS Salvati||"; // of "SMS Salvati"
        QTest::newRow("Principale")
            << 2 << " Principale|Rubrica|Nome|3391239876,3471234567,3289876543";
        QTest::newRow("sent: list first")
            << 8 << " Principale|SMS Inviati|Cognome|3471234567;3289876543,3471234567";
    }

    void clickNode() {
        QFETCH(int, node);
        start();
        click(node);
        QTEST(QStringList({control<QLabel>(m_window->browser(), "Label6")->text(),
                           control<QLabel>(m_window->browser(), "Label2")->text(),
                           model()->headerData(2, Qt::Horizontal, Qt::DisplayRole).toString(),
                           column(*model(), 1).join(',')})
                  .join('|'),
              "shown");
        QVERIFY(m_script->shown().isEmpty());
        // The commands on entries refuse a root.
        const bool root = node == 4;
        m_script->answer(platform::Answer::No); // "Cancella Spuntati" asks first on an archive
        control<QAction>(m_window.get(), "canse")->trigger();
        QCOMPARE(m_script->messages(),
                 QStringList{root ? "selezionare un Archivio Valido"
                                  : "Si desidera Cancellare i contatti selezionati? "});
    }

    void listClickFillsCurrentEntry() {
        start();
        click(8); // sent messages
        QTRY_COMPARE(model()->rowCount(), 2);
        clickRow(1);
        QCOMPARE(currentEntry(), "3471234567|Bianchi|03/12/2026 12:00:00|Solo a te|i|Principale");
        click(2); // a contact row: no date
        QTRY_COMPARE(model()->rowCount(), 3);
        QCOMPARE(currentEntry(), "||||r|Principale"); // the tree click empties the entry
        clickRow(0);
        QCOMPARE(currentEntry(), "3391239876|Àlberti||sofia@example.it|r|Principale");
    }

    // An address book that cannot be listed, reached by a click or by the refresh after another
    // window rebuilt the tree: one message, an empty list under the book's own name, no tick
    // and no current entry left over from the book listed before.
    void brokenAddressBookIsReported_data() {
        QTest::addColumn<bool>("fileMissing"); // else its rubrica lacks the e-mail column
        QTest::addColumn<bool>("byClick");
        QTest::newRow("file missing, clicked") << true << true;
        QTest::newRow("column missing, after a rebuild") << false << false;
    }

    void brokenAddressBookIsReported() {
        QFETCH(bool, fileMissing);
        QFETCH(bool, byClick);
        testdata::addContact(*m_folder->book("Clienti"), "Ugo", "Verdi", "3401", "");
        testdata::addAddressBook(m_folder->path(), "Fantasma");
        const QString broken = store::archive::addressBookPath(m_folder->path(), "Fantasma");
        QVERIFY(QFile::remove(broken));
        if (!fileMissing)
            store::Database::create(broken,
                                    {{"rubrica", {"Nome", "cognome", "cellulare", "icona"}}});
        start();
        click(byClick ? 2 : 3); // Principale, or Clienti
        QTRY_VERIFY(model()->rowCount() > 0);
        control<QCheckBox>(m_window->browser(), "Check1")->click();
        clickRow(0);
        QVERIFY(!m_window->browser()->currentEntry().number.isEmpty());
        if (byClick) {
            click(4);
        } else { // Clienti deleted in "Gestione Rubriche": its index now names Fantasma
            QCOMPARE(addressbooks::remove(m_folder->path(), "Clienti"),
                     addressbooks::Outcome::Done);
            m_window->rebuildTree();
            m_window->refreshOnActivation();
            QTRY_VERIFY(!control<QTimer>(m_window->browser(), "Timer3")->isActive());
        }
        QTRY_COMPARE(m_script->shown().size(), 1);
        if (fileMissing)
            QVERIFY(m_script->shown().first().text.contains("Fantasma"));
        QCOMPARE(control<QLabel>(m_window->browser(), "Label6")->text(), " Fantasma");
        QCOMPARE(model()->rowCount(), 0);
        QVERIFY(model()->checkedRows().isEmpty());
        QVERIFY(m_window->browser()->currentEntry().number.isEmpty());
        // The program goes on: another node lists as usual.
        click(2);
        QTRY_COMPARE(model()->rowCount(), 3);
        QCOMPARE(m_script->shown().size(), 1);
    }

    // "funzioni" turns on the hotel entries and the user administration; nothing else does.
    void optionalEntries_data() {
        QTest::addColumn<QByteArray>("funzioni"); // null: no file
        QTest::addColumn<QString>("available");   // imph3 iae permut
        QTest::newRow("no file") << QByteArray() << "0 0 0";
        QTest::newRow("unknown words only") << QByteArray("ericsoft2\r\nutente\r\n") << "0 0 0";
        QTest::newRow("ericsoft, any case") << QByteArray(" EricSoft \r\n") << "1 1 0";
        QTest::newRow("both, among others")
            << QByteArray("perch\xe9\r\nutenti\nericsoft") << "1 1 1";
    }
    void optionalEntries() {
        QFETCH(QByteArray, funzioni);
        if (!funzioni.isNull())
            writeBytes(m_folder->file("funzioni"), funzioni);
        start();
        QStringList available;
        for (const char* name : {"imph3", "iae", "permut"})
            available << QString::number(control<QAction>(m_window.get(), name)->isEnabled());
        QTEST(available.join(' '), "available");
        auto* permut = control<QAction>(m_window.get(), "permut");
        permut->trigger(); // a greyed entry does nothing
        QCOMPARE(m_window->findChildren<QWidget*>("confaccount").size(), int(permut->isEnabled()));
        bool folderAsked = false; // "Imposta Archivi Ericsoft" opens its window modal
        QTimer::singleShot(0, this, [&folderAsked] {
            if (QWidget* w = QApplication::activeModalWidget(); w && w->objectName() == "Form13")
                folderAsked = w->close();
        });
        control<QAction>(m_window.get(), "iae")->trigger();
        QCoreApplication::processEvents();
        QCOMPARE(folderAsked, available.first() == "1");
    }

    void webPages_data() {
        QTest::addColumn<QStringList>("progra");
        QTest::addColumn<QString>("servizio");
        QTest::addColumn<bool>("buy"); // else toolbar button 7
        QTest::addColumn<QString>("url");
        QTest::newRow("buy") << QStringList{"42-ABC"} << "" << true
                             << "http://127.0.0.1:8765/cgi-bin/affiliate/giacli.pl?affiliato=42&"
                                "codeaff=ABC";
        QTest::newRow("button 7")
            << QStringList{"7-X9"} << "sms.example.it:8080" << false
            << "http://sms.example.it:8080/cgi-bin/affiliate/programma.pl?affiliato=7&codeaff=X9";
    }

    void webPages() {
        QFETCH(QStringList, progra);
        QFETCH(QString, servizio);
        QFETCH(bool, buy);
        m_folder->write("progra", progra);
        if (!servizio.isEmpty())
            m_folder->write("servizio", {servizio});
        start();
        control<QAction>(m_window.get(), buy ? "acqs" : "Toolbar1_7")->trigger();
        QCOMPARE(m_script->shown().size(), 1);
        QTEST(m_script->shown().first().text, "url");
    }

private:
    void start(bool layout = true) {
        if (layout)
            m_folder->write("tbta", {"1,2700"});
        m_window = std::make_unique<MainWindow>(session());
        m_window->load();
        m_window->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
        QTest::qWait(20); // the first activation and the refresh run from the event loop
    }

    void click(int nodeIndex) {
        m_window->selectNode(nodeIndex);
        auto* tree = control<QTreeWidget>(m_window.get(), "TreeView1");
        QTreeWidgetItem* item = tree->currentItem();
        QVERIFY(item);
        if (item->parent())
            item->parent()->setExpanded(true);
        tree->scrollToItem(item);
        QTest::mouseClick(tree->viewport(), Qt::LeftButton, {},
                          tree->visualItemRect(item).center());
        QTRY_VERIFY(
            !control<QTimer>(m_window->browser(), "Timer3")->isActive()); // the list refilled
    }

    void clickRow(int row) {
        auto* list = control<QTableView>(m_window->browser(), "lvw1");
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                          list->visualRect(model()->index(row, 2)).center());
    }

    // number|surname|date|detail|archive|book
    QString currentEntry() const {
        const Entry e = m_window->browser()->currentEntry();
        return QStringList{e.number, e.surname, e.date, e.detail, store::kindLetter(e.archive),
                           e.book}
            .join('|');
    }

    ArchiveModel* model() const { return m_window->browser()->model(); }

    std::unique_ptr<MainWindow> m_window;
    std::unique_ptr<platform::DialogScript> m_script;
};

QTEST_MAIN(tst_mainwindow)
#include "tst_mainwindow.moc"
