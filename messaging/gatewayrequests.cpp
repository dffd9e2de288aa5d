#include "messaging/gatewayrequests.h"

#include "app/settings.h"
#include "messaging/service.h"
#include "platform/clock.h"

#include <QStringList>

namespace gatewayrequests {

namespace {

QUrl request(const QString& servizio, const QString& script, const QString& query) {
    return service::pageUrl(servizio,
                            QStringLiteral("cgi-bin/utenti/") + script + QLatin1Char('?') + query);
}

QString accountKeys(const Account& account) {
    return QStringLiteral("utente=") + percentEncode(account.user) + QStringLiteral("&pass=") +
           percentEncode(account.password);
}

QString stampKey() {
    return QStringLiteral("&datatime=") + timeStamp(platform::Clock::now());
}

QString countKeys(double credito, double count) {
    return QStringLiteral("&numero=") + settings::formatNumber(credito) +
           QStringLiteral("&numerodet=") + settings::formatNumber(count);
}

} // namespace

QString percentEncode(const QString& text) {
    return QString::fromLatin1(QUrl::toPercentEncoding(text));
}

QString timeStamp(const QDateTime& moment) {
    const QDate d = moment.date();
    const QTime t = moment.time();
    QString out;
    for (int part : {d.day(), d.month(), d.year(), t.hour(), t.minute(), t.second()})
        out += QString::number(part);
    return out;
}

QUrl creditQuery(const QString& servizio, const Account& account) {
    return request(servizio, QStringLiteral("leggi.pl"), accountKeys(account) + stampKey());
}

QUrl channelSettingsRequest(const QString& servizio, const Account& account) {
    return request(servizio, QStringLiteral("nosggi.pl"), accountKeys(account) + stampKey());
}

QUrl verificaRequest(const QString& servizio, const Account& account, double credito,
                     double count) {
    return request(servizio, QStringLiteral("verifica.cgi"),
                   accountKeys(account) + countKeys(credito, count) + stampKey());
}

QUrl verifica2Request(const QString& servizio, const Account& account, double credito,
                      double count) {
    return request(servizio, QStringLiteral("verifica2.cgi"),
                   accountKeys(account) + countKeys(credito, count) + stampKey());
}

double leadingNumber(const QString& text) {
    qsizetype i = 0;
    while (i < text.size() && text[i].isSpace())
        ++i;
    const qsizetype start = i;
    if (i < text.size() && (text[i] == QLatin1Char('+') || text[i] == QLatin1Char('-')))
        ++i;
    bool digits = false;
    bool point = false;
    for (; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c >= QLatin1Char('0') && c <= QLatin1Char('9'))
            digits = true;
        else if (c == QLatin1Char('.') && !point)
            point = true;
        else
            break;
    }
    if (!digits)
        return 0;
    return text.mid(start, i - start).toDouble();
}

std::optional<ChannelSettings> parseChannelSettings(const QString& reply) {
    const QStringList fields = reply.split(QLatin1Char('-'));
    if (fields.size() < 3)
        return std::nullopt;
    return ChannelSettings{fields[0], fields[1], leadingNumber(fields[2])};
}

QString stripLeadingBlank(const QString& reply) {
    return reply.startsWith(QLatin1Char(' ')) ? reply.mid(1) : reply;
}

} // namespace gatewayrequests
