// The disclaimer that gates the main window.
#include "app/mainwindow.h"
#include "app/startup.h"
#include "core/session.h"
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
    // "Accetto" writes 0 there and opens the main window; "Rifiuto" and the close box quit.
    void firstWindow_data() {
        QTest::addColumn<QByteArray>("mostra");      // none: tst_userfile's start-up
        QTest::addColumn<QByteArray>("text");        // disclaimer.txt; null: no file
        QTest::addColumn<QString>("shown");          // null: the main window comes first
        QTest::addColumn<QString>("answer");         // empty: none; "close": the close box
        QTest::addColumn<QByteArray>("mostraAfter"); // "?": a folder in the way of the flag
        const QByteArray text = "Prima riga\r\nSeconda \xe8 riga\r\n", one = "1\r\n";
        const QString shown = "\nPrima riga\nSeconda è riga";
        QTest::newRow("no disclaimer.txt") << one << QByteArray() << "" << QString() << one;
        QTest::newRow("1 and a blank")
            << QByteArray("1 \r\n") << text << QString() << "" << QByteArray("1 \r\n");
        QTest::newRow("Accetto") << one << text << shown << "Accetto" << QByteArray("0\r\n");
        QTest::newRow("Accetto, flag not written")
            << one << text << shown << "Accetto" << QByteArray("?");
        QTest::newRow("Rifiuto") << one << text << shown << "Rifiuto" << one;
        QTest::newRow("close box") << one << text << shown << "close" << one;
    }
    void firstWindow() {
        QFETCH(QByteArray, mostra);
        QFETCH(QByteArray, text);
        QFETCH(QString, shown);
        QFETCH(QString, answer);
        QFETCH(QByteArray, mostraAfter);
        writeBytes(m_folder->file("mostra.txt"), mostra);
        if (!text.isNull())
            writeBytes(m_folder->file("disclaimer.txt"), text);
        int quits = 0;
        startup::FirstWindows windows(session(), [&quits] { ++quits; });
        QWidget* first = windows.open();
        QVERIFY(first && first->isVisible());
        QCOMPARE(bool(windows.disclaimer()), !shown.isNull());
        QCOMPARE(bool(windows.mainWindow()), shown.isNull());
        if (!shown.isNull())
            QCOMPARE(control<QPlainTextEdit>(windows.disclaimer(), "Text1")->toPlainText(), shown);
        else
            QVERIFY(windows.mainWindow()->nodeCount() > 0); // its start-up ran
        const bool unwritable = mostraAfter == "?";
        if (unwritable) { // the replacement fails
            QVERIFY(QFile::remove(m_folder->file("mostra.txt")));
            QVERIFY(QDir(m_folder->path()).mkdir("mostra.txt"));
        }
        platform::DialogScript script;
        if (answer == "close")
            windows.disclaimer()->close();
        else if (!answer.isEmpty())
            QTest::mouseClick(control<QPushButton>(windows.disclaimer(),
                                                   answer == "Accetto" ? "Command1" : "Command2"),
                              Qt::LeftButton);
        const bool quit = answer == "Rifiuto" || answer == "close";
        QCOMPARE(quits, int(quit));
        QCOMPARE(windows.mainWindow() && windows.mainWindow()->isVisible(),
                 shown.isNull() || answer == "Accetto");
        QCOMPARE(readBytes(m_folder->file("mostra.txt"), "?"), mostraAfter);
        QCOMPARE(script.shown().size(), int(unwritable));
        if (unwritable)
            QVERIFY(script.messages().first().contains("mostra.txt"));
    }
};

QTEST_MAIN(tst_windows)
#include "tst_windows.moc"
