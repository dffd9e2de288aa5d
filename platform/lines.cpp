#include "platform/lines.h"

#include <cstring>

namespace platform {

std::optional<QByteArrayView> LineReader::next() {
    if (atEnd())
        return std::nullopt;
    const qsizetype start = m_pos;
    const char* begin = m_data.data() + start;
    // The next LF is looked for once, not again for every lone CR before it.
    if (m_nextLf < start) {
        const auto* lf = static_cast<const char*>(
            std::memchr(begin, '\n', static_cast<size_t>(m_data.size() - start)));
        m_nextLf = lf ? start + (lf - begin) : m_data.size();
    }
    const qsizetype lfAt = m_nextLf - start;
    const auto* cr = static_cast<const char*>(std::memchr(begin, '\r', static_cast<size_t>(lfAt)));
    const qsizetype length = cr ? cr - begin : lfAt;
    m_pos = start + length;
    m_pos += lineEndLength(m_data, m_pos);
    return m_data.sliced(start, length);
}

} // namespace platform
