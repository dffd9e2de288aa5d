#pragma once

#include "messaging/httpget.h"

#include <QByteArray>
#include <QString>
#include <QUrl>

#include <chrono>
#include <functional>

// The composer's Internet Transfer control: HTTP GETs to the service, one at a time, each
// answered to its callback from the event loop. The requests of one Inet share a kept-alive
// connection.
class Inet {
public:
    static constexpr std::chrono::milliseconds defaultTimeout{60000};

    // The reply body as text: decoded by the charset of Content-Type when it names one
    // (ISO-8859-1 and US-ASCII are read as Windows-1252), else as UTF-8 when the body is valid
    // UTF-8, else as Windows-1252.
    // - Any HTTP answer gives its body, whatever the status: a 404 or 500 page comes back as
    //   text (an empty one when the answer has no body), as the Windows control did; the
    //   caller finds it is not what it asked for.
    // - A host that cannot be reached (connection refused, host not found, network or host
    //   unreachable) gives an empty text.
    // - A time-out, a connection closed before the reply was whole, a reply that is not HTTP,
    //   an invalid address or an answer longer than the bytes allowed give a failure: an
    //   Italian message for the user.
    struct Reply {
        QString text;
        QString failure;
        bool failed() const { return !failure.isEmpty(); }
    };
    using Done = std::function<void(const Reply&)>;

    // Starts a request; one still under way is cancelled.
    void OpenURL(const QUrl& url, qint64 maxBytes, Done done);
    // The request under way ends; its callback is never called.
    void cancel() {
        ++m_requests;
        m_http.cancel();
    }

    std::chrono::milliseconds timeout() const { return m_timeout; }
    void setTimeout(std::chrono::milliseconds timeout) { m_timeout = timeout; }

    // The text of a body with this Content-Type, by the rule of OpenURL.
    static QString decodeBody(const QByteArray& body, const QByteArray& contentType);

private:
    HttpGet m_http;
    int m_requests = 0; // an answer counts only for the latest request
    std::chrono::milliseconds m_timeout = defaultTimeout;
};
