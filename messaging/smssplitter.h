#pragma once

#include <QString>
#include <QStringList>
#include <QStringView>

// Cutting a message text into SMS. Lengths count characters as the user sees them (Unicode
// code points), so an emoji is one character and is never cut in half.
namespace sms {

inline constexpr int partLength = 160; // characters of one SMS
inline constexpr int maxParts = 10;    // SMS of one message

int length(QStringView text);
// The first `count` characters of the text.
QString left(const QString& text, int count);

// Every 160 characters: part k holds characters 160(k-1)+1 to 160k, the last what is left.
// An empty text gives no part.
QStringList cutEvery(const QString& text);

// At the nearest blank: the text is split at every blank into words (two blanks in a row give
// an empty word) and each word goes, followed by one blank, into the current part while that
// stays within 160 characters, else into the next one; a part of exactly 160 characters is
// closed. A word too long for a part of its own is cut every 160 characters. No empty part
// is returned.
QStringList cutAtBlank(const QString& text);

// The send's rule: the blank rule only when it is chosen and the text has 160 characters or
// more, otherwise every 160 characters.
QStringList cut(const QString& text, bool atBlank);

} // namespace sms
