#include "gateway/sender.h"

#include "messaging/smslength.h"

#include <QList>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace gateway {

namespace {

constexpr qsizetype nameLength = 11;
constexpr qsizetype numberLength = 16;

bool isDigit(char32_t c) {
    return c >= U'0' && c <= U'9';
}

} // namespace

std::optional<QString> senderProblem(const QString& sender) {
    if (sender.isEmpty())
        return u"è vuoto"_s;
    const QList<uint> characters = sender.toUcs4();
    const qsizetype start = characters.first() == U'+' ? 1 : 0;
    const bool number = std::all_of(characters.begin() + start, characters.end(), isDigit);
    if (number) {
        if (characters.size() == start)
            return u"non ha cifre"_s;
        if (characters.size() - start > numberLength)
            return u"ha più di %1 cifre"_s.arg(numberLength);
        return std::nullopt;
    }
    if (characters.size() > nameLength)
        return u"ha più di %1 caratteri"_s.arg(nameLength);
    for (const char32_t c : characters) {
        // The basic table only: an extension character takes two septets of the 11.
        if (c < U' ' || sms::septets(c) != 1)
            return u"contiene \"%1\", che l'SMS non può mostrare come mittente"_s.arg(
                QString::fromUcs4(&c, 1));
    }
    if (sender.startsWith(u' ') || sender.endsWith(u' '))
        return u"inizia o finisce con uno spazio"_s;
    return std::nullopt;
}

} // namespace gateway
