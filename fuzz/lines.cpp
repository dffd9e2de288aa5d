// The line reader every text reader uses.
#include "platform/lines.h"
#include "fuzz/fuzzing.h"

#include <cstdlib>

void fuzzing::run(QByteArrayView input) {
    platform::LineReader reader(input);
    qsizetype read = 0;
    while (const auto line = reader.next()) {
        // A line holds no line end, and it and its end are exactly the bytes passed over.
        if (line->contains('\r') || line->contains('\n') || line->data() != input.data() + read)
            std::abort();
        read += line->size() + platform::lineEndLength(input, read + line->size());
        if (reader.position() != read)
            std::abort();
    }
    if (read != input.size() || !reader.atEnd())
        std::abort();
}
