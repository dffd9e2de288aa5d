#pragma once

#include "store/archive.h"
#include "store/sqlite.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>
#include <utility>

namespace store {
class Database;
} // namespace store

// What the service answered for each SMS of a send: one line per recipient and part, kept in
// the address book beside the message in inviati, in a table of its own (esiti). A message is
// found by its number, date and text, so a report follows it to cancellati and back.
namespace store::sendreport {

enum class Outcome : char {
    Pending = '?',  // handed over, and nobody knows whether it went (see uncertainAnswer)
    Accepted = 'A', // the service took it
    Refused = 'R',  // the service said no; the answer says why
    NotSent = 'N',  // the send stopped before it
    Excluded = 'E', // the number is among the excluded ones: never handed over
};

// What a line says when nobody knows whether its SMS went: the program stopped while it was
// with the service, or the service lost the SMS centre's answer. Resending could send it twice.
inline const QString uncertainAnswer =
    QStringLiteral("Esito incerto: non reinviare prima di aver controllato l'esito");

// What the gateway last reported of an accepted SMS, in its own numbers.
enum DeliveryState : int {
    NoReport = 0,
    Delivered = 1,
    NotDelivered = 2,
    Buffered = 4,       // kept by the SMS centre
    AtCentre = 8,       // delivered to the SMS centre
    CentreRefused = 16, // refused by the SMS centre
};
// True for a state no later report replaces with a temporary one: Delivered, NotDelivered,
// CentreRefused.
constexpr bool isFinal(qint64 state) {
    return state == Delivered || state == NotDelivered || state == CentreRefused;
}

// Characters of the SMS centre's text a line keeps.
inline constexpr int maxStateText = 200;
// The text cut to maxStateText characters, never inside one.
QString cutStateText(const QString& text);

struct Line {
    QString number;
    QString surname; // or the contact's name when it has none; empty for a number not known
    int part = 1;    // 1 to 10
    Outcome outcome = Outcome::Pending;
    QString answer; // the service's answer, or why the SMS did not go
    QString key;    // the gateway's key of an accepted SMS; empty when it gave none
    int state = NoReport;
    QString stateTime; // when the gateway got that report, UTC "yyyy-MM-ddTHH:mm:ssZ"
    QString stateText; // the SMS centre's text with it
    QString text;      // the recipient's own text when the message's has fields; else empty
};

// A state as the gateway reports it for one key.
struct State {
    QString key;
    int state = NoReport;
    QString time;
    QString text;
};

// The key a message's report is kept under.
QString messageKey(const archive::MessageRow& message);

// The report of one send while it runs: every line is written Pending first, then the
// outcomes as they come, a few at a time. Writing never stops a send: a failure is kept in
// failed() and nothing more is written.
class Writer final {
public:
    // `lines` without a surname get the address book's for the number (its name, without one).
    // All of them are written Pending at once.
    Writer(Database& db, const archive::MessageRow& message, QList<Line> lines);
    // The same, with no line written yet: writeLines() writes them a slice at a time, so that
    // a long list never holds the caller for long. `db` must outlive the writer.
    static std::unique_ptr<Writer> deferred(Database& db, const archive::MessageRow& message,
                                            QList<Line> lines);
    // Writes up to `most` of the lines not written yet, Pending; true once all are written (or
    // writing failed).
    bool writeLines(qsizetype most);
    ~Writer();
    Writer(const Writer&) = delete;
    Writer& operator=(const Writer&) = delete;

    // Line `index` (from 0) got this outcome, and the gateway's key when it gave one; written
    // with the next batch.
    void record(int index, Outcome outcome, const QString& answer = {}, const QString& key = {});
    // Every line still pending is not sent; everything is written.
    void finish();
    bool failed() const { return m_failed; }

private:
    Writer(Database& db, const archive::MessageRow& message, QList<Line> lines, bool deferred);
    void flush();
    template <typename Fn> void guarded(Fn&& fn);

    Database& m_db;
    std::shared_ptr<sqlite::Connection> m_connection;
    QString m_key;
    QList<Line> m_lines; // to write Pending
    qsizetype m_written = 0;
    struct Change {
        int index;
        Outcome outcome;
        QString answer;
        QString key;
    };
    QList<Change> m_changes;
    QList<bool> m_pending; // by line
    QElapsedTimer m_sinceFlush;
    bool m_keys = false;  // the file has the delivery columns (an older busy one may lack them)
    bool m_texts = false; // the file keeps each recipient's text
    bool m_failed = false;
};

// The lines of the message's report in send order; nothing when it has none.
QList<Line> read(Database& db, const archive::MessageRow& message);

// The outcomes of a send the program did not see to its end, by line (from 0), in the report
// under this key; every other line still pending is not sent. A line given as Pending stays so.
void settle(Database& db, const QString& key, const QHash<int, std::pair<Outcome, QString>>& lines);

// The keys of the message's accepted SMS that have no final state yet.
QStringList unsettledKeys(Database& db, const archive::MessageRow& message);
// The same for every message in inviati sent at `since` or later (local time).
QStringList unsettledKeys(Database& db, const QDateTime& since);

// Keeps the states reported for these keys: a state 0 changes nothing, and a final state is
// never replaced by a temporary one. The texts are cut to maxStateText. Returns the lines
// changed.
int recordStates(Database& db, const QList<State>& states);

// How the SMS of one message's report fared, as the list of sent messages sums it up.
struct Summary {
    int lines = 0;      // SMS of the report
    int delivered = 0;  // that reached the phone
    int failed = 0;     // certainly did not: not delivered, refused or not sent
    bool keyed = false; // some SMS has a gateway's key: there is a delivery to speak of
    int waiting = 0;    // accepted with a key, no final state yet
};
// One prepared statement that sums up reports by message key.
class Summaries final {
public:
    explicit Summaries(Database& db);
    ~Summaries();
    Summaries(const Summaries&) = delete;
    Summaries& operator=(const Summaries&) = delete;
    // Nothing (lines 0) when the file keeps no delivery or the message has no report.
    Summary of(const QString& key);

private:
    std::optional<sqlite::Statement> m_sum;
};

// Drops the report of a message removed for good.
void forget(Database& db, const archive::MessageRow& message);

} // namespace store::sendreport
