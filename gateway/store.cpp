#include "gateway/store.h"

#include "contacts/phonenumber.h"
#include "gateway/accountname.h"
#include "gateway/gatewayerror.h"
#include "gateway/sender.h"
#include "store/sendreport.h"
#include "store/sqlite.h"

#include <QFileInfo>

#include <sqlite3.h>

#include <algorithm>

namespace gateway {

using sqlite::Statement;
using sqlite::Transaction;

namespace {

constexpr int schemaVersion = 7;
constexpr int nameSenderLength = 11; // of the user name, as the default sender
constexpr int maxReportText = 200;   // characters of an SMS centre's text kept with a report
constexpr std::size_t maxIdleConnections = 16;
constexpr qint64 maxCredit = 1'000'000'000;
// Writers of other processes (the command line) wait instead of failing at once.
constexpr int busyTimeoutMs = 15000;

constexpr const char* schemaSql = R"sql(
CREATE TABLE accounts(
    user TEXT PRIMARY KEY NOT NULL,
    salt BLOB NOT NULL,
    hash BLOB NOT NULL,
    credit INTEGER NOT NULL CHECK (credit >= 0),
    created TEXT NOT NULL,
    sender TEXT NOT NULL,
    name TEXT NOT NULL);
CREATE INDEX accounts_by_name ON accounts(name);
CREATE TABLE ledger(
    id INTEGER PRIMARY KEY,
    time TEXT NOT NULL,
    user TEXT NOT NULL REFERENCES accounts(user),
    delta INTEGER NOT NULL,
    balance INTEGER NOT NULL,
    reason TEXT NOT NULL);
CREATE INDEX ledger_by_user ON ledger(user, id);
CREATE TABLE sends(
    user TEXT NOT NULL REFERENCES accounts(user),
    numero TEXT NOT NULL,
    requested INTEGER NOT NULL,
    charged INTEGER NOT NULL,
    used INTEGER NOT NULL DEFAULT 0,
    first_time TEXT NOT NULL,
    last_time TEXT NOT NULL,
    PRIMARY KEY (user, numero));
CREATE TABLE sink(
    id INTEGER PRIMARY KEY,
    time TEXT NOT NULL,
    sender TEXT NOT NULL,
    receiver TEXT NOT NULL,
    text TEXT NOT NULL,
    mclass INTEGER NOT NULL,
    coding INTEGER NOT NULL,
    charset TEXT NOT NULL,
    ref TEXT,
    parts INTEGER NOT NULL DEFAULT 1);
CREATE INDEX sink_by_ref ON sink(ref) WHERE ref IS NOT NULL;
)sql";

// Version 7: whose each SMS of the sink is (null before), its key, and whether it was handed to
// the SMS centre with no answer yet (pending: it may have gone); the senders the operator
// allowed an account besides its default one.
constexpr const char* ownersSql = R"sql(
ALTER TABLE sink ADD COLUMN owner TEXT;
ALTER TABLE sink ADD COLUMN key TEXT;
ALTER TABLE sink ADD COLUMN pending INTEGER NOT NULL DEFAULT 0;
CREATE INDEX sink_pending ON sink(key) WHERE pending = 1;
CREATE TABLE senders(
    user TEXT NOT NULL REFERENCES accounts(user),
    sender TEXT NOT NULL,
    PRIMARY KEY (user, sender));
)sql";

// Each SMS the gateway gave a key, with the latest report of its delivery (version 5). `batch`
// is the key in Kannel's report URL of an SMS whose request had several receivers (the URL
// then names the receiver); null when the URL carries the SMS's own key. `owner` is the
// account, "" the sink user. State 0: no report yet.
constexpr const char* deliveriesSql = R"sql(
CREATE TABLE deliveries(
    key TEXT PRIMARY KEY NOT NULL,
    batch TEXT,
    owner TEXT NOT NULL,
    receiver TEXT NOT NULL,
    accepted TEXT NOT NULL,
    state INTEGER NOT NULL DEFAULT 0,
    state_time TEXT,
    state_text TEXT NOT NULL DEFAULT '',
    parts INTEGER NOT NULL DEFAULT 1);
CREATE INDEX deliveries_by_batch ON deliveries(batch, receiver) WHERE batch IS NOT NULL;
CREATE INDEX deliveries_by_accepted ON deliveries(accepted);
CREATE TABLE unreachable(number TEXT PRIMARY KEY NOT NULL);
)sql";

