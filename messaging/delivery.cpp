#include "messaging/delivery.h"

#include "app/session.h"
#include "messaging/account.h"
#include "messaging/blockingget.h"
#include "messaging/inet.h"
#include "platform/clock.h"
#include "store/database.h"
#include "store/sendreport.h"
#include "store/storeerror.h"

#include <QFileInfo>
#include <QNetworkAccessManager>

#include <exception>
#include <functional>
#include <optional>

namespace delivery {

namespace {

std::optional<gatewayrequests::Account> accountOf(const Session& session) {
    const auto fields = account::read(session.appFolder);
    return fields ? account::complete(*fields) : std::nullopt;
}

int askIn(const Session& session, const QString& bookPath,
          const std::function<QStringList(store::Database&)>& keysOf) {
    const auto account = accountOf(session);
    if (!account || !QFileInfo(bookPath).isFile())
        return 0;
    try {
        const auto db = store::Database::open(bookPath);
        return ask(session.service, *account, *db, keysOf(*db));
    } catch (const std::exception&) {
        return 0;
    }
}

} // namespace

int ask(const QString& servizio, const gatewayrequests::Account& account, store::Database& db,
        const QStringList& keys) {
    if (keys.isEmpty())
        return 0;
    QNetworkAccessManager manager;
    int changed = 0;
    for (qsizetype from = 0; from < keys.size(); from += gatewayrequests::maxStateKeys) {
        const QStringList asked = keys.mid(from, gatewayrequests::maxStateKeys);
        const BlockingReply reply =
            blockingGet(manager, gatewayrequests::statesRequest(servizio, account, asked),
                        Inet::defaultTimeout, gatewayrequests::statesAnswerBytes);
        if (reply.outcome != BlockingReply::Outcome::Answered || reply.status != 200)
            return changed;
        try {
            changed += store::sendreport::recordStates(
                db, gatewayrequests::parseStates(Inet::decodeBody(reply.body, reply.contentType),
                                                 asked));
        } catch (const store::StoreError&) {
            return changed;
        }
    }
    return changed;
}

int askForMessage(const Session& session, const QString& bookPath,
                  const store::archive::MessageRow& message) {
    return askIn(session, bookPath, [&message](store::Database& db) {
        return store::sendreport::unsettledKeys(db, message);
    });
}

int askForRecent(const Session& session, const QString& bookPath) {
    return askIn(session, bookPath, [](store::Database& db) {
        return store::sendreport::unsettledKeys(db, platform::Clock::now().addDays(-recentDays));
    });
}

} // namespace delivery
