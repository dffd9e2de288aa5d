#pragma once

#include "gateway/passwords.h"
#include "gateway/query.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

#include <memory>
#include <mutex>
#include <optional>
#include <vector>

namespace store::sqlite {
class Connection;
}

namespace gateway {

namespace sqlite = ::store::sqlite;

struct LedgerEntry {
    QDateTime time; // local time
    QString user;
    qint64 delta = 0;
    qint64 balance = 0; // the credit after this change
    QString reason;
};

// One SMS that reached the sink.
struct SinkMessage {
    qint64 id = 0;
    QDateTime time; // local time
    QString sender;
    QString receiver;
    QString text;
    int mclass = -1; // -1 when not given; 0 is a flash SMS
    int coding = 0;
    QString charset;
    QString ref;   // the client's reference of the SMS (quillet-id), empty without one
    QString key;   // the gateway's key of the SMS (X-Quillet-Sms), empty without one
    int parts = 1; // SMS the SMS centre sends for it (the parts of a long text)
};

// The latest delivery report of an SMS that has a key.
struct Delivery {
    QString key;
    int state = 0;  // 0 no report yet; as Kannel: 1 delivered, 2 not, 4 buffered, 8 at the SMS
                    // centre, 16 refused by it
    QDateTime time; // UTC, when that report arrived; null without one
    QString text;   // the SMS centre's text, at most 200 characters
};

struct ChargeResult {
    enum class Outcome { Charged, Corrected, AlreadyCharged, InsufficientCredit, InvalidAccount };
    Outcome outcome = Outcome::InvalidAccount;
    qint64 amount = 0;  // charged, or refunded by a correction
    qint64 balance = 0; // the credit afterwards
};

// An account as a login finds it.
struct Account {
    QString user; // as stored: the name its ledger, sends and SMS are kept under
    StoredPassword password;
    qint64 credit = 0;
    QString sender; // the default sender
};

// SMS taken from what an account's charges paid for.
struct Allowances {
    struct Part {
        qint64 send = 0; // the charged send's row
        QString since;   // when that send began: a new send in its row takes none back
        qint64 count = 0;
    };
    std::vector<Part> parts;
    QStringList keys; // of the SMS recorded with them
};

// A receiver as the unreachable numbers are compared: "+" and the country code. "00" reads as
// "+"; a number without either is Italian (+39), as the program writes them.
QString internationalNumber(const QString& number);

// The gateway's database: accounts and their credit, the ledger of every credit change,
// the sends charged, and the SMS the sink received. Safe to use from many threads at once;
// other processes may write to the same file (WAL, busy time-out).
class Store final {
public:
    enum class Mode { OpenExisting, CreateIfMissing };
    // Throws GatewayError when the file cannot be opened or is not a gateway database.
    Store(const QString& path, Mode mode);
    ~Store();
    Store(const Store&) = delete;
    Store& operator=(const Store&) = delete;

    // Throws GatewayError for a name or password the client cannot store (empty, "-",
    // control characters, a ":" in the name), a name that mixes scripts, a sender that is empty
    // or longer than 11 characters, or a negative credit. A null sender is the name cut to 11
    // characters: the sender of the account's SMS that come without one. False when the account
    // exists already. The name is stored in NFC; the password as hashPassword() makes it, which
    // takes its time before the database is touched.
    bool createAccount(const QString& user, const QString& password, qint64 credit,
                       const QString& sender = {});
    // Adds (or, negative, takes) credit; returns the new credit. Throws GatewayError for an
    // unknown account or a credit that would go below 0.
    qint64 addCredit(const QString& user, qint64 delta);
    bool hasAccount(const QString& user);
    // The account of a user name in any Unicode form; nullopt when there is none. Of accounts
    // from before names were normalised that differ only in form, the one stored as written.
    std::optional<Account> account(const QString& user);
    // Replaces the account's password hash if it still is `old`; false when it changed meanwhile.
    bool replacePasswordHash(const QString& user, const QByteArray& old, const QByteArray& hash);
    // Whether the account may send as `sender`: its default one or one the operator allowed.
    bool mayUseSender(const QString& user, const QString& sender);
    // Allows (or no more) the account to send as `sender`; true when that changed. Throws
    // GatewayError for an unknown account or a sender the SMS centre cannot show.
    bool allowSender(const QString& user, const QString& sender, bool allow);
    // The default sender first, then the others allowed. Throws for an unknown account.
    QStringList senders(const QString& user);

