#include "platform/dialogs.h"
#include "platform/waitcursor.h"

#include <QApplication>
#include <QRegularExpression>
#include <QTest>

#include <memory>

using namespace platform;

// Command-line tools, early start-up code and test runs without a display may reach the
// dialogs: nothing may wait for a user who cannot answer.
class TestHeadless final : public QObject {
    Q_OBJECT

private slots:
    void withoutWindows_data() {
        QTest::addColumn<QString>("application");
        QTest::newRow("no application") << "none";
        QTest::newRow("offscreen GUI application") << "gui";
    }

    void withoutWindows() {
        QFETCH(QString, application);
        int argc = 1;
        char name[] = "platform_headless";
        char* argv[] = {name, nullptr};
        qputenv("QT_QPA_PLATFORM", "offscreen");
        std::unique_ptr<QCoreApplication> app;
        if (application == "gui")
            app = std::make_unique<QApplication>(argc, argv);

        // Safe answers, and a warning instead of each dialog (the failure to open the page
        // cannot be shown either).
        for (int i = 0; i < 5; ++i)
            QTest::ignoreMessage(QtWarningMsg, QRegularExpression("not shown"));
        {
            WaitCursor wait;
            QCOMPARE(MsgBox("Sostituirlo?", Icon::Exclamation, Buttons::YesNo), Answer::No);
            QVERIFY(!InputBox("Nome?"));
            QVERIFY(!saveFileName("Esporta", {}, {}));
            QVERIFY(!openUrl(QUrl("https://example.org/")));
        }

        // A script still answers.
        DialogScript script;
        script.answer(Answer::Yes);
        QCOMPARE(MsgBox("Sostituirlo?", Icon::Exclamation, Buttons::YesNo), Answer::Yes);
        QCOMPARE(script.messages(), QStringList{"Sostituirlo?"});
    }
};

QTEST_APPLESS_MAIN(TestHeadless)
#include "tst_headless.moc"
