#pragma once

#include "messaging/gatewayrequests.h"
#include "store/archive.h"

#include <QString>
#include <QStringList>

struct Session;
namespace store {
class Database;
}

// The delivery of the SMS a gateway accepted: their states asked of its esiti.pl by the keys
// it gave them, and kept in the address book's send report. A gateway that does not answer, or
// knows no esiti.pl, changes nothing and nobody is told; nor is a report that cannot be written.
namespace delivery {

// Sends of this age at most are asked for when the credit is refreshed.
inline constexpr int recentDays = 7;

// Asks for these keys, gatewayrequests::maxStateKeys at a time, each request a blocking GET
// with the credit's time-out, and keeps what a 200 answer says; returns the lines changed.
int ask(const QString& servizio, const gatewayrequests::Account& account, store::Database& db,
        const QStringList& keys);

// The SMS of one message without a final state (the "Esito invio" window, before it shows).
int askForMessage(const Session& session, const QString& bookPath,
                  const store::archive::MessageRow& message);
// The SMS without a final state of the address book's sends of the last recentDays days.
int askForRecent(const Session& session, const QString& bookPath);

} // namespace delivery