// Version 1 had no default sender: each account gets its name cut to 11 characters.
constexpr const char* addSenderSql = R"sql(
ALTER TABLE accounts ADD COLUMN sender TEXT NOT NULL DEFAULT '';
UPDATE accounts SET sender = substr(user, 1, 11);
)sql";

// Version 2 kept no reference of the client's SMS.
constexpr const char* addRefSql = R"sql(
ALTER TABLE sink ADD COLUMN ref TEXT;
CREATE INDEX sink_by_ref ON sink(ref) WHERE ref IS NOT NULL;
)sql";

// Version 3 did not count the SMS each charge paid for: the older sends count as spent.
constexpr const char* addUsedSql = R"sql(
ALTER TABLE sends ADD COLUMN used INTEGER NOT NULL DEFAULT 0;
UPDATE sends SET used = charged;
)sql";

// Version 5 counted one SMS per receiver, whatever the text's length: its rows stay as they are.
constexpr const char* addPartsSql = R"sql(
ALTER TABLE sink ADD COLUMN parts INTEGER NOT NULL DEFAULT 1;
ALTER TABLE deliveries ADD COLUMN parts INTEGER NOT NULL DEFAULT 1;
)sql";

// Version 6 compared names as they were written: each account gets its name in NFC to be found
// by (not unique: two accounts may differ only in form there).
void addNames(sqlite::Connection& db) {
    db.exec("ALTER TABLE accounts ADD COLUMN name TEXT NOT NULL DEFAULT ''");
    Statement users(db, "SELECT rowid, user FROM accounts");
    Statement update(db, "UPDATE accounts SET name = ?2 WHERE rowid = ?1");
    while (users.step())
        update.bind(1, users.integer(0)).bind(2, accountName(users.text(1))).run();
    db.exec("CREATE INDEX accounts_by_name ON accounts(name)");
}

[[noreturn]] void raiseGatewayError(const sqlite::Error& error) {
    switch (error.primaryCode()) {
    case SQLITE_NOTADB:
        throw GatewayError(QStringLiteral("Il file %1 non è un database").arg(error.path()));
    case SQLITE_CANTOPEN:
        throw GatewayError(QStringLiteral("Impossibile aprire il database %1: %2")
                               .arg(error.path(), error.message()));
    default:
        throw GatewayError(
            QStringLiteral("Errore del database %1: %2").arg(error.path(), error.message()));
    }
}

QString nowText() {
    return QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs);
}

QDateTime localTime(const QString& stored) {
    return QDateTime::fromString(stored, Qt::ISODateWithMs).toLocalTime();
}

bool hasControlCharacter(const QString& text) {
    for (const QChar c : text) {
        if (c.category() == QChar::Other_Control)
            return true;
    }
    return false;
}

// A character a reader cannot see or tell from a blank: control and format characters
// (zero-width, direction marks), line and paragraph separators, spaces other than the blank,
// private and unassigned code points, lone surrogates.
bool hasInvisibleCharacter(const QString& text) {
    for (const char32_t c : text.toUcs4()) {
        switch (QChar::category(c)) {
        case QChar::Other_Control:
        case QChar::Other_Format:
        case QChar::Other_Surrogate:
        case QChar::Other_PrivateUse:
        case QChar::Other_NotAssigned:
        case QChar::Separator_Line:
        case QChar::Separator_Paragraph:
            return true;
        case QChar::Separator_Space:
            if (c != U' ')
                return true;
            break;
        default:
            break;
        }
    }
    return false;
}

// Why the client could not use this name or password (it stores "user-password" in one text
// line), or an empty text. `subject` is "Il nome utente" or "La password".
QString credentialProblem(const QString& subject, const QString& value) {
    if (value.isEmpty())
        return QStringLiteral("%1 non può mancare").arg(subject);
    if (value.contains(QLatin1Char('-')))
        return QStringLiteral("%1 non può contenere \"-\"").arg(subject);
    if (hasControlCharacter(value))
        return QStringLiteral("%1 non può contenere caratteri di controllo").arg(subject);
    return {};
}

// The first `count` characters (code points) of the text.
QString leftCharacters(const QString& text, int count) {
    qsizetype end = 0;
    for (int i = 0; i < count && end < text.size(); ++i)
        end += text[end].isHighSurrogate() && end + 1 < text.size() ? 2 : 1;
    return text.left(end);
}

