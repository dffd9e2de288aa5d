#include "platform/dialogs.h"
#include "platform/dialogsetup.h"
#include "platform/waitcursor.h"

#include <QFile>
#include <QFileDialog>
#include <QGuiApplication>
#include <QInputDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

using namespace platform;

using Texts = QList<std::optional<QString>>;

class TestDialogs final : public QObject {
    Q_OBJECT

private slots:
    void answersInOrder();
    void safeAnswers();
    void saveAsksBeforeReplacing_data();
    void saveAsksBeforeReplacing();
    void openUrlFailureIsTold_data();
    void openUrlFailureIsTold();
    void unscriptedHeadlessDoesNotWait();
    void messageBoxIsItalian_data();
    void messageBoxIsItalian();
    void inputBoxIsItalian();
    void fileDialogs_data();
    void fileDialogs();
    void parentGoneIsForgotten();
    void waitCursorNests();
};

void TestDialogs::answersInOrder() {
    DialogScript script;
    script.answer(Answer::Yes).answer(Answer::No).answer(Answer::Ok);
    script.answerText(QStringLiteral("Clienti")).answerText(std::nullopt);

    QCOMPARE(MsgBox(QStringLiteral("Cancellare la Rubrica: Clienti?"), Icon::Question,
                    Buttons::YesNo, QStringLiteral("Cancella Rubrica")),
             Answer::Yes);
    QCOMPARE(InputBox(QStringLiteral("Inserisci il nome della Nuova Rubrica"),
                      QStringLiteral("Nuova Rubrica")),
             std::optional<QString>(QStringLiteral("Clienti")));
    QCOMPARE(MsgBox(QStringLiteral("Rubrica Esistente\nScegliere un altro nome."), Icon::Critical,
                    Buttons::YesNo),
             Answer::No);
    QCOMPARE(MsgBox(QStringLiteral("Procedere?"), Icon::Exclamation, Buttons::OkCancel),
             Answer::Ok);
    QVERIFY(!InputBox(QStringLiteral("Nuovo Nome Rubrica")));
    QCOMPARE(script.unanswered(), 0);

    const QList<Shown>& shown = script.shown();
    QCOMPARE(shown.size(), 5);
    const auto check = [&](int i, Shown::Kind kind, const QString& title, Icon icon,
                           Buttons buttons) {
        QCOMPARE(shown.at(i).kind, kind);
        QCOMPARE(shown.at(i).title, title);
        QCOMPARE(shown.at(i).icon, icon);
        QCOMPARE(shown.at(i).buttons, buttons);
    };
    const QString program = QStringLiteral("Quillet");
    check(0, Shown::Kind::Message, QStringLiteral("Cancella Rubrica"), Icon::Question,
          Buttons::YesNo);
    check(1, Shown::Kind::Input, QStringLiteral("Nuova Rubrica"), Icon::None, Buttons::Ok);
    check(2, Shown::Kind::Message, program, Icon::Critical, Buttons::YesNo);
    check(3, Shown::Kind::Message, program, Icon::Exclamation, Buttons::OkCancel);
    check(4, Shown::Kind::Input, program, Icon::None, Buttons::Ok);
    QCOMPARE(shown.at(1).text, QStringLiteral("Inserisci il nome della Nuova Rubrica"));
    QCOMPARE(script.messages(),
             (QStringList{QStringLiteral("Cancellare la Rubrica: Clienti?"),
                          QStringLiteral("Rubrica Esistente\nScegliere un altro nome."),
                          QStringLiteral("Procedere?")}));

    script.clear();
    QVERIFY(script.shown().isEmpty());
    QCOMPARE(MsgBox(QStringLiteral("Sostituirlo?"), Icon::None, Buttons::YesNo), Answer::No);
    QCOMPARE(script.unanswered(), 1);
}

void TestDialogs::safeAnswers() {
    DialogScript script;
    const QString title = QStringLiteral("Esporta Contatti");
    const QString filter = QStringLiteral("File di testo (*.csv)");
    QCOMPARE(MsgBox(QStringLiteral("a")), Answer::Ok);
    QCOMPARE(MsgBox(QStringLiteral("b"), Icon::None, Buttons::OkCancel), Answer::Cancel);
    QCOMPARE(MsgBox(QStringLiteral("c"), Icon::None, Buttons::YesNo), Answer::No);
    QVERIFY(!InputBox(QStringLiteral("d")));
    QVERIFY(!saveFileName(title, QString(), filter));
    QVERIFY(!openFileName(title, QString(), filter));
    QVERIFY(!folderName(title, QString()));
    QVERIFY(openUrl(QUrl(QStringLiteral("https://example.org/acquista"))));
    QCOMPARE(script.unanswered(), 8);
    QCOMPARE(script.shown().size(), 8);
}

