// The composer and its send, from the main window's commands, against a stand-in of the
// service that also plays the SMS centre.
#include "app/mainwindow.h"
#include "app/session.h"
#include "browser/archivebrowser.h"
#include "browser/archivemodel.h"
#include "httpstandin.h"
#include "messaging/composer.h"
#include "platform/clock.h"
#include "platform/dialogs.h"
#include "support/controls.h"
#include "support/mainwindowtest.h"
#include "support/testfolder.h"

#include <QClipboard>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QTreeView>
#include <QUrlQuery>
#include <QtTest>

using Answer = HttpStandIn::Answer;
Q_DECLARE_METATYPE(Answer)

namespace {

const QString done = "Messaggio/i  inviato correttamente";
const QString someRefused = "Alcuni messaggi non Inviati.";
const QString noConnection = "Connessione al servizio non riuscita. Verificare la connessione "
                             "ad Internet e ritentare";

QStringList rows(const TestFolder& folder, const QString& table,
                 const QString& book = "Principale") {
    auto db = folder.book(book);
    auto rs = db->openRecordset(table);
    QStringList out;
    for (; !rs->isEof(); rs->MoveNext())
        out << rs->value("cognome") + '|' + rs->value("cellulare") + '|' + rs->value("Testo");
    return out;
}

} // namespace

class tst_composer : public QObject, private MainWindowTest {
    Q_OBJECT
private slots:
    void init() {
        m_folder = std::make_unique<TestFolder>();
        {
            auto db = m_folder->book("Principale");
            seed::addContact(*db, "Anna", "Bianchi", "3331000001", "");
            seed::addContact(*db, "Bruno", "Conti", "3331000002", "");
            seed::addContact(*db, "Carla", "D'Amico", "3331000003", "");
        }
        m_folder->write("registrazione", {"mario-segreto"});
        m_folder->write("residui.txt", {"10"});
        m_service = std::make_unique<HttpStandIn>();
        m_folder->write("servizio", {m_service->servizio()});
        start(3);
        serviceAnswers("10");
        platform::Clock::setNowForTesting([] { return QDateTime(QDate(2026, 3, 9), QTime(8, 7)); });
    }
    void cleanup() {
        platform::Clock::setNowForTesting({});
        m_service.reset();
        stop();
    }

    // Ticked contacts, "Invia SMS Multipli", a text, send: three SMS for a credit of three. The
    // status shows each step, the message is archived before the SMS, the last box says what
    // went out, the main window shows the credit left.
    void listSend_data() {
        QTest::addColumn<QByteArray>("receiver"); // the SMS centre answers it this way
        QTest::addColumn<Answer>("answer");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("credit");
        QTest::newRow("all three delivered") << QByteArray() << Answer{} << done << "0";
        QTest::newRow("the third refused")
            << QByteArray("3331000003")
            << Answer{.status = 400, .body = "Sender missing and no global set, rejected"}
            << someRefused + "\n\nRifiutati 1 di 3: Sender missing and no global set, rejected"
            << "1";
        QTest::newRow("the centre lost at the second")
            << QByteArray("3331000002")
            << Answer{.kind = HttpStandIn::Kind::CloseMidBody, .body = {}}
            << "Invio interrotto: inviati 1 SMS su 3."
            << "2";
    }
    void listSend() {
        QFETCH(QByteArray, receiver);
        QFETCH(Answer, answer);
        QFETCH(QString, message);
        QFETCH(QString, credit);
        serviceAnswers("3");
        if (!receiver.isEmpty())
            m_service->route("to=%2B39" + receiver, answer);
        ArchiveBrowser* browser = m_window->browser();
        control<QTreeView>(browser, "lvw1")
            ->setCurrentIndex(browser->model()->index(0, 1)); // a row clicked first
        browser->selectCurrentEntry();
        QVERIFY(!browser->currentEntry().number.isEmpty());
        browser->model()->setAllChecked(true);
        QStringList statuses;
        onComposer([&](Composer& f) {
            connect(&f, &Composer::statusChanged, &f, [&](const QString& s) { statuses << s; });
            connect(&f, &Composer::sendArchived, &f, [&] { statuses << "(in inviati)"; });
            QVERIFY(control<QLabel>(&f, "Label3")->isHidden() &&
                    control<QPushButton>(&f, "Command4")->isHidden());
            QCOMPARE(control<QLabel>(&f, "Label2")->text(), "<lista>");
            QCOMPARE(control<QLineEdit>(&f, "Text2")->text(),
                     "3331000001;3331000002;3331000003"); // the last ";" gone
            control<QPlainTextEdit>(&f, "Text1")->setPlainText("Saldi: -20% € da lunedì 😀");
            control<QPushButton>(&f, "Command1")->click();
        });
        control<QAction>(m_window.get(), "ismsm")->trigger();

        const bool lost = answer.kind == HttpStandIn::Kind::CloseMidBody;
        if (lost)
            QCOMPARE(statuses.last(), "Invio interrotto");
        else
            QCOMPARE(statuses, (QStringList{"Verifica Credito", "(in inviati)", "Disponibilità OK",
                                            "Inviati 1 di 3", "Inviati 2 di 3", "Inviati 3 di 3",
                                            "Invio Completato"}));
        QCOMPARE(m_script->messages().size(), 2);
        QVERIFY(m_script->messages().first().startsWith("L'invio di SMS Multipli"));
        QVERIFY2(m_script->messages().last().startsWith(message),
                 qPrintable(m_script->messages().last()));
        QCOMPARE(control<QLabel>(m_window.get(), "Label3")->text(), "Credito residuo " + credit);
        QVERIFY(m_window->browser()->currentEntry().number.isEmpty()); // the composer forgets it
        QVERIFY(!QGuiApplication::overrideCursor());
    }