// The account's row: the stored name, password, credit and sender. Of old accounts whose names
// differ only in form, the one written as given wins, then the oldest.
std::optional<Account> accountOf(sqlite::Connection& db, const QString& user) {
    Statement query(db, "SELECT user, salt, hash, credit, sender FROM accounts WHERE name = ?1 "
                        "ORDER BY user = ?2 DESC, rowid LIMIT 1");
    query.bind(1, accountName(user)).bind(2, user);
    if (!query.step())
        return std::nullopt;
    return Account{query.text(0), {query.blob(1), query.blob(2)}, query.integer(3), query.text(4)};
}

std::optional<qint64> creditOf(sqlite::Connection& db, const QString& user) {
    Statement query(db, "SELECT credit FROM accounts WHERE user = ?1");
    query.bind(1, user);
    if (!query.step())
        return std::nullopt;
    return query.integer(0);
}

// Sets the credit and records the change with its reason.
void changeCredit(sqlite::Connection& db, const QString& user, qint64 delta, qint64 balance,
                  const QString& reason, const QString& now) {
    Statement update(db, "UPDATE accounts SET credit = ?2 WHERE user = ?1");
    update.bind(1, user).bind(2, balance).run();
    Statement entry(db, "INSERT INTO ledger(time, user, delta, balance, reason) "
                        "VALUES(?1, ?2, ?3, ?4, ?5)");
    entry.bind(1, now).bind(2, user).bind(3, delta).bind(4, balance).bind(5, reason).run();
}

// Takes `count` SMS from what the account's charges paid for and has not sent yet, the oldest
// charges first; nullopt, taking nothing, when they cover fewer.
// The SMS the messages make.
qint64 smsOf(const QList<SinkMessage>& messages) {
    qint64 count = 0;
    for (const SinkMessage& message : messages)
        count += message.parts;
    return count;
}

std::optional<Allowances> takeFrom(sqlite::Connection& db, const QString& user, qint64 count) {
    Allowances taken;
    Statement query(db, "SELECT rowid, first_time, charged - used FROM sends "
                        "WHERE user = ?1 AND used < charged ORDER BY rowid");
    query.bind(1, user);
    qint64 left = count;
    while (left > 0 && query.step()) {
        const qint64 part = std::min(left, query.integer(2));
        taken.parts.push_back({query.integer(0), query.text(1), part});
        left -= part;
    }
    if (left > 0)
        return std::nullopt;
    for (const auto& part : taken.parts) {
        Statement update(db, "UPDATE sends SET used = used + ?2 WHERE rowid = ?1");
        update.bind(1, part.send).bind(2, part.count).run();
    }
    return taken;
}

// Stores the messages in the sink as `owner`'s ("" the sink user), `pending` when handed to the
// SMS centre with no answer yet, then drops the oldest so that at most `keep` remain.
void insertMessages(sqlite::Connection& db, const QList<SinkMessage>& messages,
                    const QString& owner, bool pending, qint64 keep, const QString& now) {
    Statement insert(db, "INSERT INTO sink(time, sender, receiver, text, mclass, coding, charset, "
                         "ref, parts, owner, key, pending) "
                         "VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11, ?12)");
    for (const SinkMessage& message : messages) {
        insert.bind(1, now)
            .bind(2, message.sender)
            .bind(3, message.receiver)
            .bind(4, message.text)
            .bind(5, message.mclass)
            .bind(6, message.coding)
            .bind(7, message.charset)
            .bind(9, message.parts)
            .bind(10, owner)
            .bind(12, pending ? 1 : 0);
        if (message.ref.isEmpty())
            insert.bindNull(8);
        else
            insert.bind(8, message.ref);
        if (message.key.isEmpty())
            insert.bindNull(11);
        else
            insert.bind(11, message.key);
        insert.run();
    }
    Statement drop(db, "DELETE FROM sink WHERE id <= (SELECT max(id) FROM sink) - ?1");
    drop.bind(1, keep).run();
}

// The SMS with these keys went: no longer pending.
void markSent(sqlite::Connection& db, const QStringList& keys) {
    Statement update(db, "UPDATE sink SET pending = 0 WHERE key = ?1 AND pending = 1");
    for (const QString& key : keys)
        update.bind(1, key).run();
}

} // namespace

