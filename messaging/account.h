#pragma once

#include "messaging/gatewayrequests.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

struct Session;
class Inet;

// The service account (registrazione) and the credit refresh.
namespace account {

// The first line of registrazione split at its first "-" (a user name holds none, a password
// may); std::nullopt when the file cannot be read.
std::optional<QStringList> read(const QString& appFolder);
// The user name and password of those fields; std::nullopt when either is missing or empty.
std::optional<gatewayrequests::Account> complete(const QStringList& fields);
// Replaces registrazione with the line user "-" password, readable by its owner only where the
// file system allows it; false when the file cannot be written.
bool save(const QString& appFolder, const QString& user, const QString& password);

// The credit cache line a send writes: a blank before a number that is not negative, one
// blank after (12 -> " 12 ", -3 -> "-3 ").
QString creditCacheText(double credit);
// Replaces residui.txt with that line; false when it cannot be written.
bool writeCreditCache(const QString& appFolder, double credit);

struct Refresh {
    enum Outcome {
        NoAccountFile,     // nothing to ask with: stop quietly
        IncompleteAccount, // no "-" in the line, or an empty user name or password
        NoConnection,      // the service did not answer
        TransportFailed,   // the request failed on its way: `reply` says why
        InvalidReply,      // the answer is not a number
        CannotWrite,       // residui.txt could not be replaced
        Updated            // residui.txt holds the reply
    } outcome;
    QString reply;
};

// Reads the account, asks the service for the credit and, when the answer is a number, writes
// it to residui.txt exactly as it came; `done` gets what came of it (at once when there is no
// account to ask with, else from the event loop).
void refreshCredit(const Session& state, Inet& inet, std::function<void(const Refresh&)> done);

} // namespace account
