#include "messaging/smssplitter.h"

#include "messaging/smslength.h"

namespace sms {

namespace {

bool isBlank(QChar c) {
    return c == u' ' || c == u'\n';
}

// Where the next part of the rest ends under the blank rule.
qsizetype blankCut(QStringView rest) {
    const qsizetype full = oneSmsPrefix(rest);
    if (full == rest.size() || isBlank(rest[full]) || isBlank(rest[full - 1]))
        return full;
    for (qsizetype at = full - 1; at > 0; --at) {
        if (isBlank(rest[at - 1]))
            return at;
    }
    return full; // one word longer than an SMS
}

QStringList cutWith(const QString& text, qsizetype (*partEnd)(QStringView)) {
    QStringList parts;
    for (QStringView rest(text); !rest.isEmpty();) {
        const qsizetype end = partEnd(rest);
        parts.append(rest.left(end).toString());
        rest = rest.mid(end);
    }
    return parts;
}

} // namespace

int characters(QStringView text) {
    int count = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate())
            ++i;
        ++count;
    }
    return count;
}

QStringList cutEvery(const QString& text) {
    return cutWith(text, oneSmsPrefix);
}

QStringList cutAtBlank(const QString& text) {
    return cutWith(text, blankCut);
}

QStringList cut(const QString& text, bool atBlank) {
    return atBlank ? cutAtBlank(text) : cutEvery(text);
}

} // namespace sms
