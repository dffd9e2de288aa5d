#include "store/jettext.h"

#include <QChar>
#include <QVarLengthArray>

#include <array>
#include <cstring>
#include <string>

namespace store::jettext {

namespace {

constexpr char32_t replacementChar = 0xFFFD;

// Code points of UTF-8 text; a malformed byte reads as U+FFFD and is skipped alone.
struct Utf8Reader {
    const unsigned char* p;
    const unsigned char* end;

    explicit Utf8Reader(QByteArrayView text)
        : p(reinterpret_cast<const unsigned char*>(text.data()))
        , end(p + text.size()) {}
    bool atEnd() const { return p == end; }
    char32_t next() {
        const unsigned char lead = *p++;
        if (lead < 0x80)
            return lead;
        int extra = 0;
        char32_t cp = 0;
        char32_t min = 0;
        if (lead >= 0xC2 && lead <= 0xDF) {
            extra = 1;
            cp = lead & 0x1F;
            min = 0x80;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            extra = 2;
            cp = lead & 0x0F;
            min = 0x800;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            extra = 3;
            cp = lead & 0x07;
            min = 0x10000;
        } else {
            return replacementChar;
        }
        if (end - p < extra)
            return replacementChar;
        for (int i = 0; i < extra; ++i) {
            if ((p[i] & 0xC0) != 0x80)
                return replacementChar;
            cp = (cp << 6) | (p[i] & 0x3F);
        }
        if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
            return replacementChar;
        p += extra;
        return cp;
    }
};

// Code points of UTF-16 text; a lone surrogate reads as U+FFFD.
struct Utf16Reader {
    const QChar* p;
    const QChar* end;

