// What the user does with the listed entries: select all, the Delete key, deleting the ticked
// entries (sent messages go to the deleted archive), the double click, the contact actions.
#include "app/mainwindow.h"
#include "browser/archivebrowser.h"
#include "browser/archivemodel.h"
#include "browser/contactactions.h"
#include "contacts/contacteditor.h"
#include "core/session.h"
#include "messaging/composer.h"
#include "platform/dialogs.h"
#include "store/sendreport.h"
#include "support/controls.h"
#include "support/mainwindowtest.h"
#include "support/testfolder.h"

#include <QAction>
#include <QCheckBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableView>
#include <QTimer>
#include <QtTest>

#include <algorithm>

using platform::Answer;

namespace {

// Tree nodes with the one address book "Principale".
enum Node { Contacts = 2, Saved = 4, Sent = 6, Deleted = 8 };

const QString tableOf[] = {{}, {}, "rubrica", {}, "salvati", {}, "inviati", {}, "cancellati"};

// Rows of a table in stored order, each with the four texts in list order.
QStringList rows(const TestFolder& folder, const QString& table) {
    return tableRows(*folder.book("Principale"), table,
                     table == "rubrica" ? QStringList{"cellulare", "Nome", "cognome", "email"}
                                        : QStringList{"cellulare", "cognome", "Data", "Testo"});
}

// The seeded messages of inviati (the first three) and cancellati, as rows() lists them; each
// has a report.
const QStringList sentMessages = {
    "3333000001|Verdi|03/02/2026 08:00:00|uno", "3333000002|Neri|03/02/2026 08:01:00|l'altro",
    "3333000003|Gialli|03/02/2026 08:02:00|tre", "3334000001|Blu|04/02/2026 07:00:00|x",
    "3334000002|Rosa|04/02/2026 07:01:00|y"};

store::archive::MessageRow messageOf(const QString& listed) {
    const QStringList f = listed.split('|');
    return {f[1], f[0], f[2], f[3]};
}

// The messages whose report did not follow them: kept for a message gone for good, or lost
// for one still in inviati or cancellati.
QStringList reportsAstray(const TestFolder& folder) {
    const QStringList present = rows(folder, "inviati") + rows(folder, "cancellati");
    auto db = folder.book("Principale");
    QStringList astray;
    for (const QString& message : sentMessages)
        if (store::sendreport::read(*db, messageOf(message)).isEmpty() == present.contains(message))
            astray << message;
    return astray;
}

QStringList minus(QStringList from, const QStringList& take) {
    for (const QString& t : take)
        from.removeOne(t);
    return from;
}

} // namespace

class tst_selection : public QObject, private MainWindowTest {
    Q_OBJECT
private slots:
    void init() {
        m_folder = std::make_unique<TestFolder>();
        {
            auto db = m_folder->book("Principale");
            testdata::addContact(*db, "Anna", "Bianchi", "3331000001", "anna@example.it");
            testdata::addContact(*db, "Bruno", "Conti", "3331000002", "");
            testdata::addContact(*db, "Carla", "D'Amico", "3331000003", " ");
            // Two saves to one number within the same second.
            testdata::addMessage(*db, "salvati", "Rossi", "3332000001", "01/02/2026 10:00:00",
                                 "primo");
            testdata::addMessage(*db, "salvati", "Rossi", "3332000001", "01/02/2026 10:00:00",
                                 "secondo");
            testdata::addMessage(*db, "salvati", "<lista>", "3331000003;3331000001;3331000002",
                                 "02/02/2026 09:00:00", "a tutti");
            for (qsizetype i = 0; i < sentMessages.size(); ++i) {
                const auto row = messageOf(sentMessages[i]);
                store::archive::addMessage(*db->openRecordset(i < 3 ? "inviati" : "cancellati"),
                                           row);
                store::sendreport::Line line;
                line.number = row.cellulare;
                store::sendreport::Writer report(*db, row, {line});
                report.record(0, store::sendreport::Outcome::Accepted);
                report.finish();
            }
        }
        start(3);
    }
    void cleanup() { stop(); }

