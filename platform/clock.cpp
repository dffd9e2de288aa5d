#include "platform/clock.h"

#include <QMutex>
#include <QMutexLocker>

namespace platform::Clock {

namespace {

QMutex mutex;
std::function<QDateTime()> testNow;

} // namespace

QDateTime now() {
    std::function<QDateTime()> fixed;
    {
        QMutexLocker lock(&mutex);
        fixed = testNow;
    }
    return fixed ? fixed() : QDateTime::currentDateTime();
}

QString dataText(const QDateTime& moment) {
    return moment.toString(QStringLiteral("dd/MM/yyyy HH:mm:ss"));
}

QString nowText() {
    return dataText(now());
}

QString todayText() {
    return now().date().toString(QStringLiteral("dd/MM/yyyy"));
}

void setNowForTesting(std::function<QDateTime()> now) {
    QMutexLocker lock(&mutex);
    testNow = std::move(now);
}

} // namespace platform::Clock
