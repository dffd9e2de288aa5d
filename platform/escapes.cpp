#include "platform/escapes.h"

#include <string>

namespace platform::escapes {

namespace {
constexpr char16_t written[] = u"\\tnr";
constexpr char16_t meant[] = u"\\\t\n\r";
} // namespace

QString escaped(QStringView text) {
    QString out;
    out.reserve(text.size());
    for (const QChar c : text) {
        const auto* found = std::char_traits<char16_t>::find(meant, 4, c.unicode());
        if (found) {
            out += u'\\';
            out += QChar(written[found - meant]);
        } else {
            out += c;
        }
    }
    return out;
}

std::optional<QString> unescaped(QStringView text) {
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] != u'\\') {
            out += text[i];
            continue;
        }
        if (++i == text.size())
            return std::nullopt;
        const auto* found = std::char_traits<char16_t>::find(written, 4, text[i].unicode());
        if (!found)
            return std::nullopt;
        out += QChar(meant[found - written]);
    }
    return out;
}

} // namespace platform::escapes
