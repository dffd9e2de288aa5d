#pragma once

#include <QByteArray>
#include <QString>
#include <QUrl>

#include <chrono>

class QNetworkAccessManager;

// One HTTP GET waited for in a local event loop: timers and painting go on, user input to
// the program is held back until the reply is in (QEventLoop::ExcludeUserInputEvents).
struct BlockingReply {
    enum class Outcome {
        Answered,    // the server answered, whatever its status
        Unreachable, // connection refused, host not found, network or host unreachable
        TimedOut,    // no whole reply within the time-out; the request was aborted
        Failed,      // any other transport failure (connection closed mid-reply, bad reply ...)
        TooLong,     // the answer went past the bytes allowed: not read, the request aborted
    };
    Outcome outcome = Outcome::Failed;
    int status = 0; // HTTP status when answered
    QByteArray body;
    QByteArray contentType;
    QString error; // Qt's text of the transport failure
};

// An answer longer than `maxBytes` (as its Content-Length says, or as it arrives) is not read.
BlockingReply blockingGet(QNetworkAccessManager& manager, const QUrl& url,
                          std::chrono::milliseconds timeout, qint64 maxBytes);
// The text for the user of an answer longer than `maxBytes` from `host`.
QString tooLongText(const QString& host, qint64 maxBytes);
