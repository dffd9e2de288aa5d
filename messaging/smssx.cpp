#include "messaging/smssx.h"

#include "messaging/gatewayrequests.h"
#include "messaging/smslength.h"

#include <cmath>

namespace {

QString param(const char* key, const QString& value) {
    return QLatin1Char('&') + QLatin1String(key) + QLatin1Char('=') +
           gatewayrequests::percentEncode(value);
}

} // namespace

void SMSSX::setProperty(int dispid, const QVariant& value) {
    switch (dispid) {
    case Flash:
        setFlash(value.toBool());
        break;
    case Account:
        setAccount(value.toString());
        break;
    case Host:
        setHost(value.toString());
        break;
    case Sender:
        setSender(value.toString());
        break;
    case Port:
        setPort(value.toDouble());
        break;
    default:
        break;
    }
}

void SMSSX::invoke(int dispid, const QString& number, const QString& text, Sent sent) {
    if (dispid != Send) {
        m_lastError = QStringLiteral("Membro sconosciuto: ") + QString::number(dispid);
        return sent(NotConfigured);
    }
    send(number, text, std::move(sent));
}

void SMSSX::setAccount(const QString& account) {
    const qsizetype colon = account.indexOf(QLatin1Char(':'));
    m_user = colon < 0 ? account : account.left(colon);
    m_password = colon < 0 ? QString() : account.mid(colon + 1);
}

void SMSSX::setPort(double port) {
    m_port =
        std::isfinite(port) && port >= 0 && port <= 65535 ? static_cast<int>(std::lround(port)) : 0;
}

QUrl SMSSX::requestUrl(const QString& number, const QString& text) const {
    const QString host = m_host.trimmed();
    if (host.isEmpty() || m_port < 1 || m_port > 65535)
        return {};
    QString to;
    for (const QChar c : number) {
        if (!c.isSpace())
            to += c;
    }
    QString query = QStringLiteral("username=") + gatewayrequests::percentEncode(m_user) +
                    param("password", m_password);
    if (!m_sender.isEmpty())
        query += param("from", m_sender);
    query += param("to", to) + param("text", text) + QStringLiteral("&charset=UTF-8");
    if (sms::alphabetOf(text) == sms::Alphabet::Unicode)
        query += QStringLiteral("&coding=2");
    if (m_flash)
        query += QStringLiteral("&mclass=0");
    if (!m_reference.isEmpty())
        query += param("quillet-id", m_reference);

    QUrl url;
    url.setScheme(QStringLiteral("http"));
    url.setHost(host, QUrl::StrictMode);
    url.setPort(m_port);
    url.setPath(QStringLiteral("/cgi-bin/sendsms"));
    url.setQuery(query, QUrl::StrictMode);
    return url.isValid() ? url : QUrl();
}

void SMSSX::send(const QString& number, const QString& text, Sent sent) {
    m_lastError.clear();
    m_lastRefusal.clear();
    m_lastAnswer.clear();
    m_lastKey.clear();
    const QUrl url = requestUrl(number, text);
    if (!url.isValid()) {
        m_http.cancel();
        m_lastError = QStringLiteral("Componente di invio non configurato (host ") + m_host +
                      QStringLiteral(", porta ") + QString::number(m_port) + QLatin1Char(')');
        return sent(NotConfigured);
    }
    m_http.get(url, m_timeout, gatewayrequests::shortAnswerBytes,
               [this, sent = std::move(sent)](const HttpAnswer& answer) { sent(take(answer)); });
}

// Keeps what the gateway answered to an SMS; the result of the send.
int SMSSX::take(const HttpAnswer& reply) {
    switch (reply.outcome) {
    case HttpAnswer::Outcome::Answered: {
        // Our gateway gives the keys of its SMS in a second line.
        const qsizetype lineEnd = reply.body.indexOf('\n');
        m_lastAnswer =
            QString::fromUtf8(lineEnd < 0 ? reply.body : reply.body.left(lineEnd)).trimmed();
        if (reply.status == gatewayrequests::acceptedStatus || reply.status == Uncertain) {
            m_lastKey =
                lineEnd < 0 ? QString() : gatewayrequests::smsKey(reply.body.mid(lineEnd + 1));
            if (reply.status == gatewayrequests::acceptedStatus)
                return Accepted;
        }
        m_lastRefusal = m_lastAnswer;
        m_lastError = QStringLiteral("Il gateway ha risposto ") + QString::number(reply.status) +
                      QStringLiteral(": ") + m_lastRefusal;
        return reply.status > 0 ? reply.status : TransportFailure;
    }
    case HttpAnswer::Outcome::TimedOut:
        m_lastError = QStringLiteral("Tempo scaduto per l'invio a ") + m_host.trimmed();
        return TimedOut;
    case HttpAnswer::Outcome::TooLong:
        m_lastError = reply.error;
        return TransportFailure;
    case HttpAnswer::Outcome::Unreachable:
    case HttpAnswer::Outcome::Failed:
        break;
    }
    m_lastError = QStringLiteral("Invio a ") + m_host.trimmed() +
                  QStringLiteral(" non riuscito: ") + reply.error;
    return TransportFailure;
}

void SMSSX::received(const QString& reference, std::function<void(std::optional<bool>)> known) {
    QUrl url = requestUrl({}, {});
    if (!url.isValid())
        return known(std::nullopt);
    url.setPath(QStringLiteral("/cgi-bin/sendsms-status"));
    url.setQuery(QStringLiteral("username=") + gatewayrequests::percentEncode(m_user) +
                     param("password", m_password) + param("quillet-id", reference),
                 QUrl::StrictMode);
    m_http.get(url, m_timeout, gatewayrequests::countAnswerBytes,
               [known = std::move(known)](const HttpAnswer& reply) -> void {
                   if (reply.outcome == HttpAnswer::Outcome::Answered && reply.status == 200) {
                       // The SMS that reference made: "0" for none.
                       bool number = false;
                       const qlonglong count = reply.body.trimmed().toLongLong(&number);
                       if (number && count >= 0)
                           return known(count > 0);
                   }
                   known(std::nullopt);
               });
}
