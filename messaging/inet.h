#pragma once

#include <QByteArray>
#include <QString>
#include <QUrl>

#include <chrono>
#include <exception>
#include <memory>

class QNetworkAccessManager;

// A request that failed in transport: time-out, connection closed mid-reply, a reply that is
// not HTTP, an address that cannot be requested. The message is Italian, for the user.
class InetError : public std::exception {
public:
    explicit InetError(const QString& message);
    QString message() const { return m_message; }
    const char* what() const noexcept override { return m_utf8.constData(); }

private:
    QString m_message;
    QByteArray m_utf8;
};

// The composer's Internet Transfer control: a synchronous HTTP GET. While it waits the
// windows stay painted and timers run, but user input to the program is held back.
// One connection pool per Inet, so the requests of one send share a kept-alive connection.
class Inet {
public:
    static constexpr std::chrono::milliseconds defaultTimeout{60000};

    Inet();
    ~Inet();
    Inet(const Inet&) = delete;
    Inet& operator=(const Inet&) = delete;

    // The reply body as text: decoded by the charset of Content-Type when it names one
    // (ISO-8859-1 and US-ASCII are read as Windows-1252), else as UTF-8 when the body is valid
    // UTF-8, else as Windows-1252.
    // - Any HTTP answer returns its body, whatever the status: a 404 or 500 page comes back
    //   as text (an empty one when the answer has no body), as the Windows control did; the
    //   caller finds it is not what it asked for.
    // - A host that cannot be reached (connection refused, host not found, network or host
    //   unreachable) returns an empty text.
    // - Throws InetError on a time-out, a connection closed before the reply was whole, a
    //   reply that is not HTTP, or an invalid address.
    // - An answer longer than `maxBytes` is not read: InetError.
    QString OpenURL(const QUrl& url, qint64 maxBytes);

    std::chrono::milliseconds timeout() const { return m_timeout; }
    void setTimeout(std::chrono::milliseconds timeout) { m_timeout = timeout; }

    // The text of a body with this Content-Type, by the rule of OpenURL.
    static QString decodeBody(const QByteArray& body, const QByteArray& contentType);

private:
    std::unique_ptr<QNetworkAccessManager> m_manager;
    std::chrono::milliseconds m_timeout = defaultTimeout;
};
