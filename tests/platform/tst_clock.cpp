#include "platform/clock.h"

#include <QTest>

using namespace platform;

class TestClock final : public QObject {
    Q_OBJECT

private slots:
    void cleanup() { Clock::setNowForTesting({}); }

    void texts_data() {
        QTest::addColumn<QDateTime>("moment");
        QTest::addColumn<QString>("data");

        QTest::newRow("leading zeros") << QDateTime(QDate(2024, 3, 5), QTime(9, 7, 2))
                                       << QStringLiteral("05/03/2024 09:07:02");
        QTest::newRow("evening is 24h") << QDateTime(QDate(2023, 12, 31), QTime(21, 45, 59))
                                        << QStringLiteral("31/12/2023 21:45:59");
        QTest::newRow("midnight, four-digit year")
            << QDateTime(QDate(2000, 1, 1), QTime(0, 0)) << QStringLiteral("01/01/2000 00:00:00");
    }

    void texts() {
        QFETCH(QDateTime, moment);
        QFETCH(QString, data);

        QCOMPARE(Clock::dataText(moment), data);
        Clock::setNowForTesting([moment] { return moment; });
        QCOMPARE(Clock::now(), moment);
        QCOMPARE(Clock::nowText(), data);
        QCOMPARE(Clock::todayText(), data.left(10));

        Clock::setNowForTesting({});
        QVERIFY(Clock::now() != moment);
    }
};

QTEST_GUILESS_MAIN(TestClock)
#include "tst_clock.moc"