    // Charges `count` credits for the send identified by (user, numero): the account may then
    // send `count` SMS more. A repeated request for a send already charged never charges
    // again; a lower count corrects the charge and refunds the SMS it paid for and that were
    // not sent, never more. A numero equal to the current credit starts a new send (the client
    // has just read that credit), even when an older send had the same numero. `user` is the
    // stored name of an account whose login was checked.
    ChargeResult chargeSend(const QString& user, const Decimal& numero, qint64 count);

    // Oldest first; all accounts when user is empty.
    QList<LedgerEntry> ledger(const QString& user = {});

    // Takes the SMS paid for and not sent yet that the messages make (their parts), for SMS
    // handed to the SMS centre; nullopt, taking nothing, when its charges cover fewer. The
    // messages' keys are recorded with it, as the account's SMS with no report yet, under
    // `batch` when given (see addReport), and the messages are stored in the sink as pending
    // (keeping at most `keep`): until the SMS centre's answer or report, nobody knows whether
    // they went. confirmAllowances says they went; returnAllowances gives the SMS back and
    // forgets the keys and messages (they did not go).
    std::optional<Allowances> takeAllowances(const QString& user,
                                             const QList<SinkMessage>& messages, qint64 keep,
                                             const QString& batch = {});
    void confirmAllowances(const Allowances& taken);
    void returnAllowances(const Allowances& taken);

    // Stores the messages the sink received, then drops the oldest so that at most `keep`
    // remain. With a payer, each message takes its parts from the SMS paid for by that
    // account, in the same transaction: false, storing nothing, when its charges cover fewer.
    // Each message with a key is recorded as the payer's ("" the sink user) with the sink's
    // final report: delivered, or not delivered for a number marked unreachable.
    bool addMessages(const QList<SinkMessage>& messages, qint64 keep, const QString& payer = {});
    // Up to `limit` messages after the one with id `afterId`, oldest first.
    QList<SinkMessage> messagesAfter(qint64 afterId, qint64 limit);
    // Up to `limit` messages before the one with id `beforeId`, newest first.
    QList<SinkMessage> messagesBefore(qint64 beforeId, qint64 limit);
    // The messages kept.
    qint64 messageCount();
    // The SMS (parts) of the owner's messages with this reference that reached the sink (0 for
    // none), and whether one of them is pending (handed to the SMS centre, its answer lost).
    struct Handed {
        qint64 sms = 0;
        bool pending = false;
    };
    Handed smsWithReference(const QString& ref, const QString& owner);
    // Every message ever received, the dropped ones too: the newest one's id (only the oldest
    // are dropped, so ids are never reused).
    qint64 receivedCount();

    // Stores a delivery report for the SMS with this key, or, with a receiver, for the SMS of
    // the batch with this key sent to that number. A final state (1, 2, 16) is never replaced
    // by a later 4 or 8. False, storing nothing, for an unknown key.
    bool addReport(const QString& key, const QString& receiver, int state, const QString& text);
    // The latest reports of the owner's SMS with these keys, in that order; keys that are
    // unknown or another owner's are left out.
    QList<Delivery> deliveries(const QString& owner, const QStringList& keys);
    // Forgets the SMS accepted before `limit`, with their reports, and the charges last changed
    // before it that sent nothing; returns how many SMS.
    qint64 dropDeliveries(const QDateTime& limit);

    // Numbers whose SMS the sink reports as not delivered. True when the list changed.
    bool setUnreachable(const QString& number, bool unreachable);
    QStringList unreachableNumbers();

private:
    class Lease;
    std::unique_ptr<sqlite::Connection> acquire();
    void release(std::unique_ptr<sqlite::Connection> connection);
    std::unique_ptr<sqlite::Connection> open(Mode mode) const;
    void createSchema(sqlite::Connection& db);

    QString m_path;
    std::mutex m_poolMutex;
    std::vector<std::unique_ptr<sqlite::Connection>> m_idle;
    // Our own writers queue here rather than in SQLite's busy handler.
    std::mutex m_writeMutex;
};

} // namespace gateway
