// Sends as they go on the wire: the sending component and the main window against the real
// reference gateway and a real Kannel (bearerbox, smsbox, fake SMS centre) that
// tests/kannel/kannel-rig starts.
#include "app/mainwindow.h"
#include "browser/archivebrowser.h"
#include "browser/archivemodel.h"
#include "core/session.h"
#include "messaging/composer.h"
#include "messaging/gatewayrequests.h"
#include "messaging/inet.h"
#include "messaging/smssplitter.h"
#include "platform/dialogs.h"
#include "support/answerof.h"
#include "support/controls.h"
#include "support/kannelrig.h"
#include "support/shownwindow.h"
#include "support/testfolder.h"

#include <QComboBox>
#include <QLabel>
#include <QNetworkAccessManager>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QStringDecoder>
#include <QTimer>
#include <QTreeView>
#include <QtTest>

#include <functional>
#include <optional>

// The Kannel account: characters that break a request unless percent-encoded.
static const QString rigUser = "quillet";
static const QString rigPassword = "s3g+r%2B=t/o@,:x";

// fakesmsc's DATA: percent-encoded with "+" for a blank.
static QByteArray unescape(QString data) {
    return QByteArray::fromPercentEncoding(data.replace('+', "%20").toUtf8());
}

class tst_endtoend : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("KANNEL_RIG_USER", rigUser);
        env.insert("KANNEL_RIG_PASS", rigPassword);
        int code = 0;
        const QString out = kannelRig({"start", m_kannelDir.path()}, &code, env);
        QVERIFY2(code != 3, qPrintable("Kannel is needed for this test: " + out));
        QVERIFY2(code == 0, qPrintable("kannel-rig start failed: " + out));
        for (const QString& line : out.split('\n', Qt::SkipEmptyParts))
            m_env.insert(line.section('=', 0, 0), line.section('=', 1));
        // The gateway hands out the Kannel account as the channel; its own account has & = à.
        const QString db = m_dir.filePath("gateway.db");
        QCOMPARE(
            run("QUILLET_GATEWAY", {"account", "create", "--db", db, "anna&co", "pw=à ok", "20"}),
            0);
        m_servizio = serve(m_gateway, {"--db", db, "--channel",
                                       "127.0.0.1-" + rigUser + ':' + rigPassword + '-' +
                                           m_env["KANNEL_SENDSMS_PORT"]});
        QVERIFY(!m_servizio.isEmpty());
    }
    void cleanupTestCase() {
        for (QProcess* gateway : {&m_gateway, &m_forwardGateway}) {
            gateway->terminate();
            gateway->waitForFinished(5000);
        }
        kannelRig({"stop", m_kannelDir.path()});
    }

    // Three ticked contacts, "Invia SMS Multipli", a text: three SMS reach the SMS centre, the
    // credit drops by three, "Aggiorna Credito" shows the gateway's figure. In single mode a
    // long text arrives as its parts, in order. Without a sender header the SMS go out with
    // the Kannel account's default sender. Through Kannel: accented letters, euro and the GSM
    // extension stay 7-bit (coding 0), a typographic apostrophe makes UCS-2 (coding 2) and 70
    // characters of it arrive whole, flash is class 0.
    void sendFromTheMainWindow_data() {
        QTest::addColumn<bool>("kannel");
        QTest::addColumn<bool>("list");
        QTest::addColumn<bool>("flash");
        QTest::addColumn<QString>("header");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("flags"); // Kannel's class and coding
        // The demo folder as quillet-folder writes it, the gateway as scripts/run starts it.
        // scripts/run lets any sender header go out (--free-senders).
        QTest::newRow("demo, as scripts/run, a header")
            << false << true << false << "HotelRoma"
            << "Offerta: camera doppia a 80 €, colazione inclusa!"
            << "";
        QTest::newRow("list, Kannel, flash, no header, 70 in UCS-2")
            << true << true << true << "" << QString("l’ora ").repeated(12).left(70)
            << "0:2 0:2 0:2";
        QTest::newRow("three parts, Kannel, header")
            << true << false << false << "Caffè"
            << QString("Conferma ").repeated(36) + "Perché è già lì? Costa 5 € [sconto] ~{ok}|^\\"
            << "-1:0";
    }
    void sendFromTheMainWindow() {
        QFETCH(bool, kannel);
        QFETCH(bool, list);
        QFETCH(bool, flash);
        QFETCH(QString, header);
        QFETCH(QString, text);
        QTemporaryDir temporary;
        QString servizio = m_servizio, user = "anna&co", password = "pw=à ok";
        std::optional<TestFolder> kannelFolder;
        QString folder;
        QProcess demoGateway;
        if (!kannel) {
            folder = temporary.filePath("demo");
            QCOMPARE(run("QUILLET_FOLDER", {"demo", folder, "--from",
                                            qEnvironmentVariable("QUILLET_DEFAULT_FOLDER")}),
                     0);
            const QString db = temporary.filePath("demo-gateway.db");
            QCOMPARE(run("QUILLET_GATEWAY",
                         {"account", "create", "--db", db, "demo", "demo", "100", "--if-missing"}),
                     0);
            servizio =
                serve(demoGateway, {"--db", db, "--port", "8765", "--demo", "--free-senders"});
            QVERIFY2(servizio == "127.0.0.1:8765", "port 8765 busy: is scripts/run running?");
            user = password = "demo";
        } else {
            kannelFolder.emplace();
            auto db = kannelFolder->book("Principale");
            // Numbers as typed, with blanks; the third is German.
            for (int i = 1; i <= 3; ++i)
                testdata::addContact(*db, "Nome", QString("Cognome%1").arg(i),
                                     i == 3 ? QString("+49 162 243383%1").arg(list ? 4 : 5)
                                            : QString("333 10%1%1%1%1%1").arg(list ? i : 4 + i),
                                     "");
            kannelFolder->write("registrazione", {user + '-' + password});
            kannelFolder->write("servizio", {servizio});
            folder = kannelFolder->path();
        }
        if (!header.isEmpty())
            platform::TextFile::replaceLines(QDir(folder).filePath("intestazione"), {header});
        const QString credit = openUrl(gatewayrequests::creditQuery(servizio, {user, password}),
                                       gatewayrequests::creditAnswerBytes)
                                   .text;
        Desk desk(folder);
        MainWindow& window = desk.window;
        ArchiveModel* model = window.browser()->model();
        QTRY_VERIFY(model->rowCount() >= 3);
        QStringList numbers, ticked;
        for (int row = 0; row < 3; ++row) {
            model->setChecked(row, list || row == 2);
            if (list || row == 2)
                ticked << model->text(row, 1);
            // What the SMS centre gets: "+39" before an Italian number only.
            const QString typed = model->text(list ? row : 2, 1).remove(' ');
            numbers << (typed.startsWith('+') ? typed : "+39" + typed);
        }

        platform::DialogScript script;
        type(window, {list, flash, !list, text}, script);
        QCOMPARE(script.messages().last(), "Messaggio/i  inviato correttamente");
        const QString left = QString::number(credit.toInt() - 3);
        if (!kannel)
            QCOMPARE(credit + " -> " + left, "100 -> 97");
        QCOMPARE(
            platform::TextFile::readFirstLine(QDir(folder).filePath("residui.txt")).value_or(""),
            " " + left + " ");
        control<QAction>(&window, "aaa")->trigger(); // "Aggiorna Credito"
        QTRY_COMPARE(script.messages().last(), "Credito Aggiornato");
        QCOMPARE(control<QLabel>(&window, "Label3")->text(), "Credito residuo " + left);
        {
            QStringList sent;
            auto db = store::Database::open(store::archive::addressBookPath(folder, "Principale"));
            for (auto rs = db->openRecordset("inviati"); !rs->isEof(); rs->MoveNext())
                sent << rs->value("cellulare") + '|' + rs->value("Testo");
            QVERIFY(sent.contains(ticked.join(';') + '|' + text));
        }

        // What the SMS centre received, "FROM TO TEXT" (the sink adds the class, -1).
        const QString from = !header.isEmpty() ? header : kannel ? m_env["KANNEL_SENDER"] : "demo";
        QStringList expected;
        for (int i = 0; i < 3; ++i)
            expected << from + ' ' + numbers[i] + ' ' + (kannel ? "" : "-1 ") +
                            (list ? text : sms::cutAtBlank(text).value(i));
        if (!kannel) {
            auto sink = [&] {
                QStringList got;
                for (const QString& line :
                     openUrl(QUrl("http://quillet:quillet@" + servizio + "/sink.txt"), 1 << 26)
                         .text.split('\n'))
                    if (numbers.contains(line.section(' ', 1, 1)))
                        got << line;
                return got.mid(got.size() - 3);
            };
            QTRY_COMPARE_WITH_TIMEOUT(sink(), expected, 15000);
            demoGateway.terminate();
            demoGateway.waitForFinished(5000);
        } else {
            const auto lastThree = [&] {
                const QStringList got = kannelReceived(numbers);
                return got.mid(got.size() - 3);
            };
            QTRY_COMPARE_WITH_TIMEOUT(lastThree(), expected, 15000);
            QTEST(QStringList(m_flags.values()).join(' '), "flags");
        }
    }

    // A list of three, one SMS refused by the SMS centre (a letter O for a zero) or not
    // delivered (a number the sink's operator marked unreachable), through the sink, through
    // Kannel given as the channel (it gives no delivery), or forwarded to Kannel by the gateway
    // (its reports come back to the gateway). After a refusal the final box offers the report;
    // else it is opened from SMS Inviati, again until the reports are in (Kannel's within 5 s).
    // It shows each SMS's outcome and delivery with the counts, "Reinvia ai non riusciti" opens
    // the composer on the number that did not get it with the same text, and SMS Inviati sums
    // the message up, also after "Aggiorna Credito" asked for the states.
    void reportOfASend_data() {
        QTest::addColumn<QString>("gateway"); // sink, channel (Kannel's account) or forward
        QTest::addColumn<QString>("verdi");   // the number of the third
        QTest::addColumn<QString>("report");  // counts|surname/outcome/delivery, ...
        QTest::addColumn<QString>("column");  // Consegna in SMS Inviati
        const QString refusal = "Accettati 2, rifiutati 1, non inviati 0";
        const QString all = "Accettati 3, rifiutati 0, non inviati 0, consegnati ";
        const QString two = "Bianchi/Accettato/%1, Rossi/Accettato/%1, Verdi/";
        QTest::newRow("reference gateway, a refusal")
            << "sink"
            << "333 1O22222" << refusal + ", consegnati 2|" + two.arg("Consegnato") + "Rifiutato/"
            << "2/3 (1 non consegnato)";
        QTest::newRow("Kannel, a refusal")
            << "channel"
            << "333 1O22222" << refusal + '|' + two.arg("") + "Rifiutato/"
            << "";
        QTest::newRow("reference gateway, one unreachable")
            << "sink"
            << "333 1022222" << all + "2|" + two.arg("Consegnato") + "Accettato/Non consegnato"
            << "2/3 (1 non consegnato)";
        QTest::newRow("Kannel behind the gateway")
            << "forward"
            << "333 1022222" << all + "3|" + two.arg("Consegnato") + "Accettato/Consegnato"
            << "3/3";
    }
    void reportOfASend() {
        QFETCH(QString, gateway);
        QFETCH(QString, verdi);
        QFETCH(QString, report);
        QFETCH(QString, column);
        const bool refusal = verdi.contains('O');
        TestFolder folder;
        {
            auto db = folder.book("Principale");
            testdata::addContact(*db, "Anna", "Rossi", "333 1011111", "");
            testdata::addContact(*db, "Luca", "Verdi", verdi, "");
            testdata::addContact(*db, "Ugo", "Bianchi", "333 1033333", "");
        }
        QProcess process;
        QString servizio = m_servizio;
        QString account = "anna&co-pw=à ok";
        if (gateway != "channel") {
            const QString db = folder.file("gateway.db");
            QCOMPARE(run("QUILLET_GATEWAY", {"account", "create", "--db", db, "demo", "demo", "5"}),
                     0);
            QStringList args{"--db", db};
            if (gateway == "forward")
                args << "--forward" << forwardUrl(rigPassword);
            else if (!refusal)
                QCOMPARE(run("QUILLET_GATEWAY", {"unreachable", "add", "--db", db, "+39 " + verdi}),
                         0);
            servizio = serve(process, args);
            QVERIFY(!servizio.isEmpty());
            account = "demo-demo";
        }
        folder.write("registrazione", {account});
        folder.write("servizio", {servizio});
        Desk desk(folder.path());
        MainWindow& window = desk.window;
        ArchiveModel* model = window.browser()->model();
        QTRY_COMPARE(model->rowCount(), 3);
        model->setAllChecked(true);

        const QString text = "Promemoria: domani la piscina apre alle 9.";
        QString seen;
        QStringList resent;
        int reads = 0;
        const auto read = [&](QDialog* shown, bool resend) {
            ++reads;
            const QAbstractItemModel* rows = control<QTreeView>(shown, "lvwEsito")->model();
            QStringList lines;
            for (int row = 0; row < rows->rowCount(); ++row)
                lines << QStringList{rows->index(row, 1).data().toString(),
                                     rows->index(row, 3).data().toString(),
                                     rows->index(row, 4).data().toString()}
                             .join('/');
            seen = control<QLabel>(shown, "Label1")->text() + '|' + lines.join(", ");
            auto* again = control<QPushButton>(shown, "Command2"); // "Reinvia ai non riusciti"
            if (!resend || !again->isEnabled())
                return shown->reject();
            whenShown<Composer>("Form5", [&](Composer* composer) {
                resent << control<QLabel>(composer, "Label23")->text() << composer->recipients()
                       << control<QPlainTextEdit>(composer, "Text1")->toPlainText();
                composer->reject();
            });
            again->click();
        };
        platform::DialogScript script;
        script.answer(platform::Answer::Ok)
            .answer(refusal ? platform::Answer::Report : platform::Answer::Ok);
        whenShown<Composer>("Form5", [&](Composer* composer) {
            control<QPlainTextEdit>(composer, "Text1")->setPlainText(text);
            control<QPushButton>(composer, "Command1")->click();
            if (refusal) // "Mostra esito"
                whenShown<QDialog>("Esito", [&](QDialog* shown) { read(shown, true); });
        });
        control<QAction>(&window, "ismsm")->trigger();
        const QString denied = "Number(s) has/have been denied by white- and/or black-lists.";
        QCOMPARE(script.messages().value(1),
                 refusal ? "Alcuni messaggi non Inviati.\n\nRifiutati 1 di 3: " + denied
                         : "Messaggio/i  inviato correttamente");
        if (refusal)
            QCOMPARE(script.shown().value(1).buttons, platform::Buttons::OkReport);

        window.selectNode(6); // SMS Inviati
        window.onTreeNodeClicked();
        QTRY_COMPARE(model->rowCount(), 1);
        Entry entry = model->entryAt(0);
        entry.book = "Principale";
        const auto open = [&](bool resend) { // once the window has been read
            const int before = reads;
            whenShown<QDialog>("Esito", [&, resend](QDialog* shown) { read(shown, resend); });
            emit window.browser()->reportRequested(entry);
            (void)QTest::qWaitFor([&] { return reads > before; }, 10000);
            return seen;
        };
        if (gateway == "forward") {    // "Aggiorna Credito" asks for the sends of the last days
            const auto refresh = [&] { // once "Credito Aggiornato" has shown
                const qsizetype before = script.messages().size();
                control<QAction>(&window, "aaa")->trigger();
                (void)QTest::qWaitFor([&] { return script.messages().size() > before; }, 10000);
                return model->text(0, ArchiveModel::columnOf(ArchiveModel::Column::Delivery));
            };
            QTRY_COMPARE_WITH_TIMEOUT(refresh(), column, 5000);
            QCOMPARE(script.messages().last(), "Credito Aggiornato");
        }
        if (!refusal) {
            QTRY_COMPARE_WITH_TIMEOUT(open(false), report, 5000);
            open(true);
        }
        QCOMPARE(seen, report);
        QCOMPARE(resent, gateway == "forward" ? QStringList() : QStringList({"1", verdi, text}));
        window.browser()->refreshList();
        QTRY_COMPARE(model->text(0, ArchiveModel::columnOf(ArchiveModel::Column::Delivery)),
                     column);
        if (process.state() != QProcess::NotRunning) {
            process.terminate();
            QVERIFY(process.waitForFinished(10000));
        }
    }

    // serve --forward: an account's SMS go on to Kannel under the operator's login once a
    // charge pays for them, and Kannel's answer comes back; an SMS nobody paid for, or the
    // sink user's, never reaches the SMS centre. What Kannel refused is refunded.
    void forwardToKannel_data() {
        QTest::addColumn<QString>("operatorPassword");
        QTest::addColumn<int>("status");      // of the paid request
        QTest::addColumn<QByteArray>("body"); // Kannel's
        QTest::addColumn<QString>("refund");  // of the correction to 0 SMS sent
        QTest::newRow("accepted") << rigPassword << 202 << QByteArray("0: Accepted for delivery")
                                  << "OK invio già addebitato, credito 3";
        QTest::newRow("operator's password wrong")
            << "sbagliata" << 403 << QByteArray("Authorization failed for sendsms")
            << "OK rettifica, restituiti 2, credito 5";
    }
    void forwardToKannel() {
        QFETCH(QString, operatorPassword);
        QFETCH(int, status);
        const QString db = m_dir.filePath(QString("forward-%1.db").arg(status));
        QCOMPARE(run("QUILLET_GATEWAY", {"account", "create", "--db", db, "bruno", "pw", "5"}), 0);
        QProcess gateway;
        const QString servizio =
            serve(gateway, {"--db", db, "--forward", forwardUrl(operatorPassword)});
        QVERIFY(!servizio.isEmpty());
        HttpGet http;
        const auto get = [&](const QString& target) {
            return httpAnswer(http, QUrl("http://" + servizio + target), std::chrono::seconds(20),
                              1 << 20);
        };
        const QString charge = "/cgi-bin/utenti/verifica2.cgi?utente=bruno&pass=pw&numero=5";
        QCOMPARE(get(charge + "&numerodet=2").body, "OK addebitati 2, credito 3");
        const QString to = "/cgi-bin/sendsms?username=bruno&password=pw&text=Pagato&to=";
        const QString prefix = QString("+3933370%1").arg(status / 100);
        const QStringList numbers{prefix + "001", prefix + "002", prefix + "003", "+393337009999"};
        const auto enc = [](const QString& number) {
            return QUrl::toPercentEncoding(number);
        };
        const HttpAnswer paid = get(to + enc(numbers[0] + ' ' + numbers[1]));
        QCOMPARE(paid.status, status);
        QTEST(paid.body.split('\n').first(), "body"); // the keys follow on a second line
        QCOMPARE(get(to + enc(numbers[2])).status, status == 202 ? 402 : 403);
        QCOMPARE(get("/cgi-bin/sendsms?username=quillet&password=quillet&from=Q&text=x&to=" +
                     enc(numbers[3]))
                     .status,
                 403);
        QTEST(QString::fromUtf8(get(charge + "&numerodet=0").body), "refund");

        if (status == 202)
            QTRY_COMPARE_WITH_TIMEOUT(kannelReceived(numbers).size(), 2, 20000);
        QStringList received = kannelReceived(numbers);
        received.sort();
        QCOMPARE(received, status != 202 ? QStringList()
                                         : QStringList({"bruno " + numbers[0] + " Pagato",
                                                        "bruno " + numbers[1] + " Pagato"}));
        gateway.terminate();
        QVERIFY(gateway.waitForFinished(10000));
    }

    // Through the composer, the gateway in front of Kannel (max-messages 3, concatenation on)
    // and the fake SMS centre, on each limit of what an SMS holds, in both cuts and in list
    // mode: the credit charged is the SMS the SMS centre received, and the phone puts together
    // exactly what was typed, nothing added, nothing cut.
    void chargedAsSent_data() {
        QTest::addColumn<QString>("mode"); // every, blank (the two cuts) or list (of two)
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("sms");
        const QString x = "x", euro = "€", emoji = "😀", grave = "È";
        QTest::newRow("81 euro") << "every" << euro.repeated(81) << 2;
        QTest::newRow("one acute and 70 letters") << "every"
                                                  << "á" + x.repeated(70) << 2;
        QTest::newRow("36 emoji") << "every" << emoji.repeated(36) << 2;
        QTest::newRow("È and 159 letters") << "every" << grave + x.repeated(159) << 2;
        QTest::newRow("a brace after every 79 letters")
            << "every" << (x.repeated(79) + "{").repeated(6) << 4;
        QTest::newRow("160 of short words, at a blank")
            << "blank" << QString("abcd ").repeated(32).left(160) << 1;
        QTest::newRow("1590 of short words, at a blank: 10 SMS")
            << "blank" << QString("abcd ").repeated(318) << 10;
        QTest::newRow("no-break space") << "every"
                                        << "Ore 9" + QString(QChar(0xA0)) + "30" << 1;
        QTest::newRow("list: 80 euro") << "list" << euro.repeated(80) << 2;
        QTest::newRow("list: 35 emoji") << "list" << emoji.repeated(35) << 2;
        QTest::newRow("list: È and 69 letters") << "list" << grave + x.repeated(69) << 2;
    }
    void chargedAsSent() {
        QFETCH(QString, mode);
        QFETCH(QString, text);
        if (m_forwardServizio.isEmpty()) {
            const QString db = m_dir.filePath("parts.db");
            QCOMPARE(
                run("QUILLET_GATEWAY", {"account", "create", "--db", db, "demo", "demo", "1000"}),
                0);
            m_forwardServizio = serve(m_forwardGateway, {"--db", db, "--max-parts", "3",
                                                         "--forward", forwardUrl(rigPassword)});
            QVERIFY(!m_forwardServizio.isEmpty());
        }
        const bool list = mode == "list";
        TestFolder folder;
        QStringList numbers;
        for (int i = 0; i < (list ? 2 : 1); ++i) {
            const QString number = QString("3389%1%2").arg(++m_rows, 5, 10, QChar('0')).arg(i);
            testdata::addContact(*folder.book("Principale"), "Nome", "Cognome", number, "");
            numbers << "+39" + number;
        }
        folder.write("registrazione", {"demo-demo"});
        folder.write("servizio", {m_forwardServizio});
        const auto credit = [&] {
            return openUrl(gatewayrequests::creditQuery(m_forwardServizio, {"demo", "demo"}),
                           gatewayrequests::creditAnswerBytes)
                .text.toInt();
        };
        const int before = credit();
        Desk desk(folder.path());
        QTRY_COMPARE(desk.window.browser()->model()->rowCount(), numbers.size());
        desk.window.browser()->model()->setAllChecked(true);
        platform::DialogScript script;
        type(desk.window, {list, false, mode == "blank", text}, script);
        QCOMPARE(script.messages().last(), "Messaggio/i  inviato correttamente");
        const int charged = before - credit();
        QTEST(charged, "sms");
        int sms = 0;
        QTRY_COMPARE_WITH_TIMEOUT((kannelReceived(numbers, &sms), sms), charged, 15000);
        QTest::qWait(300); // nothing more comes
        const QStringList messages = kannelReceived(numbers, &sms);
        QCOMPARE(sms, charged);
        // The composer's box gives a no-break space as a blank, which keeps the SMS in GSM.
        for (const QString& number : numbers) {
            QString phone; // the messages one after the other
            for (const QString& message : messages)
                if (message.section(' ', 1, 1) == number)
                    phone += message.section(' ', 2);
            QCOMPARE(phone, QString(text).replace(QChar(0xA0), ' '));
        }
    }

