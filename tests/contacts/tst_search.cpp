// The contact search: criteria, the four lists, picking and writing to a found contact.
#include "app/mainwindow.h"
#include "browser/archivebrowser.h"
#include "browser/archivemodel.h"
#include "contacts/contactsearch.h"
#include "core/session.h"
#include "messaging/composer.h"
#include "platform/dialogs.h"
#include "support/controls.h"
#include "support/mainwindowtest.h"
#include "support/testfolder.h"

#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

class tst_search : public QObject, private MainWindowTest {
    Q_OBJECT
private slots:
    void init() {
        m_folder = std::make_unique<TestFolder>();
        {
            auto db = m_folder->book("Principale");
            testdata::addContact(*db, "Mario", "Rossi", "3331000001", "mario@example.it");
            testdata::addContact(*db, "Lia", "ROSSETTI", "3471000002", "lia@example.it");
            testdata::addContact(*db, "Ugo", "Di Rosa", "3331000003", "ugo.dirosa@example.it");
            testdata::addContact(*db, "Anna", "D'Angelo", "3201000004", "");
            testdata::addContact(*db, "Sconto", "100%_vero", "3201000005", "x@y.it");
            testdata::addContact(*db, "Hans", "Weber", "+491622433834", "h@x.de");
            testdata::addContact(*db, "", "Ufficio", "0612345678", "");
        }
        start(7);
    }
    void cleanup() { stop(); }

    // Criteria typed into the boxes as "surname|number|first name|e-mail": the surnames found.
    void search_data() {
        QTest::addColumn<QString>("criteria");
        QTest::addColumn<QStringList>("surnames");
        const QStringList rossi = {"Rossi", "ROSSETTI"};
        QTest::newRow("start of the surname, any case") << "ros|||" << rossi;
        QTest::newRow("number") << "|333 1||" << QStringList{"Rossi", "Di Rosa"};
        QTest::newRow("e-mail wins over surname") << "ros|||ugo" << QStringList{"Di Rosa"};
        QTest::newRow("apostrophe") << "d'a|||" << QStringList{"D'Angelo"};
        QTest::newRow("* and ? keep their meaning") << "R?ss*I|||" << rossi;
        QTest::newRow("% and _ are plain text") << "100%_|||" << QStringList{"100%_vero"};
        QTest::newRow("% matches nothing else") << "%|||" << QStringList{};
        // A number as people write its beginning.
        const QStringList mobiles333 = {"Rossi", "Di Rosa"};
        QTest::newRow("+39 and blanks") << "|+39 333 1||" << mobiles333;
        QTest::newRow("brackets, 0039, dash, dot") << "|(0039) 333-100.0||" << mobiles333;
        QTest::newRow("+39 alone") << "|+39||" << QStringList{"Rossi",    "ROSSETTI",  "Di Rosa",
                                                              "D'Angelo", "100%_vero", "Ufficio"};
        QTest::newRow("00 alone: the foreign numbers") << "|00||" << QStringList{"Weber"};
        QTest::newRow("+49") << "|+49 162||" << QStringList{"Weber"};
        QTest::newRow("0049, whole") << "|0049 162 2433834||" << QStringList{"Weber"};
        QTest::newRow("a digit too many") << "|+49 162 24338345||" << QStringList{};
    }
    void search() {
        QFETCH(QString, criteria);
        const QStringList typed = criteria.split('|');
        ContactSearch f(session(), m_window->selectedText(), m_window.get());
        for (int i = 0; i < 4; ++i)
            control<QLineEdit>(&f, ("Text" + QByteArray::number(i + 1)).constData())
                ->setText(typed[i]);
        control<QPushButton>(&f, "Command1")->click();
        const QAbstractItemModel* surnames = control<QListView>(&f, "List4")->model();
        QTEST(texts(surnames), "surnames");
        for (const char* list : {"List1", "List2", "List3"})
            QCOMPARE(control<QListView>(&f, list)->model()->rowCount(), surnames->rowCount());
        QVERIFY(m_script->messages().isEmpty());
    }

    // More contacts found than the lists read at once: every line, past the first screens too,
    // holds the four fields of one contact, in stored order.
    void manyFound() {
        QStringList lines;
        {
            auto db = m_folder->book("Principale");
            db->transaction([&] {
                for (int i = 0; i < 130; ++i) {
                    const QString n = QString::number(i);
                    testdata::addContact(*db, "Nome" + n, "Zanni" + n, "34000" + n, n + "@z.it");
                    lines << "Zanni" + n + "|Nome" + n + "|34000" + n + '|' + n + "@z.it";
                }
            });
        }
        ContactSearch f(session(), m_window->selectedText(), m_window.get());
        control<QLineEdit>(&f, "Text1")->setText("zan");
        control<QPushButton>(&f, "Command1")->click();
        QStringList shown;
        for (int line = 0; line < f.resultCount(); ++line) {
            QStringList fields;
            for (const char* list : {"List4", "List2", "List1", "List3"})
                fields << control<QListView>(&f, list)->model()->index(line, 0).data().toString();
            shown << fields.join('|');
        }
        QCOMPARE(shown, lines);
    }

    // A click on a number picks the line in all four lists; a double click writes to it.
    void pickAndWrite() {
        ContactSearch f(session(), m_window->selectedText(), m_window.get());
        control<QLineEdit>(&f, "Text1")->setText("ros");
        control<QPushButton>(&f, "Command1")->click();
        auto* numbers = control<QListView>(&f, "List1");
        numbers->setCurrentIndex(numbers->model()->index(1, 0));
        f.selectFoundLine();
        QStringList boxes;
        for (const char* box : {"Text1", "Text2", "Text3", "Text4"})
            boxes << control<QLineEdit>(&f, box)->text();
        QCOMPARE(boxes.join('|'), "ROSSETTI|3471000002|Lia|lia@example.it");
        QCOMPARE(control<QListView>(&f, "List3")->currentIndex().row(), 1);

        QSignalSpy compose(&f, &ContactSearch::composeRequested);
        f.composeToFound();
        QCOMPARE(compose.size(), 1);
        const auto c = compose.at(0).at(0).value<Entry>();
        QCOMPARE(QStringList({c.number, c.surname, c.book}).join('|'),
                 "3471000002|ROSSETTI|Principale");
        QCOMPARE(f.result(), int(QDialog::Accepted));
    }

    // The composer's search button closes it and opens the search.
    void fromComposer() {
        QTimer::singleShot(0, this, [] {
            Composer* composer = shownWindow<Composer>("Form5");
            QVERIFY(composer && control<QPushButton>(composer, "Command4")->isEnabled());
            control<QPushButton>(composer, "Command4")->click();
        });
        control<QAction>(m_window.get(), "ismss")->trigger();
        QTRY_VERIFY(m_window->findChild<ContactSearch*>());
        m_window->findChild<ContactSearch*>()->close();
    }
};

QTEST_MAIN(tst_search)
#include "tst_search.moc"