    // A send that stops before any SMS goes out: the box says why; the composer closes or
    // stays open with its text, its buttons back when the user can try again.
    void sendStops_data() {
        QTest::addColumn<bool>("list");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("credit"); // "-": no account file
        QTest::addColumn<QByteArray>("channel");
        QTest::addColumn<QString>("message");
        QTest::addColumn<bool>("closed");
        QTest::addColumn<bool>("buttons");
        QTest::newRow("no account") << true << "Ciao" << QByteArray("-") << QByteArray()
                                    << "Account del servizio SMS mancante o incompleto: inserire "
                                       "Nome Utente e Password in Gestione Account"
                                    << false << true;
        QTest::newRow("no answer")
            << true << "Ciao" << QByteArray() << QByteArray() << noConnection << true << true;
        QTest::newRow("not a number")
            << true << "Ciao" << QByteArray("Account non valido") << QByteArray()
            << noConnection + "\n\nRisposta del servizio: Account non valido" << true << true;
        QTest::newRow("credit used up") << true << "Ciao" << QByteArray("0") << QByteArray()
                                        << "Credito Esaurito" << true << false;
        QTest::newRow("two credits for three") << true << "Ciao" << QByteArray("2") << QByteArray()
                                               << "Credito insufficiente" << false << false;
        QTest::newRow("no channel settings")
            << true << "Ciao" << QByteArray("50") << QByteArray(" ")
            << "Il servizio non ha indicato il canale di invio degli SMS: invio annullato. "
               "Riprovare più tardi"
            << false << true;
        QTest::newRow("1601 characters")
            << false << QString(1601, 'a') << QByteArray("10") << QByteArray()
            << "Il testo supera 10 SMS (1600 caratteri): accorciarlo" << false << true;
        QTest::newRow("empty text") << false << "" << QByteArray("10") << QByteArray()
                                    << "Testo SMS Mancante" << false << true;
    }
    void sendStops() {
        QFETCH(bool, list);
        QFETCH(QString, text);
        QFETCH(QByteArray, credit);
        QFETCH(QByteArray, channel);
        if (credit == "-")
            QFile::remove(m_folder->file("registrazione"));
        if (credit.isEmpty()) {
            m_folder->write("servizio", {"127.0.0.1:" + QString::number(closedPort())});
            session().service = "127.0.0.1:" + QString::number(closedPort());
        }
        m_service->route("leggi.pl", {.body = credit});
        m_service->route("nosggi.pl", {.body = channel});
        Composer::Request request =
            list ? this->list({"3331000001", "3331000002", "3331000003"}) : single({}, {});
        request.number = "3471234567";
        Composer f(session(), request);
        f.prepareOnActivation();
        control<QPlainTextEdit>(&f, "Text1")->setPlainText(text);
        QSignalSpy finished(&f, &QDialog::finished);
        send(f);
        QTEST(m_script->messages().last(), "message");
        QTEST(finished.size() == 1, "closed");
        QTEST(control<QPushButton>(&f, "Command1")->isEnabled(), "buttons");
        QCOMPARE(control<QPushButton>(&f, "Command2")->isEnabled(),
                 control<QPushButton>(&f, "Command1")->isEnabled());
        QCOMPARE(control<QPlainTextEdit>(&f, "Text1")->toPlainText(), text);
        QVERIFY(!QGuiApplication::overrideCursor());
    }

