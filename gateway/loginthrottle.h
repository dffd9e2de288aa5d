#pragma once

#include <QByteArray>
#include <QHash>
#include <QHostAddress>
#include <QString>

#include <chrono>
#include <functional>
#include <mutex>
#include <vector>

namespace gateway {

// Slows the guessing of passwords: an account, or a client address, that failed 5 logins in
// the last minute may not try again (rightly or not) until the first of them is a minute old.
// Good logins are never counted. An IPv6 client counts by its /64 network, which one machine
// usually holds whole. Safe to use from many threads at once; it keeps at most `maxTracked`
// accounts and as many addresses, forgetting the quietest first.
class LoginThrottle final {
public:
    using Clock = std::function<std::chrono::steady_clock::time_point()>;
    static constexpr int maxFailures = 5;
    static constexpr std::chrono::seconds window{60};

    explicit LoginThrottle(Clock clock = &std::chrono::steady_clock::now,
                           qsizetype maxTracked = 10'000);

    // 0 when `user` (its name in NFC) may log in from `client` now; otherwise the seconds to
    // wait: it or the address failed 5 times in the last minute. Asked of every login, a right
    // one too, so that a locked account tells nothing of the passwords tried.
    int lockedFor(const QString& user, const QHostAddress& client);
    // As lockedFor, before a check of the password (not for a login already known right): the
    // checks under way count as possible failures, and an admitted one counts until settle().
    int admit(const QString& user, const QHostAddress& client);
    // The end of an admitted attempt.
    void settle(const QString& user, const QHostAddress& client, bool failed);
    // Accounts and addresses with failures or attempts under way.
    qsizetype tracked() const;

private:
    using TimePoint = std::chrono::steady_clock::time_point;
    struct Record {
        std::vector<TimePoint> failures; // of the last minute, oldest first
        int pending = 0;                 // admitted attempts not settled yet
    };
    using Table = QHash<QByteArray, Record>;
    static int secondsToWait(Table& table, const QByteArray& key, TimePoint now, bool withPending);
    void makeRoom(Table& table, TimePoint now) const;
    static void settle(Table& table, const QByteArray& key, bool failed, TimePoint now);

    Clock m_clock;
    qsizetype m_maxTracked;
    mutable std::mutex m_mutex;
    Table m_users;     // by the SHA-256 of the name: a long one costs no more
    Table m_addresses; // by IPv4 address or IPv6 /64 network
};

} // namespace gateway
