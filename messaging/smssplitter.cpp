#include "messaging/smssplitter.h"

namespace sms {

namespace {

// Code unit offset of the character `count` of the text (its size when shorter).
qsizetype offsetOf(QStringView text, int count) {
    qsizetype offset = 0;
    for (int n = 0; n < count && offset < text.size(); ++n)
        offset += (text[offset].isHighSurrogate() && offset + 1 < text.size() &&
                   text[offset + 1].isLowSurrogate())
                      ? 2
                      : 1;
    return offset;
}

// The parts being built, with their lengths in characters.
class Parts {
public:
    Parts() { next(); }
    int currentLength() const { return m_lengths.back(); }
    void append(const QString& text, int length) {
        m_parts.back() += text;
        m_lengths.back() += length;
    }
    void next() {
        m_parts.append(QString());
        m_lengths.append(0);
    }
    // The next part, unless the current one is still empty.
    void close() {
        if (currentLength() > 0)
            next();
    }
    QStringList take() {
        if (m_parts.back().isEmpty())
            m_parts.removeLast();
        return m_parts;
    }

private:
    QStringList m_parts;
    QList<int> m_lengths;
};

} // namespace

int length(QStringView text) {
    int count = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate())
            ++i;
        ++count;
    }
    return count;
}

QString left(const QString& text, int count) {
    return text.left(offsetOf(text, count));
}

QStringList cutEvery(const QString& text) {
    QStringList parts;
    QStringView rest(text);
    while (!rest.isEmpty()) {
        const qsizetype end = offsetOf(rest, partLength);
        parts.append(rest.left(end).toString());
        rest = rest.mid(end);
    }
    return parts;
}

QStringList cutAtBlank(const QString& text) {
    Parts parts;
    for (QStringView word : QStringView(text).split(QLatin1Char(' '))) {
        const QString piece = word.toString() + QLatin1Char(' ');
        const int pieceLength = length(piece);
        if (pieceLength > partLength) {
            // Too long for any part: cut it, so that nothing is lost.
            parts.close();
            const QStringList pieces = cutEvery(piece);
            for (const QString& p : pieces) {
                if (p != QLatin1String(" ")) // the blank after a word of exactly 160
                    parts.append(p, length(p));
                if (parts.currentLength() == partLength)
                    parts.next();
            }
            continue;
        }
        if (parts.currentLength() + pieceLength > partLength)
            parts.next();
        parts.append(piece, pieceLength);
        if (parts.currentLength() == partLength)
            parts.next();
    }
    return parts.take();
}

QStringList cut(const QString& text, bool atBlank) {
    if (atBlank && length(text) >= partLength)
        return cutAtBlank(text);
    return cutEvery(text);
}

} // namespace sms
