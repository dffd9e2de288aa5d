// What one SMS holds and how a text is cut, on each limit the SMS centre counts.
#include "messaging/smslength.h"
#include "messaging/smssplitter.h"

#include <QtTest>

static const QString x = "x";
static const QString euro = QString::fromUtf8("€");
static const QString acute = QString::fromUtf8("á"); // not in the GSM alphabet
static const QString emoji = QString::fromUtf8("\U0001F600");

class tst_smslength : public QObject {
    Q_OBJECT
private slots:
    // The alphabet, the units counted, and the SMS the centre sends for the text as one
    // concatenated message.
    void measure_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("unicode");
        QTest::addColumn<int>("units");
        QTest::addColumn<int>("parts");
        QTest::newRow("empty") << "" << false << 0 << 1;
        QTest::newRow("160 letters") << x.repeated(160) << false << 160 << 1;
        QTest::newRow("161 letters") << x.repeated(161) << false << 161 << 2;
        QTest::newRow("80 euro") << euro.repeated(80) << false << 160 << 1;
        QTest::newRow("CR LF counts two") << x.repeated(158) + "\r\n" << false << 160 << 1;
        QTest::newRow("every extension character")
            << QString::fromUtf8("\f^{}\\[]~|€") << false << 20 << 1;
        QTest::newRow("accented letters of the alphabet")
            << QString::fromUtf8("àèéìòù ÄÖÑÜ ß É Ç") << false << 17 << 1;
        QTest::newRow("È is not in it")
            << QString::fromUtf8("È") + x.repeated(159) << true << 160 << 3;
        QTest::newRow("70 units") << acute.repeated(70) << true << 70 << 1;
        QTest::newRow("71 units") << acute + x.repeated(70) << true << 71 << 2;
        QTest::newRow("35 emoji") << emoji.repeated(35) << true << 70 << 1;
        QTest::newRow("no-break space") << "a" + QString(QChar(0xA0)) + "b" << true << 3 << 1;
        QTest::newRow("3 parts of 153") << x.repeated(459) << false << 459 << 3;
        QTest::newRow("459 and 1") << x.repeated(460) << false << 460 << 4;
        // 152 + 2 does not fit a part of 153: the euro starts the next part.
        QTest::newRow("euro on a part's cut")
            << x.repeated(152) + euro + x.repeated(152) << false << 306 << 3;
        // Kannel cuts UCS-2 inside a surrogate pair; the phone joins the parts first.
        QTest::newRow("emoji on a part's cut")
            << acute.repeated(66) + emoji + acute.repeated(66) << true << 134 << 2;
        QTest::newRow("135 units")
            << acute.repeated(67) + emoji + acute.repeated(66) << true << 135 << 3;
    }
    void measure() {
        QFETCH(QString, text);
        QFETCH(int, units);
        const sms::Alphabet alphabet = sms::alphabetOf(text);
        QTEST(alphabet == sms::Alphabet::Unicode, "unicode");
        QCOMPARE(sms::units(text), units);
        QTEST(sms::concatenatedParts(text, alphabet), "parts");
        QCOMPARE(sms::fitsOne(text), units <= sms::singleCapacity(alphabet));
    }

    // The composer's two cuts: each part one SMS on its own, in its own alphabet; the parts
    // joined are the text, nothing added.
    void cutting_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("atBlank");
        QTest::addColumn<QList<int>>("sizes"); // UTF-16 units of each part
        QTest::newRow("empty") << "" << false << QList<int>{};
        QTest::newRow("160") << x.repeated(160) << false << QList<int>{160};
        QTest::newRow("161") << x.repeated(161) << false << QList<int>{160, 1};
        QTest::newRow("brace on the cut") << x.repeated(159) + "{x" << false << QList<int>{159, 2};
        QTest::newRow("one acute, 70 letters")
            << acute + x.repeated(70) << false << QList<int>{70, 1};
        QTest::newRow("emoji on the cut")
            << acute.repeated(69) + emoji << false << QList<int>{69, 2};
        // The rest after a Unicode part may go in the GSM alphabet, 160 a part again.
        QTest::newRow("È and 159 letters")
            << QString::fromUtf8("È") + x.repeated(159) << false << QList<int>{70, 90};
        QTest::newRow("exactly 10 SMS") << x.repeated(1600) << false << QList<int>(10, 160);
        QTest::newRow("a blank: 160 of short words is one SMS")
            << QString("abcd ").repeated(32).left(160) << true << QList<int>{160};
        QTest::newRow("a blank: 1590 of short words is 10 SMS")
            << QString("abcd ").repeated(318) << true
            << QList<int>(10, 160).mid(0, 9) + QList<int>{150};
        QTest::newRow("a blank: the word that does not fit moves whole")
            << x.repeated(150) + ' ' + x.repeated(20) << true << QList<int>{151, 20};
        QTest::newRow("a blank: a word ending on the limit")
            << "ab " + x.repeated(157) + " cd" << true << QList<int>{160, 3};
        QTest::newRow("a blank: a word longer than an SMS is cut")
            << "ab " + x.repeated(170) + " cd" << true << QList<int>{3, 160, 13};
        QTest::newRow("a blank: a line end is one")
            << x.repeated(150) + "\n" + x.repeated(20) << true << QList<int>{151, 20};
        QTest::newRow("a blank: a no-break space is not")
            << x.repeated(60) + QChar(0xA0) + x.repeated(20) << true << QList<int>{70, 11};
        QTest::newRow("a blank: Unicode words")
            << (acute + acute + ' ').repeated(30) << true << QList<int>{69, 21};
    }
    void cutting() {
        QFETCH(QString, text);
        QFETCH(bool, atBlank);
        const QStringList parts = sms::cut(text, atBlank);
        QList<int> sizes;
        for (const QString& part : parts) {
            sizes.append(static_cast<int>(part.size()));
            QVERIFY2(sms::fitsOne(part), qPrintable(part));
        }
        QTEST(sizes, "sizes");
        QCOMPARE(parts.join(QString()), text);
    }
};

QTEST_GUILESS_MAIN(tst_smslength)
#include "tst_smslength.moc"
