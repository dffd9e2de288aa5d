#pragma once

#include <QByteArrayView>

#include <optional>

// Every text reader splits lines here: at CR LF, at LF and at a lone CR alike, so that no line
// it hands out holds a CR or an LF.
namespace platform {

// The length of the line end that starts at data[pos]: 2 for CR LF, 1 for LF or a lone CR,
// 0 when data[pos] ends no line (or pos is past the end).
inline qsizetype lineEndLength(QByteArrayView data, qsizetype pos) {
    if (pos < 0 || pos >= data.size())
        return 0;
    if (data[pos] == '\n')
        return 1;
    if (data[pos] != '\r')
        return 0;
    return pos + 1 < data.size() && data[pos + 1] == '\n' ? 2 : 1;
}

// Hands out the lines of a buffer one at a time, without their ends. A line end at the very
// end of the buffer gives no empty last line. The buffer must outlive the reader.
class LineReader final {
public:
    explicit LineReader(QByteArrayView data)
        : m_data(data) {}

    std::optional<QByteArrayView> next();
    // Where the next line starts (the bytes read so far, with their line ends).
    qsizetype position() const { return m_pos; }
    bool atEnd() const { return m_pos >= m_data.size(); }

private:
    QByteArrayView m_data;
    qsizetype m_pos = 0;
    qsizetype m_nextLf = -1; // the first LF at or after m_pos, or the end; -1: not looked for
};

} // namespace platform
