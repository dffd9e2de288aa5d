#include "messaging/smssx.h"

#include "messaging/blockingget.h"
#include "messaging/gatewayrequests.h"
#include "messaging/smslength.h"

#include <QNetworkAccessManager>

#include <cmath>

namespace {

QString param(const char* key, const QString& value) {
    return QLatin1Char('&') + QLatin1String(key) + QLatin1Char('=') +
           gatewayrequests::percentEncode(value);
}

} // namespace

SMSSX::SMSSX()
    : m_manager(std::make_unique<QNetworkAccessManager>()) {}

SMSSX::~SMSSX() = default;

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

int SMSSX::invoke(int dispid, const QString& number, const QString& text) {
    if (dispid != Send) {
        m_lastError = QStringLiteral("Membro sconosciuto: ") + QString::number(dispid);
        return NotConfigured;
    }
    return send(number, text);
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

int SMSSX::send(const QString& number, const QString& text) {
    m_lastError.clear();
    m_lastRefusal.clear();
    m_lastAnswer.clear();
    m_lastKey.clear();
    const QUrl url = requestUrl(number, text);
    if (!url.isValid()) {
        m_lastError = QStringLiteral("Componente di invio non configurato (host ") + m_host +
                      QStringLiteral(", porta ") + QString::number(m_port) + QLatin1Char(')');
        return NotConfigured;
    }
    try {
        const BlockingReply reply =
            blockingGet(*m_manager, url, m_timeout, gatewayrequests::shortAnswerBytes);
        switch (reply.outcome) {
        case BlockingReply::Outcome::Answered: {
            // Our gateway gives the keys of its SMS in a second line.
            const qsizetype lineEnd = reply.body.indexOf('\n');
            m_lastAnswer =
                QString::fromUtf8(lineEnd < 0 ? reply.body : reply.body.left(lineEnd)).trimmed();
            if (reply.status == 202 || reply.status == Uncertain) {
                m_lastKey =
                    lineEnd < 0 ? QString() : gatewayrequests::smsKey(reply.body.mid(lineEnd + 1));
                if (reply.status == 202)
                    return Accepted;
            }
            m_lastRefusal = m_lastAnswer;
            m_lastError = QStringLiteral("Il gateway ha risposto ") +
                          QString::number(reply.status) + QStringLiteral(": ") + m_lastRefusal;
            return reply.status > 0 ? reply.status : TransportFailure;
        }
        case BlockingReply::Outcome::TimedOut:
            m_lastError = QStringLiteral("Tempo scaduto per l'invio a ") + m_host.trimmed();
            return TimedOut;
        case BlockingReply::Outcome::TooLong:
            m_lastError = reply.error;
            return TransportFailure;
        case BlockingReply::Outcome::Unreachable:
        case BlockingReply::Outcome::Failed:
            break;
        }
        m_lastError = QStringLiteral("Invio a ") + m_host.trimmed() +
                      QStringLiteral(" non riuscito: ") + reply.error;
    } catch (const std::exception& e) {
        m_lastError = QString::fromUtf8(e.what());
    } catch (...) {
        m_lastError = QStringLiteral("Errore sconosciuto nell'invio");
    }
    return TransportFailure;
}

std::optional<bool> SMSSX::received(const QString& reference) {
    QUrl url = requestUrl({}, {});
    if (!url.isValid())
        return std::nullopt;
    url.setPath(QStringLiteral("/cgi-bin/sendsms-status"));
    url.setQuery(QStringLiteral("username=") + gatewayrequests::percentEncode(m_user) +
                     param("password", m_password) + param("quillet-id", reference),
                 QUrl::StrictMode);
    try {
        const BlockingReply reply =
            blockingGet(*m_manager, url, m_timeout, gatewayrequests::countAnswerBytes);
        if (reply.outcome == BlockingReply::Outcome::Answered && reply.status == 200) {
            // The SMS that reference made: "0" for none.
            bool number = false;
            const qlonglong count = reply.body.trimmed().toLongLong(&number);
            if (number && count >= 0)
                return count > 0;
        }
    } catch (const std::exception&) {
    }
    return std::nullopt;
}
