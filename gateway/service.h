#pragma once

#include "gateway/forward.h"
#include "gateway/logins.h"
#include "gateway/loginthrottle.h"
#include "gateway/query.h"
#include "gateway/reply.h"
#include "gateway/store.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QHostAddress>
#include <QString>

#include <QHash>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <optional>

namespace gateway {

struct ServiceConfig {
    // The channel settings that nosggi.pl gives, host-user:password-port; empty for the
    // built-in sendsms sink, where each account sends as itself.
    QString channel;
    // The operator's login: an extra sendsms account of the sink, without a default sender, and
    // the login of the sink's pages. Empty: none.
    QString sinkUser;
    QString sinkPass;
    // Accounts may send as anyone; otherwise as their default sender or those the operator
    // allowed them.
    bool freeSenders = false;
    qint64 sinkKeep = 10'000; // the sink's newest messages kept; older ones are dropped
    // The parts of a long text the SMS centre sends (Kannel's max-messages); a text that needs
    // more is refused.
    int maxParts = 3;
    // Where the accounts' SMS go on (a Kannel smsbox); none: they stay in the sink.
    std::optional<ForwardTarget> forward;
    // http://HOST:PORT where Kannel calls with delivery reports; empty: the sink's address.
    QString dlrBase;
    // Who may call with delivery reports (Kannel's host); the others are refused.
    QList<QHostAddress> dlrAllow;
};

// The gateway's pages and scripts, independent of the HTTP server that carries them.
// Safe to call from many threads at once.
class Service final {
public:
    Service(Store& store, ServiceConfig config);
    // Where the built-in sink listens; set before the server runs (the port may be picked).
    void setSink(const QString& host, int port) {
        m_sinkHost = host;
        m_sinkPort = port;
    }

    // One GET (or HEAD) request: the decoded path and the query as it came, still encoded, from
    // this client, with its Authorization header. Never throws: a failure of the database is
    // logged and answered with 500. May block for a few seconds (a forward to Kannel): call it
    // off any event loop.
    Reply handle(const QString& path, QByteArrayView rawQuery, const QHostAddress& client = {},
                 QByteArrayView authorization = {});
    // Forgets the SMS keys and delivery reports older than 90 days; handle() repeats it once an
    // hour.
    void dropOldReports();

private:
    Reply dispatch(const QString& path, QByteArrayView rawQuery, const QHostAddress& client,
                   QByteArrayView authorization);
    Reply credit(QByteArrayView rawQuery, const QHostAddress& client);
    Reply channel(QByteArrayView rawQuery, const QHostAddress& client);
    Reply check(QByteArrayView rawQuery, const QHostAddress& client);
    Reply charge(QByteArrayView rawQuery, const QHostAddress& client);
    Reply sendSms(QByteArrayView rawQuery, const QHostAddress& client);
    Reply sendStatus(QByteArrayView rawQuery, const QHostAddress& client);
    Reply deliveryReport(QByteArrayView rawQuery, const QHostAddress& client);
    Reply deliveryStates(QByteArrayView rawQuery, const QHostAddress& client);
    // Who a request's login is: an account, the sink user, nobody (a wrong login), or a client
    // refused for failing too many.
    struct Login {
        std::optional<Account> account;
        bool sinkUser = false;
        int retryAfter = 0; // > 0: too many failed logins; the seconds to wait
        bool good() const { return account || sinkUser; }
    };
    enum class SinkUser { Refused, Allowed };
    Login login(const QString& user, const QString& password, const QHostAddress& client,
                SinkUser sinkUser = SinkUser::Refused);
    Login sinkLogin(const QueryString& query, const QHostAddress& client);
    bool isSinkUser(const QString& user, const QString& pass) const;
    std::optional<Reply> operatorRefusal(QByteArrayView authorization, const QHostAddress& client);
    Reply forward(const QString& payer, const QString& sender, const QList<SinkMessage>& sms);
    Reply sinkListing();
    Reply sinkPage();

    Store& m_store;
    ServiceConfig m_config;
    Logins m_logins;
    LoginThrottle m_throttle;
    QString m_sinkHost;
    int m_sinkPort = 0;
    std::atomic<qint64> m_nextDrop{0}; // steady-clock ms

    // The references of the sendsms requests being handled: sendsms-status waits for them, so
    // a client that restarts at once after a crash hears of the SMS it was handing over.
    class InFlight;
    std::mutex m_inFlightMutex;
    std::condition_variable m_inFlightDone;
    QHash<QString, int> m_inFlight;
};

// Writes one line to standard error (the gateway's log).
void logLine(const QString& line);

} // namespace gateway
