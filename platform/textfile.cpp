#include "platform/textfile.h"

#include "platform/lines.h"

#include <QFile>
#include <QSaveFile>

#include <algorithm>
#include <array>

namespace platform::TextFile {

namespace {

constexpr char16_t undefinedChar = 0xFFFD;

// Bytes 0x80-0x9F of Windows-1252; the other bytes equal their Latin-1 code points.
constexpr std::array<char16_t, 32> highControls = {
    0x20AC,        undefinedChar, 0x201A, 0x0192,
    0x201E,        0x2026,        0x2020, 0x2021, // 80-87
    0x02C6,        0x2030,        0x0160, 0x2039,
    0x0152,        undefinedChar, 0x017D, undefinedChar, // 88-8F
    undefinedChar, 0x2018,        0x2019, 0x201C,
    0x201D,        0x2022,        0x2013, 0x2014, // 90-97
    0x02DC,        0x2122,        0x0161, 0x203A,
    0x0153,        undefinedChar, 0x017E, 0x0178, // 98-9F
};

constexpr std::array<char16_t, 256> makeTable() {
    std::array<char16_t, 256> table{};
    for (int i = 0; i < 256; ++i)
        table[static_cast<std::size_t>(i)] = static_cast<char16_t>(i);
    for (std::size_t i = 0; i < highControls.size(); ++i)
        table[0x80 + i] = highControls[i];
    return table;
}

constexpr std::array<char16_t, 256> cp1252 = makeTable();

char encodeChar(char16_t c) {
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF))
        return static_cast<char>(c);
    if (c != undefinedChar) {
        for (std::size_t i = 0; i < highControls.size(); ++i) {
            if (highControls[i] == c)
                return static_cast<char>(0x80 + i);
        }
    }
    return '?';
}

const QByteArray utf8Bom("\xEF\xBB\xBF");

QByteArray encodeLines(const QStringList& lines, bool utf8) {
    QByteArray out;
    for (const QString& line : lines) {
        out += utf8 ? line.toUtf8() : encode(line);
        out += "\r\n";
    }
    return out;
}

} // namespace

QByteArray encode(const QString& text) {
    QByteArray out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        // A character outside the basic plane is one '?', not two.
        if (c.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate())
            ++i;
        out += encodeChar(c.unicode());
    }
    return out;
}

std::optional<QByteArray> encodeExactly(QStringView text) {
    QByteArray out(text.size(), Qt::Uninitialized);
    char* dst = out.data();
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (u < 0x80) {
            *dst++ = static_cast<char>(u);
            continue;
        }
        const char byte = encodeChar(u);
        if (byte == '?')
            return std::nullopt;
        *dst++ = byte;
    }
    return out;
}

QString decode(QByteArrayView bytes) {
    QString out(bytes.size(), Qt::Uninitialized);
    QChar* dst = out.data();
    for (qsizetype i = 0; i < bytes.size(); ++i)
        dst[i] = QChar(cp1252[static_cast<unsigned char>(bytes[i])]);
    return out;
}

namespace {

QString decodeLine(QByteArrayView line, bool utf8) {
    return utf8 ? QString::fromUtf8(line) : decode(line);
}

} // namespace

std::optional<QStringList> readLines(const QString& path, qsizetype maxLines) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    // Read only as far as the lines asked for, in growing chunks.
    QByteArray data;
    if (maxLines < 0) {
        data = file.readAll();
        if (file.error() != QFileDevice::NoError)
            return std::nullopt;
    }
    qsizetype ended = 0, scanned = 0;
    qint64 chunk = 4096;
    while (maxLines >= 0 && ended < maxLines) {
        const QByteArray more = file.read(chunk);
        if (file.error() != QFileDevice::NoError)
            return std::nullopt;
        if (more.isEmpty())
            break;
        data += more;
        chunk = std::min<qint64>(chunk * 2, 1 << 20);
        // A CR that ends the data so far may be the start of CR LF: look again with more.
        while (scanned < data.size() && ended < maxLines &&
               !(data[scanned] == '\r' && scanned + 1 == data.size())) {
            const qsizetype end = lineEndLength(data, scanned);
            ended += end > 0;
            scanned += std::max<qsizetype>(end, 1);
        }
    }
    const bool utf8 = data.startsWith(utf8Bom);
    LineReader reader(QByteArrayView(data).sliced(utf8 ? utf8Bom.size() : 0));
    QStringList lines;
    while (maxLines < 0 || lines.size() < maxLines) {
        const auto line = reader.next();
        if (!line)
            break;
        lines.append(decodeLine(*line, utf8));
    }
    return lines;
}

std::optional<QString> readFirstLine(const QString& path) {
    const auto lines = readLines(path, 1);
    if (!lines || lines->isEmpty())
        return std::nullopt;
    return lines->first();
}

bool replaceLines(const QString& path, const QStringList& lines) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    const QByteArray data = encodeLines(lines, false);
    if (file.write(data) != data.size()) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

} // namespace platform::TextFile
