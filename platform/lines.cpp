#include "platform/lines.h"

#include <cstring>

namespace platform {

std::optional<QByteArrayView> LineReader::next() {
    if (atEnd())
        return std::nullopt;
    const qsizetype start = m_pos;
    const char* begin = m_data.data() + start;
    const qsizetype rest = m_data.size() - start;
    // The first CR or LF: memchr for each, as lines are usually long next to their ends.
    const auto* lf = static_cast<const char*>(std::memchr(begin, '\n', static_cast<size_t>(rest)));
    const qsizetype lfAt = lf ? lf - begin : rest;
    const auto* cr = static_cast<const char*>(std::memchr(begin, '\r', static_cast<size_t>(lfAt)));
    const qsizetype length = cr ? cr - begin : lfAt;
    m_pos = start + length;
    m_pos += lineEndLength(m_data, m_pos);
    return m_data.sliced(start, length);
}

} // namespace platform
