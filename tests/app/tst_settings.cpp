#include "app/archivetree.h"
#include "app/session.h"
#include "app/settings.h"
#include "support/testfolder.h"

#include <QtTest>

class tst_settings : public QObject {
    Q_OBJECT
private slots:
    void credit_data();
    void credit();
    void tbta_data();
    void tbta();
    void settingsFilesRead();
    void treeKeysAndIndices();
    void headerKind_data();
    void headerKind();
};

void tst_settings::credit_data() {
    QTest::addColumn<QString>("line");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<QString>("caption");
    QTest::newRow("comma") << "12,5" << true << "Credito residuo 12,5";
    QTest::newRow("blanks around") << " 12,5 " << true << "Credito residuo 12,5";
    QTest::newRow("point") << "12.5" << true << "Credito residuo 12,5";
    QTest::newRow("whole") << "300" << true << "Credito residuo 300";
    QTest::newRow("large, no grouping") << "1234567,25" << true << "Credito residuo 1234567,25";
    QTest::newRow("letters") << "abc" << false << "Credito residuo 0";
    QTest::newRow("empty") << "" << false << "Credito residuo 0";
    QTest::newRow("number then text") << "12,5 euro" << false << "Credito residuo 0";
}

void tst_settings::credit() {
    QFETCH(QString, line);
    QFETCH(bool, valid);
    QFETCH(QString, caption);
    const auto value = settings::parseCredit(line);
    QCOMPARE(value.has_value(), valid);
    QCOMPARE(settings::creditCaption(value.value_or(0)), caption);
}

void tst_settings::tbta_data() {
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<int>("toolbar");
    QTest::addColumn<int>("panel");
    QTest::newRow("two lines") << QStringList{"0", "3000"} << true << 0 << 3000;
    QTest::newRow("blanks") << QStringList{" 1 , 2500 "} << true << 1 << 2500;
    QTest::newRow("negative") << QStringList{"-1,1500"} << true << -1 << 1500;
    QTest::newRow("one number") << QStringList{"1"} << false << 0 << 0;
    QTest::newRow("letters") << QStringList{"a,b"} << false << 0 << 0;
    QTest::newRow("too large") << QStringList{"1,99999"} << false << 0 << 0;
    QTest::newRow("huge") << QStringList{"123456789012345678901234567890,1"} << false << 0 << 0;
    QTest::newRow("decimal") << QStringList{"1,2700.5"} << false << 0 << 0;
    QTest::newRow("empty file") << QStringList{} << false << 0 << 0;
}

void tst_settings::tbta() {
    QFETCH(QStringList, lines);
    QFETCH(bool, valid);
    const auto values = settings::parseTbta(lines);
    QCOMPARE(values.has_value(), valid);
    if (valid) {
        QTEST(int(values->first), "toolbar");
        QTEST(int(values->second), "panel");
    }
}

void tst_settings::settingsFilesRead() {
    TestFolder folder;
    {
        // Missing files leave the state empty.
        Session state;
        state.appFolder = folder.path();
        settings::loadStartupFiles(state);
        QVERIFY(state.account.isEmpty() && state.affiliate.isEmpty());
        QVERIFY(state.senderHeader.isEmpty() && state.hotelFolder.isEmpty());
        QCOMPARE(state.credit, 0.0);
    }
    folder.write(QStringLiteral("registrazione"),
                 {QStringLiteral("mario-seg-reto"), QStringLiteral("ignored")});
    folder.write(QStringLiteral("intestazione"), {QStringLiteral("Pizzeria")});
    folder.write(QStringLiteral("progra"), {QStringLiteral("42-ABC")});
    folder.write(QStringLiteral("residui.txt"), {QStringLiteral("abc")});
    folder.write(QStringLiteral("persorso"), {QStringLiteral("C:\\Hotel\\Dati")});
    Session state;
    state.appFolder = folder.path();
    state.credit = 7;
    settings::loadStartupFiles(state);
    QCOMPARE(state.account, (QStringList{"mario", "seg-reto"}));
    QCOMPARE(state.senderHeader, QStringLiteral("Pizzeria"));
    QCOMPARE(state.affiliate, (QStringList{"42", "ABC"}));
    QCOMPARE(state.hotelFolder, QStringLiteral("C:\\Hotel\\Dati"));
    QCOMPARE(state.credit, 7.0); // an unreadable credit keeps what was known
}

void tst_settings::treeKeysAndIndices() {
    const auto nodes =
        archivetree::nodes({QStringLiteral("Principale"), QStringLiteral("Clienti")});
    QStringList keys;
    for (const auto& n : nodes)
        keys << n.key;
    QCOMPARE(keys,
             (QStringList{"a1", "r1", "r2", "a2", "s1", "s2", "a3", "i1", "i2", "a4", "c1", "c2"}));
    // Node indices count from 1 in tree order.
    QCOMPARE(nodes[4 - 1].text, QStringLiteral("SMS Salvati"));
    QCOMPARE(nodes[7 - 1].text, QStringLiteral("SMS Inviati"));
    QCOMPARE(nodes[10 - 1].text, QStringLiteral("SMS Cancellati"));
    QCOMPARE(nodes.size(), 12);
    QCOMPARE(nodes[12 - 1].text, QStringLiteral("Clienti"));
    QCOMPARE(nodes[12 - 1].picture, 5);
    QCOMPARE(archivetree::nodes({}).size(), 4);
}

void tst_settings::headerKind_data() {
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("caption");
    QTest::newRow("root Rubriche") << "a1"
                                   << "Rubriche"
                                   << "Rubrica";
    QTest::newRow("root SMS Salvati") << "a2"
                                      << "SMS Salvati"
                                      << "SMS Salvati";
    QTest::newRow("root SMS Inviati") << "a3"
                                      << "SMS Inviati"
                                      << "SMS Inviati";
    QTest::newRow("root SMS Cancellati") << "a4"
                                         << "SMS Cancellati"
                                         << "SMS Cancellati";
    QTest::newRow("address book") << "r1"
                                  << "Principale"
                                  << "Rubrica";
    QTest::newRow("saved of a book") << "s2"
                                     << "Clienti"
                                     << "SMS Salvati";
    // The fifth character of a name counts too, upper case only.
    QTest::newRow("ClubSport under Rubriche") << "r2"
                                              << "ClubSport"
                                              << "SMS Salvati";
    QTest::newRow("Clubsport under Rubriche") << "r2"
                                              << "Clubsport"
                                              << "Rubrica";
    QTest::newRow("BarnCasa under Inviati") << "i3"
                                            << "BarnCasa"
                                            << "SMS Cancellati";
    QTest::newRow("Rossi under Cancellati") << "c1"
                                            << "Rossi"
                                            << "SMS Cancellati";
}

void tst_settings::headerKind() {
    QFETCH(QString, key);
    QFETCH(QString, text);
    QTEST(archivetree::kindCaption(archivetree::headerKind(key, text)), "caption");
}

QTEST_APPLESS_MAIN(tst_settings)
#include "tst_settings.moc"
