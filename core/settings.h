#pragma once

#include <QString>
#include <QStringList>

#include <optional>
#include <utility>

struct Session;

// The small settings files of the application folder.
namespace settings {

// Reads persorso, registrazione, intestazione, progra, residui.txt and servizio into the
// state. A file that is missing or unreadable leaves its field as it was; nothing is reported.
void loadStartupFiles(Session& state);

// The optional parts of the program the file `funzioni` turns on: one word a line, case
// ignored, unknown words ignored; no file, nothing on.
struct Features {
    bool hotel = false; // "ericsoft": the hotel program's import and its archive folder
    bool users = false; // "utenti": the user administration
};
Features readFeatures(const QString& appFolder);

// "a-b-c" -> {"a","b","c"}; an empty text gives an empty list.
QStringList splitDash(const QString& line);
// The account line "user-password": split at its first "-" only, so a password keeps its own.
QStringList splitAccount(const QString& line);

// The credit as residui.txt holds it: a decimal number, Italian comma or point, blanks
// around it ignored. std::nullopt for anything else.
std::optional<double> parseCredit(const QString& line);
// A number as the program shows it: Italian decimal comma, no thousands separator.
QString formatNumber(double value);
// "Credito residuo " followed by the number.
QString creditCaption(double credit);

// tbta: two 16-bit integers separated by a comma or a line break (toolbar value, panel width).
std::optional<std::pair<qint16, qint16>> parseTbta(const QStringList& lines);

} // namespace settings
