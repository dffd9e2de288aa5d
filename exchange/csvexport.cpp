#include "exchange/csvexport.h"

#include "exchange/filebytes.h"
#include "platform/textfile.h"

#include <algorithm>
#include <array>
#include <vector>

namespace csvexport {

namespace {

// What would split or open a field.
constexpr bool isSpecial(char32_t u) {
    return u == u';' || u == u'"' || u == u'\r' || u == u'\n';
}

bool needsQuotes(QStringView value) {
    return std::any_of(value.begin(), value.end(), [](QChar c) { return isSpecial(c.unicode()); });
}

// `text` in Windows-1252 at `out`, in quotes (its quotes doubled) when `quote` and it holds
// what would split or open a field: where it ends, or nullptr when a character does not fit.
// Takes at most 2 bytes a character, and 2.
char* putWindows1252(QStringView text, bool quote, char* out) {
    char* const start = out;
    bool quoted = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t u = text[i].unicode();
        if (u < 0x80) {
            if (isSpecial(u) && quote) {
                if (!quoted) { // again from the start, in quotes
                    quoted = true;
                    out = start;
                    *out++ = '"';
                    i = -1;
                    continue;
                }
                if (u == u'"')
                    *out++ = '"';
            }
            *out++ = static_cast<char>(u);
        } else if (u >= 0xA0 && u <= 0xFF) {
            *out++ = static_cast<char>(u);
        } else if (const auto byte = platform::TextFile::encodeExactly(text.sliced(i, 1))) {
            *out++ = byte->at(0);
        } else {
            return nullptr;
        }
    }
    if (quoted)
        *out++ = '"';
    return out;
}

// The same in UTF-8, as QString::toUtf8() writes it (a surrogate without its pair is '?'):
// where it ends. Takes at most 3 bytes a character, and 2.
char* putUtf8(QStringView text, bool quote, char* out) {
    const bool quoted = quote && needsQuotes(text);
    if (quoted)
        *out++ = '"';
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char32_t u = text[i].unicode();
        if (u < 0x80) {
            if (u == u'"' && quoted)
                *out++ = '"';
            *out++ = static_cast<char>(u);
        } else if (u < 0x800) {
            *out++ = static_cast<char>(0xC0 | (u >> 6));
            *out++ = static_cast<char>(0x80 | (u & 0x3F));
        } else if (!QChar::isSurrogate(u)) {
            *out++ = static_cast<char>(0xE0 | (u >> 12));
            *out++ = static_cast<char>(0x80 | ((u >> 6) & 0x3F));
            *out++ = static_cast<char>(0x80 | (u & 0x3F));
        } else if (QChar::isHighSurrogate(u) && i + 1 < text.size() &&
                   text[i + 1].isLowSurrogate()) {
            const char32_t v =
                QChar::surrogateToUcs4(static_cast<char16_t>(u), text[++i].unicode());
            *out++ = static_cast<char>(0xF0 | (v >> 18));
            *out++ = static_cast<char>(0x80 | ((v >> 12) & 0x3F));
            *out++ = static_cast<char>(0x80 | ((v >> 6) & 0x3F));
            *out++ = static_cast<char>(0x80 | (v & 0x3F));
        } else {
            *out++ = '?';
        }
    }
    if (quoted)
        *out++ = '"';
    return out;
}

} // namespace

Writer::Writer()
    : m_bytes(QByteArray(header) + "\r\n") {}

Writer::Writer(const QStringList& columns) {
    const QString line = columns.join(QLatin1Char(';'));
    const QStringView view = line;
    appendLine(std::span(&view, 1), false);
}

void Writer::appendLine(std::span<const QStringView> fields, bool quoteWhereNeeded) {
    if (!m_utf8 && put(fields, quoteWhereNeeded))
        return;
    if (!m_utf8) {
        // The first character that Windows-1252 lacks: what is written so far becomes UTF-8.
        m_bytes = "\xEF\xBB\xBF" + platform::TextFile::decode(m_bytes).toUtf8();
        m_utf8 = true;
    }
    put(fields, quoteWhereNeeded);
}

