// The composer and its send, from the main window's commands, against a stand-in of the
// service that also plays the SMS centre.
#include "app/mainwindow.h"
#include "browser/archivebrowser.h"
#include "browser/archivemodel.h"
#include "core/session.h"
#include "httpstandin.h"
#include "messaging/composer.h"
#include "messaging/sendreportwindow.h"
#include "platform/clock.h"
#include "platform/dialogs.h"
#include "support/controls.h"
#include "support/mainwindowtest.h"
#include "support/testfolder.h"

#include <QClipboard>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTextDocument>
#include <QTimer>
#include <QTreeView>
#include <QUrlQuery>
#include <QtTest>

using Answer = HttpStandIn::Answer;
Q_DECLARE_METATYPE(Answer)

class tst_composer : public QObject, private MainWindowTest {
    Q_OBJECT
private slots:
    void init() {
        m_folder = std::make_unique<TestFolder>();
        {
            auto db = m_folder->book("Principale");
            testdata::addContact(*db, "Anna", "Bianchi", "3331000001", "");
            testdata::addContact(*db, "Bruno", "Conti", "3331000002", "");
            testdata::addContact(*db, "Carla", "D'Amico", "3331000003", "");
        }
        m_folder->write("registrazione", {"mario-segreto"});
        m_folder->write("residui.txt", {"10"});
        m_service = std::make_unique<HttpStandIn>();
        m_folder->write("servizio", {m_service->servizio()});
        start(3);
        serviceAnswers("10");
    }
    void cleanup() {
        m_service.reset();
        stop();
    }

    // Ticked contacts, "Invia SMS Multipli", a text, send: three SMS for a credit of three. The
    // status shows each step, the last box says so, the main window shows the credit left.
    void listSend() {
        serviceAnswers("3");
        m_window->browser()->model()->setAllChecked(true);
        QStringList statuses, shown;
        onComposer([&](Composer& f) {
            connect(&f, &Composer::statusChanged, &f, [&](const QString& s) { statuses << s; });
            connect(&f, &Composer::sendArchived, &f, [&] { statuses << "(in inviati)"; });
            // what the window shows at the end, however fast the SMS went
            connect(&f, &Composer::sendFinished, &f, [&] {
                shown = {control<QLabel>(&f, "Label21")->text(),
                         QString::number(control<QProgressBar>(&f, "ProgressBar1")->value()),
                         control<QLineEdit>(&f, "Text2")->text()};
            });
            QCOMPARE(control<QLineEdit>(&f, "Text2")->text(),
                     "3331000001;3331000002;3331000003"); // the last ";" gone
            control<QPlainTextEdit>(&f, "Text1")->setPlainText("Saldi: -20% € da lunedì 😀");
            control<QPushButton>(&f, "Command1")->click();
        });
        control<QAction>(m_window.get(), "ismsm")->trigger();
        QCOMPARE(statuses.join(", "), "Verifica Credito, (in inviati), Disponibilità OK, Inviati 1 "
                                      "di 3, Inviati 2 di 3, Inviati 3 di 3, Invio Completato");
        QCOMPARE(shown.join(" | "), "Invio Completato | 3 | 3331000003");
        QCOMPARE(m_script->messages().last(), "Messaggio/i  inviato correttamente");
        QCOMPARE(control<QLabel>(m_window.get(), "Label3")->text(), "Credito residuo 0");
        QVERIFY(!QGuiApplication::overrideCursor());
    }

