#pragma once

#include <QDateTime>
#include <QString>

#include <functional>

// The program's clock, replaceable by tests.
namespace platform::Clock {

QDateTime now();
// The text of a moment as the archives store it: dd/MM/yyyy HH:mm:ss.
QString dataText(const QDateTime& moment);
// dataText(now()).
QString nowText();
// Today's date as the main window shows it: dd/MM/yyyy.
QString todayText();

// Tests fix the time; pass an empty function to go back to the system clock.
void setNowForTesting(std::function<QDateTime()> now);

} // namespace platform::Clock
