#include "messaging/blockingget.h"

#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>

#include <memory>

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

BlockingReply blockingGet(QNetworkAccessManager& manager, const QUrl& url,
                          std::chrono::milliseconds timeout, qint64 maxBytes) {
    BlockingReply result;
    QNetworkRequest request(url);
    // no compression, so that Content-Length counts the bytes of the body we read
    request.setRawHeader("Accept-Encoding", "identity");
    const std::unique_ptr<QNetworkReply> reply(manager.get(request));
    // Qt reads no further ahead than this: one byte past the most tells a longer answer.
    reply->setReadBufferSize(maxBytes + 1);
    bool timedOut = false;
    QEventLoop loop;
    QTimer timer;
    timer.setSingleShot(true);
    QObject::connect(&timer, &QTimer::timeout, &loop, [&] {
        timedOut = true;
        reply->abort();
    });
    bool tooLong = false;
    const auto refuseBeyond = [&](qint64 bytes) {
        if (bytes > maxBytes && !tooLong) {
            tooLong = true;
            reply->abort();
        }
    };
    QObject::connect(reply.get(), &QNetworkReply::metaDataChanged, &loop, [&] {
        const QVariant length = reply->header(QNetworkRequest::ContentLengthHeader);
        if (length.isValid())
            refuseBeyond(length.toLongLong());
    });
    QObject::connect(reply.get(), &QNetworkReply::readyRead, &loop,
                     [&] { refuseBeyond(reply->bytesAvailable()); });
    QObject::connect(reply.get(), &QNetworkReply::finished, &loop, &QEventLoop::quit);
    if (!reply->isFinished()) {
        timer.start(timeout);
        loop.exec(QEventLoop::ExcludeUserInputEvents);
        timer.stop();
    }

    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    const QNetworkReply::NetworkError error = reply->error();
    result.error = reply->errorString();
    const auto refused = [&] {
        BlockingReply tooLongReply;
        tooLongReply.outcome = BlockingReply::Outcome::TooLong;
        tooLongReply.error = tooLongText(url.host(), maxBytes);
        return tooLongReply;
    };
    if (tooLong) {
        return refused();
    } else if (timedOut) {
        result.outcome = BlockingReply::Outcome::TimedOut;
    } else if (status.isValid() && (error == QNetworkReply::NoError || httpStatusError(error))) {
        result.outcome = BlockingReply::Outcome::Answered;
        result.status = status.toInt();
        result.body = reply->read(maxBytes + 1);
        result.contentType = reply->rawHeader("Content-Type");
        result.error.clear();
        if (result.body.size() > maxBytes)
            return refused();
        // Qt may take a connection closed in the middle of the body for its end
        const QVariant length = reply->header(QNetworkRequest::ContentLengthHeader);
        if (length.isValid() && !reply->hasRawHeader("Content-Encoding") &&
            result.body.size() < length.toLongLong()) {
            result.outcome = BlockingReply::Outcome::Failed;
            result.error = QStringLiteral("connessione chiusa dopo %1 dei %2 byte della risposta")
                               .arg(result.body.size())
                               .arg(length.toLongLong());
        }
    } else if (unreachable(error, status.isValid())) {
        result.outcome = BlockingReply::Outcome::Unreachable;
    } else {
        result.outcome = BlockingReply::Outcome::Failed;
    }
    return result;
}
