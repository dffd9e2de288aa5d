#include "messaging/account.h"

#include "core/session.h"
#include "core/settings.h"
#include "messaging/gatewayrequests.h"
#include "messaging/inet.h"
#include "platform/textfile.h"

#include <QDir>
#include <QFile>

namespace account {

namespace {

QString file(const QString& appFolder, const char* name) {
    return QDir(appFolder).filePath(QLatin1String(name));
}

} // namespace

std::optional<QStringList> read(const QString& appFolder) {
    const auto line = platform::TextFile::readFirstLine(file(appFolder, "registrazione"));
    if (!line)
        return std::nullopt;
    return settings::splitAccount(*line);
}

bool save(const QString& appFolder, const QString& user, const QString& password) {
    const QString path = file(appFolder, "registrazione");
    if (!platform::TextFile::replaceLines(path, {user + QLatin1Char('-') + password}))
        return false;
    // Where the file system has no owner permissions (FAT, a network share) the file is
    // saved all the same.
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
    return true;
}

QString creditCacheText(double credit) {
    return (credit >= 0 ? QStringLiteral(" ") : QString()) + settings::formatNumber(credit) +
           QLatin1Char(' ');
}

bool writeCreditCache(const QString& appFolder, double credit) {
    return platform::TextFile::replaceLines(file(appFolder, "residui.txt"),
                                            {creditCacheText(credit)});
}

std::optional<gatewayrequests::Account> complete(const QStringList& fields) {
    if (fields.size() < 2 || fields.at(0).isEmpty() || fields.at(1).isEmpty())
        return std::nullopt;
    return gatewayrequests::Account{fields.at(0), fields.at(1)};
}

void refreshCredit(const Session& state, Inet& inet, std::function<void(const Refresh&)> done) {
    const auto fields = read(state.appFolder);
    if (!fields)
        return done({Refresh::NoAccountFile, {}});
    const auto account = complete(*fields);
    if (!account)
        return done({Refresh::IncompleteAccount, {}});
    inet.OpenURL(gatewayrequests::creditQuery(state.service, *account),
                 gatewayrequests::creditAnswerBytes,
                 [appFolder = state.appFolder, done = std::move(done)](const Inet::Reply& answer) {
                     const QString& reply = answer.text;
                     if (answer.failed())
                         return done({Refresh::TransportFailed, answer.failure});
                     if (reply.isEmpty())
                         return done({Refresh::NoConnection, reply});
                     if (!settings::parseCredit(reply))
                         return done({Refresh::InvalidReply, reply});
                     if (!platform::TextFile::replaceLines(file(appFolder, "residui.txt"), {reply}))
                         return done({Refresh::CannotWrite, reply});
                     done({Refresh::Updated, reply});
                 });
}

} // namespace account
