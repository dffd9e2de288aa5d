// The disclaimer that gates the main window.
#include "app/mainwindow.h"
#include "app/session.h"
#include "app/startup.h"
#include "platform/dialogs.h"
#include "support/controls.h"
#include "support/foldertest.h"
#include "windows/disclaimerwindow.h"

#include <QPlainTextEdit>
#include <QPushButton>
#include <QtTest>

#include <memory>

class tst_windows : public QObject, private FolderTest {
    Q_OBJECT
private slots:
    void init() { newFolder(); }
    void cleanup() { dropFolder(); }

    // The disclaimer comes first when mostra.txt says exactly 1; it shows disclaimer.txt.
    void firstWindow_data() {
        QTest::addColumn<QByteArray>("mostra"); // null: no file
        QTest::addColumn<QByteArray>("text");   // disclaimer.txt; null: no file
        QTest::addColumn<QString>("shown");     // null: the main window comes first
        const QByteArray text = "Prima riga\r\nSeconda \xe8 riga\r\n";
        QTest::newRow("no mostra.txt") << QByteArray() << text << QString();
        QTest::newRow("1 CR LF") << QByteArray("1\r\n") << text << "\nPrima riga\nSeconda è riga";
        QTest::newRow("no disclaimer.txt") << QByteArray("1\r\n") << QByteArray() << "";
        QTest::newRow("1 and a blank") << QByteArray("1 \r\n") << text << QString();
    }
    void firstWindow() {
        QFETCH(QByteArray, mostra);
        QFETCH(QByteArray, text);
        QFETCH(QString, shown);
        if (!mostra.isNull())
            writeBytes(m_folder->file("mostra.txt"), mostra);
        if (!text.isNull())
            writeBytes(m_folder->file("disclaimer.txt"), text);
        int quits = 0;
        startup::FirstWindows windows(session(), [&quits] { ++quits; });
        QWidget* first = windows.open();
        QVERIFY(first && first->isVisible());
        if (!shown.isNull()) {
            QCOMPARE(first, windows.disclaimer());
            QVERIFY(!windows.mainWindow());
            QCOMPARE(control<QPlainTextEdit>(windows.disclaimer(), "Text1")->toPlainText(), shown);
        } else {
            QCOMPARE(first, windows.mainWindow());
            QVERIFY(!windows.disclaimer());
            QVERIFY(windows.mainWindow()->nodeCount() > 0); // its start-up ran
        }
        QCOMPARE(quits, 0);
    }

    void answer_data() {
        QTest::addColumn<QString>("answer");
        QTest::addColumn<bool>("writable");
        QTest::addColumn<QByteArray>("mostraAfter"); // "?": cannot be read back
        QTest::addColumn<int>("messages");
        QTest::newRow("Accetto") << "Accetto" << true << QByteArray("0\r\n") << 0;
        QTest::newRow("Accetto, flag not written") << "Accetto" << false << QByteArray("?") << 1;
        QTest::newRow("Rifiuto") << "Rifiuto" << true << QByteArray("1\r\n") << 0;
        QTest::newRow("close box") << "close" << true << QByteArray("1\r\n") << 0;
    }
    void answer() {
        QFETCH(QString, answer);
        QFETCH(bool, writable);
        QFETCH(int, messages);
        writeBytes(m_folder->file("mostra.txt"), "1\r\n");
        int quits = 0;
        startup::FirstWindows windows(session(), [&quits] { ++quits; });
        windows.open();
        if (!writable) { // a folder in the way makes the replacement fail
            QVERIFY(QFile::remove(m_folder->file("mostra.txt")));
            QVERIFY(QDir(m_folder->path()).mkdir("mostra.txt"));
        }
        platform::DialogScript script;
        DisclaimerWindow* form = windows.disclaimer();
        if (answer == "close")
            form->close();
        else
            QTest::mouseClick(
                control<QPushButton>(form, answer == "Accetto" ? "Command1" : "Command2"),
                Qt::LeftButton);
        const bool accepted = answer == "Accetto";
        QCOMPARE(quits, accepted ? 0 : 1);
        QCOMPARE(windows.mainWindow() && windows.mainWindow()->isVisible(), accepted);
        QTEST(readBytes(m_folder->file("mostra.txt"), "?"), "mostraAfter");
        QCOMPARE(script.shown().size(), messages);
        if (messages) {
            QVERIFY(script.messages().first().contains("mostra.txt"));
        }
    }
};

QTEST_MAIN(tst_windows)
#include "tst_windows.moc"