class Store::Lease final {
public:
    explicit Lease(Store& store)
        : m_store(store)
        , m_db(store.acquire()) {}
    ~Lease() { m_store.release(std::move(m_db)); }
    Lease(const Lease&) = delete;
    Lease& operator=(const Lease&) = delete;
    sqlite::Connection& db() { return *m_db; }

private:
    Store& m_store;
    std::unique_ptr<sqlite::Connection> m_db;
};

Store::Store(const QString& path, Mode mode)
    : m_path(path) {
    auto db = open(mode);
    createSchema(*db);
    release(std::move(db));
}

Store::~Store() = default;

std::unique_ptr<sqlite::Connection> Store::open(Mode mode) const {
    if (mode == Mode::OpenExisting && !QFileInfo::exists(m_path))
        throw GatewayError(QStringLiteral("Il database %1 non esiste").arg(m_path));
    auto db = std::make_unique<sqlite::Connection>(m_path,
                                                   mode == Mode::CreateIfMissing
                                                       ? sqlite::Connection::Mode::CreateIfMissing
                                                       : sqlite::Connection::Mode::OpenExisting,
                                                   busyTimeoutMs, raiseGatewayError);
    db->exec("PRAGMA foreign_keys = ON; PRAGMA synchronous = FULL");
    return db;
}

void Store::createSchema(sqlite::Connection& db) {
    std::lock_guard lock(m_writeMutex);
    Statement(db, "PRAGMA journal_mode = WAL").run();
    Transaction transaction(db);
    Statement version(db, "PRAGMA user_version");
    version.step();
    const qint64 found = version.integer(0);
    if (found == schemaVersion)
        return;
    if (found >= 1 && found <= 6) {
        if (found == 1)
            db.exec(addSenderSql);
        if (found <= 2)
            db.exec(addRefSql);
        if (found <= 3)
            db.exec(addUsedSql);
        if (found <= 4)
            db.exec(deliveriesSql);
        else if (found == 5)
            db.exec(addPartsSql);
        db.exec(ownersSql);
        addNames(db);
        db.exec("PRAGMA user_version = 7");
        transaction.commit();
        return;
    }
    if (found != 0)
        throw GatewayError(QStringLiteral("Il database %1 ha una versione sconosciuta (%2)")
                               .arg(m_path)
                               .arg(found));
    Statement tables(db, "SELECT count(*) FROM sqlite_master");
    tables.step();
    if (tables.integer(0) != 0)
        throw GatewayError(QStringLiteral("Il file %1 non è un database del gateway").arg(m_path));
    db.exec(schemaSql);
    db.exec(deliveriesSql);
    db.exec(ownersSql);
    db.exec("PRAGMA user_version = 7");
    transaction.commit();
}

std::unique_ptr<sqlite::Connection> Store::acquire() {
    {
        std::lock_guard lock(m_poolMutex);
        if (!m_idle.empty()) {
            auto db = std::move(m_idle.back());
            m_idle.pop_back();
            return db;
        }
    }
    return open(Mode::OpenExisting);
}

void Store::release(std::unique_ptr<sqlite::Connection> connection) {
    std::lock_guard lock(m_poolMutex);
    if (m_idle.size() < maxIdleConnections)
        m_idle.push_back(std::move(connection));
}

bool Store::createAccount(const QString& written, const QString& password, qint64 credit,
                          const QString& sender) {
    const QString user = accountName(written);
    QString problem = credentialProblem(QStringLiteral("Il nome utente"), user);
    // The channel settings carry "user:password": the name is what comes before the ":".
    if (problem.isEmpty() && user.contains(QLatin1Char(':')))
        problem = QStringLiteral("Il nome utente non può contenere \":\"");
    if (problem.isEmpty() && hasInvisibleCharacter(user))
        problem = QStringLiteral(
            "Il nome utente non può contenere caratteri invisibili né spazi speciali");
    if (problem.isEmpty() && mixesScripts(user))
        problem = QStringLiteral("Il nome utente non può mescolare alfabeti diversi (per esempio "
                                 "lettere latine e cirilliche)");
    if (problem.isEmpty())
        problem = credentialProblem(QStringLiteral("La password"), password);
    const QString from = sender.isNull() ? leftCharacters(user, nameSenderLength) : sender;
    if (const auto wrong = senderProblem(from); problem.isEmpty() && wrong)
        problem = sender.isNull() ? QStringLiteral("Il nome utente non vale come mittente (%1 %2): "
                                                   "indicarne uno con --sender")
                                        .arg(from, *wrong)
                                  : QStringLiteral("Il mittente %1 %2").arg(from, *wrong);
    if (!problem.isEmpty())
        throw GatewayError(problem);
    if (credit < 0)
        throw GatewayError(QStringLiteral("Il credito non può essere negativo"));
    if (credit > maxCredit)
        throw GatewayError(QStringLiteral("Il credito non può superare %1").arg(maxCredit));
    if (hasAccount(user)) // before the slow hash
        return false;
    const QByteArray hash = hashPassword(password);
    Lease lease(*this);
    auto& db = lease.db();
    std::lock_guard lock(m_writeMutex);
    Transaction transaction(db);
    if (accountOf(db, user))
        return false;
    const QString now = nowText();
    Statement insert(db, "INSERT INTO accounts(user, salt, hash, credit, created, sender, name) "
                         "VALUES(?1, x'', ?2, 0, ?3, ?4, ?1)");
    insert.bind(1, user).bind(2, hash).bind(3, now).bind(4, from).run();
    if (credit > 0)
        changeCredit(db, user, credit, credit, QStringLiteral("Apertura account"), now);
    transaction.commit();
    return true;
}

