// What one SMS holds and how a text is cut, on each limit the SMS centre counts.
#include "messaging/smslength.h"
#include "messaging/smssplitter.h"

#include <QtTest>

static const QString euro = QString::fromUtf8("€");
static const QString acute = QString::fromUtf8("á"); // not in the GSM alphabet
static const QString emoji = QString::fromUtf8("\U0001F600");

static QString times(const QString& text, int count) {
    return text.repeated(count);
}

class tst_smslength : public QObject {
    Q_OBJECT
private slots:
    // The alphabet, the units counted, and the SMS the centre sends for the text as one
    // concatenated message.
    void measure_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("alphabet");
        QTest::addColumn<int>("units");
        QTest::addColumn<int>("parts");
        const QString x = "x";
        QTest::newRow("empty") << ""
                               << "GSM" << 0 << 1;
        QTest::newRow("160 letters") << times(x, 160) << "GSM" << 160 << 1;
        QTest::newRow("161 letters") << times(x, 161) << "GSM" << 161 << 2;
        QTest::newRow("80 euro") << times(euro, 80) << "GSM" << 160 << 1;
        QTest::newRow("81 euro") << times(euro, 81) << "GSM" << 162 << 2;
        QTest::newRow("159 letters and a brace") << times(x, 159) + "{"
                                                 << "GSM" << 161 << 2;
        QTest::newRow("CR LF counts two") << times(x, 158) + "\r\n"
                                          << "GSM" << 160 << 1;
        QTest::newRow("every extension character")
            << QString::fromUtf8("\f^{}\\[]~|€") << "GSM" << 20 << 1;
        QTest::newRow("accented letters of the alphabet")
            << QString::fromUtf8("àèéìòù ÄÖÑÜ ß É Ç") << "GSM" << 17 << 1;
        QTest::newRow("È is not in it")
            << QString::fromUtf8("È") + times(x, 159) << "Unicode" << 160 << 3;
        QTest::newRow("70 units") << times(acute, 70) << "Unicode" << 70 << 1;
        QTest::newRow("71 units") << acute + times(x, 70) << "Unicode" << 71 << 2;
        QTest::newRow("35 emoji") << times(emoji, 35) << "Unicode" << 70 << 1;
        QTest::newRow("36 emoji") << times(emoji, 36) << "Unicode" << 72 << 2;
        QTest::newRow("no-break space") << "a" + QString(QChar(0xA0)) + "b"
                                        << "Unicode" << 3 << 1;
        QTest::newRow("3 parts of 153") << times(x, 459) << "GSM" << 459 << 3;
        QTest::newRow("459 and 1") << times(x, 460) << "GSM" << 460 << 4;
        // 152 + 2 does not fit a part of 153: the euro starts the next part.
        QTest::newRow("euro on a part's cut")
            << times(x, 152) + euro + times(x, 152) << "GSM" << 306 << 3;
        QTest::newRow("3 parts of 67") << times(acute, 201) << "Unicode" << 201 << 3;
        // Kannel cuts UCS-2 inside a surrogate pair; the phone joins the parts first.
        QTest::newRow("emoji on a part's cut")
            << times(acute, 66) + emoji + times(acute, 66) << "Unicode" << 134 << 2;
        QTest::newRow("135 units")
            << times(acute, 67) + emoji + times(acute, 66) << "Unicode" << 135 << 3;
        QTest::newRow("101 emoji") << times(emoji, 101) << "Unicode" << 202 << 4;
    }
    void measure() {
        QFETCH(QString, text);
        QFETCH(int, units);
        const sms::Alphabet alphabet = sms::alphabetOf(text);
        QTEST(QString(alphabet == sms::Alphabet::Gsm ? "GSM" : "Unicode"), "alphabet");
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
        const QString x = "x";
        QTest::newRow("empty") << "" << false << QList<int>{};
        QTest::newRow("160") << times(x, 160) << false << QList<int>{160};
        QTest::newRow("161") << times(x, 161) << false << QList<int>{160, 1};
        QTest::newRow("81 euro") << times(euro, 81) << false << QList<int>{80, 1};
        QTest::newRow("brace on the cut") << times(x, 159) + "{x" << false << QList<int>{159, 2};
        QTest::newRow("one acute, 70 letters")
            << acute + times(x, 70) << false << QList<int>{70, 1};
        QTest::newRow("36 emoji") << times(emoji, 36) << false << QList<int>{70, 2};
        QTest::newRow("emoji on the cut") << times(acute, 69) + emoji << false << QList<int>{69, 2};
        // The rest after a Unicode part may go in the GSM alphabet, 160 a part again.
        QTest::newRow("È and 159 letters")
            << QString::fromUtf8("È") + times(x, 159) << false << QList<int>{70, 90};
        QTest::newRow("exactly 10 SMS") << times(x, 1600) << false << QList<int>(10, 160);
        QTest::newRow("a blank: 160 of short words is one SMS")
            << times("abcd ", 32).left(160) << true << QList<int>{160};
        QTest::newRow("a blank: 1590 of short words is 10 SMS")
            << times("abcd ", 318) << true << QList<int>(10, 160).mid(0, 9) + QList<int>{150};
        QTest::newRow("a blank: the word that does not fit moves whole")
            << times(x, 150) + ' ' + times(x, 20) << true << QList<int>{151, 20};
        QTest::newRow("a blank: a word ending on the limit")
            << "ab " + times(x, 157) + " cd" << true << QList<int>{160, 3};
        QTest::newRow("a blank: a word longer than an SMS is cut")
            << "ab " + times(x, 170) + " cd" << true << QList<int>{3, 160, 13};
        QTest::newRow("a blank: a line end is one")
            << times(x, 150) + "\n" + times(x, 20) << true << QList<int>{151, 20};
        QTest::newRow("a blank: a no-break space is not")
            << times(x, 60) + QChar(0xA0) + times(x, 20) << true << QList<int>{70, 11};
        QTest::newRow("a blank: Unicode words")
            << times(acute + acute + ' ', 30) << true << QList<int>{69, 21};
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