    // Typing past 160 characters warns once per crossing; list mode holds 160 at most.
    void overLengthNotice() {
        Composer f(session(), single({}, {}));
        f.prepareOnActivation();
        auto* box = control<QPlainTextEdit>(&f, "Text1");
        const QString notice = "Il testo supera 160 Caratteri, il messaggio verrà spedito "
                               "utilizzando più di un SMS";
        box->setPlainText(QString(160, 'a'));
        QVERIFY(m_script->messages().isEmpty());
        QTest::keyClicks(box, "bcd");
        QCOMPARE(m_script->messages(), QStringList{notice});
        QCOMPARE(control<QLabel>(&f, "Label5")->text(), "163");
        QTest::keyClick(box, Qt::Key_End);
        for (int i = 0; i < 4; ++i)
            QTest::keyClick(box, Qt::Key_Backspace);
        QTest::keyClicks(box, "xy");
        QCOMPARE(m_script->messages(), (QStringList{notice, notice}));
    }

    // List mode holds 160 characters as a text box's maximum length: what is typed or pasted
    // is cut to fit, the text already there never changes. A longer draft is kept, and the
    // send refuses it.
    void listLimit_data() {
        QTest::addColumn<QString>("draft");
        QTest::addColumn<int>("caret");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("paste");
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("caretAfter");
        const QString full = QString(80, 'x') + QString(80, 'y');
        const QString ends = QString(75, 'x') + QString(75, 'y');
        QTest::newRow("typed inside a full text") << full << 80 << "Z" << false << full << 80;
        QTest::newRow("typed onto 159: the 160th fits")
            << full.left(159) << 159 << "ZW" << false << full.left(159) + 'Z' << 160;
        QTest::newRow("pasted into 150: the first 10 go in")
            << ends << 5 << "0123456789ABCDE" << true << ends.left(5) + "0123456789" + ends.mid(5)
            << 15;
        QTest::newRow("a saved draft of 161 stays, takes nothing more")
            << full + 'E' << 3 << "Z" << false << full + 'E' << 3;
    }
    void listLimit() {
        QFETCH(QString, draft);
        QFETCH(int, caret);
        QFETCH(QString, typed);
        QFETCH(bool, paste);
        QFETCH(QString, text);
        Composer::Request request = list({"3331000001", "3331000002"});
        request.text = draft;
        Composer f(session(), request);
        f.prepareOnActivation();
        auto* box = control<QPlainTextEdit>(&f, "Text1");
        QCOMPARE(box->toPlainText(), draft);
        QTextCursor at = box->textCursor();
        at.setPosition(caret);
        box->setTextCursor(at);
        if (paste) {
            QGuiApplication::clipboard()->setText(typed);
            box->paste();
        } else {
            QTest::keyClicks(box, typed);
        }
        QTEST(box->toPlainText(), "text");
        QTEST(box->textCursor().position(), "caretAfter");
        QCOMPARE(control<QLabel>(&f, "Label5")->text(), QString::number(text.size()));
        QSignalSpy finished(&f, &QDialog::finished);
        send(f);
        if (text.size() > 160) {
            QCOMPARE(m_script->messages().value(1), "Il testo supera 160 caratteri: accorciarlo "
                                                    "per l'invio a più destinatari");
            QCOMPARE(box->toPlainText(), text);
            QVERIFY(control<QPushButton>(&f, "Command1")->isEnabled() && finished.isEmpty());
            QVERIFY(m_service->targets().isEmpty());
        } else {
            QCOMPARE(m_script->messages().value(1), done);
        }
    }

    void emoticons() {
        Composer f(session(), single({}, {}));
        auto* box = control<QPlainTextEdit>(&f, "Text1");
        auto* symbol = control<QLabel>(&f, "Label16");
        box->setPlainText("Ciao");
        QTest::mouseClick(control<QLabel>(&f, "Label17"), Qt::LeftButton);
        QTest::mouseDClick(symbol, Qt::LeftButton);
        QTest::mouseClick(symbol, Qt::LeftButton); // a symbol wants a double click
        QCOMPARE(box->toPlainText(), "Ciao :-@  :-@ ");
        QCOMPARE(box->textCursor().position(), box->toPlainText().size());
    }