qint64 Store::addCredit(const QString& written, qint64 delta) {
    if (delta == 0)
        throw GatewayError(QStringLiteral("La variazione di credito non può essere 0"));
    Lease lease(*this);
    auto& db = lease.db();
    std::lock_guard lock(m_writeMutex);
    Transaction transaction(db);
    const auto account = accountOf(db, written);
    if (!account)
        throw GatewayError(QStringLiteral("L'account %1 non esiste").arg(written));
    const QString& user = account->user;
    const qint64 current = account->credit;
    if (delta < -current)
        throw GatewayError(QStringLiteral("Credito insufficiente: l'account %1 ha %2 crediti")
                               .arg(user)
                               .arg(current));
    if (delta > maxCredit - current)
        throw GatewayError(
            QStringLiteral("Il credito non può superare %1: l'account %2 ha %3 crediti")
                .arg(maxCredit)
                .arg(user)
                .arg(current));
    const qint64 balance = current + delta;
    changeCredit(db, user, delta, balance,
                 delta > 0 ? QStringLiteral("Ricarica") : QStringLiteral("Rettifica manuale"),
                 nowText());
    transaction.commit();
    return balance;
}

bool Store::hasAccount(const QString& user) {
    return account(user).has_value();
}

std::optional<Account> Store::account(const QString& user) {
    Lease lease(*this);
    return accountOf(lease.db(), user);
}

bool Store::replacePasswordHash(const QString& user, const QByteArray& old,
                                const QByteArray& hash) {
    Lease lease(*this);
    auto& db = lease.db();
    std::lock_guard lock(m_writeMutex);
    Statement update(db, "UPDATE accounts SET salt = x'', hash = ?3 WHERE user = ?1 AND hash = ?2");
    update.bind(1, user).bind(2, old).bind(3, hash).run();
    return db.changes() > 0;
}

bool Store::mayUseSender(const QString& user, const QString& sender) {
    Lease lease(*this);
    Statement query(lease.db(), "SELECT 1 FROM accounts WHERE user = ?1 AND sender = ?2 "
                                "UNION ALL SELECT 1 FROM senders WHERE user = ?1 AND sender = ?2");
    query.bind(1, user).bind(2, sender);
    return query.step();
}

bool Store::allowSender(const QString& user, const QString& sender, bool allow) {
    if (const auto wrong = senderProblem(sender))
        throw GatewayError(QStringLiteral("Il mittente %1 %2").arg(sender, *wrong));
    Lease lease(*this);
    auto& db = lease.db();
    std::lock_guard lock(m_writeMutex);
    const auto found = accountOf(db, user);
    if (!found)
        throw GatewayError(QStringLiteral("L'account %1 non esiste").arg(user));
    Statement change(db, allow ? "INSERT OR IGNORE INTO senders(user, sender) VALUES(?1, ?2)"
                               : "DELETE FROM senders WHERE user = ?1 AND sender = ?2");
    change.bind(1, found->user).bind(2, sender).run();
    return db.changes() > 0;
}

QStringList Store::senders(const QString& user) {
    Lease lease(*this);
    const auto account = accountOf(lease.db(), user);
    if (!account)
        throw GatewayError(QStringLiteral("L'account %1 non esiste").arg(user));
    Statement query(lease.db(), "SELECT sender FROM accounts WHERE user = ?1 UNION ALL "
                                "SELECT * FROM (SELECT sender FROM senders WHERE user = ?1 "
                                "ORDER BY sender)");
    query.bind(1, account->user);
    QStringList found;
    while (query.step())
        found.append(query.text(0));
    return found;
}

