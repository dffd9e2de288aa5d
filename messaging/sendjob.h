#pragma once

#include "messaging/inet.h"
#include "messaging/sendjournal.h"
#include "messaging/smssx.h"
#include "store/archive.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <memory>
#include <optional>

struct Session;

namespace store {
class Database;
}
namespace store::sendreport {
class Writer;
struct Line;
} // namespace store::sendreport

// One send, from the text to the credit cache: it cuts the text, asks the service for the
// credit and the channel, checks the credit, reports the send and archives the message in
// inviati with the report of its SMS, hands each SMS to the sending component (recording what
// the service answered) and writes what credit is left. Its journal lets the next start settle
// a send that the program's end cut short (sendjournal.h). Each answer of the service runs the
// next step from the event loop (one SMS per answer, over one kept-alive connection), so the
// window paints in between; it says what happens through its signals, and the window only
// starts it and shows.
class SendJob final : public QObject {
    Q_OBJECT
public:
    // What the composer holds when the send command runs.
    struct Message {
        QString text;
        bool list = false;      // list mode: the one part to every recipient
        QStringList recipients; // list mode
        QString number;         // single mode: the number box, as typed
        QString numberLabel;    // archived as cellulare
        QString surname;        // archived as cognome
        bool atBlank = false;   // the option "Suddividi allo spazio più prossimo"
        bool flash = false;
        QString sender;
        QString book; // the address book whose inviati gets the message
        // The text filled for each recipient (list mode) or for the number, when it has
        // fields; the message is archived as written.
        QStringList texts;
    };

    enum class Outcome {
        // Stopped before anything was asked of the service.
        EmptyText,      // nothing to send
        TooLong,        // more than 10 SMS
        TooLongForList, // list mode sends one SMS: the text does not go as one
        NoAccount,      // registrazione missing or unreadable, or no user name or password
        AllExcluded,    // list mode: every recipient is among the excluded numbers
        // Stopped by the credit check: nothing archived, nothing sent.
        NoCredit,           // the credit reply is "-1": nothing known of the credit
        ConnectionFailed,   // no reply, a transfer failure or not a number
        CreditExhausted,    // the reply is "0"
        InsufficientCredit, // less credit than SMS
        NoChannel,          // the channel settings cannot be read
        NotArchived,        // the report of the send or the archiving failed
        // The SMS were handed over; the credit cache is written.
        Completed,   // every SMS accepted
        SomeRefused, // the SMS centre refused some; the others went out
        Interrupted, // the service or the SMS centre could not be reached: the rest not sent
        // Anything else that went wrong; `failure` says what.
        Failed
    };

    struct Result {
        Outcome outcome = Outcome::Failed;
        int sent = 0;    // SMS accepted
        int refused = 0; // SMS the SMS centre refused
        int rounds = 0;  // SMS of the send
        // The SMS centre's answer to the first refusal, or why it failed when it said nothing.
        QString firstRefusal;
        // Why the service was not reached or the send was interrupted; the service's reply
        // when the credit is not a number.
        QString failure;
        bool creditCacheWritten = false;
        // The message as archived in inviati, once it is; with its report when that was
        // written whole (what the service answered for each SMS).
        std::optional<store::archive::MessageRow> archived;
        bool reportWritten = false;
        int tooLong = -1; // TooLongForList: the recipient (from 0) whose filled text is too long
        int excluded = 0; // list mode: recipients skipped as excluded numbers
    };

    explicit SendJob(Session& state, QObject* parent = nullptr);
    ~SendJob() override;

    // Starts a send. A text that cannot go ends it at
    // once, with finished() before start() returns.
    void start(const Message& message);
    // No further step runs and nothing more is reported.
    void cancel();

signals:
    // The status of the send, in order: "Verifica Credito", "Disponibilità OK",
    // "Inviati N di M" after each SMS, "Invio Completato" or "Invio interrotto"; or
    // "Credito Esaurito" when the service knows no credit.
    void statusChanged(const QString& status);
    // The sending step hands an SMS to this number (rounds from 1).
    void recipientStarted(int round, const QString& number);
    // `round` SMS of `total` handed over: 0 before the first.
    void progress(int round, int total);
    // The message is now in inviati.
    void archived();
    // The known credit less the SMS charged, once the SMS went out.
    void creditChanged(double remaining);
    void finished(const SendJob::Result& result);

private:
    template <typename Step> auto guarded(Step step);
    void askService();
    void checkCredit();
    void archive();
    void writeReport();
    void charge();
    void configureChannel();
    void handOver(int round);
    void record(int round, int result);
    void end(Outcome outcome);
    void finish(Outcome outcome);
    QString textOf(const Inet::Reply& reply);
    double remaining() const;
    QList<store::sendreport::Line> reportLines() const;
    const QString& listText(int round) const;
    void leaveOutExcluded();

    Session& m_state;
    Inet m_inet;
    SMSSX m_sms;
    QTimer m_startTimer;
    QTimer m_reportTimer; // the next slice of the report's lines
    static constexpr qsizetype reportSlice = 500;
    bool m_running = false;
    Message m_message;
    QStringList m_excluded; // list mode: the recipients skipped, reported as excluded
    QStringList m_excludedTexts;
    QStringList m_parts;
    double m_count = 0; // SMS charged
    QString m_user;
    QString m_password;
    QString m_creditReply = QStringLiteral("-1");
    QString m_settingsReply;
    Result m_result;
    double m_credit = -1;                    // as the service answered; -1 until it did
    std::unique_ptr<store::Database> m_book; // the address book archived into
    std::unique_ptr<store::sendreport::Writer> m_report;
    // Beside the address book while the send may have charged or handed over anything.
    std::unique_ptr<sendjournal::Journal> m_journal;
    bool m_keepJournal = false; // the charge could not be corrected: settled at the next start
};