    // The ticks are the user's: a refresh (another window closing) keeps exactly the rows
    // that were ticked; unticking one row turns the box off and leaves the other ticks. A
    // refresh that lists another book's contacts keeps none of them.
    void ticksSurviveRefresh_data() {
        QTest::addColumn<int>("node");
        QTest::addColumn<QList<int>>("unticked"); // after "Seleziona Tutto"
        QTest::addColumn<int>("change"); // 1: a contact added, 2: a number edited, 3: "primo"
                                         // deleted, 4: the tree moved to another book
        QTest::addColumn<bool>("all");   // the box still ticked afterwards
        QTest::newRow("a new contact comes in unticked")
            << int(Contacts) << QList<int>{} << 1 << false;
        QTest::newRow("a ticked contact's number edited")
            << int(Contacts) << QList<int>{} << 2 << true;
        QTest::newRow("saved twins: the ticked one deleted")
            << int(Saved) << QList<int>{1} << 3 << false;
        QTest::newRow("another book listed") << int(Contacts) << QList<int>{} << 4 << false;
    }
    void ticksSurviveRefresh() {
        QFETCH(int, node);
        QFETCH(QList<int>, unticked);
        QFETCH(int, change);
        show(node);
        auto* box = control<QCheckBox>(browser(), "Check1");
        box->click();
        for (int row : unticked) // as a click on the row's box
            QVERIFY(model()->setData(model()->index(row, 0), Qt::Unchecked, Qt::CheckStateRole));
        QCOMPARE(box->isChecked(), unticked.isEmpty());
        QStringList ticked = tickedEntries();
        if (change == 1) {
            testdata::addContact(*m_folder->book("Principale"), "Zoe", "Zanni", "3331000009", "");
        } else if (change == 2) { // in the editor: the row is the same contact
            auto rs =
                m_folder->book("Principale")
                    ->openRecordset(store::Query("rubrica").whereEqual("cellulare", "3331000002"));
            rs->Edit();
            rs->setValue("cellulare", "3331000099");
            rs->Update();
            ticked.replaceInStrings("3331000002|", "3331000099|");
        } else if (change == 3) { // its twin, left unticked, stays so
            auto db = m_folder->book("Principale");
            db->openRecordset(store::Query("salvati").whereEqual("Testo", "primo"))->Delete();
            ticked.removeOne("3332000001|Rossi|01/02/2026 10:00:00|primo");
        } else if (change == 4) { // arrow keys in the tree, then a refresh of the list
            testdata::addAddressBook(m_folder->path(), "Altra");
            testdata::addContact(*m_folder->book("Altra"), "Ugo", "Verdi", "3401000001", "");
            m_window->rebuildTree();
            m_window->selectNode(3);
            ticked.clear();
        }
        change == 4 ? browser()->refreshList() : m_window->refreshOnActivation();
        QTRY_VERIFY(!control<QTimer>(browser(), "Timer3")->isActive());
        QCOMPARE(tickedEntries(), ticked);
        QTEST(box->isChecked(), "all");
    }

    // Delete works on the row last clicked, whatever the list highlights now.
    void deleteKey_data() {
        QTest::addColumn<int>("node");
        QTest::addColumn<int>("clicked");
        QTest::addColumn<Answer>("answer");
        QTest::addColumn<QStringList>("gone");
        QTest::newRow("contact last clicked, not the highlighted one")
            << int(Contacts) << 0 << Answer::Yes
            << QStringList{"3331000001|Anna|Bianchi|anna@example.it"};
        QTest::newRow("answer No") << int(Contacts) << 0 << Answer::No << QStringList{};
        QTest::newRow("saved twins: the clicked one goes")
            << int(Saved) << 1 << Answer::Yes
            << QStringList{"3332000001|Rossi|01/02/2026 10:00:00|secondo"};
        QTest::newRow("sent message, not recycled")
            << int(Sent) << 1 << Answer::Yes
            << QStringList{"3333000002|Neri|03/02/2026 08:01:00|l'altro"};
    }
    void deleteKey() {
        QFETCH(int, node);
        QFETCH(int, clicked);
        QFETCH(QStringList, gone);
        show(node);
        const QStringList before = rows(*m_folder, tableOf[node]);
        const QStringList binBefore = rows(*m_folder, "cancellati");
        click(clicked);
        const QString number = model()->text(clicked, 1);
        auto* list = control<QTableView>(browser(), "lvw1");
        list->setCurrentIndex(model()->index(2, 1)); // arrow keys: no click
        QFETCH(Answer, answer);
        m_script->answer(answer);
        QTest::keyClick(list, Qt::Key_Delete);

        QCOMPARE(m_script->messages().value(0), "Si desidera Cancellare la voce " + number + " ?");
        QCOMPARE(rows(*m_folder, tableOf[node]), minus(before, gone));
        QCOMPARE(rows(*m_folder, "cancellati"), binBefore);
        QTRY_COMPARE(model()->rowCount(), before.size() - gone.size());
    }