    // A send that stops before any SMS goes out: the box says why; the composer closes or
    // stays open with its text. What the job sent, archived and charged is the job's test.
    void sendStops_data() {
        QTest::addColumn<QString>("text");      // a list send unless longer than 160
        QTest::addColumn<QByteArray>("credit"); // "-": no account file
        QTest::addColumn<QString>("message");
        QTest::addColumn<bool>("closed");
        QTest::newRow("no account") << "Ciao" << QByteArray("-")
                                    << "Account del servizio SMS mancante o incompleto: inserire "
                                       "Nome Utente e Password in Gestione Account"
                                    << false;
        QTest::newRow("credit used up") << "Ciao" << QByteArray("0") << "Credito Esaurito" << true;
        QTest::newRow("two credits for three")
            << "Ciao" << QByteArray("2") << "Credito insufficiente" << false;
        QTest::newRow("1601 characters")
            << QString(1601, 'a') << QByteArray("10")
            << "Il testo richiede 11 SMS, al massimo 10: accorciarlo" << false;
    }
    void sendStops() {
        QFETCH(QString, text);
        QFETCH(QByteArray, credit);
        if (credit == "-")
            QFile::remove(m_folder->file("registrazione"));
        m_service->route("leggi.pl", {.body = credit});
        Composer::Request request = text.size() <= 160
                                        ? list({"3331000001", "3331000002", "3331000003"})
                                        : single("3471234567", {});
        Composer f(session(), request);
        f.prepareOnActivation();
        control<QPlainTextEdit>(&f, "Text1")->setPlainText(text);
        QSignalSpy finished(&f, &QDialog::finished);
        send(f);
        QTEST(m_script->messages().last(), "message");
        QTEST(finished.size() == 1, "closed");
        QCOMPARE(control<QPlainTextEdit>(&f, "Text1")->toPlainText(), text);
    }

    // The counter says what the network counts of the text and which alphabet; the line
    // beside it, the SMS the send charges. The notice comes when the text stops fitting one SMS,
    // in its alphabet; filling one SMS exactly is no notice.
    void counter_data() {
        QTest::addColumn<QString>("mode"); // every, blank or list (of three)
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("count");
        QTest::addColumn<QString>("charge");
        QTest::addColumn<QString>("notice");
        const QString x = "x", euro = "€", emoji = "😀";
        const QString gsm = "Il testo supera 160 Caratteri, il messaggio verrà spedito "
                            "utilizzando più di un SMS";
        const QString unicode = "Il testo supera 70 caratteri Unicode, il messaggio verrà "
                                "spedito utilizzando più di un SMS";
        const QString one = "1 SMS: credito necessario 1", two = "2 SMS: credito necessario 2";
        const auto row = [](const char* tag, const char* mode, const QString& text,
                            const char* count, const QString& charge, const QString& notice = {}) {
            QTest::newRow(tag) << QString(mode) << text << QString(count) << charge << notice;
        };
        row("80 euro", "every", euro.repeated(80), "80 · 160 di 160 (GSM)", one);
        row("81 euro", "every", euro.repeated(81), "81 · 162 di 160 (GSM)", two, gsm);
        row("70 units", "every", QString("á").repeated(70), "70 · 70 di 70 (Unicode)", one);
        row("one acute, 70 letters", "every", "á" + x.repeated(70), "71 · 71 di 70 (Unicode)", two,
            unicode);
        row("36 emoji", "every", emoji.repeated(36), "36 · 72 di 70 (Unicode)", two, unicode);
        row("160 of short words, at a blank", "blank", QString("abcd ").repeated(32).left(160),
            "160 · 160 di 160 (GSM)", one);
        row("list of three", "list", euro.repeated(80), "80 · 160 di 160 (GSM)",
            "1 SMS × 3 destinatari: credito necessario 3");
        row("list, a draft over one SMS", "list", "È" + x.repeated(70), "71 · 71 di 70 (Unicode)",
            "Il testo supera un SMS (70 caratteri Unicode): accorciarlo per l'invio a più "
            "destinatari");
    }
    void counter() {
        QFETCH(QString, mode);
        QFETCH(QString, text);
        Composer::Request request =
            mode == "list" ? list({"3331000001", "3331000002", "3331000003"}) : single({}, {});
        request.text = text;
        Composer f(session(), request);
        f.prepareOnActivation();
        control<QRadioButton>(&f, "Option2")->setChecked(mode == "blank");
        QTEST(control<QLabel>(&f, "Label5")->text(), "count");
        QTextDocument charge;
        charge.setHtml(control<QLabel>(&f, "Label24")->text());
        QTEST(charge.toPlainText().section('\n', 0, 0), "charge");
        QTEST(m_script->messages().join('|'), "notice");
    }

