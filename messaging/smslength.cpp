#include "messaging/smslength.h"

#include <QString>

#include <algorithm>
#include <array>

namespace sms {

namespace {

// Septets of each BMP character: GSM 03.38's default alphabet (the escape 0x1B left out), then
// its extension table; 0 for the rest.
const std::array<quint8, 0x10000>& septetTable() {
    static const std::array<quint8, 0x10000> table = [] {
        std::array<quint8, 0x10000> septets{};
        for (const QChar c :
             QString::fromUtf8("@£$¥èéùìòÇ\nØø\rÅåΔ_ΦΓΛΩΠΨΣΘΞÆæßÉ !\"#¤%&'()*+,-./0123456789:;<=>?"
                               "¡ABCDEFGHIJKLMNOPQRSTUVWXYZÄÖÑÜ§¿abcdefghijklmnopqrstuvwxyzäöñüà"))
            septets[c.unicode()] = 1;
        for (const QChar c : QString::fromUtf8("\f^{}\\[]~|€"))
            septets[c.unicode()] = 2;
        return septets;
    }();
    return table;
}

// One character of a text: its code point and its UTF-16 size (2 for a surrogate pair; a lone
// surrogate is a character of one unit, as UCS-2 sends it).
struct Character {
    char32_t code = 0;
    int size = 1;
};

Character characterAt(QStringView text, qsizetype at) {
    const QChar c = text[at];
    if (c.isHighSurrogate() && at + 1 < text.size() && text[at + 1].isLowSurrogate())
        return {QChar::surrogateToUcs4(c, text[at + 1]), 2};
    return {c.unicode(), 1};
}

// Units of one character in the alphabet; a character the GSM alphabet lacks arrives as "?".
int unitsOf(Character c, Alphabet alphabet) {
    if (alphabet == Alphabet::Unicode)
        return c.size;
    return std::max(1, septets(c.code));
}

// The UTF-16 size of the longest start of the text within `limit` units of the alphabet.
qsizetype prefixWithin(QStringView text, Alphabet alphabet, int limit) {
    qsizetype at = 0;
    int used = 0;
    while (at < text.size()) {
        const Character c = characterAt(text, at);
        used += unitsOf(c, alphabet);
        if (used > limit)
            break;
        at += c.size;
    }
    return at;
}

} // namespace

int septets(char32_t c) {
    return c > 0xFFFF ? 0 : septetTable()[c];
}

Alphabet alphabetOf(QStringView text) {
    for (qsizetype at = 0; at < text.size();) {
        const Character c = characterAt(text, at);
        if (septets(c.code) == 0)
            return Alphabet::Unicode;
        at += c.size;
    }
    return Alphabet::Gsm;
}

int units(QStringView text, Alphabet alphabet) {
    if (alphabet == Alphabet::Unicode)
        return static_cast<int>(text.size());
    int count = 0;
    for (qsizetype at = 0; at < text.size();) {
        const Character c = characterAt(text, at);
        count += unitsOf(c, alphabet);
        at += c.size;
    }
    return count;
}

int units(QStringView text) {
    return units(text, alphabetOf(text));
}

int singleCapacity(Alphabet alphabet) {
    return alphabet == Alphabet::Gsm ? 160 : 70;
}

int partCapacity(Alphabet alphabet) {
    return alphabet == Alphabet::Gsm ? 153 : 67;
}

bool fitsOne(QStringView text) {
    const Alphabet alphabet = alphabetOf(text);
    return units(text, alphabet) <= singleCapacity(alphabet);
}

qsizetype oneSmsPrefix(QStringView text) {
    // A start in UCS-2 always fits; one in the GSM alphabet goes further while it lasts.
    const qsizetype unicode =
        prefixWithin(text, Alphabet::Unicode, singleCapacity(Alphabet::Unicode));
    qsizetype gsm = 0;
    for (int used = 0; gsm < text.size();) {
        const Character c = characterAt(text, gsm);
        const int size = septets(c.code);
        if (size == 0 || used + size > singleCapacity(Alphabet::Gsm))
            break;
        used += size;
        gsm += c.size;
    }
    return std::max(unicode, gsm);
}

int concatenatedParts(QStringView text, Alphabet alphabet) {
    const int count = units(text, alphabet);
    if (count <= singleCapacity(alphabet))
        return 1;
    // The SMS centre cuts UCS-2 every 67 units, inside a surrogate pair too: the phone joins
    // the parts before it reads them.
    if (alphabet == Alphabet::Unicode)
        return (count + partCapacity(alphabet) - 1) / partCapacity(alphabet);
    int parts = 0;
    for (QStringView rest = text; !rest.isEmpty(); ++parts)
        rest = rest.mid(prefixWithin(rest, alphabet, partCapacity(alphabet)));
    return parts;
}

} // namespace sms
