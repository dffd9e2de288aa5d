#include "tools/dbfwriter.h"

#include <QDate>
#include <QFile>
#include <QStringEncoder>

#include <algorithm>
#include <cstring>

namespace dbfwriter {

namespace {

constexpr int backlinkSize = 263;

bool isVisualFoxPro(unsigned char version) {
    return version == 0x30 || version == 0x31 || version == 0x32;
}

const char* charsetOf(unsigned char codePage) {
    switch (codePage) {
    case 0x01:
        return "IBM437";
    case 0x02:
        return "IBM850";
    case 0x64:
        return "IBM852";
    case 0xC8:
        return "windows-1250";
    default:
        return "windows-1252";
    }
}

int fixedLength(char type, bool foxPro) {
    switch (type) {
    case 'D':
    case 'T':
    case 'Y':
    case 'B':
        return 8;
    case 'L':
        return 1;
    case 'I':
        return 4;
    case 'M':
        return foxPro ? 4 : 10;
    default:
        return 0;
    }
}

void put16(char* p, quint32 value) {
    p[0] = static_cast<char>(value & 0xFF);
    p[1] = static_cast<char>((value >> 8) & 0xFF);
}

void put32(char* p, quint32 value) {
    put16(p, value & 0xFFFF);
    put16(p + 2, value >> 16);
}

void put64(char* p, quint64 value) {
    put32(p, static_cast<quint32>(value & 0xFFFFFFFF));
    put32(p + 4, static_cast<quint32>(value >> 32));
}

// Right-aligned in `width`, asterisks when it does not fit (as dBase does).
void putRight(char* p, int width, const QByteArray& text) {
    if (text.size() > width) {
        std::memset(p, '*', static_cast<size_t>(width));
        return;
    }
    std::memset(p, ' ', static_cast<size_t>(width - text.size()));
    std::memcpy(p + width - text.size(), text.constData(), static_cast<size_t>(text.size()));
}

// "12.5" with 2 decimals -> "12.50"; the digits are kept as written.
QByteArray withDecimals(QByteArray number, int decimals) {
    const qsizetype dot = number.indexOf('.');
    qsizetype have = dot < 0 ? 0 : number.size() - dot - 1;
    if (decimals == 0)
        return dot < 0 ? number : number.left(dot);
    if (dot < 0)
        number.append('.');
    if (have > decimals)
        return number.left(number.size() - (have - decimals));
    for (; have < decimals; ++have)
        number.append('0');
    return number;
}

// "-12.34" -> -123400 ten-thousandths, exactly.
qint64 currency(const QString& text) {
    QString t = text.trimmed();
    const bool negative = t.startsWith(QLatin1Char('-'));
    if (negative || t.startsWith(QLatin1Char('+')))
        t.remove(0, 1);
    const qsizetype dot = t.indexOf(QLatin1Char('.'));
    const QString whole = dot < 0 ? t : t.left(dot);
    const QString fraction = (dot < 0 ? QString() : t.mid(dot + 1)).leftJustified(4, u'0', true);
    const qint64 value = whole.toLongLong() * 10000 + fraction.toLongLong();
    return negative ? -value : value;
}

} // namespace

struct Writer::Data {
    QFile file;
    std::vector<Column> columns;
    std::vector<int> offsets;
    std::vector<int> nullBits;
    std::vector<int> varLengthBits;
    unsigned char version;
    unsigned char codePage;
    QStringEncoder encoder;
    int recordLength = 1;
    int nullFlagsOffset = -1;
    int nullFlagsLength = 0;
    quint32 count = 0;
    QByteArray record;
    bool ok = true;
    bool finished = false;

    Data(const QString& path, std::vector<Column> cols, unsigned char v, unsigned char cp)
        : file(path)
        , columns(std::move(cols))
        , version(v)
        , codePage(cp)
        , encoder(charsetOf(cp)) {}
    void writeHeader();
    void setBit(int bit) { record[nullFlagsOffset + bit / 8] |= static_cast<char>(1 << (bit % 8)); }
    void put(size_t column, const QString& value);
};

void Writer::Data::writeHeader() {
    const bool foxPro = isVisualFoxPro(version);
    int bits = 0;
    for (Column& c : columns) {
        if (const int fixed = fixedLength(c.type, foxPro))
            c.length = fixed;
        if (!foxPro && c.type == 'V')
            c.type = 'C'; // dBase III has no varchar
        if (!foxPro)
            c.nullable = false;
        offsets.push_back(recordLength);
        recordLength += c.length;
        varLengthBits.push_back(c.type == 'V' ? bits++ : -1);
        nullBits.push_back(c.nullable ? bits++ : -1);
    }
    if (bits > 0) {
        nullFlagsOffset = recordLength;
        nullFlagsLength = (bits + 7) / 8;
        recordLength += nullFlagsLength;
    }
    const int fieldCount = static_cast<int>(columns.size()) + (bits > 0 ? 1 : 0);
    const int headerLength = 32 + 32 * fieldCount + 1 + (foxPro ? backlinkSize : 0);
    QByteArray header(headerLength, '\0');
    char* h = header.data();
    const QDate today = QDate::currentDate();
    h[0] = static_cast<char>(version);
    h[1] = static_cast<char>(today.year() - 1900);
    h[2] = static_cast<char>(today.month());
    h[3] = static_cast<char>(today.day());
    put16(h + 8, static_cast<quint32>(headerLength));
    put16(h + 10, static_cast<quint32>(recordLength));
    const bool memo =
        std::any_of(columns.begin(), columns.end(), [](const Column& c) { return c.type == 'M'; });
    if (foxPro && memo)
        h[28] = 0x02; // the table has a memo file
    h[29] = static_cast<char>(codePage);
    auto descriptor = [&](int index, const QString& name, char type, int offset, int length,
                          int decimals, unsigned char flags) {
        char* d = h + 32 + 32 * index;
        const QByteArray n = name.toLatin1().left(10);
        std::memcpy(d, n.constData(), static_cast<size_t>(n.size()));
        d[11] = type;
        if (foxPro)
            put32(d + 12, static_cast<quint32>(offset));
        d[16] = static_cast<char>(length);
        d[17] = static_cast<char>(decimals);
        d[18] = static_cast<char>(flags);
    };
    for (size_t i = 0; i < columns.size(); ++i) {
        const Column& c = columns[i];
        unsigned char flags = c.nullable ? 0x02 : 0x00;
        if (foxPro && (c.type == 'I' || c.type == 'Y'))
            flags |= 0x04; // stored in binary, as FoxPro marks them
        descriptor(static_cast<int>(i), c.name, c.type, offsets[i], c.length, c.decimals, flags);
    }
    if (bits > 0)
        descriptor(fieldCount - 1, QStringLiteral("_NullFlags"), '0', nullFlagsOffset,
                   nullFlagsLength, 0, 0x05);
    h[32 + 32 * fieldCount] = 0x0D;
    record.resize(recordLength);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        file.write(header) != header.size())
        ok = false;
}

