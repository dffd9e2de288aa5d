#pragma once

#include "gateway/store.h"

#include <QByteArray>
#include <QHash>
#include <QSet>
#include <QString>

#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>

namespace gateway {

// Checks the logins of the accounts. Each sendsms request carries its login, so a login found
// right is remembered for the process: by account, a keyed hash of the password (the key is
// random and never leaves the process) with the stored hash it was checked against; when the
// stored hash changes, the login is checked again. An account whose hash is kept the old way
// gets the new one at its first good login. The logins of one account are checked one at a time,
// so that many clients sending the same one at once cost one check. Safe to use from many
// threads at once.
class Logins final {
public:
    explicit Logins(Store& store);
    // The account when the password is right; nullopt for a wrong name or password, which
    // takes as long for a name no account has. Before each slow check (not for a login
    // remembered right) `admit` is asked: a number of seconds above 0 refuses the login
    // unchecked, given back in `refusedFor`.
    std::optional<Account> verify(const QString& user, const QString& password,
                                  const std::function<int()>& admit, int& refusedFor);

private:
    QByteArray tag(const QString& password) const;
    bool remembered(const Account& account, const QByteArray& tag) const;
    void remember(const QString& user, const QByteArray& tag, const QByteArray& hash);
    std::optional<Account> check(Account account, const QString& password, const QByteArray& tag);

    Store& m_store;
    QByteArray m_key;
    QByteArray m_decoy; // a hash that names without an account are checked against
    std::mutex m_mutex;
    std::condition_variable m_checked;
    QSet<QString> m_checking; // accounts whose password is being checked
    struct Verified {
        QByteArray tag;
        QByteArray hash;
    };
    QHash<QString, Verified> m_verified;
};

} // namespace gateway
