#include "messaging/inet.h"

#include "messaging/blockingget.h"
#include "platform/textfile.h"

#include <QNetworkAccessManager>
#include <QStringDecoder>

InetError::InetError(const QString& message)
    : m_message(message)
    , m_utf8(message.toUtf8()) {}

namespace {

QByteArray charsetOf(const QByteArray& contentType) {
    for (const QByteArray& param : contentType.split(';')) {
        const QByteArray p = param.trimmed();
        if (p.toLower().startsWith("charset=")) {
            QByteArray name = p.mid(8).trimmed();
            if (name.size() >= 2 && name.startsWith('"') && name.endsWith('"'))
                name = name.mid(1, name.size() - 2);
            return name.toLower();
        }
    }
    return {};
}

} // namespace

Inet::Inet()
    : m_manager(std::make_unique<QNetworkAccessManager>()) {}

Inet::~Inet() = default;

QString Inet::decodeBody(const QByteArray& body, const QByteArray& contentType) {
    const QByteArray charset = charsetOf(contentType);
    // as web browsers do, Latin-1 and ASCII labels mean Windows-1252
    static const QByteArrayList windows1252 = {"windows-1252", "cp1252",    "x-cp1252",
                                               "iso-8859-1",   "iso8859-1", "latin1",
                                               "l1",           "us-ascii",  "ascii"};
    if (windows1252.contains(charset))
        return platform::TextFile::decode(body);
    if (!charset.isEmpty()) {
        QStringDecoder named(charset.constData());
        if (named.isValid())
            return named.decode(body);
    }
    QStringDecoder utf8(QStringDecoder::Utf8);
    QString text = utf8.decode(body);
    if (!utf8.hasError())
        return text;
    return platform::TextFile::decode(body);
}

QString Inet::OpenURL(const QUrl& url, qint64 maxBytes) {
    if (!url.isValid() || url.host().isEmpty())
        throw InetError(QStringLiteral("Indirizzo non valido: ") + url.toString());
    const BlockingReply reply = blockingGet(*m_manager, url, m_timeout, maxBytes);
    switch (reply.outcome) {
    case BlockingReply::Outcome::Answered:
        return decodeBody(reply.body, reply.contentType);
    case BlockingReply::Outcome::Unreachable:
        return {};
    case BlockingReply::Outcome::TimedOut:
        throw InetError(QStringLiteral("Tempo scaduto per la richiesta a ") + url.host());
    case BlockingReply::Outcome::TooLong:
        throw InetError(reply.error);
    case BlockingReply::Outcome::Failed:
        break;
    }
    throw InetError(QStringLiteral("Richiesta a ") + url.host() +
                    QStringLiteral(" non riuscita: ") + reply.error);
}
