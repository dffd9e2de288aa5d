// vCard reader: every card of the text, as "Importa vCard" reads them.
#include "exchange/vcard.h"
#include "fuzz/fuzzing.h"

#include <cstdlib>

void fuzzing::run(QByteArrayView input) {
    vcard::Reader reader(input);
    qint64 last = 0;
    while (const auto card = reader.next()) {
        // Each card moves the reader on, and never past the end.
        if (reader.position() <= last || reader.position() > input.size())
            std::abort();
        last = reader.position();
    }
}