void TestDialogs::saveAsksBeforeReplacing_data() {
    QTest::addColumn<bool>("exists");
    QTest::addColumn<QList<Answer>>("answers");
    QTest::addColumn<Texts>("texts");      // "@" stands for the existing file
    QTest::addColumn<QString>("expected"); // "@" the file, "" cancelled
    QTest::addColumn<int>("questions");
    QTest::addColumn<int>("dialogs");

    const auto file = std::optional<QString>(QStringLiteral("@"));
    const auto other = std::optional<QString>(QStringLiteral("@altro.csv"));
    QTest::newRow("new file, no question")
        << false << QList<Answer>{} << Texts{file} << "@" << 0 << 1;
    QTest::newRow("existing file, yes")
        << true << QList<Answer>{Answer::Yes} << Texts{file} << "@" << 1 << 1;
    QTest::newRow("existing file, no, then another name")
        << true << QList<Answer>{Answer::No} << Texts{file, other} << "@altro.csv" << 1 << 2;
    QTest::newRow("existing file, no, then cancel")
        << true << QList<Answer>{Answer::No} << Texts{file, std::nullopt} << "" << 1 << 2;
    QTest::newRow("existing file, nobody answers")
        << true << QList<Answer>{} << Texts{file} << "" << 1 << 2;
    QTest::newRow("cancelled at once")
        << true << QList<Answer>{} << Texts{std::nullopt} << "" << 0 << 1;
}

void TestDialogs::saveAsksBeforeReplacing() {
    QFETCH(bool, exists);
    QFETCH(QList<Answer>, answers);
    QFETCH(Texts, texts);
    QFETCH(QString, expected);
    QFETCH(int, questions);
    QFETCH(int, dialogs);

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("rubrica.csv"));
    if (exists) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("Nome;Cognome;Cellulare;Posta elettronica\r\n");
    }
    const auto fixPath = [&](QString t) {
        return t == u"@" ? path : t.replace(u'@', dir.path() + u'/');
    };

    DialogScript script;
    for (Answer a : answers)
        script.answer(a);
    for (const auto& t : texts)
        script.answerText(t ? std::optional<QString>(fixPath(*t)) : std::nullopt);

    const auto chosen = saveFileName(QStringLiteral("Esporta Contatti"), dir.path(),
                                     QStringLiteral("File di testo (*.csv)"));
    QCOMPARE(chosen.value_or(QString()), expected.isEmpty() ? QString() : fixPath(expected));

    int seenQuestions = 0;
    int seenDialogs = 0;
    for (const Shown& shown : script.shown()) {
        if (shown.kind == Shown::Kind::Message) {
            ++seenQuestions;
            QCOMPARE(shown.text, QStringLiteral("Il file rubrica.csv esiste già.\nSostituirlo?"));
            QCOMPARE(shown.icon, Icon::Exclamation);
            QCOMPARE(shown.buttons, Buttons::YesNo);
        } else {
            QCOMPARE(shown.kind, Shown::Kind::SaveFile);
            QCOMPARE(shown.text, QStringLiteral("Esporta Contatti"));
            QCOMPARE(shown.filter, QStringLiteral("File di testo (*.csv)"));
            // After "No" the dialog comes back on the same file.
            QCOMPARE(shown.directory, seenDialogs == 0 ? dir.path() : path);
            ++seenDialogs;
        }
    }
    QCOMPARE(seenQuestions, questions);
    QCOMPARE(seenDialogs, dialogs);
    if (exists) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), QByteArray("Nome;Cognome;Cellulare;Posta elettronica\r\n"));
    }
}

void TestDialogs::openUrlFailureIsTold_data() {
    QTest::addColumn<QUrl>("url");
    QTest::addColumn<bool>("opens");
    QTest::addColumn<QString>("message");

    QTest::newRow("web page opens")
        << QUrl(QStringLiteral("https://example.org/cgi-bin/affiliate/giacli.pl?affiliato=1"))
        << true << QString();
    QTest::newRow("no browser")
        << QUrl(QStringLiteral("https://example.org/affiliate1/affiliati.htm")) << false
        << QStringLiteral("Impossibile aprire la pagina "
                          "https://example.org/affiliate1/affiliati.htm.\nVerificare che sia "
                          "installato un browser web.");
    QTest::newRow("no mail program")
        << QUrl(QStringLiteral("mailto:anna.rossi@example.it")) << false
        << QStringLiteral("Impossibile aprire il programma di posta elettronica per scrivere a "
                          "anna.rossi@example.it.\nVerificare che sia installato un programma "
                          "di posta.");
}

