#include "exchange/dbf.h"

#include "platform/textfile.h"

#include <QDate>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>

#include <array>
#include <cstring>

namespace dbf {

namespace {

constexpr int headerSize = 32;
constexpr int descriptorSize = 32;
constexpr qint64 blockBytes = 64 * 1024;

// Field flags of Visual FoxPro (descriptor byte 18).
constexpr unsigned char flagNullable = 0x02;

bool isVisualFoxPro(unsigned char version) {
    return version == 0x30 || version == 0x31 || version == 0x32;
}

// dBase III and the FoxBASE/FoxPro 2 tables laid out like it (with or without a memo file).
bool isDBase3(unsigned char version) {
    return version == 0x03 || version == 0x83 || version == 0x8B || version == 0xF5;
}

bool isKnownType(char type) {
    return std::strchr("CNFDLIYTBMGPVQW0", type) != nullptr && type != '\0';
}

// The code page byte of the header as a single-byte character set; empty for Windows-1252.
const char* charsetOf(unsigned char codePage) {
    switch (codePage) {
    case 0x01: // U.S. MS-DOS
    case 0x09: // Dutch OEM
    case 0x0B: // Finnish OEM
    case 0x0D: // French OEM
    case 0x0F: // German OEM
    case 0x11: // Italian OEM
    case 0x15: // Swedish OEM
    case 0x18: // Spanish OEM
    case 0x19: // English OEM (Britain)
    case 0x1B: // English OEM (U.S.)
        return "IBM437";
    case 0x02: // International MS-DOS
    case 0x0A:
    case 0x0E:
    case 0x10:
    case 0x12:
    case 0x14:
    case 0x16:
    case 0x1A:
    case 0x1D:
    case 0x25:
    case 0x37:
        return "IBM850";
    case 0x64: // Eastern European MS-DOS
    case 0x1F:
    case 0x22:
    case 0x23:
    case 0x40:
        return "IBM852";
    case 0x65:
    case 0x26:
        return "IBM866";
    case 0x66:
    case 0x08:
    case 0x17:
        return "IBM865";
    case 0x6A:
        return "IBM737";
    case 0x6B:
        return "IBM857";
    case 0x24:
        return "IBM860";
    case 0x1C:
        return "IBM863";
    case 0x67:
        return "IBM861";
    case 0x7C:
        return "windows-874";
    case 0x7D:
        return "windows-1255";
    case 0x7E:
        return "windows-1256";
    case 0xC8:
        return "windows-1250";
    case 0xC9:
        return "windows-1251";
    case 0xCA:
        return "windows-1254";
    case 0xCB:
        return "windows-1253";
    default: // 0x03, 0x57, 0x58, 0x59, none or unknown
        return nullptr;
    }
}

// Byte -> UTF-16 for the 8-bit character set of the table; the lower half is ASCII.
std::array<char16_t, 256> decodingTable(unsigned char codePage) {
    std::array<char16_t, 256> table{};
    for (int i = 0; i < 0x80; ++i)
        table[static_cast<size_t>(i)] = char16_t(i);
    if (const char* charset = charsetOf(codePage)) {
        QStringDecoder decoder(charset);
        if (decoder.isValid()) {
            for (int i = 0x80; i < 0x100; ++i) {
                const char byte = static_cast<char>(i);
                const QString decoded = decoder.decode(QByteArrayView(&byte, 1));
                // A byte the code page leaves undefined reads as U+FFFD, never as a control.
                const bool defined =
                    decoded.size() == 1 && decoded.at(0).category() != QChar::Other_Control;
                table[static_cast<size_t>(i)] = defined ? decoded.at(0).unicode() : u'\uFFFD';
            }
            return table;
        }
    }
    QByteArray upper(0x80, Qt::Uninitialized);
    for (int i = 0; i < 0x80; ++i)
        upper[i] = static_cast<char>(0x80 + i);
    const QString decoded = platform::TextFile::decode(upper);
    for (int i = 0; i < 0x80; ++i)
        table[static_cast<size_t>(0x80 + i)] = decoded.at(i).unicode();
    return table;
}

quint16 u16(const unsigned char* p) {
    return static_cast<quint16>(p[0] | (p[1] << 8));
}

quint32 u32(const unsigned char* p) {
    return static_cast<quint32>(p[0]) | (static_cast<quint32>(p[1]) << 8) |
           (static_cast<quint32>(p[2]) << 16) | (static_cast<quint32>(p[3]) << 24);
}

quint64 u64(const unsigned char* p) {
    return static_cast<quint64>(u32(p)) | (static_cast<quint64>(u32(p + 4)) << 32);
}

bool isBlank(unsigned char c) {
    return c == ' ' || c == '\0';
}

bool isDigit(unsigned char c) {
    return c >= '0' && c <= '9';
}

void appendLatin1(QString& out, const unsigned char* p, qsizetype n) {
    out.append(QLatin1String(reinterpret_cast<const char*>(p), n));
}

// "[-]integer,decimals" from the digits of a whole part and a fraction, the fraction's
// trailing zeros dropped and the whole part's leading zeros too (but one).
QString italianNumber(bool negative, const unsigned char* whole, qsizetype wholeLength,
                      const unsigned char* fraction, qsizetype fractionLength) {
    while (wholeLength > 1 && whole[0] == '0') {
        ++whole;
        --wholeLength;
    }
    while (fractionLength > 0 && fraction[fractionLength - 1] == '0')
        --fractionLength;
    const bool zero =
        (wholeLength == 0 || (wholeLength == 1 && whole[0] == '0')) && fractionLength == 0;
    QString out;
    out.reserve(wholeLength + fractionLength + 3);
    if (negative && !zero)
        out.append(QLatin1Char('-'));
    if (wholeLength == 0)
        out.append(QLatin1Char('0'));
    else
        appendLatin1(out, whole, wholeLength);
    if (fractionLength > 0) {
        out.append(QLatin1Char(','));
        appendLatin1(out, fraction, fractionLength);
    }
    return out;
}

QString italianDouble(double value) {
    QString out = QString::number(value, 'f', QLocale::FloatingPointShortest);
    const qsizetype dot = out.indexOf(QLatin1Char('.'));
    if (dot >= 0)
        out[dot] = QLatin1Char(',');
    if (out == QLatin1String("-0"))
        out = QStringLiteral("0");
    return out;
}

// N and F fields: right-aligned text, blanks for none, asterisks when the value did not fit.
std::optional<QString> numericText(const unsigned char* p, int length) {
    qsizetype begin = 0;
    qsizetype end = length;
    while (begin < end && isBlank(p[begin]))
        ++begin;
    while (end > begin && isBlank(p[end - 1]))
        --end;
    if (begin == end)
        return std::nullopt;
    qsizetype i = begin;
    bool negative = false;
    if (p[i] == '-' || p[i] == '+') {
        negative = p[i] == '-';
        ++i;
    }
    const qsizetype wholeBegin = i;
    while (i < end && isDigit(p[i]))
        ++i;
    const qsizetype wholeEnd = i;
    qsizetype fractionBegin = i;
    if (i < end && (p[i] == '.' || p[i] == ',')) {
        fractionBegin = ++i;
        while (i < end && isDigit(p[i]))
            ++i;
    }
    const qsizetype fractionEnd = i;
    const bool anyDigit = wholeEnd > wholeBegin || fractionEnd > fractionBegin;
    if (i == end && anyDigit)
        return italianNumber(negative, p + wholeBegin, wholeEnd - wholeBegin, p + fractionBegin,
                             fractionEnd - fractionBegin);
    if (anyDigit && i < end && (p[i] == 'e' || p[i] == 'E')) { // some programs write 1.5E+10
        bool ok = false;
        const double value =
            QByteArray::fromRawData(reinterpret_cast<const char*>(p + begin), end - begin)
                .toDouble(&ok);
        if (ok && qIsFinite(value))
            return italianDouble(value);
    }
    return std::nullopt; // asterisks (overflow) or not a number
}

void appendTwoDigits(QString& out, int value) {
    out.append(QLatin1Char(static_cast<char>('0' + value / 10)));
    out.append(QLatin1Char(static_cast<char>('0' + value % 10)));
}

QString italianDate(const QDate& date) {
    QString out;
    out.reserve(19);
    appendTwoDigits(out, date.day());
    out.append(QLatin1Char('/'));
    appendTwoDigits(out, date.month());
    out.append(QLatin1Char('/'));
    const int year = date.year();
    appendTwoDigits(out, year / 100);
    appendTwoDigits(out, year % 100);
    return out;
}

std::optional<QString> dateText(const unsigned char* p) {
    int digits[8];
    for (int i = 0; i < 8; ++i) {
        if (!isDigit(p[i]))
            return std::nullopt; // blank, or not a date
        digits[i] = p[i] - '0';
    }
    const int year = digits[0] * 1000 + digits[1] * 100 + digits[2] * 10 + digits[3];
    const QDate date(year, digits[4] * 10 + digits[5], digits[6] * 10 + digits[7]);
    if (!date.isValid() || year == 0)
        return std::nullopt;
    return italianDate(date);
}

std::optional<QString> dateTimeText(const unsigned char* p) {
    const auto day = static_cast<qint32>(u32(p));
    const auto milliseconds = static_cast<qint32>(u32(p + 4));
    if (day <= 0 || milliseconds < 0 || milliseconds >= 86'400'000)
        return std::nullopt; // blank (zeros or spaces) or damaged
    int seconds = (milliseconds + 500) / 1000;
    QDate date = QDate::fromJulianDay(day);
    if (seconds == 86'400) {
        seconds = 0;
        date = date.addDays(1);
    }
    if (!date.isValid() || date.year() < 1 || date.year() > 9999)
        return std::nullopt;
    QString out = italianDate(date);
    out.append(QLatin1Char(' '));
    appendTwoDigits(out, seconds / 3600);
    out.append(QLatin1Char(':'));
    appendTwoDigits(out, seconds / 60 % 60);
    out.append(QLatin1Char(':'));
    appendTwoDigits(out, seconds % 60);
    return out;
}

QString currencyText(const unsigned char* p) {
    const auto value = static_cast<qint64>(u64(p));
    const bool negative = value < 0;
    // two's complement magnitude, so that the smallest value has one too
    const quint64 magnitude = negative ? ~static_cast<quint64>(value) + 1 : u64(p);
    const QByteArray whole = QByteArray::number(magnitude / 10000);
    const quint64 ten000ths = magnitude % 10000;
    const unsigned char fraction[4] = {static_cast<unsigned char>('0' + ten000ths / 1000),
                                       static_cast<unsigned char>('0' + ten000ths / 100 % 10),
                                       static_cast<unsigned char>('0' + ten000ths / 10 % 10),
                                       static_cast<unsigned char>('0' + ten000ths % 10)};
    return italianNumber(negative, reinterpret_cast<const unsigned char*>(whole.constData()),
                         whole.size(), fraction, 4);
}

QString hex(unsigned char byte) {
    return QString::number(byte, 16).toUpper().rightJustified(2, QLatin1Char('0'));
}

QString fieldLabel(const Field& field, int index) {
    return field.name.isEmpty() ? QString::number(index + 1) : field.name;
}

Error damaged(const QString& message) {
    return Error(Error::Damaged, message);
}

} // namespace

struct Table::Data {
    QFile file;
    std::vector<Field> fields;
    std::array<char16_t, 256> decode{};
    unsigned char version = 0;
    qint64 recordCount = 0;
    qint64 headerLength = 0;
    int recordLength = 0;
    int nullFlagsOffset = -1;