void Writer::Data::put(size_t column, const QString& value) {
    const Column& c = columns[column];
    char* p = record.data() + offsets[column];
    switch (c.type) {
    case 'C': {
        const QByteArray bytes = encoder(value);
        const qsizetype n = std::min<qsizetype>(bytes.size(), c.length);
        std::memcpy(p, bytes.constData(), static_cast<size_t>(n));
        std::memset(p + n, ' ', static_cast<size_t>(c.length - n));
        break;
    }
    case 'V': {
        const QByteArray bytes = encoder(value);
        if (bytes.size() >= c.length) {
            std::memcpy(p, bytes.constData(), static_cast<size_t>(c.length));
        } else {
            std::memcpy(p, bytes.constData(), static_cast<size_t>(bytes.size()));
            std::memset(p + bytes.size(), ' ', static_cast<size_t>(c.length - bytes.size()));
            p[c.length - 1] = static_cast<char>(bytes.size());
            setBit(varLengthBits[column]);
        }
        break;
    }
    case 'N':
    case 'F':
        putRight(p, c.length, withDecimals(value.trimmed().toLatin1(), c.decimals));
        break;
    case 'D':
        putRight(p, 8, value.toLatin1().left(8));
        break;
    case 'L':
        p[0] = value.isEmpty() ? ' ' : static_cast<char>(value.at(0).toLatin1());
        break;
    case 'I':
        put32(p, static_cast<quint32>(value.toInt()));
        break;
    case 'Y':
        put64(p, static_cast<quint64>(currency(value)));
        break;
    case 'B': {
        const double number = value.toDouble();
        quint64 bits;
        std::memcpy(&bits, &number, sizeof bits);
        put64(p, bits);
        break;
    }
    case 'T': { // "yyyyMMddHHmmss": Julian day and milliseconds since midnight
        const auto part = [&](int from, int length) {
            return QStringView(value).mid(from, length).toInt();
        };
        const QDate date(part(0, 4), part(4, 2), part(6, 2));
        const int seconds = (part(8, 2) * 60 + part(10, 2)) * 60 + part(12, 2);
        if (value.size() == 14 && date.isValid()) {
            put32(p, static_cast<quint32>(date.toJulianDay()));
            put32(p + 4, static_cast<quint32>(seconds * 1000));
        }
        break;
    }
    default: // M: no memo file, the field stays empty
        break;
    }
}

Writer::Writer(const QString& path, std::vector<Column> columns, unsigned char version,
               unsigned char codePage)
    : m_data(std::make_unique<Data>(path, std::move(columns), version, codePage)) {
    m_data->writeHeader();
}

Writer::~Writer() {
    if (!m_data->finished)
        finish();
}

void Writer::add(const std::vector<std::optional<QString>>& values, bool deleted) {
    Data& d = *m_data;
    const bool foxPro = isVisualFoxPro(d.version);
    char* r = d.record.data();
    r[0] = deleted ? '*' : ' ';
    for (size_t i = 0; i < d.columns.size(); ++i) {
        const Column& c = d.columns[i];
        char* p = r + d.offsets[i];
        // empty: blanks for text fields, zeros for binary ones
        const bool binary = std::strchr("IYBT", c.type) || (c.type == 'M' && foxPro);
        std::memset(p, binary ? 0 : ' ', static_cast<size_t>(c.length));
    }
    if (d.nullFlagsLength > 0)
        std::memset(r + d.nullFlagsOffset, 0, static_cast<size_t>(d.nullFlagsLength));
    for (size_t i = 0; i < d.columns.size() && i < values.size(); ++i) {
        if (values[i])
            d.put(i, *values[i]);
        else if (d.nullBits[i] >= 0)
            d.setBit(d.nullBits[i]);
    }
    if (d.ok && d.file.write(d.record) != d.record.size())
        d.ok = false;
    ++d.count;
}

bool Writer::finish() {
    Data& d = *m_data;
    if (d.finished)
        return d.ok;
    d.finished = true;
    char count[4];
    put32(count, d.count);
    if (!d.ok || d.file.write("\x1A", 1) != 1 || !d.file.seek(4) || d.file.write(count, 4) != 4 ||
        !d.file.flush())
        d.ok = false;
    d.file.close();
    return d.ok && d.file.error() == QFileDevice::NoError;
}

} // namespace dbfwriter