ChargeResult Store::chargeSend(const QString& user, const Decimal& numero, qint64 count) {
    using Outcome = ChargeResult::Outcome;
    Lease lease(*this);
    auto& db = lease.db();
    std::lock_guard lock(m_writeMutex);
    Transaction transaction(db);
    const auto found = creditOf(db, user);
    if (!found)
        return {Outcome::InvalidAccount, 0, 0};
    qint64 balance = *found;
    const QString key = numero.canonical();
    const QString now = nowText();

    std::optional<qint64> charged;
    qint64 used = 0;
    {
        Statement query(db, "SELECT charged, used FROM sends WHERE user = ?1 AND numero = ?2");
        query.bind(1, user).bind(2, key);
        if (query.step()) {
            charged = query.integer(0);
            used = query.integer(1);
        }
    }
    // Gives back what the send paid for and did not send, keeping `keep` SMS charged (never
    // fewer than those it sent).
    const auto refund = [&](qint64 keep) {
        keep = std::max(keep, used);
        const qint64 amount = *charged - keep;
        balance += amount;
        changeCredit(db, user, amount, balance,
                     QStringLiteral("Rettifica invio numero=%1: %2 SMS invece di %3")
                         .arg(key)
                         .arg(keep)
                         .arg(*charged),
                     now);
        Statement update(db, "UPDATE sends SET charged = ?3, last_time = ?4 "
                             "WHERE user = ?1 AND numero = ?2");
        update.bind(1, user).bind(2, key).bind(3, keep).bind(4, now).run();
        return amount;
    };
    if (charged && numero.whole() != balance) {
        if (std::max(count, used) >= *charged)
            return {Outcome::AlreadyCharged, 0, balance};
        const qint64 amount = refund(count);
        transaction.commit();
        return {Outcome::Corrected, amount, balance};
    }

    if (count > balance)
        return {Outcome::InsufficientCredit, 0, balance};
    // A new send under the numero of an older one: what the older one left unsent goes back.
    if (charged && used < *charged)
        refund(used);
    balance -= count;
    if (count > 0) {
        changeCredit(db, user, -count, balance,
                     QStringLiteral("Invio numero=%1: %2 SMS").arg(key).arg(count), now);
    }
    Statement record(db, "INSERT INTO sends(user, numero, requested, charged, used, first_time, "
                         "last_time) VALUES(?1, ?2, ?3, ?3, 0, ?4, ?4) "
                         "ON CONFLICT(user, numero) DO UPDATE SET requested = excluded.requested, "
                         "charged = excluded.charged, used = 0, first_time = excluded.first_time, "
                         "last_time = excluded.last_time");
    record.bind(1, user).bind(2, key).bind(3, count).bind(4, now).run();
    transaction.commit();
    return {Outcome::Charged, count, balance};
}

QList<LedgerEntry> Store::ledger(const QString& written) {
    Lease lease(*this);
    QString user = QStringLiteral("");
    if (!written.isEmpty()) {
        const auto account = accountOf(lease.db(), written);
        if (!account)
            return {};
        user = account->user;
    }
    Statement query(lease.db(), "SELECT time, user, delta, balance, reason FROM ledger "
                                "WHERE ?1 = '' OR user = ?1 ORDER BY id");
    query.bind(1, user);
    QList<LedgerEntry> entries;
    while (query.step()) {
        entries.append({localTime(query.text(0)), query.text(1), query.integer(2), query.integer(3),
                        query.text(4)});
    }
    return entries;
}

std::optional<Allowances> Store::takeAllowances(const QString& user,
                                                const QList<SinkMessage>& messages, qint64 keep,
                                                const QString& batch) {
    Lease lease(*this);
    auto& db = lease.db();
    std::lock_guard lock(m_writeMutex);
    Transaction transaction(db);
    auto taken = takeFrom(db, user, smsOf(messages));
    if (!taken)
        return taken;
    const QString now = nowText();
    Statement insert(db, "INSERT INTO deliveries(key, batch, owner, receiver, accepted, parts) "
                         "VALUES(?1, ?2, ?3, ?4, ?5, ?6)");
    for (const SinkMessage& message : messages) {
        if (message.key.isEmpty())
            continue;
        insert.bind(1, message.key)
            .bind(3, user)
            .bind(4, message.receiver)
            .bind(5, now)
            .bind(6, message.parts);
        if (batch.isEmpty())
            insert.bindNull(2);
        else
            insert.bind(2, batch);
        insert.run();
        taken->keys.append(message.key);
    }
    insertMessages(db, messages, user, true, keep, now);
    transaction.commit();
    return taken;
}