    // List mode holds one SMS as a text box's maximum length, measured as the SMS centre
    // does: what is pasted or typed is cut to fit, the text already there never changes. A
    // longer draft is kept, and the send refuses it.
    void listLimit_data() {
        QTest::addColumn<QString>("draft");
        QTest::addColumn<int>("caret");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("text");
        const QString full = QString(80, 'x') + QString(80, 'y');
        QTest::newRow("onto 159: the 160th fits")
            << full.left(159) << 159 << "ZW" << full.left(159) + 'Z';
        QTest::newRow("onto 158 septets: a euro fits")
            << QString(158, 'x') << 0 << QString("€€") << "€" + QString(158, 'x');
        QTest::newRow("onto 69 units: an emoji does not")
            << QString("á").repeated(69) << 69 << "😀" << QString("á").repeated(69);
        QTest::newRow("onto 68 units: an emoji fits, whole")
            << QString("á").repeated(68) << 68 << "😀😀" << QString("á").repeated(68) + "😀";
        QTest::newRow("an accent onto 100 letters: 70 units")
            << QString(100, 'x') << 100 << "é ú" << QString(100, 'x') + "é ";
        QTest::newRow("a saved draft of 161 stays, takes nothing more")
            << full + 'E' << 3 << "ZW" << full + 'E';
    }
    void listLimit() {
        QFETCH(QString, draft);
        QFETCH(int, caret);
        QFETCH(QString, typed);
        QFETCH(QString, text);
        Composer::Request request = list({"3331000001", "3331000002"});
        request.text = draft;
        Composer f(session(), request);
        f.prepareOnActivation();
        auto* box = control<QPlainTextEdit>(&f, "Text1");
        QTextCursor at = box->textCursor();
        at.setPosition(caret);
        box->setTextCursor(at);
        box->insertPlainText(typed);
        QTEST(box->toPlainText(), "text");
        if (text.size() <= 160)
            return;
        QSignalSpy finished(&f, &QDialog::finished);
        send(f);
        QCOMPARE(m_script->messages().value(1), "Il testo supera un SMS (160 caratteri GSM): "
                                                "accorciarlo per l'invio a più destinatari");
        QVERIFY(finished.isEmpty() && m_service->targets().isEmpty());
    }

    // Activation in list mode: an empty last entry goes, once.
    void listActivation() {
        Composer::Request request = list({"111", ""});
        request.number = "111;;";
        Composer f(session(), request);
        f.prepareOnActivation();
        f.prepareOnActivation(); // activated again: nothing more goes
        QCOMPARE(control<QLineEdit>(&f, "Text2")->text(), "111");
        QCOMPARE(f.recipients(), QStringList{"111"});
    }

    // Saving a draft into salvati of the selected address book.
    void save_data() {
        QTest::addColumn<QString>("number");
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("answer");
        QTest::addColumn<QString>("message");
        QTest::addColumn<bool>("saved"); // as "Rossi|3471234567|Bozza"
        const QString ask = "Prefisso internazionele non necessario rimuovo il prefisso ";
        QTest::newRow("plain") << "3471234567" << QString("Bozza") << 0 << "" << true;
        QTest::newRow("+39 removed on OK") << "+393471234567" << QString("Bozza")
                                           << int(platform::Answer::Ok) << ask + "+39" << true;
        QTest::newRow("no text") << "3471234567" << QString() << 0 << "Testo SMS Mancante" << false;
    }
    void save() {
        QFETCH(QString, number);
        QFETCH(QString, text);
        QFETCH(int, answer);
        QFETCH(bool, saved);
        m_script->answer(platform::Answer(answer));
        Composer f(session(), single(number, "Rossi"));
        f.prepareOnActivation();
        control<QPlainTextEdit>(&f, "Text1")->setPlainText(text);
        QSignalSpy finished(&f, &QDialog::finished);
        control<QPushButton>(&f, "Command3")->click();
        QTEST(m_script->messages().join('|'), "message");
        QCOMPARE(
            tableRows(*m_folder->book("Principale"), "salvati", {"cognome", "cellulare", "Testo"}),
            saved ? QStringList{"Rossi|3471234567|Bozza"} : QStringList{});
        QCOMPARE(finished.size(), int(saved));
    }

