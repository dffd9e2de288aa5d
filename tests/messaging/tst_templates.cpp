// The ready-made texts' file: what is saved comes back after a restart, the limits hold, a
// damaged or longer file is refused and named.
#include "messaging/templates.h"
#include "support/testfolder.h"

#include <QtTest>

using templates::Template;

class tst_templates : public QObject {
    Q_OBJECT
private slots:
    void reloaded_data() {
        QTest::addColumn<QString>("text");
        QTest::newRow("lines, tab, backslash") << "Riga 1\r\nRiga 2\n\tC:\\temp\\n 100%";
        QTest::newRow("emoji, accents, fields") << "Gentile {Nome}, è già lì 😀 €";
        QTest::newRow("exactly 1,600") << QString("€").repeated(templates::maxCharacters);
    }
    void reloaded() {
        QFETCH(QString, text);
        TestFolder folder;
        const QList<Template> saved{{"Auguri", text}, {"Promemoria\tdomani", "Ciao"}};
        QVERIFY(templates::save(folder.path(), saved));
        QVERIFY(readBytes(folder.file("modelli")).startsWith("\xEF\xBB\xBF"));
        const templates::Loaded loaded = templates::load(folder.path());
        QCOMPARE(loaded.problem, QString());
        QCOMPARE(loaded.list.size(), 2);
        QCOMPARE(loaded.list[0].text, text);
        QCOMPARE(loaded.list[1].name, "Promemoria domani");
    }

    // At most 200 texts of at most 1,600 characters (an emoji is one).
    void limits_data() {
        QTest::addColumn<int>("kept");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("added");
        const QString emoji = "😀";
        QTest::newRow("the 200th") << 199 << "x" << true;
        QTest::newRow("the 201st") << 200 << "x" << false;
        QTest::newRow("1,600 emoji") << 0 << emoji.repeated(1600) << true;
        QTest::newRow("1,601") << 0 << QString("x").repeated(1601) << false;
    }
    void limits() {
        QFETCH(int, kept);
        QFETCH(QString, text);
        QList<Template> list(kept, Template{"m", "t"});
        const QString refused = templates::add(list, {"nuovo", text});
        QTEST(refused.isEmpty(), "added");
        QCOMPARE(list.size(), refused.isEmpty() ? kept + 1 : kept);
    }

    // A file the program could not have written is not read, and the message names it.
    void refusedFile_data() {
        QTest::addColumn<QByteArray>("bytes");
        QByteArray many = "\xEF\xBB\xBF";
        for (int i = 0; i < 201; ++i)
            many += "m\tt\r\n";
        QTest::newRow("201 texts") << many;
        QTest::newRow("no name") << QByteArray("\xEF\xBB\xBF"
                                               "a\tb\r\nsenza nome\r\n");
        QTest::newRow("bad escape") << QByteArray("\xEF\xBB\xBF"
                                                  "a\tb\\x\r\n");
        QTest::newRow("1,601") << "\xEF\xBB\xBF"
                                  "a\t" +
                                      QByteArray(1601, 'x') + "\r\n";
    }
    void refusedFile() {
        QFETCH(QByteArray, bytes);
        TestFolder folder;
        writeBytes(folder.file("modelli"), bytes);
        const templates::Loaded loaded = templates::load(folder.path());
        QVERIFY(loaded.list.isEmpty());
        QVERIFY2(loaded.problem.contains(QDir::toNativeSeparators(folder.file("modelli"))),
                 qPrintable(loaded.problem));
    }
};

QTEST_GUILESS_MAIN(tst_templates)
#include "tst_templates.moc"
