#include "gateway/httpserver.h"

#include "gateway/gatewayerror.h"

#include <QThreadPool>

#include <microhttpd.h>

#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <set>
#include <string>
#include <thread>

using namespace Qt::StringLiterals;

namespace gateway {

namespace {

using Clock = std::chrono::steady_clock;

constexpr unsigned eventThreads = 4;
// With `connectionMemory`, at most 64 MB of request heads.
constexpr unsigned maxConnections = 2000;
constexpr unsigned maxConnectionsPerAddress = 128;
// What one connection may hold of a request head (request line and headers): beyond it the
// answer is 414 or 431.
constexpr std::size_t connectionMemory = 32 * 1024;
constexpr int maxHeaderLines = 100;
// From a connection's start, or the end of its previous answer, to the end of the next request
// head; a connection that sends nothing for this long is closed too.
constexpr auto headDeadline = std::chrono::seconds(5);
constexpr unsigned idleSeconds = 5;
// On stop: how long requests in progress may take to be answered, and how long a connection
// must stay quiet after an answer before it is taken as done (a pipelined request follows
// its predecessor's answer at once).
constexpr auto stopGrace = std::chrono::seconds(3);
constexpr auto settleTime = std::chrono::milliseconds(200);
constexpr std::size_t streamBlock = 32 * 1024;
// Handlers run on workers, never on the event loops: sendsms on workers of their own (a forward
// to Kannel may take its whole deadline), the rest on the others.
constexpr int sendWorkers = 64;
constexpr int otherWorkers = 16;

const char* statusText(int status) {
    switch (status) {
    case 405:
        return "Metodo non consentito";
    case 408:
        return "Richiesta non arrivata in tempo";
    case 413:
        return "Richiesta con contenuto non accettata";
    case 431:
        return "Intestazioni troppo grandi";
    case 503:
        return "Gateway in arresto";
    default:
        return "Errore interno del gateway";
    }
}

// One open TCP connection.
struct Connection {
    int fd = -1;
    bool handling = false;       // from the handler's call to the end of the answer
    bool cut = false;            // shut down by us; the event loop closes it
    Clock::time_point deadline;  // for the next request head, while not handling
    Clock::time_point idleSince; // the end of the previous answer, or the start
    std::string target;          // the raw target of the request being read
};

// One request between its head and its answer: handled on a worker while the connection is
// suspended, answered when the event loop resumes it.
struct Job {
    bool started = false;
    Reply reply;
};

// Hands a streamed body to the event loop a piece at a time.
struct Stream {
    std::function<QByteArray()> next;
    QByteArray piece;
    qsizetype offset = 0;
};

ssize_t readStream(void* cls, uint64_t, char* buffer, size_t max) {
    auto* stream = static_cast<Stream*>(cls);
    try {
        while (stream->offset == stream->piece.size()) {
            stream->piece = stream->next();
            stream->offset = 0;
            if (stream->piece.isEmpty())
                return MHD_CONTENT_READER_END_OF_STREAM;
        }
    } catch (const std::exception& error) {
        logLine(
            u"Errore durante l'invio di un elenco: %1"_s.arg(QString::fromLocal8Bit(error.what())));
        return MHD_CONTENT_READER_END_WITH_ERROR;
    }
    const auto count = std::min(static_cast<qsizetype>(max), stream->piece.size() - stream->offset);
    std::memcpy(buffer, stream->piece.constData() + stream->offset,
                static_cast<std::size_t>(count));
    stream->offset += count;
    return count;
}

void freeStream(void* cls) {
    delete static_cast<Stream*>(cls);
}

// A GET with content: never read, so that a slow body cannot hold a connection either.
bool hasBody(MHD_Connection* connection) {
    const char* length =
        MHD_lookup_connection_value(connection, MHD_HEADER_KIND, MHD_HTTP_HEADER_CONTENT_LENGTH);
    return (length != nullptr && std::strtoull(length, nullptr, 10) != 0) ||
           MHD_lookup_connection_value(connection, MHD_HEADER_KIND,
                                       MHD_HTTP_HEADER_TRANSFER_ENCODING) != nullptr;
}

Connection* connectionState(MHD_Connection* connection) {
    const MHD_ConnectionInfo* info =
        MHD_get_connection_info(connection, MHD_CONNECTION_INFO_SOCKET_CONTEXT);
    return info == nullptr ? nullptr : static_cast<Connection*>(info->socket_context);
}

// Cuts a connection that is not being answered: a request head that has begun gets `status`
// (408 late, 503 stopping) first; nothing else writes to the socket between answers.
void cut(Connection& connection, int status) {
    if (connection.cut)
        return;
    if (!connection.target.empty()) {
        const std::string text = statusText(status);
        const std::string answer = "HTTP/1.1 " + std::to_string(status) +
                                   (status == 408 ? " Request Timeout" : " Service Unavailable") +
                                   "\r\nConnection: close\r\nContent-Type: text/plain; "
                                   "charset=utf-8\r\nContent-Length: " +
                                   std::to_string(text.size()) + "\r\n\r\n" + text;
        [[maybe_unused]] const ssize_t sent =
            ::send(connection.fd, answer.data(), answer.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
    }
    ::shutdown(connection.fd, SHUT_RDWR);
    connection.cut = true;
}

// Room for every connection's socket.
void raiseFileLimit() {
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0)
        return;
    const rlim_t wanted = std::min<rlim_t>(limit.rlim_max, maxConnections + 256);
    if (limit.rlim_cur < wanted) {
        limit.rlim_cur = wanted;
        setrlimit(RLIMIT_NOFILE, &limit);
    }
}

} // namespace

// The server's state shared with libmicrohttpd's callbacks.
class HttpServer::Connections final {
public:
    explicit Connections(Service& service)
        : m_service(service) {
        m_sendPool.setMaxThreadCount(sendWorkers);
        m_otherPool.setMaxThreadCount(otherWorkers);
    }

