#pragma once

#include "gateway/service.h"

#include <QString>

#include <atomic>
#include <memory>

namespace gateway {

class ListeningServer;

// Carries the Service over HTTP/1.1 with keep-alive, one worker thread per open connection
// (up to a pool's size). Robust against malformed requests: they get a 4xx answer.
class HttpServer final {
public:
    explicit HttpServer(Service& service);
    ~HttpServer();
    HttpServer(const HttpServer&) = delete;
    HttpServer& operator=(const HttpServer&) = delete;

    // Starts listening; port 0 picks a free port. Returns the port. Throws GatewayError.
    int listen(const QString& address, int port);
    // Serves until stop(); returns when the workers are done.
    void run();
    // Safe from any thread; may be called before run() starts.
    void stop();

private:
    Service& m_service;
    std::unique_ptr<ListeningServer> m_server;
    std::atomic<bool> m_stopRequested{false};
};

} // namespace gateway