char* Writer::grow(qsizetype most) {
    const qsizetype start = m_bytes.size();
    if (start + most > m_bytes.capacity())
        m_bytes.reserve(std::max(start + most, 2 * m_bytes.capacity()));
    m_bytes.resize(start + most);
    return m_bytes.data() + start;
}

void Writer::endLine(char* out) {
    *out++ = '\r';
    *out++ = '\n';
    m_bytes.resize(out - m_bytes.constData());
}

// One line in the file's encoding; false, with nothing written, when a character does not fit.
bool Writer::put(std::span<const QStringView> fields, bool quoteWhereNeeded) {
    const qsizetype perCharacter = m_utf8 ? 3 : 2;
    qsizetype most = 2 + 3 * static_cast<qsizetype>(fields.size());
    for (const QStringView field : fields)
        most += perCharacter * field.size();
    const qsizetype start = m_bytes.size();
    char* out = grow(most);
    for (size_t i = 0; i < fields.size(); ++i) {
        if (i > 0)
            *out++ = ';';
        // In quotes, as spreadsheets write it, only when it holds what would split or open a
        // field.
        out = m_utf8 ? putUtf8(fields[i], quoteWhereNeeded, out)
                     : putWindows1252(fields[i], quoteWhereNeeded, out);
        if (!out) {
            m_bytes.resize(start);
            return false;
        }
    }
    endLine(out);
    return true;
}

void Writer::add(const contacts::Contact& contact) {
    // The address book keeps an empty field as one blank: the file has it empty.
    const auto field = [](const QString& value) {
        return value == QLatin1String(" ") ? QStringView() : QStringView(value);
    };
    const std::array fields = {field(contact.nome), field(contact.cognome),
                               field(contact.cellulare), field(contact.email)};
    appendLine(fields, true);
    ++m_contacts;
}

void Writer::addStored(QByteArrayView nome, QByteArrayView cognome, QByteArrayView cellulare,
                       QByteArrayView email) {
    // The stored blank of an empty field, as add() writes it.
    const auto field = [](QByteArrayView value) {
        return value == " " ? QByteArrayView() : value;
    };
    const std::array fields = {field(nome), field(cognome), field(cellulare), field(email)};
    const bool ascii = std::all_of(fields.begin(), fields.end(), [](QByteArrayView value) {
        return std::all_of(value.begin(), value.end(),
                           [](char c) { return static_cast<unsigned char>(c) < 0x80; });
    });
    if (!ascii) {
        add({.nome = QString::fromUtf8(nome),
             .cognome = QString::fromUtf8(cognome),
             .cellulare = QString::fromUtf8(cellulare),
             .email = QString::fromUtf8(email)});
        return;
    }
    putAscii(fields);
    ++m_contacts;
}

// ASCII is the same bytes in both encodings.
void Writer::putAscii(std::span<const QByteArrayView> fields) {
    qsizetype most = 2 + 3 * static_cast<qsizetype>(fields.size());
    for (const QByteArrayView field : fields)
        most += 2 * field.size();
    char* out = grow(most);
    for (size_t i = 0; i < fields.size(); ++i) {
        if (i > 0)
            *out++ = ';';
        const QByteArrayView value = fields[i];
        if (!std::any_of(value.begin(), value.end(), [](char c) { return isSpecial(c); })) {
            out = std::copy(value.begin(), value.end(), out);
            continue;
        }
        *out++ = '"';
        for (const char c : value) {
            if (c == '"')
                *out++ = '"';
            *out++ = c;
        }
        *out++ = '"';
    }
    endLine(out);
}

void Writer::addRow(const QStringList& fields) {
    const std::vector<QStringView> views(fields.begin(), fields.end());
    appendLine(views, true);
    ++m_contacts;
}

QByteArray Writer::bytes() const {
    return m_bytes;
}

std::optional<QString> Writer::save(const QString& path) const {
    return exchange::saveWhole(path, m_bytes);
}

} // namespace csvexport
