#include "platform/dialogs.h"
#include "platform/waitcursor.h"

#include <QCoreApplication>
#include <QRegularExpression>
#include <QTest>

#include <memory>

using namespace platform;

// Command-line tools and early start-up code may reach the dialogs before any window exists.
class TestHeadless final : public QObject {
    Q_OBJECT

private slots:
    void withoutWindows_data();
    void withoutWindows();
};

void TestHeadless::withoutWindows_data() {
    QTest::addColumn<bool>("coreApplication");
    QTest::newRow("no application") << false;
    QTest::newRow("core application only") << true;
}

void TestHeadless::withoutWindows() {
    QFETCH(bool, coreApplication);
    int argc = 1;
    char name[] = "platform_headless";
    char* argv[] = {name, nullptr};
    std::unique_ptr<QCoreApplication> app;
    if (coreApplication)
        app = std::make_unique<QCoreApplication>(argc, argv);

    const QRegularExpression notShown(QStringLiteral("not shown"));
    {
        WaitCursor wait;
        QTest::ignoreMessage(QtWarningMsg, notShown);
        QCOMPARE(MsgBox(QStringLiteral("Sostituirlo?"), Icon::Exclamation, Buttons::YesNo),
                 Answer::No);
        QTest::ignoreMessage(QtWarningMsg, notShown);
        QCOMPARE(MsgBox(QStringLiteral("Procedere?"), Icon::None, Buttons::OkCancel),
                 Answer::Cancel);
        QTest::ignoreMessage(QtWarningMsg, notShown);
        QVERIFY(!InputBox(QStringLiteral("Nome?")).has_value());
        QTest::ignoreMessage(QtWarningMsg, notShown);
        QVERIFY(!folderName(QStringLiteral("Cartella"), QString()).has_value());
        // The page cannot open, and the failure message cannot show either.
        QTest::ignoreMessage(QtWarningMsg, notShown);
        QTest::ignoreMessage(QtWarningMsg, notShown);
        QVERIFY(!openUrl(QUrl(QStringLiteral("https://example.org/"))));
    }

    // A script still answers without any application.
    DialogScript script;
    script.answer(Answer::Yes);
    QCOMPARE(MsgBox(QStringLiteral("Sostituirlo?"), Icon::Exclamation, Buttons::YesNo),
             Answer::Yes);
    QCOMPARE(script.messages(), QStringList{QStringLiteral("Sostituirlo?")});
}

QTEST_APPLESS_MAIN(TestHeadless)
#include "tst_headless.moc"