    // An emoticon goes at the end of the text, a blank each side: from its symbol on a double
    // click, from its name on a click.
    void emoticons_data() {
        QTest::addColumn<QByteArray>("label");
        QTest::addColumn<bool>("doubleClick");
        QTest::addColumn<QString>("text");
        QTest::newRow("symbol, double click") << QByteArray("Label8") << true << "Ciao :-)) ";
        QTest::newRow("symbol, one click") << QByteArray("Label8") << false << "Ciao";
        QTest::newRow("name, one click") << QByteArray("Label17") << false << "Ciao :-@ ";
    }
    void emoticons() {
        QFETCH(QByteArray, label);
        QFETCH(bool, doubleClick);
        Composer f(session(), single("3471234567", {}));
        auto* box = control<QPlainTextEdit>(&f, "Text1");
        box->setPlainText("Ciao");
        box->moveCursor(QTextCursor::Start);
        auto* face = control<QLabel>(&f, label.constData());
        if (doubleClick)
            QTest::mouseDClick(face, Qt::LeftButton);
        else
            QTest::mouseClick(face, Qt::LeftButton);
        QTEST(box->toPlainText(), "text");
    }

    // "Inserisci campo" puts a field at the caret; the counter counts the fullest filled text,
    // the charge one SMS a recipient; "Anteprima" shows the first three texts as sent.
    void fields() {
        Composer f(session(), list({"3331000001", "3331000002", "3331000003", "3339999999"}));
        f.prepareOnActivation();
        auto* box = control<QPlainTextEdit>(&f, "Text1");
        box->setPlainText("Gentile ,");
        QTextCursor caret = box->textCursor();
        caret.setPosition(8);
        box->setTextCursor(caret);
        control<QAction>(&f, "mnuCampoCognome")->trigger();
        control<QPushButton>(&f, "cmdAnteprima")->click();
        QCOMPARE(box->toPlainText(), "Gentile {Cognome},");
        QCOMPARE(control<QLabel>(&f, "Label5")->text(), "16 · 16 di 160 (GSM)");
        QVERIFY(control<QLabel>(&f, "Label24")->text().startsWith("1 SMS × 4 destinatari"));
        QCOMPARE(control<QPlainTextEdit>(&f, "txtAnteprima")->toPlainText(),
                 "Anna Bianchi (3331000001):\nGentile Bianchi,\n\nBruno Conti (3331000002):\n"
                 "Gentile Conti,\n\nCarla D'Amico (3331000003):\nGentile D'Amico,");
    }

    // A list says how many excluded numbers it skips and charges the others; a single send to
    // one asks first, and "No" sends nothing.
    void excludedNumbers() {
        m_folder->write("esclusi", {"+39 333 100 0002"});
        Composer f(session(), list({"3331000001", "3331000002", "3331000003"}));
        f.prepareOnActivation();
        control<QPlainTextEdit>(&f, "Text1")->setPlainText("Ciao");
        QCOMPARE(control<QLabel>(&f, "Label24")->text(),
                 "1 SMS × 2 destinatari: credito necessario 2<br>1 destinatari esclusi");
        Composer one(session(), single("333 100 0002", {}));
        one.prepareOnActivation();
        control<QPlainTextEdit>(&one, "Text1")->setPlainText("Ciao");
        m_script->answer(platform::Answer::No);
        control<QPushButton>(&one, "Command1")->click();
        QCOMPARE(m_script->messages().join('|'),
                 "Il numero 333 100 0002 è tra i Numeri esclusi: ha "
                 "chiesto di non ricevere messaggi. Inviare comunque?");
        QVERIFY(m_service->targets().isEmpty());
    }