    static MHD_Result answer(void* cls, MHD_Connection* connection, const char* url,
                             const char* method, const char*, const char*, size_t* uploadSize,
                             void** request);
    static void completed(void* cls, MHD_Connection* connection, void**,
                          MHD_RequestTerminationCode);
    static void* requestLine(void* cls, const char* uri, MHD_Connection* connection);
    static void notify(void* cls, MHD_Connection* connection, void** socketContext,
                       MHD_ConnectionNotificationCode code);

    // Closes the connections whose request head is late, until stop.
    void watch();
    // Answers what is in progress, closes the rest; returns when done or after the grace time.
    void drain();
    void requestStop() {
        {
            std::lock_guard lock(m_mutex);
            m_stopping = true;
        }
        m_wake.notify_all();
    }
    bool stopping() {
        std::lock_guard lock(m_mutex);
        return m_stopping;
    }

    // Waits for the handlers still running (each ends within its own deadline).
    void finishWork() {
        m_sendPool.waitForDone();
        m_otherPool.waitForDone();
    }

private:
    // Hands the request to a worker; the connection waits, suspended, for its answer.
    void start(MHD_Connection* connection, Job& job, const char* url, Connection* state);
    static MHD_Result queue(MHD_Connection* connection, Reply& reply);

    Service& m_service;
    QThreadPool m_sendPool;
    QThreadPool m_otherPool;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_stopping = false;
    std::set<Connection*> m_open;
};

void HttpServer::Connections::start(MHD_Connection* connection, Job& job, const char* url,
                                    Connection* state) {
    job.started = true;
    std::string target;
    if (state != nullptr) {
        std::lock_guard lock(m_mutex);
        target = state->target;
    }
    const MHD_ConnectionInfo* info =
        MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CLIENT_ADDRESS);
    QHostAddress client;
    if (info != nullptr && info->client_addr != nullptr)
        client = QHostAddress(info->client_addr);
    const char* authorization =
        MHD_lookup_connection_value(connection, MHD_HEADER_KIND, MHD_HTTP_HEADER_AUTHORIZATION);
    QString path = QString::fromUtf8(url);
    QThreadPool& pool = path == u"/cgi-bin/sendsms" ? m_sendPool : m_otherPool;
    MHD_suspend_connection(connection);
    pool.start([this, connection, &job, path = std::move(path), target = std::move(target),
                client = std::move(client),
                authorization = QByteArray(authorization == nullptr ? "" : authorization)] {
        // The query as it came: our clients keep '+' literal, so it is decoded by the Service.
        const std::size_t mark = target.find('?');
        const QByteArrayView query =
            mark == std::string::npos
                ? QByteArrayView()
                : QByteArrayView(target.data() + mark + 1,
                                 static_cast<qsizetype>(target.size() - mark - 1));
        try {
            job.reply = m_service.handle(path, query, client, authorization);
        } catch (const std::exception& error) {
            logLine(u"Errore su %1: %2"_s.arg(path, QString::fromLocal8Bit(error.what())));
            job.reply = Reply();
            job.reply.status = 500;
            job.reply.body = statusText(500);
        }
        MHD_resume_connection(connection);
    });
}

