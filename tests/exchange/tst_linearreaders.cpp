// The readers of text files take time in proportion to their input, whatever its lines look
// like: each awkward input is timed against a plain one of the same size in the same run.
#include "exchange/vcard.h"
#include "platform/lines.h"

#include <QElapsedTimer>
#include <QtTest>

#include <functional>

namespace {

// Lines or cards handed out by the reader.
template <class Reader> qint64 count(const QByteArray& text) {
    Reader reader(text);
    qint64 items = 0;
    while (reader.next())
        ++items;
    return items;
}

// The best of three runs, in ms (the first one fills the caches); no more runs after one
// that takes over `hopeless`.
double bestTime(const std::function<qint64(const QByteArray&)>& read, const QByteArray& input,
                qint64& result, double hopeless = 1e12) {
    double best = 1e12;
    for (int run = 0; run < 3 && (run == 0 || best < hopeless); ++run) {
        QElapsedTimer timer;
        timer.start();
        result = read(input);
        best = std::min(best, timer.nsecsElapsed() / 1e6);
    }
    return best;
}

} // namespace

class tst_linearreaders : public QObject {
    Q_OBJECT
private slots:
    void linear_data() {
        QTest::addColumn<bool>("vCard");
        QTest::addColumn<QByteArray>("input");
        QTest::addColumn<QByteArray>("plain"); // as long
        QTest::addColumn<qint64>("read");      // lines or cards of `input`
        const QByteArray card = "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Rossi;Anna;;;\r\n"
                                "TEL;TYPE=CELL:3331234567\r\nEND:VCARD\r\n";
        const qsizetype mb = 1 << 20;
        QTest::newRow("lone CRs") << false << QByteArray(mb / 2, '\r') << QByteArray(mb / 2, '\n')
                                  << qint64(mb / 2);
        QTest::newRow("one line of 10 MB")
            << false << QByteArray(10 * mb, 'x')
            << (QByteArray(79, 'x') + '\n').repeated(10 * mb / 80) << qint64(1);
        // Thousands of numbers and of mobile labels, none for the other: each number is
        // looked up among the labels.
        QByteArray labelled = "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Rossi;Anna;;;\r\n";
        for (int i = 0; labelled.size() < mb / 2; ++i)
            labelled += QByteArray("a%1.TEL:+39 333 123 4567\r\nb%1.X-ABLabel:mobile\r\n")
                            .replace("%1", QByteArray::number(i));
        labelled += "END:VCARD\r\n";
        QTest::newRow("a card of labelled numbers")
            << true << labelled << card.repeated(labelled.size() / card.size()) << qint64(1);
        const QByteArray note =
            "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Rossi;Anna;;;\r\nNOTE:" + QByteArray(10 * mb, 'x') +
            "\r\nEND:VCARD\r\n";
        QTest::newRow("a card line of 10 MB")
            << true << note << card.repeated(note.size() / card.size()) << qint64(1);
    }
    void linear() {
        QFETCH(bool, vCard);
        QFETCH(QByteArray, input);
        QFETCH(QByteArray, plain);
        const auto read = std::function(vCard ? count<vcard::Reader> : count<platform::LineReader>);
        qint64 result = 0, plainResult = 0;
        const double plainMs = bestTime(read, plain, plainResult);
        const double bound = 8 * plainMs + 5;
        const double ms = bestTime(read, input, result, 20 * bound);
        QTEST(result, "read");
        QVERIFY(plainResult > 1);
        // Linear time: the same order as the plain input (which is no faster per byte than
        // this one is in principle), never its square.
        QVERIFY2(ms < bound,
                 qPrintable(QString("%1 ms, %2 ms for as many plain bytes").arg(ms).arg(plainMs)));
    }
};

QTEST_APPLESS_MAIN(tst_linearreaders)
#include "tst_linearreaders.moc"