void TestDialogs::openUrlFailureIsTold() {
    QFETCH(QUrl, url);
    QFETCH(bool, opens);
    QFETCH(QString, message);

    DialogScript script;
    script.answerUrl(opens);
    script.answer(Answer::Ok); // for the failure message
    QCOMPARE(openUrl(url), opens);
    QCOMPARE(script.shown().first().kind, Shown::Kind::Url);
    QCOMPARE(script.shown().first().text, url.toString());
    if (message.isEmpty()) {
        QCOMPARE(script.shown().size(), 1);
    } else {
        QCOMPARE(script.messages(), QStringList{message});
        QCOMPARE(script.shown().last().icon, Icon::Critical);
    }
    QCOMPARE(script.unanswered(), 0);
}

void TestDialogs::unscriptedHeadlessDoesNotWait() {
    QCOMPARE(QGuiApplication::platformName(), QStringLiteral("offscreen"));
    const QRegularExpression notShown(QStringLiteral("not shown"));
    QTest::ignoreMessage(QtWarningMsg, notShown);
    QCOMPARE(MsgBox(QStringLiteral("Cancellare?"), Icon::Question, Buttons::YesNo), Answer::No);
    QTest::ignoreMessage(QtWarningMsg, notShown);
    QVERIFY(!InputBox(QStringLiteral("Nome?")));
}

void TestDialogs::messageBoxIsItalian_data() {
    QTest::addColumn<Buttons>("buttons");
    QTest::addColumn<Icon>("icon");
    QTest::addColumn<QStringList>("labels");
    QTest::addColumn<QString>("defaultLabel");
    QTest::addColumn<Answer>("onEscape");
    QTest::addColumn<int>("qtIcon");

    QTest::newRow("ok") << Buttons::Ok << Icon::None << QStringList{QStringLiteral("OK")}
                        << QStringLiteral("OK") << Answer::Ok
                        << static_cast<int>(QMessageBox::NoIcon);
    QTest::newRow("ok/cancel") << Buttons::OkCancel << Icon::Critical
                               << QStringList{QStringLiteral("Annulla"), QStringLiteral("OK")}
                               << QStringLiteral("OK") << Answer::Cancel
                               << static_cast<int>(QMessageBox::Critical);
    QTest::newRow("yes/no") << Buttons::YesNo << Icon::Exclamation
                            << QStringList{QStringLiteral("No"), QStringLiteral("Sì")}
                            << QStringLiteral("Sì") << Answer::No
                            << static_cast<int>(QMessageBox::Warning);
}

void TestDialogs::messageBoxIsItalian() {
    QFETCH(Buttons, buttons);
    QFETCH(Icon, icon);
    QFETCH(QStringList, labels);
    QFETCH(QString, defaultLabel);
    QFETCH(Answer, onEscape);
    QFETCH(int, qtIcon);

    QMessageBox box;
    const QString text = QStringLiteral("Il file <a.csv> esiste già.\nSostituirlo?");
    detail::setupMessageBox(box, text, icon, buttons, QString());
    QCOMPARE(box.windowTitle(), QStringLiteral("Quillet"));
    QCOMPARE(static_cast<int>(box.icon()), qtIcon);
    QCOMPARE(box.textFormat(), Qt::PlainText);
    QCOMPARE(box.text(), text);

    QStringList shownLabels;
    for (QAbstractButton* button : box.buttons())
        shownLabels.append(button->text());
    shownLabels.sort();
    QCOMPARE(shownLabels, labels);
    QVERIFY(box.defaultButton());
    QCOMPARE(box.defaultButton()->text(), defaultLabel);

    // Escape gives the safe answer.
    box.show();
    QVERIFY(QTest::qWaitForWindowExposed(&box));
    QTest::keyClick(&box, Qt::Key_Escape);
    QVERIFY(!box.isVisible());
    QCOMPARE(detail::answerOf(box, buttons), onEscape);

    // Each button gives its own answer.
    for (QAbstractButton* button : box.buttons()) {
        box.show();
        button->click();
        const Answer got = detail::answerOf(box, buttons);
        const QString label = button->text();
        const Answer wanted = label == u"OK"        ? Answer::Ok
                              : label == u"Annulla" ? Answer::Cancel
                              : label == u"Sì"      ? Answer::Yes
                                                    : Answer::No;
        QCOMPARE(got, wanted);
    }
}