    // Activation in list mode: a saved list keeps its last digit, an empty last entry goes, no
    // list closes.
    void listActivation_data() {
        QTest::addColumn<QString>("label");
        QTest::addColumn<QStringList>("list");
        QTest::addColumn<QString>("number");
        QTest::addColumn<QStringList>("after");
        QTest::newRow("empty last entry")
            << "111;;" << QStringList{"111", ""} << "111" << QStringList{"111"};
        QTest::newRow("saved list keeps its last digit")
            << "111;222" << QStringList{"111", "222"} << "111;222" << QStringList{"111", "222"};
        QTest::newRow("nobody ticked") << "" << QStringList{} << "" << QStringList{};
    }
    void listActivation() {
        QFETCH(QString, label);
        QFETCH(QStringList, list);
        Composer::Request request = this->list(list);
        request.number = label;
        Composer f(session(), request);
        QSignalSpy finished(&f, &QDialog::finished);
        f.prepareOnActivation();
        if (!list.isEmpty())
            f.prepareOnActivation(); // activated again: nothing more goes
        QTEST(control<QLineEdit>(&f, "Text2")->text(), "number");
        QTEST(f.recipients(), "after");
        QCOMPARE(finished.size(), list.isEmpty() ? 1 : 0);
        QCOMPARE(m_script->messages(),
                 list.isEmpty() ? QStringList{"Nessun contatto selezionato"} : QStringList{});
    }

    // Saving a draft into salvati of the selected address book.
    void save_data() {
        QTest::addColumn<QString>("number");
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("answer");
        QTest::addColumn<QStringList>("messages");
        QTest::addColumn<QStringList>("salvati");
        const QString ask = "Prefisso internazionele non necessario rimuovo il prefisso ";
        QTest::newRow("plain") << "3471234567"
                               << "Bozza" << 0 << QStringList{}
                               << QStringList{"Rossi|3471234567|Bozza"};
        QTest::newRow("+39 removed on OK")
            << "+393471234567"
            << "Bozza" << int(platform::Answer::Ok) << QStringList{ask + "+39"}
            << QStringList{"Rossi|3471234567|Bozza"};
        QTest::newRow("039 kept on Cancel") << "0393471234567"
                                            << "Bozza" << int(platform::Answer::Cancel)
                                            << QStringList{ask + "039"} << QStringList{};
        QTest::newRow("no number")
            << ""
            << "Bozza" << 0 << QStringList{"Numero telefonico mancante"} << QStringList{};
        QTest::newRow("no text") << "3471234567"
                                 << "" << 0 << QStringList{"Testo SMS Mancante"} << QStringList{};
    }
    void save() {
        QFETCH(QString, number);
        QFETCH(QString, text);
        QFETCH(int, answer);
        m_script->answer(platform::Answer(answer));
        Composer f(session(), single(number, "Rossi"));
        f.prepareOnActivation();
        control<QPlainTextEdit>(&f, "Text1")->setPlainText(text);
        QSignalSpy finished(&f, &QDialog::finished);
        control<QPushButton>(&f, "Command3")->click();
        QTEST(m_script->messages(), "messages");
        QTEST(rows(*m_folder, "salvati"), "salvati");
        QCOMPARE(finished.size(), rows(*m_folder, "salvati").size());
    }

    // "Invia SMS Singoli" takes the last ticked entry; "Invia SMS Multipli" wants a book.
    void commands() {
        ArchiveModel* model = m_window->browser()->model();
        model->setChecked(0, true);
        model->setChecked(2, true);
        QString number, surname;
        onComposer([&](Composer& f) {
            number = control<QLabel>(&f, "Label18")->text();
            surname = control<QLabel>(&f, "Label2")->text();
            QVERIFY(control<QPushButton>(&f, "Command4")->isVisibleTo(&f) &&
                    control<QLabel>(&f, "Label3")->isVisibleTo(&f));
            control<QPushButton>(&f, "Command2")->click();
        });
        control<QAction>(m_window.get(), "ismss")->trigger();
        QCOMPARE(number, model->text(2, 1));
        QCOMPARE(surname, model->text(2, 3));

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
    static quint16 closedPort() {
        static quint16 port = [] {
            QTcpServer s;
            s.listen(QHostAddress::LocalHost);
            return s.serverPort();
        }();
        return port;
    }

    std::unique_ptr<HttpStandIn> m_service;
};

QTEST_MAIN(tst_composer)
#include "tst_composer.moc"