    // "Cancella Spuntati": sent messages move to cancellati, everything else goes for good.
    // "Ripristina Spuntati", on "SMS Cancellati" only: the ticked messages back to inviati. Each
    // row moves whole or stays: a failure half-way keeps the rows done, says how many, and loses
    // no sent message nor its report.
    void moveTicked_data() {
        QTest::addColumn<int>("node");
        QTest::addColumn<bool>("restore");
        QTest::addColumn<QList<int>>("ticked"); // empty: "Seleziona Tutto"
        QTest::addColumn<Answer>("answer");
        QTest::addColumn<int>("room");     // rows the archive moved into still takes; -1: no limit
        QTest::addColumn<bool>("added");   // a contact added by another program after the ticks
        QTest::addColumn<QString>("told"); // in the last message
        const auto row = [](const char* tag, int node, bool restore, const QList<int>& ticked,
                            Answer answer, int room, bool added, const QString& told) {
            QTest::newRow(tag) << node << restore << ticked << answer << room << added << told;
        };
        const QString asked = "Si desidera Cancellare i contatti selezionati? ";
        row("sent: moved with their four texts", Sent, false, {0, 2}, Answer::Yes, -1, false,
            asked);
        row("deleted: gone", Deleted, false, {1}, Answer::Yes, -1, false, asked);
        row("contacts: gone, one added since stays", Contacts, false, {}, Answer::Yes, -1, true,
            asked);
        row("answer No", Sent, false, {0}, Answer::No, -1, false, asked);
        row("third move refused", Sent, false, {}, Answer::Yes, 2, false,
            "Voci cancellate: 2 su 3;");
        row("both restored", Deleted, true, {}, Answer::Yes, -1, false, "Messaggi ripristinati: 2");
        row("the second restore refused", Deleted, true, {}, Answer::Yes, 1, false,
            "Messaggi ripristinati: 1 su 2;");
    }
    void moveTicked() {
        QFETCH(int, node);
        QFETCH(bool, restore);
        QFETCH(QList<int>, ticked);
        QFETCH(Answer, answer);
        QFETCH(int, room);
        const QString into = restore ? "inviati" : "cancellati";
        if (room >= 0) // behind the program's back
            rawSql(store::archive::addressBookPath(m_folder->path(), "Principale"),
                   QString("CREATE TRIGGER pieno BEFORE INSERT ON %1 WHEN (SELECT count(*) FROM "
                           "%1) >= %2 BEGIN SELECT RAISE(ABORT, 'archivio pieno'); END")
                       .arg(into)
                       .arg(rows(*m_folder, into).size() + room)
                       .toUtf8());
        show(node);
        auto* restoreAction = control<QAction>(m_window.get(), "ripri");
        QCOMPARE(restoreAction->isEnabled(), node == Deleted);
        if (ticked.isEmpty())
            control<QCheckBox>(browser(), "Check1")->click();
        for (int row : ticked)
            model()->setChecked(row, true);
        const QStringList listed = tickedEntries();
        QFETCH(bool, added);
        if (added)
            testdata::addContact(*m_folder->book("Principale"), "Zoe", "Zanni", "3331000009", "");
        const QStringList before = rows(*m_folder, tableOf[node]);
        const QStringList intoBefore = rows(*m_folder, into);
        m_script->answer(answer);

        restore ? restoreAction->trigger() : browser()->deleteTicked();

        const int done = answer == Answer::No ? 0 : room >= 0 ? room : int(listed.size());
        const QStringList messages = m_script->messages();
        QCOMPARE(messages.size(), restore || room < 0 ? 1 : 2);
        if (!restore)
            QCOMPARE(messages.first(), "Si desidera Cancellare i contatti selezionati? ");
        QFETCH(QString, told); // and, after a failure, why the rest did not go
        QVERIFY2(messages.last().contains(told) &&
                     (room < 0 || messages.last().endsWith("archivio pieno.")),
                 qPrintable(messages.last()));
        const QStringList left = rows(*m_folder, tableOf[node]);
        QCOMPARE(left.size(), before.size() - done);
        if (room < 0 && answer == Answer::Yes) // exactly the ticked ones
            QCOMPARE(sortedList(left), sortedList(minus(before, listed)));
        if (node == Sent || restore) // nothing lost, nothing doubled, the texts unchanged
            QCOMPARE(sortedList(left + rows(*m_folder, into)), sortedList(before + intoBefore));
        else if (node != Deleted)
            QCOMPARE(rows(*m_folder, into), intoBefore);
        QCOMPARE(reportsAstray(*m_folder), QStringList());
        QTRY_COMPARE(model()->rowCount(), left.size());
    }

