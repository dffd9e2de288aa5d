#include "gateway/forward.h"

#include <QList>

#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace gateway {

namespace {

class Socket final {
public:
    explicit Socket(int fd)
        : m_fd(fd) {}
    ~Socket() {
        if (m_fd >= 0)
            close(m_fd);
    }
    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;
    int fd() const { return m_fd; }

private:
    int m_fd;
};

QString systemError() {
    return QString::fromLocal8Bit(std::strerror(errno));
}

using Clock = std::chrono::steady_clock;

// Waits until the socket is ready for `events` or the deadline passes; false on time-out (with
// `error` set).
bool waitFor(int fd, short events, Clock::time_point deadline, QString& error) {
    while (true) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) {
            error = QStringLiteral("nessuna risposta entro il tempo limite");
            return false;
        }
        pollfd item{fd, events, 0};
        const int ready = poll(&item, 1, static_cast<int>(left.count()));
        if (ready > 0)
            return true;
        if (ready < 0 && errno != EINTR) {
            error = systemError();
            return false;
        }
    }
}

// Connects to the first address of host:port that answers before the deadline; -1 with
// `error` set otherwise.
int connectTo(const ForwardTarget& target, Clock::time_point deadline, QString& error) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    const int lookup =
        getaddrinfo(target.host.constData(), QByteArray::number(target.port), &hints, &found);
    if (lookup != 0) {
        error = QString::fromLocal8Bit(gai_strerror(lookup));
        return -1;
    }
    int fd = -1;
    for (addrinfo* at = found; at != nullptr && fd < 0; at = at->ai_next) {
        fd = socket(at->ai_family, at->ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK, at->ai_protocol);
        if (fd < 0)
            continue;
        bool connected = connect(fd, at->ai_addr, at->ai_addrlen) == 0;
        if (!connected && errno == EINPROGRESS && waitFor(fd, POLLOUT, deadline, error)) {
            int failure = 0;
            socklen_t size = sizeof(failure);
            getsockopt(fd, SOL_SOCKET, SO_ERROR, &failure, &size);
            connected = failure == 0;
            if (!connected)
                error = QString::fromLocal8Bit(std::strerror(failure));
        } else if (!connected && errno != EINPROGRESS) {
            error = systemError();
        }
        if (!connected) {
            close(fd);
            fd = -1;
        }
    }
    freeaddrinfo(found);
    return fd;
}

// The value of a header of the head (lower-case name with its ':'), empty when absent.
QByteArray header(const QByteArray& head, const QByteArray& name) {
    for (const QByteArray& line : head.split('\n')) {
        if (line.toLower().startsWith(name))
            return line.mid(name.size()).trimmed();
    }
    return {};
}

} // namespace

ForwardReply forwardGet(const ForwardTarget& target, const QByteArray& query,
                        std::chrono::milliseconds timeout) {
    // One deadline for the whole exchange: connect, write, read.
    const auto deadline = Clock::now() + timeout;
    ForwardReply reply;
    const Socket socket(connectTo(target, deadline, reply.error));
    if (socket.fd() < 0)
        return reply;

    QByteArray request = "GET " + target.path + '?' + target.login;
    if (!query.isEmpty())
        request += '&' + query;
    request += " HTTP/1.1\r\nHost: " + target.host + "\r\nConnection: close\r\n\r\n";
    for (qsizetype sent = 0; sent < request.size();) {
        // Part of it may have gone: Kannel acts only on a whole head, but say so.
        reply.outcome = sent == 0 ? ForwardReply::Outcome::NotSent : ForwardReply::Outcome::Unknown;
        if (!waitFor(socket.fd(), POLLOUT, deadline, reply.error))
            return reply;
        const ssize_t n = send(socket.fd(), request.constData() + sent,
                               static_cast<size_t>(request.size() - sent), MSG_NOSIGNAL);
        if (n < 0 && (errno == EAGAIN || errno == EINTR))
            continue;
        if (n <= 0) {
            reply.error = systemError();
            return reply;
        }
        sent += n;
    }

    reply.outcome = ForwardReply::Outcome::Unknown;
    QByteArray data;
    char buffer[4096];
    qsizetype headEnd = -1;
    qint64 length = -1;
    while (headEnd < 0 || length < 0 || data.size() < headEnd + 4 + length) {
        if (!waitFor(socket.fd(), POLLIN, deadline, reply.error))
            return reply;
        const ssize_t n = recv(socket.fd(), buffer, sizeof(buffer), 0);
        if (n < 0 && (errno == EAGAIN || errno == EINTR))
            continue;
        if (n < 0) {
            reply.error = systemError();
            return reply;
        }
        if (n == 0)
            break; // closed: the body ends here when no length was given
        data.append(buffer, n);
        if (data.size() > 1'000'000) {
            reply.error = QStringLiteral("risposta troppo lunga");
            return reply;
        }
        if (headEnd < 0 && (headEnd = data.indexOf("\r\n\r\n")) >= 0) {
            const QByteArray value = header(data.left(headEnd), "content-length:");
            bool ok = false;
            length = value.toLongLong(&ok);
            if (!ok)
                length = -1;
        }
    }
    const int status = headEnd < 0 ? 0 : data.mid(data.indexOf(' ') + 1, 3).toInt();
    if (status < 100 || (length >= 0 && data.size() < headEnd + 4 + length)) {
        reply.error = QStringLiteral("risposta incompleta");
        return reply;
    }
    reply.outcome = ForwardReply::Outcome::Answered;
    reply.status = status;
    reply.contentType = header(data.left(headEnd), "content-type:");
    reply.body = data.mid(headEnd + 4, length);
    return reply;
}

} // namespace gateway
