#include "gateway/httpserver.h"

#include "gateway/gatewayerror.h"

#include <httplib.h>

#include <sys/socket.h>

using namespace Qt::StringLiterals;

namespace gateway {

namespace {

constexpr std::size_t workerThreads = 64;
constexpr std::size_t keepAliveRequests = 100'000;
constexpr time_t keepAliveSeconds = 5;
constexpr std::size_t maxBodyBytes = 64 * 1024;

// The texts of the answers the HTTP layer gives on its own.
const char* statusText(int status) {
    switch (status) {
    case 400:
        return "Richiesta non valida";
    case 404:
        return "Pagina non trovata";
    case 405:
        return "Metodo non consentito";
    case 413:
        return "Richiesta troppo grande";
    case 414:
        return "Indirizzo troppo lungo";
    case 500:
        return "Errore interno del gateway";
    default:
        return "Richiesta non servita";
    }
}

} // namespace

// httplib listens with a backlog of 5: more clients connecting at once have their SYN dropped
// and retry a second later. This gives access to the socket to raise it.
class ListeningServer final : public httplib::Server {
public:
    void raiseBacklog() {
        if (::listen(svr_sock_, SOMAXCONN) != 0)
            logLine(u"Impossibile ampliare la coda delle connessioni in attesa"_s);
    }
};

HttpServer::HttpServer(Service& service)
    : m_service(service)
    , m_server(std::make_unique<ListeningServer>()) {
    m_server->new_task_queue = [] {
        return new httplib::ThreadPool(workerThreads);
    };
    m_server->set_keep_alive_max_count(keepAliveRequests);
    m_server->set_keep_alive_timeout(keepAliveSeconds);
    // Headers and body go out in separate writes: without this, delayed ACKs stall each answer.
    m_server->set_tcp_nodelay(true);
    m_server->set_payload_max_length(maxBodyBytes);
    // httplib's default also sets SO_REUSEPORT, which would let a second gateway listen on a
    // port that is in use and share its clients.
    m_server->set_socket_options([](socket_t socket) {
        const int on = 1;
        setsockopt(socket, SOL_SOCKET, SO_REUSEADDR, &on, sizeof(on));
    });

    m_server->Get(".*", [this](const httplib::Request& request, httplib::Response& response) {
        // The query as it came: our clients keep '+' literal, so httplib's decoded params
        // (which turn '+' into a blank) are not used.
        const QByteArrayView target(request.target.data(),
                                    static_cast<qsizetype>(request.target.size()));
        const qsizetype mark = target.indexOf('?');
        const QByteArrayView query = mark < 0 ? QByteArrayView() : target.sliced(mark + 1);
        const Reply reply = m_service.handle(QString::fromUtf8(request.path), query);
        response.status = reply.status;
        response.set_content(reply.body.constData(), static_cast<std::size_t>(reply.body.size()),
                             reply.contentType.toStdString());
    });

    // Answers of the HTTP layer itself (bad request line, unknown method, too long) get a text;
    // ours already have one.
    const httplib::Server::HandlerWithResponse errorHandler = [](const httplib::Request&,
                                                                 httplib::Response& response) {
        if (!response.body.empty())
            return httplib::Server::HandlerResponse::Unhandled;
        response.set_content(statusText(response.status), "text/plain; charset=utf-8");
        return httplib::Server::HandlerResponse::Handled;
    };
    m_server->set_error_handler(errorHandler);

    m_server->set_exception_handler(
        [](const httplib::Request& request, httplib::Response& response, std::exception_ptr error) {
            QString what = u"eccezione sconosciuta"_s;
            try {
                std::rethrow_exception(error);
            } catch (const std::exception& e) {
                what = QString::fromLocal8Bit(e.what());
            } catch (...) {
            }
            logLine(u"Errore su %1: %2"_s.arg(QString::fromUtf8(request.path), what));
            response.status = 500;
            response.set_content(statusText(500), "text/plain; charset=utf-8");
        });
}

HttpServer::~HttpServer() = default;

int HttpServer::listen(const QString& address, int port) {
    const std::string host = address.toStdString();
    const int bound = port == 0 ? m_server->bind_to_any_port(host)
                                : (m_server->bind_to_port(host, port) ? port : -1);
    if (bound <= 0)
        throw GatewayError(u"Impossibile mettersi in ascolto su %1:%2"_s.arg(address).arg(port));
    m_server->raiseBacklog();
    return bound;
}

void HttpServer::run() {
    if (!m_stopRequested)
        m_server->listen_after_bind();
}

void HttpServer::stop() {
    m_stopRequested = true;
    m_server->stop();
}

} // namespace gateway
