// What the user does with the listed entries: select all, the Delete key, deleting the ticked
// entries (sent messages go to the deleted archive), the double click, the contact actions.
#include "app/mainwindow.h"
#include "app/session.h"
#include "browser/archivebrowser.h"
#include "browser/archivemodel.h"
#include "browser/contactactions.h"
#include "contacts/contacteditor.h"
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
    const QStringList fields = table == "rubrica"
                                   ? QStringList{"cellulare", "Nome", "cognome", "email"}
                                   : QStringList{"cellulare", "cognome", "Data", "Testo"};
    auto db = folder.book("Principale");
    QStringList out;
    for (auto rs = db->openRecordset(table); !rs->isEof(); rs->MoveNext())
        out << QStringList{rs->value(fields[0]), rs->value(fields[1]), rs->value(fields[2]),
                           rs->value(fields[3])}
                   .join('|');
    return out;
}

QStringList sorted(QStringList list) {
    list.sort();
    return list;
}

// The seeded messages of inviati and cancellati, as rows() lists them; each has a report.
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
            seed::addContact(*db, "Anna", "Bianchi", "3331000001", "anna@example.it");
            seed::addContact(*db, "Bruno", "Conti", "3331000002", "");
            seed::addContact(*db, "Carla", "D'Amico", "3331000003", " ");
            // Two saves to one number within the same second.
            seed::addMessage(*db, "salvati", "Rossi", "3332000001", "01/02/2026 10:00:00", "primo");
            seed::addMessage(*db, "salvati", "Rossi", "3332000001", "01/02/2026 10:00:00",
                             "secondo");
            seed::addMessage(*db, "salvati", "<lista>", "3331000003;3331000001;3331000002",
                             "02/02/2026 09:00:00", "a tutti");
            seed::addMessage(*db, "inviati", "Verdi", "3333000001", "03/02/2026 08:00:00", "uno");
            seed::addMessage(*db, "inviati", "Neri", "3333000002", "03/02/2026 08:01:00",
                             "l'altro");
            seed::addMessage(*db, "inviati", "Gialli", "3333000003", "03/02/2026 08:02:00", "tre");
            seed::addMessage(*db, "cancellati", "Blu", "3334000001", "04/02/2026 07:00:00", "x");
            seed::addMessage(*db, "cancellati", "Rosa", "3334000002", "04/02/2026 07:01:00", "y");
            for (const QString& message : sentMessages) {
                const auto row = messageOf(message);
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
    // that were ticked; unticking one row turns the box off and leaves the other ticks.
    void ticksSurviveRefresh_data() {
        QTest::addColumn<int>("node");
        QTest::addColumn<QList<int>>("unticked"); // after "Seleziona Tutto"
        QTest::addColumn<int>(
            "change");                 // 1: a contact added, 2: a number edited, 3: "primo" deleted
        QTest::addColumn<bool>("all"); // the box still ticked afterwards
        QTest::newRow("all") << int(Contacts) << QList<int>{} << 0 << true;
        QTest::newRow("a new contact comes in unticked")
            << int(Contacts) << QList<int>{} << 1 << false;
        QTest::newRow("a ticked contact's number edited")
            << int(Contacts) << QList<int>{} << 2 << true;
        QTest::newRow("saved twins: the ticked one deleted")
            << int(Saved) << QList<int>{1} << 3 << false;
    }
    void ticksSurviveRefresh() {
        QFETCH(int, node);
        QFETCH(QList<int>, unticked);
        QFETCH(int, change);
        QFETCH(bool, all);
        show(node);
        auto* box = control<QCheckBox>(browser(), "Check1");
        box->click();
        for (int row : unticked) // as a click on the row's box
            QVERIFY(model()->setData(model()->index(row, 0), Qt::Unchecked, Qt::CheckStateRole));
        QCOMPARE(box->isChecked(), unticked.isEmpty());
        QStringList ticked = tickedEntries();
        if (change == 1) {
            seed::addContact(*m_folder->book("Principale"), "Zoe", "Zanni", "3331000009", "");
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
        }
        m_window->refreshOnActivation();
        QTRY_VERIFY(!control<QTimer>(browser(), "Timer3")->isActive());
        QCOMPARE(tickedEntries(), ticked);
        QCOMPARE(box->isChecked(), all);
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

    // "Cancella Spuntati": sent messages move to cancellati, everything else goes for good. A
    // failure half-way keeps the rows done, says how many, and loses no sent message.
    void deleteTicked_data() {
        QTest::addColumn<int>("node");
        QTest::addColumn<QList<int>>("ticked"); // empty: "Seleziona Tutto"
        QTest::addColumn<Answer>("answer");
        QTest::addColumn<int>("room");   // rows cancellati still takes; -1: no limit
        QTest::addColumn<bool>("added"); // a contact added by another program after the ticks
        QTest::newRow("sent: moved with their four texts")
            << int(Sent) << QList<int>{0, 2} << Answer::Yes << -1 << false;
        QTest::newRow("deleted: gone")
            << int(Deleted) << QList<int>{1} << Answer::Yes << -1 << false;
        QTest::newRow("contacts: gone, one added since stays")
            << int(Contacts) << QList<int>{} << Answer::Yes << -1 << true;
        QTest::newRow("answer No") << int(Sent) << QList<int>{0} << Answer::No << -1 << false;
        QTest::newRow("third move refused")
            << int(Sent) << QList<int>{} << Answer::Yes << 2 << false;
    }
    void deleteTicked() {
        QFETCH(int, node);
        QFETCH(QList<int>, ticked);
        QFETCH(Answer, answer);
        QFETCH(int, room);
        if (room >= 0) // behind the program's back
            rawSql(store::archive::addressBookPath(m_folder->path(), "Principale"),
                   QString("CREATE TRIGGER pieno BEFORE INSERT ON cancellati WHEN "
                           "(SELECT count(*) FROM cancellati) >= %1 BEGIN SELECT "
                           "RAISE(ABORT, 'archivio pieno'); END")
                       .arg(2 + room)
                       .toUtf8());
        show(node);
        if (ticked.isEmpty())
            control<QCheckBox>(browser(), "Check1")->click();
        for (int row : ticked)
            model()->setChecked(row, true);
        const QStringList listed = tickedEntries();
        QFETCH(bool, added);
        if (added)
            seed::addContact(*m_folder->book("Principale"), "Zoe", "Zanni", "3331000009", "");
        const QStringList before = rows(*m_folder, tableOf[node]);
        const QStringList binBefore = rows(*m_folder, "cancellati");
        m_script->answer(answer);

        browser()->deleteTicked(); // "Cancella Spuntati"

        const int done = answer == Answer::No ? 0 : room >= 0 ? room : int(listed.size());
        const QStringList messages = m_script->messages();
        QCOMPARE(messages.value(0), "Si desidera Cancellare i contatti selezionati? ");
        QCOMPARE(messages.size(), room >= 0 ? 2 : 1);
        if (room >= 0) // how many went, and why the rest did not
            QVERIFY(messages[1].contains(
                        QString("Voci cancellate: %1 su %2;").arg(done).arg(listed.size())) &&
                    messages[1].endsWith("archivio pieno."));
        const QStringList left = rows(*m_folder, tableOf[node]);
        QCOMPARE(left.size(), before.size() - done);
        if (room < 0 && answer == Answer::Yes) // exactly the ticked ones
            QCOMPARE(sorted(left), sorted(minus(before, listed)));
        const QStringList moved = minus(rows(*m_folder, "cancellati"), binBefore);
        if (node == Sent)
            QCOMPARE(sorted(left + moved), sorted(before));
        else if (node != Deleted)
            QVERIFY(moved.isEmpty());
        QCOMPARE(reportsAstray(*m_folder), QStringList());
        QTRY_COMPARE(model()->rowCount(), left.size());
    }

    // "Ripristina Spuntati", on "SMS Cancellati" only: the ticked messages back to inviati with
    // their four texts, each moved whole or left where it was.
    void restoreTicked_data() {
        QTest::addColumn<int>("room"); // rows inviati still takes; -1: no limit
        QTest::addColumn<QString>("message");
        QTest::newRow("both back") << -1 << "Messaggi ripristinati: 2";
        QTest::newRow("the second refused") << 1 << "Messaggi ripristinati: 1 su 2;";
    }
    void restoreTicked() {
        QFETCH(int, room);
        auto* restore = control<QAction>(m_window.get(), "ripri");
        show(Sent);
        QVERIFY(!restore->isEnabled());
        if (room >= 0) // behind the program's back
            rawSql(store::archive::addressBookPath(m_folder->path(), "Principale"),
                   QString("CREATE TRIGGER pieno BEFORE INSERT ON inviati WHEN (SELECT count(*) "
                           "FROM inviati) >= %1 BEGIN SELECT RAISE(ABORT, 'pieno'); END")
                       .arg(rows(*m_folder, "inviati").size() + room)
                       .toUtf8());
        const QStringList sent = rows(*m_folder, "inviati");
        const QStringList bin = rows(*m_folder, "cancellati");
        show(Deleted);
        QVERIFY(restore->isEnabled());
        control<QCheckBox>(browser(), "Check1")->click();
        restore->trigger();
        QFETCH(QString, message);
        QVERIFY2(m_script->messages().value(0).contains(message),
                 qPrintable(m_script->messages().value(0)));
        const int moved = room >= 0 ? room : int(bin.size());
        QCOMPARE(rows(*m_folder, "cancellati").size(), bin.size() - moved);
        QCOMPARE(sorted(rows(*m_folder, "inviati") + rows(*m_folder, "cancellati")),
                 sorted(sent + bin)); // nothing lost, nothing doubled, the texts unchanged
        QCOMPARE(reportsAstray(*m_folder), QStringList());
        QTRY_COMPARE(model()->rowCount(), bin.size() - moved);
    }

    // What the composer got, or the report window; empty: nothing opened.
    void doubleClick_data() {
        QTest::addColumn<int>("node");
        QTest::addColumn<int>("row");
        QTest::addColumn<bool>("shift");
        QTest::addColumn<QString>("composer");
        QTest::newRow("saved list message") << int(Saved) << 0 << false
                                            << "1|3331000003,3331000001,3331000002|3331000003;"
                                               "3331000001;3331000002|<lista>|a tutti";
        QTest::newRow("contact") << int(Contacts) << 1 << true << "0||3331000002|Conti|";
        QTest::newRow("sent message") << int(Sent) << 0 << false << "";
        QTest::newRow("sent message, Shift held")
            << int(Sent) << 2 << true << "esito Accettati 1, rifiutati 0, non inviati 0";
    }
    void doubleClick() {
        QFETCH(int, node);
        QFETCH(int, row);
        QFETCH(bool, shift);
        show(node);
        click(row);
        QString composer;
        onComposer(composer);
        browser()->openComposerForEntry(shift ? Qt::ShiftModifier : Qt::NoModifier);
        QCoreApplication::processEvents();
        QTEST(composer, "composer");
    }

    // The right button opens the actions on the row under the pointer. The contact entries act
    // on a contact only; then the window closes.
    void actions_data() {
        QTest::addColumn<int>("node");
        QTest::addColumn<int>("row");
        QTest::addColumn<int>("entry");
        QTest::addColumn<QString>("outcome");
        QTest::newRow("Modifica Contatto") << int(Contacts) << 2 << 1 << "editor D'Amico";
        QTest::newRow("Invia SMS singolo")
            << int(Contacts) << 2 << 2 << "composer 0||3331000003|D'Amico|";
        QTest::newRow("Invia Email") << int(Contacts) << 0 << 3 << "mailto:anna@example.it";
        QTest::newRow("saved: Invia SMS singolo") << int(Saved) << 1 << 2 << "";
        QTest::newRow("sent: Esito invio")
            << int(Sent) << 1 << 6 << "esito Accettati 1, rifiutati 0, non inviati 0";
    }
    void actions() {
        QFETCH(int, node);
        QFETCH(int, row);
        QFETCH(int, entry);
        show(node);
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
        QLabel* label =
            control<QLabel>(actions, QList<const char*>{"Label1", "Label2", "Label3", "Label4",
                                                        "Label5", "Label6"}[entry - 1]);
        QCOMPARE(label->isVisible(), entry < 4 || node == Sent);
        QString outcome;
        onComposer(outcome);
        QTest::mouseClick(label, Qt::LeftButton);
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
