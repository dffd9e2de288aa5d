#pragma once

#include "gateway/service.h"

#include <QString>

#include <atomic>
#include <memory>

namespace gateway {

// Carries the Service over HTTP/1.1 with keep-alive, on libmicrohttpd's event loops: a
// connection holds no thread while it sends its request, so slow clients cannot lock others
// out. Each request head must arrive within a deadline and within bounded memory; one address
// may hold a bounded number of connections; malformed requests get a 4xx answer and the
// connection is closed.
class HttpServer final {
public:
    explicit HttpServer(Service& service);
    ~HttpServer();
    HttpServer(const HttpServer&) = delete;
    HttpServer& operator=(const HttpServer&) = delete;

    // Starts listening; port 0 picks a free port. Returns the port. Throws GatewayError.
    int listen(const QString& address, int port);
    // Serves until stop(); then answers the requests in progress (for a few seconds at most)
    // and closes every connection. Throws GatewayError when the server cannot start.
    void run();
    // Safe from any thread; may be called before run() starts.
    void stop();

    class Connections;

private:
    Service& m_service;
    std::unique_ptr<Connections> m_connections;
    int m_listenSocket = -1;
    std::atomic<bool> m_stopRequested{false};
};

} // namespace gateway