    explicit Utf16Reader(QStringView text)
        : p(text.data())
        , end(text.data() + text.size()) {}
    bool atEnd() const { return p == end; }
    char32_t next() {
        const char16_t c = p++->unicode();
        if (QChar::isHighSurrogate(c) && p != end && QChar::isLowSurrogate(p->unicode()))
            return QChar::surrogateToUcs4(c, p++->unicode());
        return QChar::isSurrogate(c) ? replacementChar : c;
    }
};

char32_t fold(char32_t c) {
    if (c < 0x80)
        return (c >= 'A' && c <= 'Z') ? c + 32 : c;
    return QChar::toCaseFolded(c);
}

template <typename A, typename B> int compareFolded(A a, B b) {
    while (!a.atEnd() && !b.atEnd()) {
        const char32_t x = fold(a.next());
        const char32_t y = fold(b.next());
        if (x != y)
            return x < y ? -1 : 1;
    }
    if (a.atEnd())
        return b.atEnd() ? 0 : -1;
    return 1;
}

// --- sort keys ---------------------------------------------------------------------------

// Secondary weights. Every weight is above the level separator (1).
enum Accent : unsigned char {
    NoAccent = 2,
    Acute,
    Grave,
    Circumflex,
    Diaeresis,
    Tilde,
    Ring,
    Cedilla,
    Macron,
    Breve,
    Ogonek,
    DotAbove,
    Caron,
    Stroke,
    DoubleAcute,
    Ligature,
    OtherForm,
    CombiningMarks = 0x20 // U+0300..U+036F map to 0x20..0x8F
};
constexpr unsigned char levelSeparator = 1;
constexpr unsigned char lowerCase = 2;
constexpr unsigned char upperCase = 3;

struct Letter {
    char base[2] = {0, 0}; // base letters; empty for a character that is not a letter
    unsigned char accent = NoAccent;
    bool upper = false;
};

constexpr char32_t firstLetter = 0xC0;
constexpr char32_t lastLetter = 0x17F;

// The letters of Latin-1 Supplement and Latin Extended-A, by base letter and accent.
constexpr std::array<Letter, lastLetter - firstLetter + 1> letters = [] {
    std::array<Letter, lastLetter - firstLetter + 1> table{};
    auto set = [&table](char32_t cp, const char* base, Accent accent, bool upper) {
        Letter& l = table[cp - firstLetter];
        l.base[0] = base[0];
        l.base[1] = base[1];
        l.accent = accent;
        l.upper = upper;
    };
    struct Entry {
        const char* base;
        Accent accent;
    };
    // U+00C0..U+00DE; the small letters U+00E0..U+00FE follow the same layout.
    constexpr Entry latin1[] = {
        {"a", Grave},      {"a", Acute}, {"a", Circumflex}, {"a", Tilde},
        {"a", Diaeresis},  {"a", Ring},  {"ae", Ligature},  {"c", Cedilla},
        {"e", Grave},      {"e", Acute}, {"e", Circumflex}, {"e", Diaeresis},
        {"i", Grave},      {"i", Acute}, {"i", Circumflex}, {"i", Diaeresis},
        {"d", Stroke},     {"n", Tilde}, {"o", Grave},      {"o", Acute},
        {"o", Circumflex}, {"o", Tilde}, {"o", Diaeresis},  {nullptr, NoAccent},
        {"o", Stroke},     {"u", Grave}, {"u", Acute},      {"u", Circumflex},
        {"u", Diaeresis},  {"y", Acute}, {"th", Ligature},
    };
    for (char32_t i = 0; i < std::size(latin1); ++i) {
        if (latin1[i].base) {
            set(0xC0 + i, latin1[i].base, latin1[i].accent, true);
            set(0xE0 + i, latin1[i].base, latin1[i].accent, false);
        }
    }
    set(0xDF, "ss", Ligature, false);
    set(0xFF, "y", Diaeresis, false);

    // Latin Extended-A: capital letter, then its small letter.
    struct Pair {
        char32_t capital;
        const char* base;
        Accent accent;
    };
    constexpr Pair pairs[] = {
        {0x100, "a", Macron},      {0x102, "a", Breve},      {0x104, "a", Ogonek},
        {0x106, "c", Acute},       {0x108, "c", Circumflex}, {0x10A, "c", DotAbove},
        {0x10C, "c", Caron},       {0x10E, "d", Caron},      {0x110, "d", Stroke},
        {0x112, "e", Macron},      {0x114, "e", Breve},      {0x116, "e", DotAbove},
        {0x118, "e", Ogonek},      {0x11A, "e", Caron},      {0x11C, "g", Circumflex},
        {0x11E, "g", Breve},       {0x120, "g", DotAbove},   {0x122, "g", Cedilla},
        {0x124, "h", Circumflex},  {0x126, "h", Stroke},     {0x128, "i", Tilde},
        {0x12A, "i", Macron},      {0x12C, "i", Breve},      {0x12E, "i", Ogonek},
        {0x132, "ij", Ligature},   {0x134, "j", Circumflex}, {0x136, "k", Cedilla},
        {0x139, "l", Acute},       {0x13B, "l", Cedilla},    {0x13D, "l", Caron},
        {0x13F, "l", DotAbove},    {0x141, "l", Stroke},     {0x143, "n", Acute},
        {0x145, "n", Cedilla},     {0x147, "n", Caron},      {0x14A, "n", OtherForm},
        {0x14C, "o", Macron},      {0x14E, "o", Breve},      {0x150, "o", DoubleAcute},
        {0x152, "oe", Ligature},   {0x154, "r", Acute},      {0x156, "r", Cedilla},
        {0x158, "r", Caron},       {0x15A, "s", Acute},      {0x15C, "s", Circumflex},
        {0x15E, "s", Cedilla},     {0x160, "s", Caron},      {0x162, "t", Cedilla},
        {0x164, "t", Caron},       {0x166, "t", Stroke},     {0x168, "u", Tilde},
        {0x16A, "u", Macron},      {0x16C, "u", Breve},      {0x16E, "u", Ring},
        {0x170, "u", DoubleAcute}, {0x172, "u", Ogonek},     {0x174, "w", Circumflex},
        {0x176, "y", Circumflex},  {0x179, "z", Acute},      {0x17B, "z", DotAbove},
        {0x17D, "z", Caron},
    };
    for (const Pair& p : pairs) {
        set(p.capital, p.base, p.accent, true);
        set(p.capital + 1, p.base, p.accent, false);
    }
    set(0x130, "i", DotAbove, true);
    set(0x131, "i", OtherForm, false);
    set(0x138, "k", OtherForm, false);
    set(0x149, "n", OtherForm, false);
    set(0x178, "y", Diaeresis, true);
    set(0x17F, "s", OtherForm, false);
    return table;
}();

int encodeUtf8(char32_t cp, char* out) {
    if (cp < 0x80) {
        out[0] = static_cast<char>(cp);
        return 1;
    }
    if (cp < 0x800) {
        out[0] = static_cast<char>(0xC0 | (cp >> 6));
        out[1] = static_cast<char>(0x80 | (cp & 0x3F));
        return 2;
    }
    if (cp < 0x10000) {
        out[0] = static_cast<char>(0xE0 | (cp >> 12));
        out[1] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out[2] = static_cast<char>(0x80 | (cp & 0x3F));
        return 3;
    }
    out[0] = static_cast<char>(0xF0 | (cp >> 18));
    out[1] = static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out[2] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out[3] = static_cast<char>(0x80 | (cp & 0x3F));
    return 4;
}

qsizetype trimmedLength(const char* weights, qsizetype length) {
    while (length > 0 && static_cast<unsigned char>(weights[length - 1]) == NoAccent)
        --length;
    return length;
}

} // namespace

bool equal(QStringView a, QStringView b) {
    return compareFolded(Utf16Reader(a), Utf16Reader(b)) == 0;
}

int compare(QStringView a, QStringView b) {
    return compareFolded(Utf16Reader(a), Utf16Reader(b));
}

int compareUtf8(QByteArrayView a, QByteArrayView b) {
    return compareFolded(Utf8Reader(a), Utf8Reader(b));
}

bool like(QStringView value, QStringView pattern) {
    return LikePattern(pattern).matches(value);
}

// --- like ----------------------------------------------------------------------------------

LikePattern::LikePattern(QStringView pattern) {
    parse(Utf16Reader(pattern));
}

LikePattern::LikePattern(QByteArrayView utf8Pattern) {
    parse(Utf8Reader(utf8Pattern));
}

bool LikePattern::matches(QStringView value) const {
    return match(Utf16Reader(value));
}

bool LikePattern::matches(QByteArrayView utf8Value) const {
    return match(Utf8Reader(utf8Value));
}

template <typename Reader> void LikePattern::parse(Reader reader) {
    QVarLengthArray<char32_t, 128> chars;
    while (!reader.atEnd())
        chars.append(reader.next());

    const qsizetype n = chars.size();
    for (qsizetype i = 0; i < n; ++i) {
        const char32_t c = chars[i];
        if (c == '*') {
            if (m_tokens.empty() || m_tokens.back().kind != Token::Star)
                m_tokens.push_back({Token::Star, 0});
        } else if (c == '?') {
            m_tokens.push_back({Token::Any, 0});
        } else if (c == '#') {
            m_tokens.push_back({Token::Digit, 0});
        } else if (c == '[') {
            qsizetype close = i + 1;
            while (close < n && chars[close] != ']')
                ++close;
            if (close == n) { // no closing bracket: a plain '['
                m_tokens.push_back({Token::Char, c});
                continue;
            }
            qsizetype k = i + 1;
            if (k == close) { // "[]" matches the empty text
                i = close;
                continue;
            }
            Token token{Token::Set, 0};
            if (chars[k] == '!' && close - k > 1) {
                token.kind = Token::NotSet;
                ++k;
            }
            token.first = static_cast<int>(m_ranges.size());
            while (k < close) {
                if (k + 2 < close && chars[k + 1] == '-') {
                    m_ranges.push_back({fold(chars[k]), fold(chars[k + 2])});
                    k += 3;
                } else {
                    const char32_t single = fold(chars[k]);
                    m_ranges.push_back({single, single});
                    ++k;
                }
            }
            token.count = static_cast<int>(m_ranges.size()) - token.first;
            m_tokens.push_back(token);
            i = close;
        } else {
            m_tokens.push_back({Token::Char, fold(c)});
        }
    }
}

bool LikePattern::tokenMatches(const Token& token, char32_t c) const {
    switch (token.kind) {
    case Token::Char:
        return token.ch == c;
    case Token::Any:
        return true;
    case Token::Digit:
        return c >= '0' && c <= '9';
    case Token::Set:
    case Token::NotSet: {
        bool inSet = false;
        for (int r = token.first; r < token.first + token.count && !inSet; ++r)
            inSet = m_ranges[r].low <= c && c <= m_ranges[r].high;
        return inSet == (token.kind == Token::Set);
    }
    case Token::Star:
        break;
    }
    return false;
}

template <typename Reader> bool LikePattern::match(Reader reader) const {
    QVarLengthArray<char32_t, 256> text;
    while (!reader.atEnd())
        text.append(fold(reader.next()));

    // Greedy walk; on a mismatch, let the last '*' swallow one more character.
    const size_t n = static_cast<size_t>(text.size());
    const size_t m = m_tokens.size();
    size_t t = 0;
    size_t p = 0;
    size_t star = m;
    size_t starText = 0;
    while (t < n) {
        if (p < m && m_tokens[p].kind == Token::Star) {
            star = p++;
            starText = t;
        } else if (p < m && tokenMatches(m_tokens[p], text[t])) {
            ++p;
            ++t;
        } else if (star != m) {
            p = star + 1;
            t = ++starText;
        } else {
            return false;
        }
    }
    while (p < m && m_tokens[p].kind == Token::Star)
        ++p;
    return p == m;
}

LikeBounds LikePattern::bounds() const {
    std::u32string prefix;
    for (const Token& token : m_tokens) {
        if (token.kind != Token::Char)
            break;
        prefix.push_back(token.ch);
    }
    LikeBounds bounds;
    bounds.low = QString::fromUcs4(prefix.data(), static_cast<qsizetype>(prefix.size()));
    // The upper bound raises the last character to the next one that folds to itself (only
    // those occur in folded text); a character with no such successor is dropped first.
    while (!prefix.empty()) {
        char32_t next = prefix.back() + 1;
        while (next <= 0x10FFFF && (QChar::isSurrogate(next) || fold(next) != next))
            ++next;
        if (next <= 0x10FFFF) {
            prefix.back() = next;
            bounds.high = QString::fromUcs4(prefix.data(), static_cast<qsizetype>(prefix.size()));
            break;
        }
        prefix.pop_back();
    }
    return bounds;
}

// --- sort keys -----------------------------------------------------------------------------

QByteArray sortKey(QByteArrayView utf8) {
    const qsizetype n = utf8.size();
    if (n == 0)
        return {};

    // Three levels side by side; a primary byte never exceeds two per input byte.
    QVarLengthArray<char, 768> buffer(6 * n);
    char* const primary = buffer.data();
    char* const secondary = primary + 2 * n;
    char* const tertiary = secondary + 2 * n;
    qsizetype length = 0;
    auto push = [&](char base, unsigned char accent, bool upper) {
        primary[length] = base;
        secondary[length] = static_cast<char>(accent);
        tertiary[length] = static_cast<char>(upper ? upperCase : lowerCase);
        ++length;
    };

    Utf8Reader reader(utf8);
    while (!reader.atEnd()) {
        const unsigned char byte = *reader.p;
        if (byte < 0x80) {
            ++reader.p;
            if (byte >= 'A' && byte <= 'Z')
                push(static_cast<char>(byte + 32), NoAccent, true);
            else
                push(static_cast<char>(byte < 2 ? 2 : byte), NoAccent, false);
            continue;
        }
        const unsigned char* const start = reader.p;
        const char32_t cp = reader.next();
        if (cp >= firstLetter && cp <= lastLetter && letters[cp - firstLetter].base[0]) {
            const Letter& letter = letters[cp - firstLetter];
            push(letter.base[0], letter.accent, letter.upper);
            if (letter.base[1])
                push(letter.base[1], letter.accent, letter.upper);
        } else if (cp >= 0x300 && cp <= 0x36F && length > 0) {
            secondary[length - 1] = static_cast<char>(CombiningMarks + (cp - 0x300));
        } else if (cp == replacementChar && reader.p - start == 1) {
            push(static_cast<char>(*start), NoAccent, false); // malformed byte, kept as is
        } else {
            const char32_t folded = fold(cp);
            char bytes[4];
            const int count = encodeUtf8(folded, bytes);
            for (int i = 0; i < count; ++i)
                push(bytes[i], NoAccent, folded != cp);
        }
    }

    // Trailing default weights carry no order and are left out, with their separators.
    const qsizetype secondaryLength = trimmedLength(secondary, length);
    const qsizetype tertiaryLength = trimmedLength(tertiary, length);
    qsizetype size = length;
    if (tertiaryLength > 0)
        size += 2 + secondaryLength + tertiaryLength;
    else if (secondaryLength > 0)
        size += 1 + secondaryLength;

    QByteArray key(size, Qt::Uninitialized);
    char* out = key.data();
    std::memcpy(out, primary, static_cast<size_t>(length));
    out += length;
    if (size > length) {
        *out++ = static_cast<char>(levelSeparator);
        std::memcpy(out, secondary, static_cast<size_t>(secondaryLength));
        out += secondaryLength;
        if (tertiaryLength > 0) {
            *out++ = static_cast<char>(levelSeparator);
            std::memcpy(out, tertiary, static_cast<size_t>(tertiaryLength));
        }
    }
    return key;
}

QByteArray sortKey(QStringView text) {
    const QByteArray utf8 = text.toUtf8();
    return sortKey(QByteArrayView(utf8));
}

} // namespace store::jettext
