#pragma once

#include "store/archive.h"

#include <QElapsedTimer>
#include <QHash>
#include <QList>
#include <QString>

#include <memory>
#include <optional>
#include <utility>

namespace store {
class Database;
namespace sqlite {
class Connection;
class Statement;
} // namespace sqlite
} // namespace store

// What the service answered for each SMS of a send: one line per recipient and part, kept in
// the address book beside the message in inviati, in a table of its own (esiti). A message is
// found by its number, date and text, so a report follows it to cancellati and back.
namespace store::sendreport {

enum class Outcome : char {
    Pending = '?',  // handed over when the program stopped: nobody knows
    Accepted = 'A', // the service took it
    Refused = 'R',  // the service said no; the answer says why
    NotSent = 'N',  // the send stopped before it
};

struct Line {
    QString number;
    QString surname; // or the contact's name when it has none; empty for a number not known
    int part = 1;    // 1 to 10
    Outcome outcome = Outcome::Pending;
    QString answer; // the service's answer, or why the SMS did not go
};

// The key a message's report is kept under.
QString messageKey(const archive::MessageRow& message);

// The report of one send while it runs: every line is written Pending at once, then the
// outcomes as they come, a few at a time. Writing never stops a send: a failure is kept in
// failed() and nothing more is written.
class Writer final {
public:
    // `lines` without a surname get the address book's for the number (its name, without one).
    Writer(Database& db, const archive::MessageRow& message, QList<Line> lines);
    ~Writer();
    Writer(const Writer&) = delete;
    Writer& operator=(const Writer&) = delete;

    // Line `index` (from 0) got this outcome; written with the next batch.
    void record(int index, Outcome outcome, const QString& answer = {});
    // Every line still pending is not sent; everything is written.
    void finish();
    bool failed() const { return m_failed; }

private:
    void flush();
    template <typename Fn> void guarded(Fn&& fn);

    std::shared_ptr<sqlite::Connection> m_connection;
    QString m_key;
    struct Change {
        int index;
        Outcome outcome;
        QString answer;
    };
    QList<Change> m_changes;
    QList<bool> m_pending; // by line
    QElapsedTimer m_sinceFlush;
    bool m_failed = false;
};

// The lines of the message's report in send order; nothing when it has none.
QList<Line> read(Database& db, const archive::MessageRow& message);

// The outcomes of a send the program did not see to its end, by line (from 0), in the report
// under this key; every other line still pending is not sent. A line given as Pending stays so.
void settle(Database& db, const QString& key, const QHash<int, std::pair<Outcome, QString>>& lines);

// Drops the report of a message removed for good.
void forget(Database& db, const archive::MessageRow& message);

} // namespace store::sendreport
