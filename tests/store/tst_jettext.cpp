#include "storetest.h"

#include "store/jettext.h"

#include <QTest>

using namespace Qt::StringLiterals;
namespace jettext = store::jettext;

class JetTextTest final : public QObject {
    Q_OBJECT

private slots:
    void equality_data();
    void equality();
    void like_data();
    void like();
    void sortOrder_data();
    void sortOrder();
};

void JetTextTest::equality_data() {
    QTest::addColumn<QString>("a");
    QTest::addColumn<QString>("b");
    QTest::addColumn<bool>("same");

    QTest::newRow("letter case") << u"Principale"_s << u"principale"_s << true;
    QTest::newRow("accented capital") << u"ÈLITE"_s << u"èlite"_s << true;
    QTest::newRow("accent matters") << u"è"_s << u"e"_s << false;
    QTest::newRow("apostrophe") << u"D'AMICO"_s << u"d'amico"_s << true;
    QTest::newRow("extended latin") << u"ŁÓDŹ"_s << u"łódź"_s << true;
    QTest::newRow("prefix") << u"Rossi"_s << u"Rossini"_s << false;
    QTest::newRow("both empty") << QString() << u""_s << true;
}

void JetTextTest::equality() {
    QFETCH(QString, a);
    QFETCH(QString, b);
    QFETCH(bool, same);

    QCOMPARE(jettext::equal(a, b), same);
    const int forward = jettext::compare(a, b);
    QCOMPARE(forward == 0, same);
    QCOMPARE(jettext::compare(b, a), -forward);
    QCOMPARE(jettext::compareUtf8(a.toUtf8(), b.toUtf8()), forward);
}

void JetTextTest::like_data() {
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<bool>("matches");

    QTest::newRow("typed prefix") << u"D'Amico Luigi"_s << u"D'Amico*"_s << true;
    QTest::newRow("apostrophe required") << u"Damico"_s << u"D'Amico*"_s << false;
    QTest::newRow("accented prefix") << u"Èrcole"_s << u"è*"_s << true;
    QTest::newRow("accent differs") << u"Ercole"_s << u"è*"_s << false;
    QTest::newRow("one character") << u"Rossi"_s << u"R?ssi"_s << true;
    QTest::newRow("emoji is one character") << u"😀x"_s << u"?x"_s << true;
    QTest::newRow("digits") << u"3391234567"_s << u"339#######"_s << true;
    QTest::newRow("letter for a digit") << u"339123456a"_s << u"339#######"_s << false;
    QTest::newRow("range") << u"bianchi"_s << u"[A-C]*"_s << true;
    QTest::newRow("negated range") << u"Bianchi"_s << u"[!A-C]*"_s << false;
    QTest::newRow("star in brackets") << u"a*b"_s << u"a[*]b"_s << true;
    QTest::newRow("unclosed bracket") << u"[x"_s << u"[x"_s << true;
    QTest::newRow("inner run") << u"mississippi"_s << u"*sip*"_s << true;
    QTest::newRow("suffix after retry") << u"abcab"_s << u"*ab"_s << true;
    QTest::newRow("one character on empty") << u""_s << u"?"_s << false;
    QTest::newRow("whole text only") << u"Rossini"_s << u"Rossi"_s << false;
}

void JetTextTest::like() {
    QFETCH(QString, value);
    QFETCH(QString, pattern);
    QFETCH(bool, matches);

    QCOMPARE(jettext::like(value, pattern), matches);
    QCOMPARE(jettext::LikePattern(pattern.toUtf8()).matches(QByteArrayView(value.toUtf8())),
             matches);
}

void JetTextTest::sortOrder_data() {
    QTest::addColumn<QString>("before");
    QTest::addColumn<QString>("after");

    QTest::newRow("empty first") << u""_s << u" "_s;
    QTest::newRow("apostrophe before letters") << u"d'Amico"_s << u"De Luca"_s;
    QTest::newRow("blank before letters") << u"De Luca"_s << u"Del Monte"_s;
    QTest::newRow("accent after plain") << u"abaco"_s << u"àbaco"_s;
    QTest::newRow("accent with its base letter") << u"àbaco"_s << u"abacus"_s;
    QTest::newRow("accented last letter") << u"Nicola"_s << u"Nicolò"_s;
    QTest::newRow("capital sorts by letter") << u"zappa"_s << u"Zeta"_s;
    QTest::newRow("small before capital") << u"zappa"_s << u"Zappa"_s;
    QTest::newRow("accent outweighs case") << u"Rossi"_s << u"rossì"_s;
    QTest::newRow("cedilla with c") << u"Cecco"_s << u"Çelik"_s;
    QTest::newRow("sharp s as ss") << u"strasse"_s << u"straße"_s;
    QTest::newRow("sharp s before longer") << u"straße"_s << u"strasser"_s;
    QTest::newRow("extended latin") << u"Lodi"_s << u"Łódź"_s;
    QTest::newRow("other scripts after latin") << u"Zurigo"_s << u"Ωmega"_s;
    QTest::newRow("prefix first") << u"Ross"_s << u"Rossi"_s;
}

void JetTextTest::sortOrder() {
    QFETCH(QString, before);
    QFETCH(QString, after);

    const QByteArray a = jettext::sortKey(QByteArrayView(before.toUtf8()));
    const QByteArray b = jettext::sortKey(QByteArrayView(after.toUtf8()));
    QVERIFY2(a < b, qPrintable(u"%1 | %2"_s.arg(QString::fromLatin1(a.toHex(' ')),
                                                QString::fromLatin1(b.toHex(' ')))));
    QCOMPARE(jettext::sortKey(QStringView(before)), a);
}

int runJetTextTests(int argc, char** argv) {
    JetTextTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_jettext.moc"
