#pragma once

#include "messaging/gatewayrequests.h"
#include "store/archive.h"

#include <QString>
#include <QStringList>

#include <functional>

struct Session;
class HttpGet;

// The delivery of the SMS a gateway accepted: their states asked of its esiti.pl by the keys
// it gave them, and kept in the address book's send report. A gateway that does not answer, or
// knows no esiti.pl, changes nothing and nobody is told; nor is a report that cannot be written.
namespace delivery {

// Sends of this age at most are asked for when the credit is refreshed.
inline constexpr int recentDays = 7;

// Gets the lines of the report changed: at once when there is nothing to ask, else from the
// event loop.
using Done = std::function<void(int changed)>;

// Asks for these keys of the book at `bookPath`, gatewayrequests::maxStateKeys at a time, one
// request after another with the credit's time-out, and keeps what each 200 answer says.
void ask(HttpGet& http, const QString& servizio, const gatewayrequests::Account& account,
         const QString& bookPath, const QStringList& keys, Done done);

// The SMS of one message without a final state (the "Esito invio" window, before it shows).
void askForMessage(HttpGet& http, const Session& session, const QString& bookPath,
                   const store::archive::MessageRow& message, Done done);
// The SMS without a final state of the address book's sends of the last recentDays days.
void askForRecent(HttpGet& http, const Session& session, const QString& bookPath, Done done);

} // namespace delivery