void Store::confirmAllowances(const Allowances& taken) {
    Lease lease(*this);
    auto& db = lease.db();
    std::lock_guard lock(m_writeMutex);
    Transaction transaction(db);
    markSent(db, taken.keys);
    transaction.commit();
}

void Store::returnAllowances(const Allowances& taken) {
    Lease lease(*this);
    auto& db = lease.db();
    std::lock_guard lock(m_writeMutex);
    Transaction transaction(db);
    for (const auto& part : taken.parts) {
        Statement update(db, "UPDATE sends SET used = max(used - ?2, 0) "
                             "WHERE rowid = ?1 AND first_time = ?3");
        update.bind(1, part.send).bind(2, part.count).bind(3, part.since).run();
    }
    Statement forget(db, "DELETE FROM deliveries WHERE key = ?1");
    Statement unstore(db, "DELETE FROM sink WHERE key = ?1 AND pending = 1");
    for (const QString& key : taken.keys) {
        forget.bind(1, key).run();
        unstore.bind(1, key).run();
    }
    transaction.commit();
}

bool Store::addMessages(const QList<SinkMessage>& messages, qint64 keep, const QString& payer) {
    Lease lease(*this);
    auto& db = lease.db();
    std::lock_guard lock(m_writeMutex);
    Transaction transaction(db);
    if (!payer.isEmpty() && !takeFrom(db, payer, smsOf(messages)))
        return false;
    const QString now = nowText();
    insertMessages(db, messages, payer, false, keep, now);
    // What Kannel would report: at the SMS centre (8), then the final state.
    Statement record(db, "INSERT INTO deliveries(key, owner, receiver, accepted, state, "
                         "state_time, state_text, parts) SELECT ?1, ?2, ?3, ?4, "
                         "iif(u.number IS NULL, 1, 2), ?4, iif(u.number IS NULL, '', ?5), ?7 "
                         "FROM (SELECT NULL) LEFT JOIN unreachable u ON u.number = ?6");
    for (const SinkMessage& message : messages) {
        if (message.key.isEmpty())
            continue;
        record.bind(1, message.key)
            .bind(2, payer)
            .bind(3, message.receiver)
            .bind(4, now)
            .bind(5, QStringLiteral("Numero non raggiungibile"))
            .bind(6, internationalNumber(message.receiver))
            .bind(7, message.parts)
            .run();
    }
    transaction.commit();
    return true;
}

namespace {

QList<SinkMessage> readMessages(Statement& query) {
    QList<SinkMessage> messages;
    while (query.step()) {
        messages.append({query.integer(0),
                         localTime(query.text(1)),
                         query.text(2),
                         query.text(3),
                         query.text(4),
                         static_cast<int>(query.integer(5)),
                         static_cast<int>(query.integer(6)),
                         query.text(7),
                         query.text(8),
                         {},
                         static_cast<int>(query.integer(9))});
    }
    return messages;
}

} // namespace

QList<SinkMessage> Store::messagesAfter(qint64 afterId, qint64 limit) {
    Lease lease(*this);
    Statement query(lease.db(),
                    "SELECT id, time, sender, receiver, text, mclass, coding, charset, ref, parts "
                    "FROM sink "
                    "WHERE id > ?1 ORDER BY id LIMIT ?2");
    query.bind(1, afterId).bind(2, limit);
    return readMessages(query);
}

QList<SinkMessage> Store::messagesBefore(qint64 beforeId, qint64 limit) {
    Lease lease(*this);
    Statement query(lease.db(),
                    "SELECT id, time, sender, receiver, text, mclass, coding, charset, ref, parts "
                    "FROM sink WHERE id < ?1 ORDER BY id DESC LIMIT ?2");
    query.bind(1, beforeId).bind(2, limit);
    return readMessages(query);
}

