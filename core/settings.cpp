#include "core/settings.h"

#include "core/session.h"
#include "platform/textfile.h"

#include <QDir>
#include <QLocale>
#include <QRegularExpression>

#include <cmath>
#include <limits>

namespace settings {

namespace {

std::optional<QString> firstLine(const Session& state, const QString& name) {
    return platform::TextFile::readFirstLine(QDir(state.appFolder).filePath(name));
}

} // namespace

QStringList splitDash(const QString& line) {
    if (line.isEmpty())
        return {};
    return line.split(QLatin1Char('-'));
}

QStringList splitAccount(const QString& line) {
    if (line.isEmpty())
        return {};
    const qsizetype dash = line.indexOf(QLatin1Char('-'));
    if (dash < 0)
        return {line};
    return {line.left(dash), line.mid(dash + 1)};
}

std::optional<double> parseCredit(const QString& line) {
    const QString text = line.trimmed();
    if (text.isEmpty())
        return std::nullopt;
    bool ok = false;
    double value = QLocale(QLocale::Italian, QLocale::Italy).toDouble(text, &ok);
    if (!ok)
        value = QLocale::c().toDouble(text, &ok);
    if (!ok || !std::isfinite(value))
        return std::nullopt;
    return value;
}

QString formatNumber(double value) {
    QLocale italian(QLocale::Italian, QLocale::Italy);
    italian.setNumberOptions(QLocale::OmitGroupSeparator);
    return italian.toString(value, 'f', QLocale::FloatingPointShortest);
}

QString creditCaption(double credit) {
    return QStringLiteral("Credito residuo ") + formatNumber(credit);
}

std::optional<std::pair<qint16, qint16>> parseTbta(const QStringList& lines) {
    static const QRegularExpression separators(QStringLiteral("[,\\r\\n]+"));
    const QStringList parts = lines.join(QLatin1Char('\n')).split(separators, Qt::SkipEmptyParts);
    if (parts.size() < 2)
        return std::nullopt;
    qint16 values[2];
    for (int i = 0; i < 2; ++i) {
        bool ok = false;
        const int v = parts[i].trimmed().toInt(&ok);
        if (!ok || v < std::numeric_limits<qint16>::min() || v > std::numeric_limits<qint16>::max())
            return std::nullopt;
        values[i] = static_cast<qint16>(v);
    }
    return std::pair{values[0], values[1]};
}

Features readFeatures(const QString& appFolder) {
    Features features;
    // A settings file of a few words: a hundred lines are more than enough.
    const auto lines =
        platform::TextFile::readLines(QDir(appFolder).filePath(QStringLiteral("funzioni")), 100);
    for (const QString& line : lines.value_or(QStringList{})) {
        const QString word = line.trimmed();
        if (word.compare(QLatin1String("ericsoft"), Qt::CaseInsensitive) == 0)
            features.hotel = true;
        else if (word.compare(QLatin1String("utenti"), Qt::CaseInsensitive) == 0)
            features.users = true;
    }
    return features;
}

void loadStartupFiles(Session& state) {
    if (auto line = firstLine(state, QStringLiteral("persorso")))
        state.hotelFolder = *line;
    if (auto line = firstLine(state, QStringLiteral("intestazione")))
        state.senderHeader = *line;
    if (auto line = firstLine(state, QStringLiteral("progra")))
        state.affiliate = splitDash(*line);
    if (auto line = firstLine(state, QStringLiteral("residui.txt")))
        if (auto credit = parseCredit(*line))
            state.credit = *credit;
    if (auto line = firstLine(state, QStringLiteral("servizio")))
        state.service = line->trimmed();
}

} // namespace settings
