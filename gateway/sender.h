#pragma once

#include <QString>

#include <optional>

namespace gateway {

// What the SMS centre can show as the sender of an SMS: a number of 1 to 16 digits with an
// optional "+", or a name of 1 to 11 characters of the GSM alphabet's basic table with at least
// one that is not a digit (no control characters, no blanks at either end).
// Why the text is not one, in Italian ("ha più di 11 caratteri"); nullopt when it is.
std::optional<QString> senderProblem(const QString& sender);

} // namespace gateway
