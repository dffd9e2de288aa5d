// The service's short answers: the credit (leggi.pl), the channel settings (nosggi.pl) and the
// keys in the second line of an accepted sendsms.
#include "core/settings.h"
#include "fuzz/fuzzing.h"
#include "messaging/gatewayrequests.h"

void fuzzing::run(QByteArrayView input) {
    const QString text = reply(input);
    settings::parseCredit(gatewayrequests::stripLeadingBlank(text));
    gatewayrequests::parseChannelSettings(gatewayrequests::stripLeadingBlank(text));
    const QByteArray body = fuzzing::body(input).toByteArray();
    if (const qsizetype lineEnd = body.indexOf('\n'); lineEnd >= 0)
        gatewayrequests::smsKey(body.mid(lineEnd + 1));
}
