#include "messaging/gatewayrequests.h"

#include "core/settings.h"
#include "messaging/service.h"
#include "platform/clock.h"
#include "platform/escapes.h"

#include <QStringList>

#include <string>

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

QUrl statesRequest(const QString& servizio, const Account& account, const QStringList& keys) {
    return request(servizio, QStringLiteral("esiti.pl"),
                   accountKeys(account) + QStringLiteral("&sms=") +
                       percentEncode(keys.join(QLatin1Char(','))) + stampKey());
}

namespace {

bool isKey(QStringView key) {
    if (key.size() != 32)
        return false;
    for (const QChar c : key) {
        if (!((c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f')))
            return false;
    }
    return true;
}

} // namespace

QString smsKey(const QByteArray& keys) {
    const QString first =
        QString::fromLatin1(keys.left(keys.indexOf(',') < 0 ? keys.size() : keys.indexOf(',')))
            .trimmed();
    return isKey(first) ? first : QString();
}

QList<store::sendreport::State> parseStates(const QString& reply, const QStringList& asked) {
    using namespace store::sendreport;
    QList<State> states;
    for (const QStringView line : QStringView(reply).split(u'\n')) {
        if (line.count(u'\t') != 3) // not split at all before it is known to have 4 fields
            continue;
        const QList<QStringView> fields = line.split(u'\t');
        if (!isKey(fields[0]) || !asked.contains(fields[0]))
            continue;
        bool number = false;
        const int state = fields[1].toInt(&number);
        const bool known = state == NoReport || state == Delivered || state == NotDelivered ||
                           state == Buffered || state == AtCentre || state == CentreRefused;
        if (!number || !known)
            continue;
        const QString time = fields[2].toString();
        const bool timed = time.size() == 20 && time.endsWith(u'Z') &&
                           QDateTime::fromString(time, Qt::ISODate).isValid();
        if (state == NoReport ? !time.isEmpty() : !timed)
            continue;
        // "\\", "\t", "\n", "\r" as the gateway writes them.
        const auto text = platform::escapes::unescaped(fields[3]);
        if (!text)
            continue;
        states.append({fields[0].toString(), state, time, *text});
    }
    return states;
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
