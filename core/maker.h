#pragma once

#include <QString>

// Who makes Quillet, as the disclaimer and the about box show it.
namespace maker {
inline QString name() {
    return QStringLiteral("Quillet Software");
}
inline QString street() {
    return QStringLiteral("Via Emilia 112");
}
inline QString city() {
    return QStringLiteral("40026 Imola (BO)");
}
// On one line.
inline QString address() {
    return street() + QStringLiteral(" - ") + city();
}
// Name, street and city on three lines.
inline QString postalLabel() {
    return name() + QLatin1Char('\n') + street() + QLatin1Char('\n') + city();
}
inline QString email() {
    return QStringLiteral("info@quillet.example");
}
inline QString web() {
    return QStringLiteral("www.quillet.example");
}
} // namespace maker
