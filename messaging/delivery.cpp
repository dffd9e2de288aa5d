#include "messaging/delivery.h"

#include "core/session.h"
#include "messaging/account.h"
#include "messaging/httpget.h"
#include "messaging/inet.h"
#include "platform/clock.h"
#include "store/database.h"
#include "store/sendreport.h"
#include "store/storeerror.h"

#include <QFileInfo>

#include <exception>
#include <optional>

namespace delivery {

namespace {

std::optional<gatewayrequests::Account> accountOf(const Session& session) {
    const auto fields = account::read(session.appFolder);
    return fields ? account::complete(*fields) : std::nullopt;
}

void askIn(HttpGet& http, const Session& session, const QString& bookPath,
           const std::function<QStringList(store::Database&)>& keysOf, Done done) {
    const auto account = accountOf(session);
    if (!account || !QFileInfo(bookPath).isFile())
        return done(0);
    QStringList keys;
    try {
        keys = keysOf(*store::Database::open(bookPath));
    } catch (const std::exception&) {
        return done(0);
    }
    ask(http, session.service, *account, bookPath, keys, std::move(done));
}

// The states of keys[from...], asked after `changed` lines were written.
void askFrom(HttpGet& http, const QString& servizio, const gatewayrequests::Account& account,
             const QString& bookPath, const QStringList& keys, qsizetype from, int changed,
             Done done) {
    if (from >= keys.size())
        return done(changed);
    const QStringList asked = keys.mid(from, gatewayrequests::maxStateKeys);
    http.get(gatewayrequests::statesRequest(servizio, account, asked), Inet::defaultTimeout,
             gatewayrequests::statesAnswerBytes,
             [&http, servizio, account, bookPath, keys, from, changed, asked,
              done = std::move(done)](const HttpAnswer& reply) {
                 if (reply.outcome != HttpAnswer::Outcome::Answered || reply.status != 200)
                     return done(changed);
                 int written = 0;
                 try {
                     written = store::sendreport::recordStates(
                         *store::Database::open(bookPath),
                         gatewayrequests::parseStates(
                             Inet::decodeBody(reply.body, reply.contentType), asked));
                 } catch (const std::exception&) {
                     return done(changed);
                 }
                 askFrom(http, servizio, account, bookPath, keys,
                         from + gatewayrequests::maxStateKeys, changed + written, done);
             });
}

} // namespace

void ask(HttpGet& http, const QString& servizio, const gatewayrequests::Account& account,
         const QString& bookPath, const QStringList& keys, Done done) {
    askFrom(http, servizio, account, bookPath, keys, 0, 0, std::move(done));
}

void askForMessage(HttpGet& http, const Session& session, const QString& bookPath,
                   const store::archive::MessageRow& message, Done done) {
    askIn(
        http, session, bookPath,
        [&message](store::Database& db) { return store::sendreport::unsettledKeys(db, message); },
        std::move(done));
}

void askForRecent(HttpGet& http, const Session& session, const QString& bookPath, Done done) {
    askIn(
        http, session, bookPath,
        [](store::Database& db) {
            return store::sendreport::unsettledKeys(db,
                                                    platform::Clock::now().addDays(-recentDays));
        },
        std::move(done));
}

} // namespace delivery