    // A list with a field and an excluded number: archived as written; "Esito invio" exports
    // each recipient's own text, the excluded one as "Escluso".
    void reportOfFilledTexts() {
        serviceAnswers("3");
        m_folder->write("esclusi", {"+39 333 100 0002"});
        Composer f(session(), list({"3331000001", "3331000002", "3331000003"}));
        f.prepareOnActivation();
        control<QPlainTextEdit>(&f, "Text1")->setPlainText("Ciao {Nome}!");
        send(f);
        const auto db = m_folder->book("Principale");
        const auto rs = db->openRecordset("inviati");
        QCOMPARE(rs->value("Testo"), "Ciao {Nome}!");
        SendReportWindow report({store::archive::addressBookPath(m_folder->path(), "Principale"),
                                 {rs->value("cognome"), rs->value("cellulare"), rs->value("Data"),
                                  rs->value("Testo")}});
        m_script->answerText(m_folder->file("esito.csv"));
        control<QPushButton>(&report, "Command1")->click();
        QStringList exported;
        for (const QString& line : QString::fromLatin1(readBytes(m_folder->file("esito.csv")))
                                       .split("\r\n", Qt::SkipEmptyParts))
            exported << line.section(';', 3, 3) + ' ' + line.section(';', -1);
        QCOMPARE(exported.join('|'),
                 "Esito Testo|Accettato Ciao Anna!|Accettato Ciao Carla!|Escluso Ciao Bruno!");
    }

    // "Invia SMS Singoli" takes the last ticked entry; "Invia SMS Multipli" wants a book.
    void commands() {
        ArchiveModel* model = m_window->browser()->model();
        model->setChecked(0, true);
        model->setChecked(2, true);
        QString got; // number and surname
        onComposer([&](Composer& f) {
            got = control<QLabel>(&f, "Label18")->text() + '|' +
                  control<QLabel>(&f, "Label2")->text();
            control<QPushButton>(&f, "Command2")->click();
        });
        control<QAction>(m_window.get(), "ismss")->trigger();
        QCOMPARE(got, model->text(2, 1) + '|' + model->text(2, 3));

        m_window->selectNode(1); // the root "Rubriche"
        m_window->onTreeNodeClicked();
        control<QAction>(m_window.get(), "ismsm")->trigger();
        QCOMPARE(m_script->messages(), QStringList{"selezionare un Archivio Valido"});
        QVERIFY(!shownWindow<Composer>("Form5"));
    }

private:
    // What the main window hands the composer on Principale.
    static Composer::Request single(const QString& number, const QString& surname) {
        Composer::Request request;
        request.number = number;
        request.surname = surname;
        request.sentBook = request.draftBook = "Principale";
        return request;
    }
    static Composer::Request list(const QStringList& recipients) {
        Composer::Request request = single({}, {});
        request.mode = Composer::Mode::List;
        request.recipients = recipients;
        return request;
    }
    void serviceAnswers(const QByteArray& credit) {
        m_service->route("leggi.pl", {.body = credit});
        m_service->route("nosggi.pl", {.body = "127.0.0.1-quillet:quillet-" +
                                               QByteArray::number(m_service->port())});
        m_service->route("verifica", {.body = "OK"});
        m_service->route("sendsms", {.status = 202, .body = "0: Accepted for delivery"});
    }
    // Runs `act` on the composer once a command has opened it modal.
    void onComposer(const std::function<void(Composer&)>& act) {
        QTimer::singleShot(0, this, [act] {
            Composer* f = shownWindow<Composer>("Form5");
            QVERIFY(f);
            f->prepareOnActivation();
            act(*f);
        });
    }
    static void send(Composer& f) {
        QSignalSpy ended(&f, &Composer::sendFinished);
        control<QPushButton>(&f, "Command1")->click();
        QTRY_COMPARE_WITH_TIMEOUT(ended.size(), 1, 20000);
    }

    std::unique_ptr<HttpStandIn> m_service;
};

QTEST_MAIN(tst_composer)
#include "tst_composer.moc"
