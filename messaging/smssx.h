#pragma once

#include "messaging/httpget.h"

#include <QString>
#include <QUrl>
#include <QVariant>

#include <chrono>
#include <functional>
#include <optional>

// The SMS-sending component: hands one SMS per call to a gateway's Kannel sendsms interface,
//   GET http://HOST:PORT/cgi-bin/sendsms?username=U&password=P&from=SENDER&to=NUMBER&text=TEXT
//       &charset=UTF-8[&coding=2][&mclass=0]
// every value percent-encoded as UTF-8. The text goes in the GSM 7-bit alphabet when it can,
// as UCS-2 (coding=2) otherwise (smslength.h); mclass=0 asks for a flash SMS. One kept-alive
// connection serves all the SMS of a send. With a reference set, the request also carries
// &quillet-id=REFERENCE: a key Kannel ignores, by which quillet-gateway's sink can later say
// whether that SMS arrived (received()). One request at a time: each call's result goes to its
// callback from the event loop (NotConfigured at once). Nothing throws.
class SMSSX {
public:
    // The dispatch identifiers the composer uses.
    enum Member {
        Flash = 1,   // property, bool
        Account = 2, // property, text "user:password" of the sendsms account
        Host = 3,    // property, text
        Sender = 4,  // property, text shown as the sender
        Send = 5,    // method (number, text) -> result
        Port = 11,   // property, double
    };

    // Results of send(): 0, or why the SMS was not sent.
    enum Result {
        Accepted = 0,          // the gateway answered 202
        TransportFailure = -1, // unreachable, connection closed, not an HTTP answer
        TimedOut = -2,         // no answer within timeout()
        NotConfigured = -3,    // no host, a port outside 1-65535, or an unknown member for invoke
        // The gateway handed it to the SMS centre and lost the answer: it may have gone, and is
        // paid for; its delivery report will tell.
        Uncertain = 504,
        // any other answer: its HTTP status (400 refused, 403 wrong account ...)
    };

    static constexpr std::chrono::milliseconds defaultTimeout{60000};

    using Sent = std::function<void(int result)>;

    // Sets the property with this dispatch identifier; other identifiers are ignored.
    void setProperty(int dispid, const QVariant& value);
    // Calls the method with this dispatch identifier: Send; NotConfigured for any other.
    void invoke(int dispid, const QString& number, const QString& text, Sent sent);

    void setHost(const QString& host) { m_host = host; }
    // "user:password", split at the first ":"; without one, all of it is the user.
    void setAccount(const QString& account);
    // Rounded to a whole number.
    void setPort(double port);
    void setFlash(bool flash) { m_flash = flash; }
    void setSender(const QString& sender) { m_sender = sender; }
    // The reference the next SMS carries; empty for none.
    void setReference(const QString& reference) { m_reference = reference; }

    // Sends one SMS. Blanks in the number are dropped ("+39 333 1234567" -> "+393331234567").
    // An empty sender leaves "from" out, so the gateway's own sender applies.
    void send(const QString& number, const QString& text, Sent sent);
    // The request under way ends; its callback is never called.
    void cancel() { m_http.cancel(); }

    // Why the last send failed, in Italian; empty after an accepted SMS.
    QString lastError() const { return m_lastError; }
    // The gateway's own answer when it refused the last SMS ("Sender missing ..."); else empty.
    QString lastRefusal() const { return m_lastRefusal; }
    // The gateway's answer to the last SMS, whatever it was ("0: Accepted for delivery");
    // empty when it did not answer.
    QString lastAnswer() const { return m_lastAnswer; }
    // The key the gateway gave the last accepted SMS (X-Quillet-Sms, the first of several), by
    // which its delivery is asked later; empty when it gave none.
    QString lastKey() const { return m_lastKey; }

    // Whether the SMS handed over with this reference reached the channel, asked of its
    //   GET http://HOST:PORT/cgi-bin/sendsms-status?username=U&password=P&quillet-id=REFERENCE
    // (answered with the SMS that reached it, "0" for none, "Incerto" when the gateway handed it
    // on and lost the answer); nullopt when the channel does not know (a real Kannel knows no
    // such request) or it is uncertain.
    void received(const QString& reference, std::function<void(std::optional<bool>)> known);

    std::chrono::milliseconds timeout() const { return m_timeout; }
    void setTimeout(std::chrono::milliseconds timeout) { m_timeout = timeout; }

    // The request send() makes; invalid when the component is not configured.
    QUrl requestUrl(const QString& number, const QString& text) const;

private:
    int take(const HttpAnswer& answer);

    HttpGet m_http;
    std::chrono::milliseconds m_timeout = defaultTimeout;
    QString m_host;
    QString m_user;
    QString m_password;
    int m_port = 0;
    bool m_flash = false;
    QString m_sender;
    QString m_reference;
    QString m_lastError;
    QString m_lastRefusal;
    QString m_lastAnswer;
    QString m_lastKey;
};
