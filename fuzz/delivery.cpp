// The answer of esiti.pl: the delivery states of the SMS asked for.
#include "fuzz/fuzzing.h"
#include "messaging/gatewayrequests.h"

#include <cstdlib>

void fuzzing::run(QByteArrayView input) {
    const QStringList asked = {QStringLiteral("0123456789abcdef0123456789abcdef"),
                               QStringLiteral("fedcba9876543210fedcba9876543210"),
                               QStringLiteral("00000000000000000000000000000000")};
    for (const auto& state : gatewayrequests::parseStates(reply(input), asked))
        if (!asked.contains(state.key))
            std::abort();
}
