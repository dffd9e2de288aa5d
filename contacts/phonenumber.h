#pragma once

#include <QLatin1StringView>
#include <QString>
#include <QStringView>

#include <optional>

// Phone numbers as the world writes them, read by libphonenumber with Italy as the region of
// numbers written without a country code.
namespace phone {

// Italy's country code ("+39", "0039" before a number): a number written without a country code
// is Italian.
inline constexpr QLatin1StringView italyCode("39");

struct Number {
    // As address books keep it: an Italian number as its national digits ("3331234567",
    // "0612345678"), as the books and the older program's files hold them; a foreign one as
    // "+" and its international digits ("+491622433834").
    QString stored;
    QString international; // what the SMS goes to: "+393331234567"
    bool mobile = false;   // the library knows it as a mobile number (or one that may be)
};

struct Reading {
    std::optional<Number> number;
    QString problem; // why the text is no phone number, in Italian, when number is empty
};

// Blanks, dashes, dots, slashes and brackets are only formatting; letters, pauses and
// extensions, or two numbers in one field, make no number. An Italian mobile number written
// plainly (digits, blanks and dashes, "+39" or "0039" or nothing before), as most of a book's
// numbers are, is read without the library: a book of a million contacts is read so on every
// import.
Reading read(QStringView typed);

// The international form of a number as address books keep it; empty when it is none.
QString international(QStringView stored);

// A kept number cut where a form shows it: its country prefix ("+49", "+39") and its national
// significant number ("1622433834", "0612345678"); none when `stored` is no number.
struct CountryParts {
    QString countryPrefix;
    QString national;
};
std::optional<CountryParts> countryParts(QStringView stored);

// A kept number as people write it: an Italian one as in Italy ("06 1234 5678"), a foreign one
// with its country code ("+49 162 2433834"); the text itself when it is no number.
QString written(QStringView stored);

// The beginning of a number as typed ("+39 333 12", "0049 162") as the beginning of kept
// numbers ("33312", "+49162"): formatting dropped, "+39" or "0039" removed, "00" before any
// other country written "+"; any other character stays as typed.
QString storedBeginning(QStringView typed);

} // namespace phone
