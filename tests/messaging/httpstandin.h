#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QTcpServer>
#include <QTcpSocket>

#include <memory>
#include <utility>

// A scripted HTTP/1.1 server on 127.0.0.1 in the test's own thread: it answers every request
// the same way, keeps connections alive, and records what came in.
class HttpStandIn {
public:
    enum class Kind {
        Reply,        // status, content type, body, Content-Length
        Silent,       // reads the request, never answers
        CloseMidBody, // headers promising more body than is sent, then closes
        Stream,       // the body without Content-Length, 64 KB at a time as the client takes
                      // it, then closes
    };
    struct Answer {
        Kind kind = Kind::Reply;
        int status = 200;
        QByteArray contentType = "text/plain";
        QByteArray body;
    };

    HttpStandIn() {
        QObject::connect(&m_server, &QTcpServer::newConnection, &m_server, [this] { accept(); });
        m_server.listen(QHostAddress::LocalHost);
    }

    quint16 port() const { return m_server.serverPort(); }
    QString servizio() const { return QStringLiteral("127.0.0.1:") + QString::number(port()); }
    void setAnswer(const Answer& answer) { m_answer = answer; }
    // Requests whose target contains `fragment` get this answer instead; the route set last
    // wins, and replaces an earlier one for the same fragment.
    void route(const QByteArray& fragment, const Answer& answer) {
        m_routes.removeIf([&](const auto& r) { return r.first == fragment; });
        m_routes.prepend({fragment, answer});
    }
    // Request targets ("/path?query") as they arrived.
    const QList<QByteArray>& targets() const { return m_targets; }

private:
    void accept() {
        while (QTcpSocket* socket = m_server.nextPendingConnection()) {
            auto buffer = std::make_shared<QByteArray>();
            QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket, buffer] {
                *buffer += socket->readAll();
                for (qsizetype end; (end = buffer->indexOf("\r\n\r\n")) >= 0;) {
                    m_targets.append(buffer->left(buffer->indexOf("\r\n")).split(' ').value(1));
                    buffer->remove(0, end + 4);
                    answer(socket);
                }
            });
            QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        }
    }

    void answer(QTcpSocket* socket) {
        Answer chosen = m_answer;
        for (const auto& [fragment, routed] : m_routes)
            if (m_targets.last().contains(fragment)) {
                chosen = routed;
                break;
            }
        const QByteArray status = "HTTP/1.1 " + QByteArray::number(chosen.status) + " Status\r\n";
        if (chosen.kind == Kind::Reply) {
            socket->write(status + "Content-Type: " + chosen.contentType + "\r\nContent-Length: " +
                          QByteArray::number(chosen.body.size()) + "\r\n\r\n" + chosen.body);
        } else if (chosen.kind == Kind::Stream) {
            socket->write(status + "Content-Type: " + chosen.contentType +
                          "\r\nConnection: close\r\n\r\n");
            auto sent = std::make_shared<qsizetype>(0);
            const auto more = [socket, sent, body = chosen.body] {
                if (socket->bytesToWrite() > 0)
                    return;
                if (*sent >= body.size())
                    return socket->disconnectFromHost();
                socket->write(body.mid(*sent, 1 << 16));
                *sent += 1 << 16;
            };
            QObject::connect(socket, &QTcpSocket::bytesWritten, socket, more);
            more();
        } else if (chosen.kind == Kind::CloseMidBody) {
            socket->write(status + "Content-Length: 100\r\n\r\n0123456789");
            socket->flush();
            socket->disconnectFromHost();
        }
    }

    QTcpServer m_server;
    Answer m_answer;
    QList<std::pair<QByteArray, Answer>> m_routes;
    QList<QByteArray> m_targets;
};
