#include "platform/dialogs.h"
#include "platform/dialogsetup.h"
#include "platform/helpwindow.h"
#include "platform/textfile.h"
#include "support/testfolder.h"

#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBrowser>

using namespace platform;

namespace {

QByteArray page(const QByteArray& title, const QByteArray& body) {
    return "<html><head><meta charset=\"windows-1252\"><title>" + title +
           "</title></head><body><h1>" + title + "</h1>" + body + "</body></html>\r\n";
}

} // namespace

// The dialogs (scripted and real) and the help window.
class TestDialogs final : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        const QStringList index = {
            "sommario\tsommario.html",   "rubrica\trubriche.html",
            "SMS flash\tsms.html#flash", "sms salvati\tarchivi.html",
            "Città\tcitta.html",         "contatto\trubriche.html",
            "credito\taccount.html",     "pagina mancante\tmanca.html",
            "riga senza tabulazione",
            "Rubrica\tsms.html", // the same key again: the first one counts
            "  spazi  \t  sms.html  ",   QString(),
        };
        QVERIFY(TextFile::replaceLines(indexPath(), index));
        const std::pair<const char*, QByteArray> pages[] = {
            {"sommario.html", page("Sommario", "<p>Questa \xE8 la guida.</p>")},
            {"archivi.html", page("Messaggi salvati", "<p>Bozze.</p>")},
            {"citta.html", page("Citt\xE0", "<p>\x80 5</p>")},
            // A page saved as UTF-8 reads as well.
            {"account.html", "\xEF\xBB\xBF<html><body><p>Disponibilit\xC3\xA0 \xE2\x82\xAC</p>"},
        };
        for (const auto& [name, bytes] : pages)
            writeBytes(m_help.filePath(name), bytes);
    }

    void saveAsksBeforeReplacing_data() {
        QTest::addColumn<QList<Answer>>("answers");
        QTest::addColumn<QStringList>("texts"); // names chosen in the dialog, one each time
        QTest::addColumn<QString>("expected");

        // rubrica.csv exists, altro.csv does not: a question for each answer.
        QTest::newRow("new file, no question")
            << QList<Answer>{} << QStringList{"altro.csv"} << "altro.csv";
        QTest::newRow("existing file, yes")
            << QList<Answer>{Answer::Yes} << QStringList{"rubrica.csv"} << "rubrica.csv";
        QTest::newRow("existing file, no, then another name")
            << QList<Answer>{Answer::No} << QStringList{"rubrica.csv", "altro.csv"} << "altro.csv";
    }

    void saveAsksBeforeReplacing() {
        QFETCH(QList<Answer>, answers);
        QFETCH(QStringList, texts);
        QFETCH(QString, expected);
        const auto questions = answers.size(), dialogs = texts.size();

        QTemporaryDir dir;
        const QString path = dir.filePath("rubrica.csv");
        writeBytes(path, "Nome;Cognome\r\n");
        DialogScript script;
        for (Answer a : answers)
            script.answer(a);
        for (const QString& t : texts)
            script.answerText(dir.filePath(t));

        const auto chosen = saveFileName("Esporta Contatti", dir.path(), "File di testo (*.csv)");
        QCOMPARE(chosen, std::optional(dir.filePath(expected)));
        QCOMPARE(script.messages(),
                 QStringList(questions, "Il file rubrica.csv esiste già.\nSostituirlo?"));
        QCOMPARE(script.shown().size(), questions + dialogs);
        QCOMPARE(script.shown().first().directory, dir.path());
        if (questions > 0)
            QCOMPARE(script.shown().at(1).buttons, Buttons::YesNo);
        // After "No" the dialog comes back on the same file.
        if (dialogs > 1)
            QCOMPARE(script.shown().at(2).directory, path);
    }

    // A page that cannot be opened is told, with its address.
    void openUrlFailureIsTold_data() {
        QTest::addColumn<bool>("opens");
        QTest::addColumn<QStringList>("told");
        QTest::newRow("web page opens") << true << QStringList{};
        QTest::newRow("no browser") << false
                                    << QStringList{"Impossibile aprire la pagina "
                                                   "https://example.org/affiliati.htm.\nVerificare "
                                                   "che sia installato un browser web."};
    }

    void openUrlFailureIsTold() {
        QFETCH(bool, opens);
        const QUrl page("https://example.org/affiliati.htm");
        DialogScript script;
        script.answerUrl(opens).answer(Answer::Ok);
        QCOMPARE(openUrl(page), opens);
        QCOMPARE(script.shown().first().text, page.toString());
        QTEST(script.messages(), "told");
    }

    void messageBoxAnswers_data() {
        QTest::addColumn<Buttons>("buttons");
        QTest::addColumn<Answer>("onEnter");
        QTest::addColumn<Answer>("onEscape");

        QTest::newRow("ok/cancel") << Buttons::OkCancel << Answer::Ok << Answer::Cancel;
        QTest::newRow("yes/no") << Buttons::YesNo << Answer::Yes << Answer::No;
    }

    void messageBoxAnswers() {
        QFETCH(Buttons, buttons);
        QFETCH(Answer, onEnter);
        QFETCH(Answer, onEscape);

        QMessageBox box;
        detail::setupMessageBox(box, "Il file <a.csv> esiste già.", Icon::Exclamation, buttons, {});
        QCOMPARE(box.textFormat(), Qt::PlainText);
        const auto press = [&](Qt::Key key) {
            box.show();
            QTest::keyClick(&box, key);
            return box.isVisible() ? std::nullopt : std::optional(detail::answerOf(box, buttons));
        };
        QCOMPARE(press(Qt::Key_Return), std::optional(onEnter));
        QCOMPARE(press(Qt::Key_Escape), std::optional(onEscape));
    }

    void parentGoneIsForgotten() {
        auto* window = new QWidget;
        setDialogParent(window);
        QCOMPARE(detail::dialogParent(), window);
        delete window;
        QCOMPARE(detail::dialogParent(), nullptr);
    }

    // Typing filters the keys by their beginning; Enter (after arrows down) shows the page of
    // the chosen key.
    void helpSearch_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<int>("downs");
        QTest::addColumn<QStringList>("visible");
        QTest::addColumn<QString>("page");
        QTest::addColumn<QString>("shows");
        const QStringList sms = {"SMS flash", "sms salvati"};
        const auto row = [](const char* tag, const QString& typed, int downs,
                            const QStringList& visible, const QString& page, const QString& shows) {
            QTest::newRow(tag) << typed << downs << visible << page << shows;
        };
        row("nothing typed: all keys in Italian order", "", 0,
            {"Città", "contatto", "credito", "pagina mancante", "rubrica", "SMS flash",
             "sms salvati", "sommario", "spazi"},
            "citta.html", "€ 5");
        row("arrow to the second match", "sm", 1, sms, "archivi.html", "Bozze.");
        row("accented capital, Windows-1252 page", "CITTÀ", 0, {"Città"}, "citta.html", "€ 5");
        row("only at the beginning: no match keeps the first page", "flash", 0, {}, "sommario.html",
            "Questa è la guida.");
        row("page missing", "pagina", 0, {"pagina mancante"}, "",
            "La pagina manca.html della guida non è disponibile.");
    }

    void helpSearch() {
        QFETCH(QString, typed);
        QFETCH(int, downs);
        QFETCH(QString, shows);

        HelpWindow window(indexPath());
        auto* search = window.findChild<QLineEdit*>("cerca");
        QTest::keyClicks(search, typed);
        QTEST(window.visibleKeys(), "visible");
        for (int i = 0; i < downs; ++i)
            QTest::keyClick(search, Qt::Key_Down);
        QTest::keyClick(search, Qt::Key_Return);
        QTEST(window.currentPage(), "page");
        const QString text = window.findChild<QTextBrowser*>("pagina")->toPlainText();
        QVERIFY2(text.contains(shows), qPrintable(text));
    }

    void helpShowSearchReusesOneWindow() {
        QPointer<HelpWindow> held;
        QPointer<HelpWindow> first = HelpWindow::showSearch(held, indexPath(), "cred");
        QVERIFY(first && first->isVisible());
        QCOMPARE(first->visibleKeys(), QStringList{"credito"});
        QCOMPARE(first->currentPage(), "account.html");
        QCOMPARE(HelpWindow::showSearch(held, indexPath()), first.data());
        QCOMPARE(first->visibleKeys().size(), 9);

        // Closed by the user: the next call opens a fresh window.
        first->close();
        QTRY_VERIFY(!first);
        HelpWindow* reopened = HelpWindow::showSearch(held, indexPath(), "sms");
        QCOMPARE(reopened->visibleKeys().size(), 2);
        delete reopened;
    }

private:
    QString indexPath() const { return m_help.filePath("indice.txt"); }
    QTemporaryDir m_help;
};

QTEST_MAIN(TestDialogs)
#include "tst_dialogs.moc"
