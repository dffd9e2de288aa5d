#include "gateway/query.h"

#include <algorithm>

namespace gateway {

namespace {

int hexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

bool isAsciiAlphanumeric(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

bool isAsciiDigit(QChar c) {
    return c >= QLatin1Char('0') && c <= QLatin1Char('9');
}

} // namespace

QByteArray percentDecode(QByteArrayView text, Plus plus) {
    QByteArray out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '%' && i + 2 < text.size() && hexValue(text[i + 1]) >= 0 &&
            hexValue(text[i + 2]) >= 0) {
            out.append(static_cast<char>(hexValue(text[i + 1]) * 16 + hexValue(text[i + 2])));
            i += 2;
        } else if (c == '+' && plus == Plus::Space) {
            out.append(' ');
        } else {
            out.append(c);
        }
    }
    return out;
}

std::optional<QString> unsoundQuery(QByteArrayView raw) {
    static const QByteArray safe = "-._~!$'()*+,;=:@/?";
    for (qsizetype i = 0; i < raw.size(); ++i) {
        const char c = raw[i];
        if (c == '%') {
            if (i + 2 >= raw.size() || hexValue(raw[i + 1]) < 0 || hexValue(raw[i + 2]) < 0)
                return QStringLiteral("'%' senza due cifre esadecimali");
            i += 2;
        } else if (!isAsciiAlphanumeric(c) && c != '&' && !safe.contains(c)) {
            return QStringLiteral("carattere non ammesso (%1)")
                .arg(QString::number(static_cast<uchar>(c), 16));
        }
    }
    QList<QByteArray> names;
    for (const QByteArray& item : raw.toByteArray().split('&')) {
        if (item.isEmpty())
            continue;
        const qsizetype eq = item.indexOf('=');
        const QByteArray name = percentDecode(item.left(eq < 0 ? item.size() : eq), Plus::Space);
        const bool plain = !name.isEmpty() && std::all_of(name.begin(), name.end(), [](char c) {
            return isAsciiAlphanumeric(c) || c == '.' || c == '_' || c == '-';
        });
        if (!plain)
            return QStringLiteral("nome di campo non valido");
        if (names.contains(name))
            return QStringLiteral("campo ripetuto (%1)").arg(QString::fromLatin1(name));
        names.append(name);
    }
    return std::nullopt;
}

QueryString QueryString::parse(QByteArrayView raw, Plus plus) {
    QueryString query;
    qsizetype start = 0;
    while (start <= raw.size()) {
        qsizetype end = raw.indexOf('&', start);
        if (end < 0)
            end = raw.size();
        const QByteArrayView item = raw.sliced(start, end - start);
        if (!item.isEmpty()) {
            const qsizetype eq = item.indexOf('=');
            const QByteArrayView key = eq < 0 ? item : item.first(eq);
            const QByteArrayView value = eq < 0 ? QByteArrayView() : item.sliced(eq + 1);
            query.m_items.append(
                {QString::fromUtf8(percentDecode(key, plus)), percentDecode(value, plus)});
        }
        start = end + 1;
    }
    return query;
}

bool QueryString::has(const QString& key) const {
    for (const auto& item : m_items) {
        if (item.first == key)
            return true;
    }
    return false;
}

QByteArray QueryString::bytes(const QString& key) const {
    for (const auto& item : m_items) {
        if (item.first == key)
            return item.second;
    }
    return {};
}

QString QueryString::value(const QString& key) const {
    for (const auto& item : m_items) {
        if (item.first == key) {
            const QString text = QString::fromUtf8(item.second);
            return text.isNull() ? QStringLiteral("") : text;
        }
    }
    return {};
}

std::optional<qint64> Decimal::whole() const {
    if (!isWhole() || integerDigits.size() > 18)
        return std::nullopt;
    const qint64 magnitude = integerDigits.isEmpty() ? 0 : integerDigits.toLongLong();
    return negative ? -magnitude : magnitude;
}

QString Decimal::canonical() const {
    QString text = integerDigits.isEmpty() ? QStringLiteral("0") : integerDigits;
    if (!fractionDigits.isEmpty())
        text += QLatin1Char('.') + fractionDigits;
    if (negative && text != QLatin1String("0"))
        text.prepend(QLatin1Char('-'));
    return text;
}

std::optional<Decimal> parseDecimal(const QString& input) {
    const QString text = input.trimmed();
    qsizetype i = 0;
    Decimal number;
    if (i < text.size() && (text[i] == QLatin1Char('-') || text[i] == QLatin1Char('+'))) {
        number.negative = text[i] == QLatin1Char('-');
        ++i;
    }
    const qsizetype intStart = i;
    while (i < text.size() && isAsciiDigit(text[i]))
        ++i;
    QString integerDigits = text.mid(intStart, i - intStart);
    QString fractionDigits;
    if (i < text.size() && (text[i] == QLatin1Char(',') || text[i] == QLatin1Char('.'))) {
        const qsizetype fracStart = ++i;
        while (i < text.size() && isAsciiDigit(text[i]))
            ++i;
        fractionDigits = text.mid(fracStart, i - fracStart);
        if (fractionDigits.isEmpty())
            return std::nullopt;
    }
    if (i != text.size() || (integerDigits.isEmpty() && fractionDigits.isEmpty()))
        return std::nullopt;
    while (integerDigits.startsWith(QLatin1Char('0')))
        integerDigits.remove(0, 1);
    while (fractionDigits.endsWith(QLatin1Char('0')))
        fractionDigits.chop(1);
    number.integerDigits = integerDigits;
    number.fractionDigits = fractionDigits;
    if (integerDigits.isEmpty() && fractionDigits.isEmpty())
        number.negative = false;
    return number;
}

} // namespace gateway