void TestDialogs::inputBoxIsItalian() {
    QInputDialog dialog;
    detail::setupInputDialog(dialog, QStringLiteral("Nuovo Nome Rubrica"),
                             QStringLiteral("Modifica Rubrica"), QStringLiteral("Clienti"));
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Modifica Rubrica"));
    QCOMPARE(dialog.labelText(), QStringLiteral("Nuovo Nome Rubrica"));
    QCOMPARE(dialog.textValue(), QStringLiteral("Clienti"));
    QCOMPARE(dialog.okButtonText(), QStringLiteral("OK"));
    QCOMPARE(dialog.cancelButtonText(), QStringLiteral("Annulla"));

    QInputDialog untitled;
    detail::setupInputDialog(untitled, QStringLiteral("Nome?"), QString(), QString());
    QCOMPARE(untitled.windowTitle(), QStringLiteral("Quillet"));
}

void TestDialogs::fileDialogs_data() {
    QTest::addColumn<detail::FileDialogKind>("kind");
    QTest::addColumn<int>("fileMode");
    QTest::addColumn<QString>("suffix");
    QTest::addColumn<QString>("acceptLabel");

    QTest::newRow("save") << detail::FileDialogKind::Save << static_cast<int>(QFileDialog::AnyFile)
                          << QStringLiteral("csv") << QStringLiteral("Salva");
    QTest::newRow("open") << detail::FileDialogKind::Open
                          << static_cast<int>(QFileDialog::ExistingFile) << QString()
                          << QStringLiteral("Apri");
    QTest::newRow("folder") << detail::FileDialogKind::Folder
                            << static_cast<int>(QFileDialog::Directory) << QString()
                            << QStringLiteral("Scegli");
}

void TestDialogs::fileDialogs() {
    QFETCH(detail::FileDialogKind, kind);
    QFETCH(int, fileMode);
    QFETCH(QString, suffix);
    QFETCH(QString, acceptLabel);

    // Starts on the folder of a proposed file name that does not exist yet.
    QTemporaryDir dir;
    QFileDialog dialog;
    detail::setupFileDialog(dialog, kind, QStringLiteral("Esporta Contatti"),
                            dir.filePath(QStringLiteral("rubrica.csv")),
                            QStringLiteral("File di testo (*.csv);;Tutti i file (*)"));
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Esporta Contatti"));
    QVERIFY(dialog.testOption(QFileDialog::DontUseNativeDialog));
    QCOMPARE(static_cast<int>(dialog.fileMode()), fileMode);
    QCOMPARE(dialog.defaultSuffix(), suffix);
    QCOMPARE(dialog.labelText(QFileDialog::Accept), acceptLabel);
    QCOMPARE(dialog.labelText(QFileDialog::Reject), QStringLiteral("Annulla"));
    QCOMPARE(dialog.directory().absolutePath(), QDir(dir.path()).absolutePath());
    // Replacing a file is asked by us, through MsgBox, not by the dialog.
    QCOMPARE(dialog.testOption(QFileDialog::DontConfirmOverwrite),
             kind == detail::FileDialogKind::Save);
}

void TestDialogs::parentGoneIsForgotten() {
    auto* window = new QWidget;
    setDialogParent(window);
    QCOMPARE(detail::dialogParent(), window);
    delete window;
    QCOMPARE(detail::dialogParent(), nullptr);
}

void TestDialogs::waitCursorNests() {
    QVERIFY(!QGuiApplication::overrideCursor());
    {
        WaitCursor outer;
        QVERIFY(QGuiApplication::overrideCursor());
        QCOMPARE(QGuiApplication::overrideCursor()->shape(), Qt::WaitCursor);
        {
            WaitCursor inner;
            QCOMPARE(QGuiApplication::overrideCursor()->shape(), Qt::WaitCursor);
        }
        QVERIFY(QGuiApplication::overrideCursor());
        QCOMPARE(QGuiApplication::overrideCursor()->shape(), Qt::WaitCursor);
    }
    QVERIFY(!QGuiApplication::overrideCursor());
}

QTEST_MAIN(TestDialogs)
#include "tst_dialogs.moc"
