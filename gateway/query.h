#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QPair>
#include <QString>

#include <optional>

namespace gateway {

// What a raw '+' in a query stands for: itself (our clients encode per RFC 3986) or a blank
// (HTML forms, and Kannel's sendsms, which the sink imitates).
enum class Plus { Literal, Space };

// Decodes %XX escapes to bytes. A '%' that is not followed by two hex digits stays as it is.
QByteArray percentDecode(QByteArrayView text, Plus plus);

// Why a sendsms query cannot be read the same way by the gateway and by Kannel: a byte that is
// not URL-safe, a '%' not followed by two hex digits, a field name of anything but letters,
// digits, '.', '_' and '-' once decoded (a NUL, say), or a field given twice. Nullopt when it
// is sound.
std::optional<QString> unsoundQuery(QByteArrayView raw);

// The key=value pairs of a query string, decoded. Keys are case-sensitive; for a repeated
// key the first one counts; a key without '=' has an empty value.
class QueryString final {
public:
    static QueryString parse(QByteArrayView raw, Plus plus);

    bool has(const QString& key) const;
    // The decoded bytes (the sink decodes them with the request's charset).
    QByteArray bytes(const QString& key) const;
    // The value as UTF-8 text; invalid sequences become U+FFFD. Null when the key is absent.
    QString value(const QString& key) const;

private:
    QList<QPair<QString, QByteArray>> m_items;
};

// A number written in plain decimal form: optional sign, digits, optionally a decimal comma
// or point and more digits ("12", "12,5", "-0.75").
struct Decimal {
    bool negative = false;
    QString integerDigits;  // no leading zeros; empty for 0
    QString fractionDigits; // no trailing zeros

    bool isWhole() const { return fractionDigits.isEmpty(); }
    // The value when it is whole and fits; nullopt otherwise.
    std::optional<qint64> whole() const;
    // One spelling per value: "12", "12.5", "-3" ("12,50" and "012.5" give "12.5").
    QString canonical() const;
};

std::optional<Decimal> parseDecimal(const QString& text);

} // namespace gateway
