#pragma once

#include "messaging/inet.h"
#include "messaging/smssx.h"

#include <QString>
#include <QStringList>

#include <functional>

struct Session;

// One send of the composer, in its three steps: the send command, the credit check and the
// sending. The composer owns the controls and the timers that run the steps and tells the
// user what happened; this class holds what the steps share and does the requests to the
// service, the archiving and the hand-over of each SMS.
class SendSequencer {
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
    };

    enum class Command {
        EmptyText,      // nothing to send
        TooLong,        // more than 10 SMS
        TooLongForList, // list mode sends one SMS: more than 160 characters
        Ready           // cut: ask the service
    };
    enum class Ask {
        NoAccount,         // registrazione missing or unreadable
        IncompleteAccount, // no user name or no password
        Asked              // credit and channel settings asked: run the credit check
    };
    enum class Check {
        Proceed,            // archive, then run the sending step
        NoCredit,           // the credit reply is "-1": nothing known of the credit
        ConnectionFailed,   // no reply, a transfer failure or not a number
        CreditExhausted,    // the reply is "0"
        InsufficientCredit, // less credit than SMS
        NoChannel           // the channel settings cannot be read
    };
    enum class Sending {
        Completed,   // every SMS accepted
        SomeRefused, // the SMS centre refused some; the others went out
        Interrupted  // the service or the SMS centre could not be reached: the rest not sent
    };

    // Called around each round of the sending step: the recipient, then the status.
    struct Progress {
        std::function<void(int round, const QString& number)> before;
        std::function<void(int round, double count)> after;
    };

    explicit SendSequencer(Session& state);

    // The send command: cuts the text and sets the known credit to -1; then ask() reads the
    // account afresh and asks for the credit and the channel settings.
    Command command(const Message& message);
    Ask ask();
    // The credit check, up to the archiving; sets the known credit on Proceed.
    Check creditCheck();
    // Reports the send (verifica) and archives the message: one row in inviati of the address
    // book at `bookPath`. Throws on failure (StoreError, InetError).
    void archive(const QString& bookPath);
    // The sending step: charges, configures the sending component, hands over the SMS,
    // corrects the charge and writes the credit cache.
    Sending send(const Progress& progress);

    const QStringList& parts() const { return m_parts; }
    double count() const { return m_count; }  // SMS charged
    int rounds() const { return m_rounds; }   // SMS of the send
    int sent() const { return m_sent; }       // SMS accepted
    int refused() const { return m_refused; } // SMS the SMS centre refused
    // The SMS centre's answer to the first refusal, or why it failed when it said nothing.
    QString firstRefusal() const { return m_firstRefusal; }
    QString creditReply() const { return m_creditReply; }
    // Why the service was not reached or the send was interrupted; the service's reply when
    // the credit is not a number.
    QString failure() const { return m_failure; }
    // The known credit less the SMS charged.
    double remaining() const;
    bool creditCacheWritten() const { return m_cacheWritten; }

    Inet& inet() { return m_inet; }
    SMSSX& component() { return m_sms; }

private:
    QString request(const QUrl& url);

    Session& m_state;
    Inet m_inet;
    SMSSX m_sms;
    Message m_message;
    QStringList m_parts;
    double m_count = 0;
    int m_rounds = 0;
    int m_sent = 0;
    int m_refused = 0;
    QString m_firstRefusal;
    QString m_user;
    QString m_password;
    QString m_creditReply = QStringLiteral("-1");
    QString m_settingsReply;
    QString m_failure;
    bool m_cacheWritten = false;
};
