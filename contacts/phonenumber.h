#pragma once

#include <QString>
#include <QStringView>

#include <optional>

// Phone numbers as the world writes them, read by libphonenumber with Italy as the region of
// numbers written without a country code.
namespace phone {

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

} // namespace phone