MHD_Result HttpServer::Connections::answer(void* cls, MHD_Connection* connection, const char* url,
                                           const char* method, const char*, const char*,
                                           size_t* uploadSize, void** request) {
    auto* self = static_cast<Connections*>(cls);
    Connection* state = connectionState(connection);
    if (*request == nullptr) {
        // The head is complete. A request refused for its head is answered at once (its body
        // is never read, so the connection closes); the others on the next call.
        auto* job = new Job;
        *request = job;
        if (state != nullptr) {
            std::lock_guard lock(self->m_mutex);
            state->handling = true;
        }
        if (MHD_get_connection_values(connection, MHD_HEADER_KIND, nullptr, nullptr) >
            maxHeaderLines)
            job->reply.status = 431;
        else if (std::strcmp(method, "GET") != 0 && std::strcmp(method, "HEAD") != 0)
            job->reply.status = 405;
        else if (hasBody(connection))
            job->reply.status = 413;
        else
            return MHD_YES;
        job->reply.body = statusText(job->reply.status);
        return queue(connection, job->reply);
    }
    auto* job = static_cast<Job*>(*request);
    if (*uploadSize != 0) {
        *uploadSize = 0;
        return MHD_YES;
    }
    if (job->started) // resumed: the worker has the answer
        return queue(connection, job->reply);
    if (self->stopping()) {
        job->reply.status = 503;
        job->reply.body = statusText(503);
        return queue(connection, job->reply);
    }
    self->start(connection, *job, url, state);
    return MHD_YES;
}

MHD_Result HttpServer::Connections::queue(MHD_Connection* connection, Reply& reply) {
    MHD_Response* response = nullptr;
    if (reply.stream) {
        response = MHD_create_response_from_callback(MHD_SIZE_UNKNOWN, streamBlock, &readStream,
                                                     new Stream{std::move(reply.stream), {}, 0},
                                                     &freeStream);
    } else {
        response = MHD_create_response_from_buffer(static_cast<size_t>(reply.body.size()),
                                                   const_cast<char*>(reply.body.constData()),
                                                   MHD_RESPMEM_MUST_COPY);
    }
    if (response == nullptr)
        return MHD_NO;
    MHD_add_response_header(response, MHD_HTTP_HEADER_CONTENT_TYPE, reply.contentType.constData());
    for (const auto& [name, value] : reply.headers)
        MHD_add_response_header(response, name.constData(), value.constData());
    // After a refused head, or when stopping, the connection ends with the answer.
    if (reply.status == 431 || reply.status == 405 || reply.status == 413 || reply.status == 503)
        MHD_add_response_header(response, MHD_HTTP_HEADER_CONNECTION, "close");
    const MHD_Result queued =
        MHD_queue_response(connection, static_cast<unsigned>(reply.status), response);
    MHD_destroy_response(response);
    return queued;
}

void HttpServer::Connections::completed(void* cls, MHD_Connection* connection, void** request,
                                        MHD_RequestTerminationCode) {
    delete static_cast<Job*>(*request);
    *request = nullptr;
    auto* self = static_cast<Connections*>(cls);
    Connection* state = connectionState(connection);
    if (state == nullptr)
        return;
    std::lock_guard lock(self->m_mutex);
    state->handling = false;
    state->target.clear();
    state->idleSince = Clock::now();
    state->deadline = state->idleSince + headDeadline;
}

void* HttpServer::Connections::requestLine(void* cls, const char* uri, MHD_Connection* connection) {
    auto* self = static_cast<Connections*>(cls);
    if (Connection* state = connectionState(connection)) {
        std::lock_guard lock(self->m_mutex);
        state->target = uri;
    }
    return nullptr;
}

void HttpServer::Connections::notify(void* cls, MHD_Connection* connection, void** socketContext,
                                     MHD_ConnectionNotificationCode code) {
    auto* self = static_cast<Connections*>(cls);
    std::lock_guard lock(self->m_mutex);
    if (code == MHD_CONNECTION_NOTIFY_STARTED) {
        auto* state = new Connection;
        const MHD_ConnectionInfo* info =
            MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CONNECTION_FD);
        state->fd = info == nullptr ? -1 : info->connect_fd;
        state->idleSince = Clock::now();
        state->deadline = state->idleSince + headDeadline;
        *socketContext = state;
        self->m_open.insert(state);
        if (self->m_stopping)
            cut(*state, 503);
        return;
    }
    // Closed: libmicrohttpd closes the socket after this returns, so cut() never meets a
    // reused descriptor.
    auto* state = static_cast<Connection*>(*socketContext);
    self->m_open.erase(state);
    delete state;
    *socketContext = nullptr;
}