private:
    // The main window on an application folder, its first address book listed.
    struct Desk {
        explicit Desk(const QString& folder)
            : window(session) {
            session.appFolder = folder; // read from load() on
            window.load();
            window.onTreeNodeClicked();
        }
        Session session;
        MainWindow window;
    };
    // serve --forward to the rig's smsbox, with this password for its account.
    QString forwardUrl(const QString& password) {
        return "http://127.0.0.1:" + m_env["KANNEL_SENDSMS_PORT"] +
               "/cgi-bin/sendsms?username=" + rigUser +
               "&password=" + QUrl::toPercentEncoding(password);
    }
    // What the user does in the composer that the main window opens on the ticked contacts.
    struct Typing {
        bool list = false;
        bool flash = false;
        bool atBlank = false; // "Suddividi allo spazio più prossimo"
        QString text;
    };
    // A send that stops before it begins leaves the window open, waiting: the test fails then.
    void type(MainWindow& window, const Typing& typing, const platform::DialogScript& script) {
        QTimer::singleShot(0, this, [&] {
            Composer* f = shownWindow<Composer>("Form5");
            QVERIFY(f);
            QTRY_VERIFY(f->isActiveWindow()); // as the user finds it
            auto* type = control<QComboBox>(f, "Combo1");
            type->setCurrentIndex(typing.flash ? 1 : 0);
            emit type->activated(type->currentIndex());
            control<QRadioButton>(f, "Option2")->setChecked(typing.atBlank);
            control<QPlainTextEdit>(f, "Text1")->setPlainText(typing.text);
            auto* send = control<QPushButton>(f, "Command1");
            send->click();
            if (!QTest::qWaitFor([&] { return !f->isVisible() || send->isEnabled(); }, 60000) ||
                f->isVisible()) {
                f->reject();
                QFAIL(qPrintable("the composer stayed open: " + script.messages().last()));
            }
        });
        control<QAction>(&window, typing.list ? "ismsm" : "ismss")->trigger();
    }

    // Runs `step` on the window of this class and object name once it is on screen.
    template <class Window>
    static void whenShown(const char* name, std::function<void(Window*)> step) {
        auto* poll = new QTimer;
        QObject::connect(poll, &QTimer::timeout, poll, [poll, name, step] {
            if (Window* window = shownWindow<Window>(name)) {
                poll->deleteLater();
                poll->stop();
                step(window);
            }
        });
        poll->start(20);
    }

    // What the fake SMS centre received for these numbers ("FROM TO TYPE DATA" a line), a
    // message a line as "FROM TO TEXT", the parts Kannel cut joined again; the SMS in `sms`;
    // and the class and coding the access log shows for each number, in m_flags.
    QStringList kannelReceived(const QStringList& numbers, int* sms = nullptr) {
        QStringList got;
        if (sms)
            *sms = 0;
        QMap<QString, QMap<int, QByteArray>> parts; // by number, then sequence
        for (const QString& line :
             kannelRig({"received", m_kannelDir.path()}).split('\n', Qt::SkipEmptyParts)) {
            const QStringList f = line.split(' ');
            if (f.size() < 4 || !numbers.contains(f[1]))
                continue;
            if (sms)
                ++*sms;
            QByteArray payload;
            if (f[2] == "udh") { // udh <05 00 03 REF TOTAL SEQ> data <payload>
                const QByteArray udh = unescape(f[3]);
                if (udh.size() < 6)
                    continue;
                parts[f[1]].insert(udh[5], unescape(f.value(5)));
                if (parts[f[1]].size() < udh[4])
                    continue;
                for (const QByteArray& part : parts.take(f[1]))
                    payload += part;
            } else {
                payload = f[2] == "text" ? line.section(' ', 3).toUtf8() : unescape(f[3]);
            }
            got << f[0] + ' ' + f[1] + ' ' +
                       (f[2] == "text" ? QString::fromUtf8(payload)
                                       : QStringDecoder(QStringDecoder::Utf16BE).decode(payload));
        }
        QFile log(m_env.value("KANNEL_ACCESS_LOG"));
        const QString logText =
            log.open(QIODevice::ReadOnly) ? QString::fromUtf8(log.readAll()) : QString();
        static const QRegularExpression sent(
            "Sent SMS[^\n]*\\[to:([^\\]]*)\\][^\n]*\\[flags:(-?\\d+:-?\\d+):");
        m_flags.clear();
        for (auto it = sent.globalMatch(logText); it.hasNext();) {
            const auto m = it.next();
            if (numbers.contains(m.captured(1)))
                m_flags.insert(m.captured(1), m.captured(2));
        }
        return got;
    }

    // Starts `quillet-gateway serve` (on a free port unless told); its host:port, or empty.
    static QString serve(QProcess& process, const QStringList& args) {
        process.setProgram(qEnvironmentVariable("QUILLET_GATEWAY"));
        process.setArguments(QStringList{"serve", "--port", "0"} + args);
        process.start();
        if (!process.waitForStarted())
            return {};
        static const QRegularExpression ready(QStringLiteral("In ascolto su ([0-9.]+:[0-9]+)"));
        QString out;
        while (!ready.match(out).hasMatch() && process.waitForReadyRead(10000))
            out += QString::fromUtf8(process.readAllStandardOutput());
        return ready.match(out).captured(1);
    }
    // Runs the program named by this environment variable; its exit code.
    static int run(const char* program, const QStringList& args) {
        QProcess p;
        p.start(qEnvironmentVariable(program), args);
        p.waitForFinished(10000);
        return p.exitCode();
    }

    QTemporaryDir m_dir;
    QTemporaryDir m_kannelDir;
    QMap<QString, QString> m_env; // what kannel-rig start printed
    QProcess m_gateway;
    QString m_servizio;
    QProcess m_forwardGateway; // serve --forward to the rig, for chargedAsSent
    QString m_forwardServizio;
    int m_rows = 0;                 // rows of chargedAsSent: each sends to numbers of its own
    QMap<QString, QString> m_flags; // "class:coding" by number
};

QTEST_MAIN(tst_endtoend)
#include "tst_endtoend.moc"
