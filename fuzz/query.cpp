// The gateway's reading of a request's query, as its scripts read theirs.
#include "gateway/query.h"
#include "fuzz/fuzzing.h"

void fuzzing::run(QByteArrayView input) {
    using namespace gateway;
    unsoundQuery(input);
    for (const Plus plus : {Plus::Literal, Plus::Space}) {
        const QueryString query = QueryString::parse(input, plus);
        for (const char* key : {"utente", "pass", "numero", "numerodet", "to", "text", "sms"}) {
            const QString name = QString::fromLatin1(key);
            if (query.has(name))
                parseDecimal(query.value(name));
            query.bytes(name);
        }
    }
}
