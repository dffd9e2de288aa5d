// Load on quillet-gateway: starts it on a free port with a fresh database and times
//   1. CLIENTS clients, each REQUESTS credit queries on one kept-alive connection;
//   2. the same with a new connection per request;
//   3. one client handing 1,000 SMS to the sink over one connection (a list send).
// Usage: bench-gateway [--gateway PATH] [--clients N] [--requests N]
// Plain POSIX sockets, so the client side costs as little as possible.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

int connectTo(int port) {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0) {
        close(fd);
        return -1;
    }
    const int on = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof(on));
    return fd;
}

// One request and its answer; the status, 0 when the connection failed.
int exchange(int fd, const std::string& request, std::string& body) {
    if (send(fd, request.data(), request.size(), MSG_NOSIGNAL) !=
        static_cast<ssize_t>(request.size()))
        return 0;
    std::string data;
    char buffer[4096];
    std::size_t headerEnd = std::string::npos;
    std::size_t length = 0;
    while (headerEnd == std::string::npos || data.size() < headerEnd + 4 + length) {
        const ssize_t got = recv(fd, buffer, sizeof(buffer), 0);
        if (got <= 0)
            return 0;
        data.append(buffer, static_cast<std::size_t>(got));
        if (headerEnd == std::string::npos &&
            (headerEnd = data.find("\r\n\r\n")) != std::string::npos) {
            std::string headers = data.substr(0, headerEnd);
            std::transform(headers.begin(), headers.end(), headers.begin(),
                           [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
            const std::size_t at = headers.find("content-length:");
            length =
                at == std::string::npos ? 0 : std::strtoul(headers.c_str() + at + 15, nullptr, 10);
        }
    }
    body = data.substr(headerEnd + 4, length);
    return std::atoi(data.c_str() + data.find(' ') + 1);
}

std::string get(const std::string& target, bool keepAlive) {
    return "GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\n" +
           (keepAlive ? "" : "Connection: close\r\n") + "\r\n";
}

struct Result {
    double seconds = 0;
    std::vector<double> latenciesMs;
    int errors = 0;
};

// `clients` threads, each sending `requests` requests made by makeTarget(client, i).
template <typename MakeTarget>
Result load(int port, int clients, int requests, bool keepAlive, int expectedStatus,
            MakeTarget makeTarget) {
    std::vector<std::vector<double>> latencies(static_cast<std::size_t>(clients));
    std::atomic<int> errors{0};
    std::vector<std::thread> threads;
    const auto start = Clock::now();
    for (int c = 0; c < clients; ++c) {
        threads.emplace_back([&, c] {
            int fd = -1;
            std::string body;
            for (int i = 0; i < requests; ++i) {
                const auto begin = Clock::now();
                if (fd < 0)
                    fd = connectTo(port);
                if (fd < 0 ||
                    exchange(fd, get(makeTarget(c, i), keepAlive), body) != expectedStatus) {
                    ++errors;
                    if (fd >= 0)
                        close(fd);
                    fd = -1;
                    continue;
                }
                if (!keepAlive) {
                    close(fd);
                    fd = -1;
                }
                latencies[static_cast<std::size_t>(c)].push_back(
                    std::chrono::duration<double, std::milli>(Clock::now() - begin).count());
            }
            if (fd >= 0)
                close(fd);
        });
    }
    for (auto& thread : threads)
        thread.join();
    Result result;
    result.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    for (const auto& list : latencies)
        result.latenciesMs.insert(result.latenciesMs.end(), list.begin(), list.end());
    result.errors = errors;
    return result;
}

void report(const char* name, int total, Result result) {
    std::sort(result.latenciesMs.begin(), result.latenciesMs.end());
    const auto at = [&](double q) {
        return result.latenciesMs.empty() ? 0.0
                                          : result.latenciesMs[static_cast<std::size_t>(
                                                q * double(result.latenciesMs.size() - 1))];
    };
    std::printf("%-44s %6d richieste  %7.3f s  %8.0f rich/s  mediana %6.2f ms  p99 %6.2f ms  "
                "max %7.2f ms  errori %d\n",
                name, total, result.seconds, total / result.seconds, at(0.5), at(0.99),
                result.latenciesMs.empty() ? 0.0 : result.latenciesMs.back(), result.errors);
}

int run(const std::string& program, const std::vector<std::string>& args, int* stdoutFd) {
    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (const auto& arg : args)
        argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    int pipeFds[2] = {-1, -1};
    if (stdoutFd != nullptr) {
        if (pipe(pipeFds) != 0)
            return -1;
        posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
        posix_spawn_file_actions_addclose(&actions, pipeFds[0]);
    }
    pid_t pid = -1;
    const int rc = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (stdoutFd != nullptr) {
        close(pipeFds[1]);
        *stdoutFd = pipeFds[0];
    }
    return rc == 0 ? pid : -1;
}

} // namespace

int main(int argc, char** argv) {
    std::string gateway =
        (std::filesystem::path(argv[0]).parent_path() / "quillet-gateway").string();
    int clients = 8;
    int requests = 250;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string option = argv[i];
        if (option == "--gateway")
            gateway = argv[i + 1];
        else if (option == "--clients")
            clients = std::max(1, std::atoi(argv[i + 1]));
        else if (option == "--requests")
            requests = std::max(1, std::atoi(argv[i + 1]));
    }
    char folder[] = "/tmp/bench-gateway.XXXXXX";
    if (mkdtemp(folder) == nullptr) {
        std::perror("mkdtemp");
        return 1;
    }
    const std::string db = std::string(folder) + "/gateway.db";

    int status = 0;
    const int creator =
        run(gateway, {"account", "create", "--db", db, "demo", "demo", "100"}, nullptr);
    if (creator < 0 || waitpid(creator, &status, 0) < 0 || !WIFEXITED(status) ||
        WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "bench-gateway: impossibile creare l'account con %s\n",
                     gateway.c_str());
        return 1;
    }
    int out = -1;
    const int server = run(gateway, {"serve", "--db", db, "--port", "0"}, &out);
    std::string line;
    char c = 0;
    while (server > 0 && read(out, &c, 1) == 1 && c != '\n')
        line += c;
    const std::size_t colon = line.rfind(':');
    const int port = colon == std::string::npos ? 0 : std::atoi(line.c_str() + colon + 1);
    if (port <= 0) {
        std::fprintf(stderr, "bench-gateway: il gateway non è partito\n");
        return 1;
    }
    std::printf("quillet-gateway su 127.0.0.1:%d, %u processori\n", port,
                std::thread::hardware_concurrency());

    const auto credit = [](int, int) {
        return std::string("/cgi-bin/utenti/leggi.pl?utente=demo&pass=demo&datatime=1");
    };
    const int total = clients * requests;
    char name[64];
    std::snprintf(name, sizeof(name), "credito, %d client, keep-alive", clients);
    report(name, total, load(port, clients, requests, true, 200, credit));
    std::snprintf(name, sizeof(name), "credito, %d client, connessione nuova", clients);
    report(name, total, load(port, clients, requests, false, 200, credit));
    report("1.000 SMS al ricevitore, 1 client, keep-alive", 1000,
           load(port, 1, 1000, true, 202, [](int, int i) {
               return "/cgi-bin/sendsms?username=quillet&password=quillet&from=Bench&to=%2B39333" +
                      std::to_string(1000000 + i) + "&text=Messaggio%20di%20prova%20" +
                      std::to_string(i);
           }));

    kill(server, SIGTERM);
    waitpid(server, &status, 0);
    close(out);
    std::filesystem::remove_all(folder);
    return 0;
}
