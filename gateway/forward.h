#pragma once

#include <QByteArray>
#include <QString>

#include <chrono>

namespace gateway {

// Where accepted SMS go on: a Kannel smsbox's sendsms, with the operator's own login.
struct ForwardTarget {
    QByteArray host;
    int port = 80;
    QByteArray path;  // "/cgi-bin/sendsms"
    QByteArray login; // the URL's own query, encoded: "username=U&password=P"
};

struct ForwardReply {
    enum class Outcome {
        Answered, // Kannel answered, whatever its status
        NotSent,  // no connection: the request never left
        Unknown,  // sent, but no whole answer came: the SMS may have gone
    };
    Outcome outcome = Outcome::NotSent;
    int status = 0;
    QByteArray contentType;
    QByteArray body;
    QString error;
};

// One GET of path?login&query to the target on a connection of its own; blocks the calling
// thread for at most `timeout` in all (connect, write, read), the name's lookup aside.
ForwardReply forwardGet(const ForwardTarget& target, const QByteArray& query,
                        std::chrono::milliseconds timeout);

} // namespace gateway
