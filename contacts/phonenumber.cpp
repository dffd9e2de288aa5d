#include "contacts/phonenumber.h"

#include <phonenumbers/phonenumberutil.h>

#include <algorithm>
#include <variant>

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

// The number the library reads in the text, or why there is none. The number's type (a
// costly match) is left to read().
std::variant<PhoneNumber, QString> parse(QStringView typed) {
    if (!std::any_of(typed.begin(), typed.end(), [](QChar c) { return c.isDigit(); }))
        return QStringLiteral("non contiene cifre");
    if (QString problem = characterProblem(typed); !problem.isEmpty())
        return problem;
    const PhoneNumberUtil& util = *PhoneNumberUtil::GetInstance();
    PhoneNumber parsed;
    if (util.Parse(typed.toString().toStdString(), "IT", &parsed) !=
            PhoneNumberUtil::NO_PARSING_ERROR ||
        !util.IsPossibleNumber(parsed))
        return QStringLiteral("non ha le cifre di un numero di telefono");
    return parsed;
}

QString e164(const PhoneNumber& number) {
    std::string international;
    PhoneNumberUtil::GetInstance()->Format(number, PhoneNumberUtil::E164, &international);
    return QString::fromStdString(international);
}

} // namespace

Reading read(QStringView typed) {
    auto parsed = parse(typed);
    if (auto* problem = std::get_if<QString>(&parsed))
        return {std::nullopt, std::move(*problem)};
    const PhoneNumber& found = std::get<PhoneNumber>(parsed);
    const PhoneNumberUtil& util = *PhoneNumberUtil::GetInstance();
    std::string national;
    util.GetNationalSignificantNumber(found, &national);
    const auto type = util.GetNumberType(found);
    Number number;
    number.international = e164(found);
    number.stored =
        found.country_code() == italy ? QString::fromStdString(national) : number.international;
    number.mobile =
        type == PhoneNumberUtil::MOBILE || type == PhoneNumberUtil::FIXED_LINE_OR_MOBILE;
    return {number, {}};
}

QString international(QStringView stored) {
    const auto parsed = parse(stored);
    const auto* found = std::get_if<PhoneNumber>(&parsed);
    return found != nullptr ? e164(*found) : QString();
}

} // namespace phone
