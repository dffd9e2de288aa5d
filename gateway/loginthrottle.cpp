#include "gateway/loginthrottle.h"

#include <QCryptographicHash>

#include <algorithm>

namespace gateway {

namespace {

using TimePoint = std::chrono::steady_clock::time_point;

QByteArray userKey(const QString& user) {
    return QCryptographicHash::hash(user.toUtf8(), QCryptographicHash::Sha256);
}

// 4 bytes for IPv4 (also mapped into IPv6), the first 8 of an IPv6 address.
QByteArray addressKey(const QHostAddress& client) {
    bool isIPv4 = false;
    const quint32 ipv4 = client.toIPv4Address(&isIPv4);
    if (isIPv4)
        return QByteArray(reinterpret_cast<const char*>(&ipv4), sizeof(ipv4));
    const Q_IPV6ADDR ipv6 = client.toIPv6Address();
    return QByteArray(reinterpret_cast<const char*>(ipv6.c), 8);
}

template <typename Record> void forgetOld(Record& record, TimePoint now) {
    auto& failures = record.failures;
    failures.erase(failures.begin(),
                   std::find_if(failures.begin(), failures.end(), [&](TimePoint failure) {
                       return now - failure < LoginThrottle::window;
                   }));
}

} // namespace

LoginThrottle::LoginThrottle(Clock clock, qsizetype maxTracked)
    : m_clock(std::move(clock))
    , m_maxTracked(maxTracked) {}

int LoginThrottle::secondsToWait(Table& table, const QByteArray& key, TimePoint now,
                                 bool withPending) {
    const auto found = table.find(key);
    if (found == table.end())
        return 0;
    forgetOld(*found, now);
    const auto failures = static_cast<int>(found->failures.size());
    if (failures + (withPending ? found->pending : 0) < maxFailures)
        return 0;
    if (failures < maxFailures) // attempts under way may be the last failures
        return 1;
    const auto left = found->failures.front() + window - now;
    return std::max(1, static_cast<int>(std::chrono::ceil<std::chrono::seconds>(left).count()));
}

void LoginThrottle::makeRoom(Table& table, TimePoint now) const {
    if (table.size() < m_maxTracked)
        return;
    table.removeIf([&](Table::iterator it) {
        forgetOld(*it, now);
        return it->pending == 0 && it->failures.empty();
    });
    if (table.size() < m_maxTracked)
        return;
    // Still full, as when many names or addresses fail at once: the half failed least lately go.
    std::vector<TimePoint> latest;
    for (const Record& record : std::as_const(table)) {
        if (record.pending == 0)
            latest.push_back(record.failures.back());
    }
    if (latest.empty())
        return;
    const auto middle = latest.begin() + static_cast<std::ptrdiff_t>(latest.size() / 2);
    std::nth_element(latest.begin(), middle, latest.end());
    table.removeIf([&, cut = *middle](Table::iterator it) {
        return it->pending == 0 && it->failures.back() <= cut;
    });
}

int LoginThrottle::lockedFor(const QString& user, const QHostAddress& client) {
    const QByteArray userAt = userKey(user);
    const QByteArray addressAt = addressKey(client);
    const std::lock_guard lock(m_mutex);
    const TimePoint now = m_clock();
    return std::max(secondsToWait(m_users, userAt, now, false),
                    secondsToWait(m_addresses, addressAt, now, false));
}

int LoginThrottle::admit(const QString& user, const QHostAddress& client) {
    const QByteArray userAt = userKey(user);
    const QByteArray addressAt = addressKey(client);
    const std::lock_guard lock(m_mutex);
    const TimePoint now = m_clock();
    const int wait = std::max(secondsToWait(m_users, userAt, now, true),
                              secondsToWait(m_addresses, addressAt, now, true));
    if (wait > 0)
        return wait;
    makeRoom(m_users, now);
    ++m_users[userAt].pending;
    makeRoom(m_addresses, now);
    ++m_addresses[addressAt].pending;
    return 0;
}

void LoginThrottle::settle(Table& table, const QByteArray& key, bool failed, TimePoint now) {
    const auto found = table.find(key);
    if (found == table.end())
        return;
    Record& record = *found;
    --record.pending;
    forgetOld(record, now);
    if (failed)
        record.failures.push_back(now);
    if (record.failures.size() > static_cast<std::size_t>(maxFailures))
        record.failures.erase(record.failures.begin());
    if (record.pending == 0 && record.failures.empty())
        table.erase(found);
}

void LoginThrottle::settle(const QString& user, const QHostAddress& client, bool failed) {
    const QByteArray userAt = userKey(user);
    const QByteArray addressAt = addressKey(client);
    const std::lock_guard lock(m_mutex);
    const TimePoint now = m_clock();
    settle(m_users, userAt, failed, now);
    settle(m_addresses, addressAt, failed, now);
}

qsizetype LoginThrottle::tracked() const {
    const std::lock_guard lock(m_mutex);
    return m_users.size() + m_addresses.size();
}

} // namespace gateway
