#include "contacts/phonenumber.h"

#include <phonenumbers/phonenumberutil.h>

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

} // namespace

Reading read(QStringView typed) {
    if (!std::any_of(typed.begin(), typed.end(), [](QChar c) { return c.isDigit(); }))
        return {std::nullopt, QStringLiteral("non contiene cifre")};
    if (QString problem = characterProblem(typed); !problem.isEmpty())
        return {std::nullopt, problem};
    const PhoneNumberUtil& util = *PhoneNumberUtil::GetInstance();
    PhoneNumber parsed;
    if (util.Parse(typed.toString().toStdString(), "IT", &parsed) !=
            PhoneNumberUtil::NO_PARSING_ERROR ||
        !util.IsPossibleNumber(parsed))
        return {std::nullopt, QStringLiteral("non ha le cifre di un numero di telefono")};
    std::string international;
    util.Format(parsed, PhoneNumberUtil::E164, &international);
    std::string national;
    util.GetNationalSignificantNumber(parsed, &national);
    const auto type = util.GetNumberType(parsed);
    Number number;
    number.international = QString::fromStdString(international);
    number.stored =
        parsed.country_code() == italy ? QString::fromStdString(national) : number.international;
    number.mobile =
        type == PhoneNumberUtil::MOBILE || type == PhoneNumberUtil::FIXED_LINE_OR_MOBILE;
    return {number, {}};
}

QString international(QStringView stored) {
    const Reading reading = read(stored);
    return reading.number ? reading.number->international : QString();
}

} // namespace phone
