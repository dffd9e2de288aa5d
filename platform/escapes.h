#pragma once

#include <QString>
#include <QStringView>

#include <optional>

// A text on one line: a backslash, a tab, a line feed and a carriage return written "\\", "\t",
// "\n" and "\r".
namespace platform::escapes {

QString escaped(QStringView text);
// The text back; std::nullopt for any other escape or a backslash at the end.
std::optional<QString> unescaped(QStringView text);

} // namespace platform::escapes
