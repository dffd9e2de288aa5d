#include "gateway/logins.h"

#include <QScopeGuard>

#include <sodium.h>

namespace gateway {

namespace {

constexpr qsizetype maxVerified = 10'000;

} // namespace

Logins::Logins(Store& store)
    : m_store(store)
    , m_key(crypto_generichash_KEYBYTES, Qt::Uninitialized)
    , m_decoy(hashPassword(QStringLiteral("nessun account"))) {
    randombytes_buf(m_key.data(), static_cast<size_t>(m_key.size()));
}

QByteArray Logins::tag(const QString& password) const {
    const QByteArray utf8 = password.toUtf8();
    QByteArray out(crypto_generichash_BYTES, Qt::Uninitialized);
    crypto_generichash(reinterpret_cast<unsigned char*>(out.data()),
                       static_cast<size_t>(out.size()),
                       reinterpret_cast<const unsigned char*>(utf8.constData()),
                       static_cast<unsigned long long>(utf8.size()),
                       reinterpret_cast<const unsigned char*>(m_key.constData()),
                       static_cast<size_t>(m_key.size()));
    return out;
}

bool Logins::remembered(const Account& account, const QByteArray& tag) const {
    const auto found = m_verified.constFind(account.user);
    return found != m_verified.cend() && found->hash == account.password.hash &&
           sodium_memcmp(found->tag.constData(), tag.constData(),
                         static_cast<size_t>(tag.size())) == 0;
}

void Logins::remember(const QString& user, const QByteArray& tag, const QByteArray& hash) {
    if (m_verified.size() >= maxVerified && !m_verified.contains(user))
        m_verified.clear();
    m_verified.insert(user, {tag, hash});
}

std::optional<Account> Logins::verify(const QString& user, const QString& password,
                                      const std::function<int()>& admit, int& refusedFor) {
    const QByteArray tagged = tag(password);
    std::optional<Account> account;
    std::unique_lock lock(m_mutex);
    do {
        // After another check of the account: read again, its hash may have been replaced.
        m_checked.wait(lock, [&] { return !account || !m_checking.contains(account->user); });
        lock.unlock();
        account = m_store.account(user);
        lock.lock();
        if (account && remembered(*account, tagged)) // never waits for the checks of others
            return account;
    } while (account && m_checking.contains(account->user));
    if (!account) {
        lock.unlock();
        if ((refusedFor = admit()) == 0)
            matchPassword({{}, m_decoy}, password); // as long as for a name that has an account
        return std::nullopt;
    }
    if ((refusedFor = admit()) > 0)
        return std::nullopt;
    m_checking.insert(account->user);
    lock.unlock();
    const auto done = qScopeGuard([&] {
        {
            const std::lock_guard relock(m_mutex);
            m_checking.remove(account->user);
        }
        m_checked.notify_all();
    });
    return check(*account, password, tagged);
}

// The slow check, outside any lock; a right login is remembered.
std::optional<Account> Logins::check(Account account, const QString& password,
                                     const QByteArray& tag) {
    switch (matchPassword(account.password, password)) {
    case PasswordMatch::Wrong:
        return std::nullopt;
    case PasswordMatch::RightButOutdated: {
        const QByteArray fresh = hashPassword(password);
        // Another process may have replaced it first: then that one is remembered next time.
        if (!m_store.replacePasswordHash(account.user, account.password.hash, fresh))
            return account;
        account.password = {{}, fresh};
        break;
    }
    case PasswordMatch::Right:
        break;
    }
    const std::lock_guard lock(m_mutex);
    remember(account.user, tag, account.password.hash);
    return account;
}

} // namespace gateway