    // A block of whole records read from the file.
    QByteArray block;
    qint64 blockFirst = 0; // index (from 0) of the block's first record
    qint64 blockRecords = 0;
    qint64 next = 0; // index of the record that next() looks at
    const unsigned char* current = nullptr;
    qint64 currentIndex = -1;

    void readHeader(const QString& path);
    void readDescriptors(const QByteArray& header);
    void assignNullBits();
    void fillBlock();
    bool bit(int number) const {
        return number >= 0 && (current[nullFlagsOffset + number / 8] & (1u << (number % 8))) != 0;
    }
    std::optional<QByteArrayView> asciiView(const unsigned char* p, qsizetype length) const {
        for (qsizetype i = 0; i < length; ++i)
            if (p[i] >= 0x80 || decode[p[i]] != p[i])
                return std::nullopt;
        return QByteArrayView(p, length);
    }

    QString decodeText(const unsigned char* p, qsizetype length) const {
        QString out(length, Qt::Uninitialized);
        QChar* dst = out.data();
        for (qsizetype i = 0; i < length; ++i)
            dst[i] = QChar(decode[p[i]]);
        return out;
    }
};

void Table::Data::readHeader(const QString& path) {
    const QFileInfo info(path);
    if (!info.exists())
        throw Error(Error::Missing, QStringLiteral("il file %1 non esiste").arg(path));
    file.setFileName(path);
    if (info.isDir() || !file.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        throw Error(Error::Unreadable, QStringLiteral("il file %1 non si può leggere").arg(path));
    const qint64 fileSize = file.size();
    const QByteArray fixed = file.read(headerSize);
    if (fixed.size() < headerSize) {
        if (file.error() != QFileDevice::NoError)
            throw Error(Error::Unreadable,
                        QStringLiteral("il file %1 non si può leggere").arg(path));
        throw damaged(QStringLiteral("intestazione troppo corta"));
    }
    const auto* h = reinterpret_cast<const unsigned char*>(fixed.constData());
    version = h[0];
    if (!isVisualFoxPro(version) && !isDBase3(version))
        throw damaged(QStringLiteral("versione 0x%1 non riconosciuta").arg(hex(version)));
    recordCount = u32(h + 4);
    headerLength = u16(h + 8);
    recordLength = u16(h + 10);
    decode = decodingTable(h[29]);
    if (headerLength > fileSize)
        throw damaged(QStringLiteral("lunghezza dell'intestazione oltre la fine del file"));
    if (headerLength < headerSize + 1)
        throw damaged(
            QStringLiteral("lunghezza dell'intestazione (%1) troppo piccola").arg(headerLength));
    QByteArray header = fixed + file.read(headerLength - headerSize);
    if (header.size() != headerLength)
        throw Error(Error::Unreadable, QStringLiteral("il file %1 non si può leggere").arg(path));
    readDescriptors(header);
    assignNullBits();
}

void Table::Data::readDescriptors(const QByteArray& header) {
    const auto* h = reinterpret_cast<const unsigned char*>(header.constData());
    const bool foxPro = isVisualFoxPro(version);
    qint64 pos = headerSize;
    int running = 1; // byte 0 of a record is the deletion flag
    for (;; pos += descriptorSize) {
        if (pos >= headerLength)
            throw damaged(QStringLiteral("manca il terminatore dei campi"));
        if (h[pos] == 0x0D)
            break;
        if (pos + descriptorSize > headerLength)
            throw damaged(QStringLiteral("manca il terminatore dei campi"));
        const unsigned char* d = h + pos;
        Field field;
        const auto* name = reinterpret_cast<const char*>(d);
        field.name = QString::fromLatin1(name, qstrnlen(name, 11));
        for (QChar& c : field.name)
            c = QChar(decode[static_cast<unsigned char>(c.unicode())]);
        field.type = static_cast<char>(d[11]);
        field.length = d[16];
        field.decimals = d[17];
        // Visual FoxPro stores the offset (some other programs leave it 0); dBase III does not
        const quint32 stored = foxPro ? u32(d + 12) : 0;
        field.offset = stored ? static_cast<int>(std::min<quint32>(stored, 0x10000)) : running;
        const int index = static_cast<int>(fields.size());
        const QString label = fieldLabel(field, index);
        if (field.name.isEmpty())
            throw damaged(QStringLiteral("il campo %1 non ha nome").arg(label));
        if (!isKnownType(field.type))
            throw damaged(QStringLiteral("il campo %1 ha un tipo sconosciuto (0x%2)")
                              .arg(label)
                              .arg(hex(d[11])));
        if (field.length == 0)
            throw damaged(QStringLiteral("il campo %1 ha lunghezza zero").arg(label));
        if (field.offset + field.length > recordLength)
            throw damaged(QStringLiteral("il campo %1 esce dal record").arg(label));
        if (field.offset != running)
            throw damaged(
                QStringLiteral("il campo %1 non inizia dove finisce il precedente").arg(label));
        if (field.type == '0') {
            if (nullFlagsOffset < 0)
                nullFlagsOffset = field.offset;
        } else if (foxPro && (d[18] & flagNullable)) {
            field.nullBit = 0; // numbered below
        }
        running += field.length;
        fields.push_back(std::move(field));
    }
    if (fields.empty())
        throw damaged(QStringLiteral("la tabella non ha campi"));
    if (running != recordLength)
        throw damaged(QStringLiteral("la lunghezza del record (%1) non corrisponde ai campi (%2)")
                          .arg(recordLength)
                          .arg(running));
}

// One bit per varchar field (its length is in its last byte), followed by one per nullable
// field, in field order.
void Table::Data::assignNullBits() {
    int bits = 0;
    int nullFlagsLength = 0;
    for (Field& field : fields) {
        if (field.type == '0') {
            if (field.offset == nullFlagsOffset)
                nullFlagsLength = field.length;
            continue;
        }
        if (isVisualFoxPro(version) && (field.type == 'V' || field.type == 'Q'))
            field.varLengthBit = bits++;
        if (field.nullBit >= 0)
            field.nullBit = bits++;
    }
    if (bits > 0 && nullFlagsOffset < 0)
        throw damaged(QStringLiteral("manca il campo _NullFlags richiesto dai campi che "
                                     "ammettono NULL o hanno lunghezza variabile"));
    if (bits > nullFlagsLength * 8)
        throw damaged(
            QStringLiteral("il campo _NullFlags è troppo corto: servono %1 bit").arg(bits));
}

void Table::Data::fillBlock() {
    const qint64 wanted = std::min(recordCount - next, blockBytes / recordLength + 1);
    const qint64 bytes = wanted * recordLength;
    if (block.size() < bytes)
        block.resize(bytes);
    const qint64 got = file.read(block.data(), bytes);
    if (got < 0)
        throw Error(Error::Unreadable,
                    QStringLiteral("il file %1 non si può leggere").arg(file.fileName()));
    blockFirst = next;
    blockRecords = got / recordLength;
    if (blockRecords == 0)
        throw damaged(QStringLiteral("record %1 troncato: il file finisce prima").arg(next + 1));
}

Table::Table(const QString& path)
    : m_data(std::make_unique<Data>()) {
    m_data->readHeader(path);
}

Table::~Table() = default;

QString Table::find(const QString& folder, const QString& name) {
    const QString wanted = name + QStringLiteral(".dbf");
    const QDir dir(folder);
    // A folder of that name is found too: opening it then says the table cannot be read.
    const QStringList entries =
        dir.entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System);
    for (const QString& entry : entries) {
        if (entry.compare(wanted, Qt::CaseInsensitive) == 0)
            return dir.filePath(entry);
    }
    return {};
}

const std::vector<Field>& Table::fields() const {
    return m_data->fields;
}

int Table::fieldIndex(QAnyStringView name) const {
    const auto& fields = m_data->fields;
    for (size_t i = 0; i < fields.size(); ++i) {
        if (QAnyStringView::compare(name, fields[i].name, Qt::CaseInsensitive) == 0)
            return static_cast<int>(i);
    }
    return -1;
}

qint64 Table::recordCount() const {
    return m_data->recordCount;
}

bool Table::next() {
    Data& d = *m_data;
    d.current = nullptr;
    while (d.next < d.recordCount) {
        if (d.next >= d.blockFirst + d.blockRecords)
            d.fillBlock();
        const auto* record = reinterpret_cast<const unsigned char*>(d.block.constData()) +
                             (d.next - d.blockFirst) * d.recordLength;
        d.currentIndex = d.next++;
        if (record[0] != '*') {
            d.current = record;
            return true;
        }
    }
    d.currentIndex = d.recordCount;
    return false;
}

qint64 Table::recordNumber() const {
    return m_data->currentIndex + 1;
}

// The stored characters of a character or varchar field of the current record: trailing NULs
// dropped, a varchar at its length. Nothing for NULL or another type.
static std::optional<std::pair<const unsigned char*, qsizetype>>
characters(const unsigned char* p, const Field& f, bool varLength) {
    switch (f.type) {
    case 'C': {
        qsizetype length = f.length;
        while (length > 0 && p[length - 1] == '\0')
            --length;
        return std::pair{p, length};
    }
    case 'V':
        return std::pair{p, varLength ? qsizetype{std::min<int>(p[f.length - 1], f.length - 1)}
                                      : qsizetype{f.length}};
    default:
        return std::nullopt;
    }
}

// The field of the current record, unless there is none or its value is NULL.
const Field* Table::valued(int field) const {
    const Data& d = *m_data;
    if (!d.current || field < 0 || static_cast<size_t>(field) >= d.fields.size())
        return nullptr;
    const Field& f = d.fields[static_cast<size_t>(field)];
    return d.bit(f.nullBit) ? nullptr : &f;
}

std::optional<QByteArrayView> Table::asciiText(int field) const {
    const Data& d = *m_data;
    const Field* f = valued(field);
    if (!f)
        return std::nullopt;
    const auto stored = characters(d.current + f->offset, *f, d.bit(f->varLengthBit));
    return stored ? d.asciiView(stored->first, stored->second) : std::nullopt;
}

std::optional<QString> Table::text(int field) const {
    const Data& d = *m_data;
    const Field* valuedField = valued(field);
    if (!valuedField)
        return std::nullopt;
    const Field& f = *valuedField;
    const unsigned char* p = d.current + f.offset;
    if (const auto stored = characters(p, f, d.bit(f.varLengthBit)))
        return d.decodeText(stored->first, stored->second);
    switch (f.type) {
    case 'N':
    case 'F':
        return numericText(p, f.length);
    case 'D':
        return f.length >= 8 ? dateText(p) : std::nullopt;
    case 'L':
        switch (p[0]) {
        case 'T':
        case 't':
        case 'Y':
        case 'y':
            return QStringLiteral("Vero");
        case 'F':
        case 'f':
        case 'N':
        case 'n':
            return QStringLiteral("Falso");
        default:
            return std::nullopt;
        }
    case 'I':
        if (f.length != 4)
            return std::nullopt;
        return QString::number(static_cast<qint32>(u32(p)));
    case 'Y':
        return f.length == 8 ? std::optional(currencyText(p)) : std::nullopt;
    case 'T':
        return f.length == 8 ? dateTimeText(p) : std::nullopt;
    case 'B': {
        if (f.length != 8)
            return std::nullopt;
        double value;
        const quint64 bits = u64(p);
        std::memcpy(&value, &bits, sizeof value);
        if (!qIsFinite(value))
            return std::nullopt;
        return italianDouble(value);
    }
    default: // memo, general, picture, blob, varbinary, _NullFlags
        return std::nullopt;
    }
}

} // namespace dbf
