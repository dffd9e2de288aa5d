// Numbers as contacts files and offices write them: what address books keep, what the SMS goes
// to, and why a text is no number.
#include "contacts/phonenumber.h"

#include <QtTest>

class tst_phonenumber : public QObject {
    Q_OBJECT
private slots:
    void reading_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("stored"); // or, for no number, why
        QTest::addColumn<QString>("international");
        QTest::addColumn<bool>("mobile");
        const auto row = [](const char* typed, const char* stored, const char* international,
                            bool mobile) {
            QTest::newRow(typed) << QString(typed) << QString(stored) << QString(international)
                                 << mobile;
        };
        row("+39 333 123-4567", "3331234567", "+393331234567", true);
        row("0039 3331234567", "3331234567", "+393331234567", true);
        row("(333) 123.45/67", "3331234567", "+393331234567", true);
        row("06 1234 5678", "0612345678", "+390612345678", false);
        row("+49 162 2433834", "+491622433834", "+491622433834", true);
        row("+1 202 555 0143", "+12025550143", "+12025550143", true);
        row("+39 340 111 2222 ::: +39 340 333 4444", "contiene più di un numero", "", false);
        row("p1234p5678w9", "contiene pause o un interno", "", false);
        row("333 1234567 ext 12", "contiene pause o un interno", "", false);
        row("333 ABC 4567", "contiene lettere", "", false);
        row("12", "non ha le cifre di un numero di telefono", "", false);
        row("333 1234567 / 347 7654321", "contiene più di un numero", "", false);
        row("02/12345678", "0212345678", "+390212345678", false);
        row("0039 333/1234567", "3331234567", "+393331234567", true);
        row("0049 162/2433834", "+491622433834", "+491622433834", true);
        row("3331234567/3477654321", "contiene più di un numero", "", false);
    }
    void reading() {
        QFETCH(QString, typed);
        QFETCH(QString, stored);
        QFETCH(QString, international);
        const phone::Reading reading = phone::read(typed);
        QCOMPARE(reading.number ? reading.number->stored : reading.problem, stored);
        QCOMPARE(reading.number ? reading.number->international : QString(), international);
        QTEST(reading.number && reading.number->mobile, "mobile");
        // A kept number reads back as itself; the send's form comes from it.
        if (reading.number) {
            QCOMPARE(phone::read(stored).number->stored, stored);
            QCOMPARE(phone::international(stored), international);
        }
    }

    // The quick reading of plain Italian mobile numbers agrees with the library for every
    // prefix from 300 to 399 (brackets make the library read the same number).
    void quickReadingAgreesWithTheLibrary() {
        for (int prefix = 300; prefix <= 399; ++prefix) {
            for (const char* rest : {"1234567", "0000000", "9999999"}) {
                const QString digits = QString::number(prefix) + QLatin1StringView(rest);
                const phone::Reading quick = phone::read(QStringLiteral("+39 ") + digits);
                const phone::Reading library =
                    phone::read(u'(' + digits.left(3) + u')' + digits.mid(3));
                QVERIFY2(library.number, qPrintable(digits));
                QCOMPARE(quick.number.has_value(), true);
                QCOMPARE(quick.number->stored, library.number->stored);
                QCOMPARE(quick.number->international, library.number->international);
                QVERIFY2(!quick.number->mobile || library.number->mobile, qPrintable(digits));
            }
        }
    }
};

QTEST_APPLESS_MAIN(tst_phonenumber)
#include "tst_phonenumber.moc"
