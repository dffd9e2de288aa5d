#pragma once

#include "store/sendreport.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <optional>

// The four HTTP requests to the SMS service's gateway and the readers of their replies.
namespace gatewayrequests {

// The account every request carries.
struct Account {
    QString user;
    QString password;
};

// Percent-encoding of RFC 3986: A-Z a-z 0-9 - . _ ~ kept, every other character as %XX of
// its UTF-8 bytes ("a&b c" -> "a%26b%20c").
QString percentEncode(const QString& text);

// "datatime": day, month, year, hour, minute, second run together without leading zeros
// (3 September 2024 09:05:07 -> "392024957").
QString timeStamp(const QDateTime& moment);

// The requests, stamped with platform::Clock::now(); `servizio` is the host[:port] of the
// service (service::pageUrl's rule). User and password are percent-encoded, the known credit
// and the send count written with the Italian decimal comma (12.5 -> "12,5").
QUrl creditQuery(const QString& servizio, const Account& account);
QUrl channelSettingsRequest(const QString& servizio, const Account& account);
QUrl verificaRequest(const QString& servizio, const Account& account, double credito, double count);
QUrl verifica2Request(const QString& servizio, const Account& account, double credito,
                      double count);

// The HTTP status of an SMS the gateway (Kannel's sendsms) accepted.
inline constexpr int acceptedStatus = 202;

// The delivery states of the SMS with these keys (esiti.pl), at most maxStateKeys of them.
inline constexpr int maxStateKeys = 200;

// The longest answer of each request, in bytes: a longer one is refused unread. The credit is
// a number; the channel settings, verifica and a send's answer a few short lines; esiti.pl a
// line of at most ~300 bytes a key; sendsms-status a count.
inline constexpr qint64 creditAnswerBytes = 256;
inline constexpr qint64 shortAnswerBytes = 4096;
inline constexpr qint64 statesAnswerBytes = maxStateKeys * 320;
inline constexpr qint64 countAnswerBytes = 64;
QUrl statesRequest(const QString& servizio, const Account& account, const QStringList& keys);

// The first key of the keys an accepted sendsms gave (its answer's second line, comma
// separated): 32 lowercase hexadecimal digits; empty for anything else.
QString smsKey(const QByteArray& keys);

// The lines of an esiti.pl answer, "KEY<TAB>STATE<TAB>TIME<TAB>TEXT", for the keys asked:
// a line that is not of that form (a key not asked, a state the gateway does not give, a time
// not "yyyy-MM-ddTHH:mm:ssZ", an unknown escape in the text) is skipped; the text's escapes
// are read (store::sendreport::recordStates cuts it).
QList<store::sendreport::State> parseStates(const QString& reply, const QStringList& asked);

// The reply of the channel settings request: "host-user:password-port", split at every "-".
struct ChannelSettings {
    QString host;    // field 1, for the sending component's member 3
    QString account; // field 2, member 2
    double port = 0; // field 3, member 11
};
// std::nullopt when the reply has fewer than three fields (an empty reply included). The port
// is the leading number of field 3 ("8080\r\n" -> 8080, "12abc" -> 12, "abc" -> 0); fields past
// the third are ignored.
std::optional<ChannelSettings> parseChannelSettings(const QString& reply);

// The leading number of a text as the channel settings read it: blanks before it skipped,
// an optional sign, digits and a decimal point; 0 when the text does not start with one.
double leadingNumber(const QString& text);

// The send's clean-up of the credit and channel settings replies: one leading blank removed.
QString stripLeadingBlank(const QString& reply);

} // namespace gatewayrequests