void HttpServer::Connections::watch() {
    std::unique_lock lock(m_mutex);
    while (!m_stopping) {
        m_wake.wait_for(lock, std::chrono::milliseconds(100));
        const auto now = Clock::now();
        for (Connection* connection : m_open) {
            if (!connection->handling && connection->deadline <= now)
                cut(*connection, 408);
        }
    }
}

void HttpServer::Connections::drain() {
    const auto end = Clock::now() + stopGrace;
    std::unique_lock lock(m_mutex);
    while (true) {
        const auto now = Clock::now();
        bool busy = false;
        for (Connection* connection : m_open) {
            if (connection->handling || now - connection->idleSince < settleTime)
                busy = true;
            else
                cut(*connection, 503);
        }
        if (!busy || now >= end)
            return;
        m_wake.wait_for(lock, std::chrono::milliseconds(20));
    }
}

HttpServer::HttpServer(Service& service)
    : m_service(service)
    , m_connections(std::make_unique<Connections>(service)) {}

HttpServer::~HttpServer() {
    if (m_listenSocket >= 0)
        ::close(m_listenSocket);
}

int HttpServer::listen(const QString& address, int port) {
    const QString failure = u"Impossibile mettersi in ascolto su %1:%2"_s.arg(address).arg(port);
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE;
    addrinfo* found = nullptr;
    if (getaddrinfo(address.toUtf8().constData(), std::to_string(port).c_str(), &hints, &found) !=
        0)
        throw GatewayError(failure);
    int fd = -1;
    for (addrinfo* candidate = found; candidate != nullptr && fd < 0;
         candidate = candidate->ai_next) {
        fd = ::socket(candidate->ai_family, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        if (fd < 0)
            continue;
        // No SO_REUSEPORT: a second gateway on a port in use fails instead of sharing it.
        const int on = 1;
        setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof(on));
        if (::bind(fd, candidate->ai_addr, candidate->ai_addrlen) != 0 ||
            ::listen(fd, SOMAXCONN) != 0) {
            ::close(fd);
            fd = -1;
        }
    }
    freeaddrinfo(found);
    if (fd < 0)
        throw GatewayError(failure);
    sockaddr_storage bound{};
    socklen_t length = sizeof(bound);
    getsockname(fd, reinterpret_cast<sockaddr*>(&bound), &length);
    m_listenSocket = fd;
    const in_port_t netPort = bound.ss_family == AF_INET6
                                  ? reinterpret_cast<sockaddr_in6*>(&bound)->sin6_port
                                  : reinterpret_cast<sockaddr_in*>(&bound)->sin_port;
    return ntohs(netPort);
}

void HttpServer::run() {
    if (m_stopRequested || m_listenSocket < 0)
        return;
    raiseFileLimit();
    Connections* connections = m_connections.get();
    // clang-format off
    MHD_Daemon* daemon = MHD_start_daemon(
        MHD_USE_EPOLL_INTERNAL_THREAD | MHD_USE_ITC | MHD_ALLOW_SUSPEND_RESUME, 0, nullptr, nullptr,
        &Connections::answer, connections,
        MHD_OPTION_LISTEN_SOCKET, m_listenSocket,
        MHD_OPTION_THREAD_POOL_SIZE, eventThreads,
        MHD_OPTION_CONNECTION_LIMIT, maxConnections,
        MHD_OPTION_PER_IP_CONNECTION_LIMIT, maxConnectionsPerAddress,
        MHD_OPTION_CONNECTION_MEMORY_LIMIT, connectionMemory,
        MHD_OPTION_CONNECTION_TIMEOUT, idleSeconds,
        MHD_OPTION_NOTIFY_COMPLETED, &Connections::completed, connections,
        MHD_OPTION_URI_LOG_CALLBACK, &Connections::requestLine, connections,
        MHD_OPTION_NOTIFY_CONNECTION, &Connections::notify, connections,
        MHD_OPTION_END);
    // clang-format on
    if (daemon == nullptr)
        throw GatewayError(u"Impossibile avviare il server HTTP"_s);
    const int listenSocket = m_listenSocket;
    m_listenSocket = -1; // the daemon's now
    if (m_stopRequested)
        connections->requestStop();
    connections->watch();

    // No new connections; what is in progress is answered, the rest closed.
    const MHD_socket returned = MHD_quiesce_daemon(daemon);
    if (returned == listenSocket)
        ::close(returned);
    connections->drain();
    // A suspended connection must be resumed before the daemon stops.
    connections->finishWork();
    MHD_stop_daemon(daemon);
}

void HttpServer::stop() {
    m_stopRequested = true;
    m_connections->requestStop();
}

} // namespace gateway