Store::Handed Store::smsWithReference(const QString& ref, const QString& owner) {
    Lease lease(*this);
    // Rows from before owners were kept answer to anyone, as they did.
    Statement query(lease.db(), "SELECT coalesce(sum(parts), 0), coalesce(max(pending), 0) "
                                "FROM sink WHERE ref = ?1 AND (owner = ?2 OR owner IS NULL)");
    query.bind(1, ref).bind(2, owner);
    query.step();
    return {query.integer(0), query.integer(1) != 0};
}

qint64 Store::messageCount() {
    Lease lease(*this);
    Statement query(lease.db(), "SELECT count(*) FROM sink");
    query.step();
    return query.integer(0);
}

qint64 Store::receivedCount() {
    Lease lease(*this);
    Statement query(lease.db(), "SELECT coalesce(max(id), 0) FROM sink");
    query.step();
    return query.integer(0);
}

bool Store::addReport(const QString& key, const QString& receiver, int state, const QString& text) {
    Lease lease(*this);
    auto& db = lease.db();
    std::lock_guard lock(m_writeMutex);
    Transaction transaction(db);
    Statement find(db,
                   receiver.isNull()
                       ? "SELECT key, state FROM deliveries WHERE key = ?1"
                       : "SELECT key, state FROM deliveries WHERE batch = ?1 AND receiver = ?2");
    find.bind(1, key);
    if (!receiver.isNull())
        find.bind(2, receiver);
    using store::sendreport::isFinal;
    QStringList found;
    while (find.step()) {
        // Kannel may call out of order: a final state stays.
        if (isFinal(state) || !isFinal(find.integer(1)))
            found.append(find.text(0));
        else
            found.append(QString());
    }
    if (found.isEmpty())
        return false;
    Statement update(db, "UPDATE deliveries SET state = ?2, state_time = ?3, state_text = ?4 "
                         "WHERE key = ?1");
    const QString now = nowText();
    const QString cut = leftCharacters(text, maxReportText);
    for (const QString& sms : std::as_const(found)) {
        if (!sms.isNull())
            update.bind(1, sms).bind(2, state).bind(3, now).bind(4, cut).run();
    }
    // Any report means the SMS centre had it.
    markSent(db, found);
    transaction.commit();
    return true;
}

QList<Delivery> Store::deliveries(const QString& owner, const QStringList& keys) {
    Lease lease(*this);
    Statement query(lease.db(), "SELECT state, state_time, state_text FROM deliveries "
                                "WHERE key = ?1 AND owner = ?2");
    QList<Delivery> found;
    for (const QString& key : keys) {
        query.bind(1, key).bind(2, owner);
        if (query.step()) {
            const QString time = query.text(1);
            found.append(
                {key, static_cast<int>(query.integer(0)),
                 time.isEmpty() ? QDateTime() : QDateTime::fromString(time, Qt::ISODateWithMs),
                 query.text(2)});
        }
        query.reset();
    }
    return found;
}

qint64 Store::dropDeliveries(const QDateTime& limit) {
    Lease lease(*this);
    auto& db = lease.db();
    std::lock_guard lock(m_writeMutex);
    Transaction transaction(db);
    const QString before = limit.toUTC().toString(Qt::ISODateWithMs);
    Statement drop(db, "DELETE FROM deliveries WHERE accepted < ?1");
    drop.bind(1, before).run();
    const qint64 dropped = db.changes();
    // Charges that never sent anything: nothing left to correct or to send with.
    Statement unused(db, "DELETE FROM sends WHERE used = 0 AND last_time < ?1");
    unused.bind(1, before).run();
    transaction.commit();
    return dropped;
}

QString internationalNumber(const QString& number) {
    if (number.startsWith(u'+'))
        return number;
    if (number.startsWith(QLatin1String("00")))
        return u'+' + number.mid(2);
    return u'+' + QString(phone::italyCode) + number;
}

bool Store::setUnreachable(const QString& number, bool unreachable) {
    Lease lease(*this);
    auto& db = lease.db();
    std::lock_guard lock(m_writeMutex);
    Statement change(db, unreachable ? "INSERT OR IGNORE INTO unreachable(number) VALUES(?1)"
                                     : "DELETE FROM unreachable WHERE number = ?1");
    change.bind(1, internationalNumber(number)).run();
    return db.changes() > 0;
}

QStringList Store::unreachableNumbers() {
    Lease lease(*this);
    Statement query(lease.db(), "SELECT number FROM unreachable ORDER BY number");
    QStringList numbers;
    while (query.step())
        numbers.append(query.text(0));
    return numbers;
}

} // namespace gateway