    // A double click (entry 0; -1 with Shift held), or an entry (1 to 6) of the actions that the
    // right button opens on the row under the pointer: what the composer got, the report window,
    // the editor or the mail page; empty: nothing opened. The contact entries act on a contact
    // only; then the window closes.
    void openEntry_data() {
        QTest::addColumn<int>("node");
        QTest::addColumn<int>("row");
        QTest::addColumn<int>("entry");
        QTest::addColumn<QString>("outcome");
        const QString report = "esito Accettati 1, rifiutati 0, non inviati 0";
        QTest::newRow("saved list message") << int(Saved) << 0 << 0
                                            << "composer 1|3331000003,3331000001,3331000002|"
                                               "3331000003;3331000001;3331000002|<lista>|a tutti";
        QTest::newRow("contact") << int(Contacts) << 1 << -1 << "composer 0||3331000002|Conti|";
        QTest::newRow("sent message") << int(Sent) << 0 << 0 << "";
        QTest::newRow("sent message, Shift held") << int(Sent) << 2 << -1 << report;
        QTest::newRow("Modifica Contatto") << int(Contacts) << 2 << 1 << "editor D'Amico";
        QTest::newRow("Invia SMS singolo")
            << int(Contacts) << 2 << 2 << "composer 0||3331000003|D'Amico|";
        QTest::newRow("Invia Email") << int(Contacts) << 0 << 3 << "mailto:anna@example.it";
        QTest::newRow("saved: Invia SMS singolo") << int(Saved) << 1 << 2 << "";
        QTest::newRow("sent: Esito invio") << int(Sent) << 1 << 6 << report;
    }
    void openEntry() {
        QFETCH(int, node);
        QFETCH(int, row);
        QFETCH(int, entry);
        show(node);
        QLabel* label = nullptr;
        if (entry > 0) {
            m_window->show();
            QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
            // A left click on another row first: the right button's row is the one acted on.
            auto* view = control<QTableView>(browser(), "lvw1");
            QWidget* list = view->viewport();
            const auto centre = [this, view](int r) {
                return view->visualRect(model()->index(r, 2)).center();
            };
            QTest::mouseClick(list, Qt::LeftButton, {}, centre(row == 0 ? 2 : 0));
            QTest::mouseClick(list, Qt::RightButton, {}, centre(row));
            ContactActions* actions = m_window->findChild<ContactActions*>();
            QVERIFY(actions && actions->isVisible());
            label = control<QLabel>(actions, qPrintable("Label" + QString::number(entry)));
            QCOMPARE(label->isVisible(), entry < 4 || node == Sent);
        } else {
            click(row);
        }
        QString outcome;
        onComposer(outcome);
        if (label)
            QTest::mouseClick(label, Qt::LeftButton);
        else
            browser()->openComposerForEntry(entry < 0 ? Qt::ShiftModifier : Qt::NoModifier);
        QCoreApplication::processEvents();
        if (!outcome.isEmpty() && !outcome.startsWith("esito"))
            outcome.prepend("composer ");
        if (ContactEditor* editor = m_window->findChild<ContactEditor*>()) {
            outcome = "editor " + control<QLineEdit>(editor, "Text2")->text();
            editor->close();
        }
        for (const platform::Shown& shown : m_script->shown())
            outcome += shown.text;
        QTEST(outcome, "outcome");
    }

private:
    ArchiveBrowser* browser() const { return m_window->browser(); }
    ArchiveModel* model() const { return browser()->model(); }
    void show(int node) {
        m_window->selectNode(node);
        m_window->onTreeNodeClicked();
        QTRY_COMPARE(model()->rowCount(), rows(*m_folder, tableOf[node]).size());
    }
    // The ticked rows, each as "number|texts...", in list order.
    QStringList tickedEntries() const {
        QStringList out;
        for (int row : model()->checkedRows())
            out << QStringList{model()->text(row, 1), model()->text(row, 2), model()->text(row, 3),
                               model()->text(row, 4)}
                       .join('|');
        return out;
    }
    // A mouse click on a row: it becomes the current entry.
    void click(int row) {
        control<QTableView>(browser(), "lvw1")->setCurrentIndex(model()->index(row, 1));
        browser()->selectCurrentEntry();
    }
    // If a command opens the composer: what it got, as "Label23|recipients|number|surname|text";
    // if it opens the report, "esito " and its counts. Then the window is closed.
    void onComposer(QString& got) {
        QTimer::singleShot(0, this, [&got] {
            if (auto* report = shownWindow<QDialog>("Esito")) {
                got = "esito " + control<QLabel>(report, "Label1")->text();
                report->reject();
            }
            if (Composer* f = shownWindow<Composer>("Form5")) {
                f->prepareOnActivation();
                got = QStringList{control<QLabel>(f, "Label23")->text(), f->recipients().join(','),
                                  control<QLabel>(f, "Label18")->text(),
                                  control<QLabel>(f, "Label2")->text(),
                                  control<QPlainTextEdit>(f, "Text1")->toPlainText()}
                          .join('|');
                control<QPushButton>(f, "Command2")->click();
            }
        });
    }
};

QTEST_MAIN(tst_selection)
#include "tst_selection.moc"
