#pragma once

#include "gateway/store.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

namespace gateway {

// What the gateway answers to one request.
struct Reply {
    int status = 200;
    QByteArray contentType = QByteArrayLiteral("text/plain; charset=utf-8");
    QByteArray body;
};

struct ServiceConfig {
    QString channel;  // the channel settings that nosggi.pl gives: host-user:password-port
    QString sinkUser; // the account of the built-in sendsms sink
    QString sinkPass;
};

// The gateway's pages and scripts, independent of the HTTP server that carries them.
// Safe to call from many threads at once.
class Service final {
public:
    Service(Store& store, ServiceConfig config);
    // Before the server runs (the default channel needs the port that was picked).
    void setChannel(const QString& channel) { m_config.channel = channel; }

    // One GET (or HEAD) request: the decoded path and the query as it came, still encoded.
    // Never throws: a failure of the database is logged and answered with status 500.
    Reply handle(const QString& path, QByteArrayView rawQuery);

private:
    Reply dispatch(const QString& path, QByteArrayView rawQuery);
    Reply credit(QByteArrayView rawQuery);
    Reply channel(QByteArrayView rawQuery);
    Reply check(QByteArrayView rawQuery);
    Reply charge(QByteArrayView rawQuery);
    Reply sendSms(QByteArrayView rawQuery);

    Store& m_store;
    ServiceConfig m_config;
};

// Writes one line to standard error (the gateway's log).
void logLine(const QString& line);

} // namespace gateway
