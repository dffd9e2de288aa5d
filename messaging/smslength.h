#pragma once

#include <QStringView>

// What one SMS holds, as the SMS centre counts it. A text in the GSM 03.38 default alphabet
// goes in 7-bit septets: one a character, two for a character of the extension table
// (€ [ ] { } ~ | ^ \ and form feed). Any other character makes the whole SMS UCS-2, counted in
// UTF-16 units: two for a character outside the BMP (an emoji). One SMS holds 160 septets or
// 70 units; each part of a concatenated message 153 or 67, as its header takes the rest. A
// character is never split between two SMS.
namespace sms {

enum class Alphabet { Gsm, Unicode };

inline constexpr int maxParts = 10; // SMS of one message

// Septets of a character in the GSM alphabet: 1, 2 for the extension table, 0 when the
// alphabet lacks it.
int septets(char32_t c);
// Gsm when every character of the text is in the GSM alphabet.
Alphabet alphabetOf(QStringView text);
// What the network counts of the text: septets, or UTF-16 units.
int units(QStringView text, Alphabet alphabet);
int units(QStringView text);

// Units one SMS holds: 160 or 70.
int singleCapacity(Alphabet alphabet);
// Units one part of a concatenated message holds: 153 or 67.
int partCapacity(Alphabet alphabet);

// True when the text goes as one SMS in its own alphabet.
bool fitsOne(QStringView text);
// The UTF-16 size of the longest start of the text that goes as one SMS in its own alphabet;
// never ends inside a character.
qsizetype oneSmsPrefix(QStringView text);
// SMS the SMS centre sends for the text handed over as one message: 1 when it fits one SMS (an
// empty text too), otherwise parts of 153 septets, none splitting a character of the extension
// table, or of 67 units, as Kannel cuts them.
int concatenatedParts(QStringView text, Alphabet alphabet);

} // namespace sms
