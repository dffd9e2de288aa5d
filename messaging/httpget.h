#pragma once

#include <QByteArray>
#include <QNetworkAccessManager>
#include <QObject>
#include <QString>
#include <QTimer>
#include <QUrl>

#include <chrono>
#include <functional>

class QNetworkReply;

// What came of one HTTP GET.
struct HttpAnswer {
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

// HTTP GETs, one at a time, over the kept-alive connection of its own pool. Each answer goes to
// the callback given with its request, from the event loop, never before get() returns.
class HttpGet final : public QObject {
    Q_OBJECT
public:
    using Done = std::function<void(const HttpAnswer&)>;

    explicit HttpGet(QObject* parent = nullptr);
    ~HttpGet() override;

    // Starts a request; one still under way is cancelled. An answer longer than `maxBytes` (as
    // its Content-Length says, or as it arrives) is not read.
    void get(const QUrl& url, std::chrono::milliseconds timeout, qint64 maxBytes, Done done);
    // The request under way ends; its callback is never called.
    void cancel();

private:
    void refuseBeyond(qint64 bytes);
    void finish();
    HttpAnswer answer() const;

    QNetworkAccessManager m_manager;
    QNetworkReply* m_reply = nullptr;
    QTimer m_timer;
    QUrl m_url;
    qint64 m_maxBytes = 0;
    bool m_timedOut = false;
    bool m_tooLong = false;
    Done m_done;
};

// The text for the user of an answer longer than `maxBytes` from `host`.
QString tooLongText(const QString& host, qint64 maxBytes);
