#include "core/archivetree.h"
#include "core/session.h"
#include "core/settings.h"
#include "support/testfolder.h"

#include <QtTest>

class tst_settings : public QObject {
    Q_OBJECT
private slots:
    // The credit line of residui.txt and the caption it gives; the window's own label is
    // pinned by tst_mainwindow.
    void credit_data() {
        QTest::addColumn<QString>("line");
        QTest::addColumn<bool>("valid");
        QTest::addColumn<QString>("caption");
        QTest::newRow("point") << "12.5" << true << "Credito residuo 12,5";
        QTest::newRow("large, no grouping") << "1234567,25" << true << "Credito residuo 1234567,25";
        QTest::newRow("number then text") << "12,5 euro" << false << "Credito residuo 0";
    }
    void credit() {
        QFETCH(QString, line);
        const auto value = settings::parseCredit(line);
        QTEST(value.has_value(), "valid");
        QTEST(settings::creditCaption(value.value_or(0)), "caption");
    }

    // The layout file: two whole numbers up to 32767, or nothing.
    void tbta_data() {
        QTest::addColumn<QStringList>("lines");
        QTest::addColumn<QString>("read"); // toolbar and panel; empty: refused
        QTest::newRow("blanks, largest") << QStringList{" 1 , 32767 "} << "1 32767";
        QTest::newRow("one number") << QStringList{"1"} << "";
        QTest::newRow("one too large") << QStringList{"1,32768"} << "";
    }
    void tbta() {
        QFETCH(QStringList, lines);
        const auto values = settings::parseTbta(lines);
        QTEST(values ? QString("%1 %2").arg(values->first).arg(values->second) : QString(), "read");
    }

    void settingsFilesRead() {
        TestFolder folder;
        folder.write("residui.txt", {"abc"});
        Session state;
        state.appFolder = folder.path();
        state.credit = 7;
        settings::loadStartupFiles(state);
        QCOMPARE(state.credit, 7.0); // an unreadable credit keeps what was known
    }

    // Which list a node shows; the fifth character of a name counts too, upper case only.
    void headerKind_data() {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("caption");
        const auto row = [](const char* key, const char* text, const char* caption) {
            QTest::newRow(qPrintable(QString(key) + ' ' + text)) << key << text << caption;
        };
        row("r2", "ClubSport", "SMS Salvati");
        row("r2", "Clubsport", "Rubrica");
        row("i3", "BarnCasa", "SMS Cancellati");
    }
    void headerKind() {
        QFETCH(QString, key);
        QFETCH(QString, text);
        QTEST(archivetree::kindCaption(archivetree::headerKind(key, text)), "caption");
    }
};

QTEST_APPLESS_MAIN(tst_settings)
#include "tst_settings.moc"
