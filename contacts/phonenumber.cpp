#include "contacts/phonenumber.h"

#include <QList>

#include <phonenumbers/phonenumberutil.h>

#include <algorithm>

using i18n::phonenumbers::PhoneNumber;
using i18n::phonenumbers::PhoneNumberUtil;

namespace phone {

namespace {

constexpr int italy = 39;

bool isFormatting(QChar c) {
    return c.isSpace() || c == u'-' || c == u'.' || c == u'/' || c == u'(' || c == u')';
}

// Why the characters of the text make no single number; empty when they may.
QString characterProblem(QStringView typed) {
    for (qsizetype i = 0; i < typed.size(); ++i) {
        const QChar c = typed[i];
        if (c.isDigit() || isFormatting(c) || (c == u'+' && typed.left(i).trimmed().isEmpty()))
            continue;
        const QChar lower = c.toLower();
        if (lower == u'p' || lower == u'w' || lower == u'x' || c == u',' || c == u';' ||
            c == u'#' || c == u'*' || typed.sliced(i).startsWith(u"ext", Qt::CaseInsensitive))
            return QStringLiteral("contiene pause o un interno");
        if (c.isLetter())
            return QStringLiteral("contiene lettere");
        if (c == u'+' || c == u':')
            return QStringLiteral("contiene più di un numero");
        return QStringLiteral("contiene \"%1\", che un numero di telefono non ha").arg(c);
    }
    return {};
}

// The length of Italy's country code written at the start of `text` ("+39", "0039"); 0 when it
// is not there.
qsizetype italyPrefixLength(QStringView text) {
    for (const QLatin1StringView international : {QLatin1StringView("+"), QLatin1StringView("00")})
        if (text.startsWith(international) &&
            text.sliced(international.size()).startsWith(italyCode))
            return international.size() + italyCode.size();
    return 0;
}

// The national digits of a plain Italian mobile number ("3", a digit from 1 to 9, eight more),
// optionally after "+39" or "0039", with blanks and dashes between, slashes and dots after the
// first digit; empty for anything else.
QString plainItalianMobile(QStringView typed) {
    QString digits;
    digits.reserve(14);
    bool plus = false;
    for (const QChar c : typed) {
        if (c >= u'0' && c <= u'9') {
            if (digits.size() == 14)
                return {};
            digits += c;
        } else if (c == u'+' && digits.isEmpty() && !plus) {
            plus = true;
        } else if (c != u' ' && c != u'-' && ((c != u'/' && c != u'.') || digits.isEmpty())) {
            return {};
        }
    }
    if (plus) {
        if (!digits.startsWith(italyCode))
            return {};
        digits.remove(0, italyCode.size());
    } else if (const qsizetype prefix = italyPrefixLength(digits)) {
        digits.remove(0, prefix);
    }
    if (digits.size() != 10 || digits[0] != u'3' || digits[1] == u'0')
        return {};
    return digits;
}

// A kept number as the library reads it; none when it is no number.
std::optional<PhoneNumber> parse(QStringView stored) {
    const PhoneNumberUtil& util = *PhoneNumberUtil::GetInstance();
    PhoneNumber parsed;
    if (util.Parse(stored.toString().toStdString(), "IT", &parsed) !=
            PhoneNumberUtil::NO_PARSING_ERROR ||
        !util.IsPossibleNumber(parsed))
        return std::nullopt;
    return parsed;
}

// Two numbers written one after the other, "333 1234567 / 347 7654321": a slash between parts
// that are each a number, where the whole is not one ("0049 162/2433834", "02/12345678").
bool twoNumbers(QStringView typed) {
    if (const auto whole = parse(typed);
        whole && PhoneNumberUtil::GetInstance()->IsValidNumber(*whole))
        return false;
    int numbers = 0;
    for (const QStringView part : typed.split(u'/'))
        numbers += characterProblem(part).isEmpty() && parse(part).has_value();
    return numbers > 1;
}

} // namespace

Reading read(QStringView typed) {
    // Ten digits at most after the country: never two numbers.
    if (QString national = plainItalianMobile(typed); !national.isEmpty()) {
        Number number;
        number.international.reserve(1 + italyCode.size() + national.size());
        number.international.append(u'+').append(italyCode).append(national);
        number.stored = std::move(national);
        number.mobile = true;
        return {number, {}};
    }
    if (!std::any_of(typed.begin(), typed.end(), [](QChar c) { return c.isDigit(); }))
        return {std::nullopt, QStringLiteral("non contiene cifre")};
    if (QString problem = characterProblem(typed); !problem.isEmpty())
        return {std::nullopt, problem};
    if (typed.contains(u'/') && twoNumbers(typed))
        return {std::nullopt, QStringLiteral("contiene più di un numero")};
    const std::optional<PhoneNumber> parsed = parse(typed);
    if (!parsed)
        return {std::nullopt, QStringLiteral("non ha le cifre di un numero di telefono")};
    const PhoneNumberUtil& util = *PhoneNumberUtil::GetInstance();
    std::string international;
    util.Format(*parsed, PhoneNumberUtil::E164, &international);
    std::string national;
    util.GetNationalSignificantNumber(*parsed, &national);
    const auto type = util.GetNumberType(*parsed);
    Number number;
    number.international = QString::fromStdString(international);
    number.stored =
        parsed->country_code() == italy ? QString::fromStdString(national) : number.international;
    number.mobile =
        type == PhoneNumberUtil::MOBILE || type == PhoneNumberUtil::FIXED_LINE_OR_MOBILE;
    return {number, {}};
}

QString international(QStringView stored) {
    const Reading reading = read(stored);
    return reading.number ? reading.number->international : QString();
}

std::optional<CountryParts> countryParts(QStringView stored) {
    if (!read(stored).number)
        return std::nullopt;
    const std::optional<PhoneNumber> parsed = parse(stored);
    if (!parsed)
        return std::nullopt;
    std::string national;
    PhoneNumberUtil::GetInstance()->GetNationalSignificantNumber(*parsed, &national);
    return CountryParts{QLatin1Char('+') + QString::number(parsed->country_code()),
                        QString::fromStdString(national)};
}

QString written(QStringView stored) {
    const std::optional<PhoneNumber> parsed = read(stored).number ? parse(stored) : std::nullopt;
    if (!parsed)
        return stored.toString();
    std::string text;
    PhoneNumberUtil::GetInstance()->Format(*parsed,
                                           parsed->country_code() == italy
                                               ? PhoneNumberUtil::NATIONAL
                                               : PhoneNumberUtil::INTERNATIONAL,
                                           &text);
    return QString::fromStdString(text);
}

QString storedBeginning(QStringView typed) {
    QString kept;
    kept.reserve(typed.size());
    for (const QChar c : typed)
        if (!isFormatting(c))
            kept += c;
    if (const qsizetype prefix = italyPrefixLength(kept))
        return kept.sliced(prefix);
    if (kept.startsWith(QLatin1StringView("00")))
        return QLatin1Char('+') + kept.sliced(2);
    return kept;
}

} // namespace phone
