#pragma once

#include <QString>
#include <QStringList>
#include <QStringView>

// Cutting a message text into SMS that are each sent on their own, so each part goes as one SMS
// in its own alphabet (smslength.h). The parts joined are the text: nothing added, nothing lost.
namespace sms {

// Characters as the user sees them (Unicode code points: an emoji is one).
int characters(QStringView text);

// Every SMS full: each part is the longest start of the rest that goes as one SMS. An empty text
// gives no part.
QStringList cutEvery(const QString& text);

// At the nearest blank: a text that goes as one SMS stays whole; otherwise each part ends after
// the last blank (or line end) that lets it go as one SMS, or where a blank follows it. A word
// longer than one SMS is cut as cutEvery() cuts.
QStringList cutAtBlank(const QString& text);

QStringList cut(const QString& text, bool atBlank);

} // namespace sms
