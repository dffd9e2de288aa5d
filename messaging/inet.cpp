#include "messaging/inet.h"

#include "platform/textfile.h"

#include <QStringDecoder>

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

void Inet::OpenURL(const QUrl& url, qint64 maxBytes, Done done) {
    const int request = ++m_requests;
    if (!url.isValid() || url.host().isEmpty()) {
        m_http.cancel();
        const QString failure = QStringLiteral("Indirizzo non valido: ") + url.toString();
        QMetaObject::invokeMethod(
            &m_http,
            [this, request, done = std::move(done), failure] {
                if (request == m_requests)
                    done({{}, failure});
            },
            Qt::QueuedConnection);
        return;
    }
    m_http.get(url, m_timeout, maxBytes, [url, done = std::move(done)](const HttpAnswer& answer) {
        switch (answer.outcome) {
        case HttpAnswer::Outcome::Answered:
            return done({decodeBody(answer.body, answer.contentType), {}});
        case HttpAnswer::Outcome::Unreachable:
            return done({});
        case HttpAnswer::Outcome::TimedOut:
            return done({{}, QStringLiteral("Tempo scaduto per la richiesta a ") + url.host()});
        case HttpAnswer::Outcome::TooLong:
            return done({{}, answer.error});
        case HttpAnswer::Outcome::Failed:
            break;
        }
        done({{},
              QStringLiteral("Richiesta a ") + url.host() + QStringLiteral(" non riuscita: ") +
                  answer.error});
    });
}
