#include "messaging/httpget.h"

#include <QNetworkReply>
#include <QNetworkRequest>

#include <utility>

namespace {

bool unreachable(QNetworkReply::NetworkError error, bool answered) {
    switch (error) {
    case QNetworkReply::ConnectionRefusedError:
    case QNetworkReply::HostNotFoundError:
    case QNetworkReply::TemporaryNetworkFailureError:
    case QNetworkReply::NetworkSessionFailedError:
        return true;
    // Qt reports "network unreachable" and "host unreachable" as this one
    case QNetworkReply::UnknownNetworkError:
        return !answered;
    default:
        return false;
    }
}

// Qt turns an HTTP status of 400 and above into an error code outside the transport range.
bool httpStatusError(QNetworkReply::NetworkError error) {
    return error > QNetworkReply::UnknownNetworkError &&
           error != QNetworkReply::ProtocolUnknownError && error != QNetworkReply::ProtocolFailure;
}

} // namespace

QString tooLongText(const QString& host, qint64 maxBytes) {
    return QStringLiteral("La risposta di %1 supera i %2 byte attesi: non è stata letta.")
        .arg(host)
        .arg(maxBytes);
}

HttpGet::HttpGet(QObject* parent)
    : QObject(parent) {
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, [this] {
        m_timedOut = true;
        if (m_reply)
            m_reply->abort();
    });
}

HttpGet::~HttpGet() {
    cancel();
}

void HttpGet::get(const QUrl& url, std::chrono::milliseconds timeout, qint64 maxBytes, Done done) {
    cancel();
    m_url = url;
    m_maxBytes = maxBytes;
    m_timedOut = m_tooLong = false;
    m_done = std::move(done);
    QNetworkRequest request(url);
    // no compression, so that Content-Length counts the bytes of the body we read
    request.setRawHeader("Accept-Encoding", "identity");
    m_reply = m_manager.get(request);
    // Qt reads no further ahead than this: one byte past the most tells a longer answer.
    m_reply->setReadBufferSize(maxBytes + 1);
    connect(m_reply, &QNetworkReply::metaDataChanged, this, [this] {
        const QVariant length = m_reply->header(QNetworkRequest::ContentLengthHeader);
        if (length.isValid())
            refuseBeyond(length.toLongLong());
    });
    connect(m_reply, &QNetworkReply::readyRead, this,
            [this] { refuseBeyond(m_reply->bytesAvailable()); });
    // Only the answer of the request under way counts.
    const auto finishIfCurrent = [this, reply = m_reply] {
        if (reply == m_reply)
            finish();
    };
    connect(m_reply, &QNetworkReply::finished, this, finishIfCurrent);
    if (m_reply->isFinished())
        QMetaObject::invokeMethod(this, finishIfCurrent, Qt::QueuedConnection);
    else
        m_timer.start(timeout);
}

void HttpGet::cancel() {
    m_timer.stop();
    m_done = nullptr;
    if (QNetworkReply* reply = std::exchange(m_reply, nullptr)) {
        reply->disconnect(this);
        reply->abort();
        reply->deleteLater();
    }
}

void HttpGet::refuseBeyond(qint64 bytes) {
    if (bytes > m_maxBytes && !m_tooLong) {
        m_tooLong = true;
        m_reply->abort();
    }
}

void HttpGet::finish() {
    if (!m_reply || !m_done)
        return;
    m_timer.stop();
    const HttpAnswer result = answer();
    std::exchange(m_reply, nullptr)->deleteLater();
    // The callback may start the next request.
    const Done done = std::exchange(m_done, nullptr);
    done(result);
}

HttpAnswer HttpGet::answer() const {
    HttpAnswer result;
    const auto refused = [this] {
        HttpAnswer tooLong;
        tooLong.outcome = HttpAnswer::Outcome::TooLong;
        tooLong.error = tooLongText(m_url.host(), m_maxBytes);
        return tooLong;
    };
    if (m_tooLong)
        return refused();
    if (m_timedOut) {
        result.outcome = HttpAnswer::Outcome::TimedOut;
        return result;
    }
    const QVariant status = m_reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    const QNetworkReply::NetworkError error = m_reply->error();
    result.error = m_reply->errorString();
    if (status.isValid() && (error == QNetworkReply::NoError || httpStatusError(error))) {
        result.outcome = HttpAnswer::Outcome::Answered;
        result.status = status.toInt();
        result.body = m_reply->read(m_maxBytes + 1);
        result.contentType = m_reply->rawHeader("Content-Type");
        result.error.clear();
        if (result.body.size() > m_maxBytes)
            return refused();
        // Qt may take a connection closed in the middle of the body for its end
        const QVariant length = m_reply->header(QNetworkRequest::ContentLengthHeader);
        if (length.isValid() && !m_reply->hasRawHeader("Content-Encoding") &&
            result.body.size() < length.toLongLong()) {
            result.outcome = HttpAnswer::Outcome::Failed;
            result.error = QStringLiteral("connessione chiusa dopo %1 dei %2 byte della risposta")
                               .arg(result.body.size())
                               .arg(length.toLongLong());
        }
    } else if (unreachable(error, status.isValid())) {
        result.outcome = HttpAnswer::Outcome::Unreachable;
    } else {
        result.outcome = HttpAnswer::Outcome::Failed;
    }
    return result;
}
