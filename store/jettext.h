#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <vector>

// Text rules of the archives: comparison without regard to case (accented letters
// included), the like wildcards, and the Italian ordering of the lists.
namespace store::jettext {

// "=" of the archive engine: equal without regard to case (È equals è).
bool equal(QStringView a, QStringView b);
// Three-way comparison with the same rule (the collation registered on every connection).
int compare(QStringView a, QStringView b);
int compareUtf8(QByteArrayView a, QByteArrayView b); // the same on UTF-8 text

// "like": '*' any run of characters, '?' one character, '#' one digit, "[abc]" / "[!abc]"
// one character of (not of) a set; letters compared without regard to case.
bool like(QStringView value, QStringView pattern);

// Every text a "like" pattern matches lies in [low, high) under compare(): low is the folded
// literal text before the first wildcard, high the least text above all the texts that begin
// with it (null when there is none). An empty low: the pattern begins with a wildcard.
struct LikeBounds {
    QString low;
    QString high;
};

// A "like" pattern parsed once, for matching many values.
class LikePattern final {
public:
    explicit LikePattern(QStringView pattern);
    explicit LikePattern(QByteArrayView utf8Pattern);
    bool matches(QStringView value) const;
    bool matches(QByteArrayView utf8Value) const;
    LikeBounds bounds() const;

private:
    struct Token {
        enum Kind : unsigned char { Char, Any, Digit, Set, NotSet, Star } kind;
        char32_t ch;   // Char: the folded character
        int first = 0; // Set, NotSet: ranges [first, first + count)
        int count = 0;
    };
    struct Range {
        char32_t low;
        char32_t high;
    };
    template <typename Reader> void parse(Reader reader);
    template <typename Reader> bool match(Reader reader) const;
    bool tokenMatches(const Token& token, char32_t c) const;

    std::vector<Token> m_tokens;
    std::vector<Range> m_ranges;
};

// Sort key for Italian alphabetical order: letters first by their base letter (à with a),
// then by accent, then by case; empty text first. Keys compare with plain byte order.
QByteArray sortKey(QByteArrayView utf8);
QByteArray sortKey(QStringView text);

} // namespace store::jettext
