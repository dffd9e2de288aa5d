#include "exchange/csvimport.h"

#include "contacts/contactstore.h"
#include "exchange/contactload.h"
#include "exchange/filebytes.h"
#include "platform/lines.h"
#include "platform/textfile.h"
#include "store/database.h"

#include <QVarLengthArray>

#include <algorithm>
#include <array>
#include <cstring>

namespace csvimport {

namespace {

constexpr qint64 recordsPerTransaction = 20000;
constexpr qint64 recordsPerProgress = 1000;

QString decodeText(QByteArrayView bytes, bool utf8) {
    return utf8 ? QString::fromUtf8(bytes) : platform::TextFile::decode(bytes);
}

// A quoted field read up to its closing quote, with doubled quotes made single and every line
// end inside made one blank; anything between the closing quote and the separator is kept as it
// stands.
QByteArray unquoted(QByteArrayView raw) {
    QByteArray text;
    text.reserve(raw.size());
    qsizetype i = 1;
    while (i < raw.size()) {
        if (raw[i] == '"') {
            if (i + 1 < raw.size() && raw[i + 1] == '"') {
                text += '"';
                i += 2;
                continue;
            }
            text += raw.sliced(i + 1);
            break;
        }
        if (const qsizetype end = platform::lineEndLength(raw, i)) {
            text += ' ';
            i += end;
            continue;
        }
        text += raw[i++];
    }
    return text;
}

// A field's text. A field that begins with a double quote is unquoted; any other field is
// taken as is.
QString fieldText(QByteArrayView raw, bool utf8) {
    return raw.startsWith('"') ? decodeText(unquoted(raw), utf8) : decodeText(raw, utf8);
}

// A field's text as UTF-8: the file's own bytes when they already are (valid UTF-8, no
// quotes), else made in `scratch`.
QByteArrayView fieldUtf8(QByteArrayView raw, bool utf8, bool validUtf8, QByteArray& scratch) {
    if (validUtf8) {
        if (!raw.startsWith('"'))
            return raw;
        scratch = unquoted(raw);
        return scratch;
    }
    scratch = fieldText(raw, utf8).toUtf8();
    return scratch;
}

// What one record held.
struct Record {
    qsizetype fields = 0;
    bool blank = false;    // an empty line
    bool unclosed = false; // a quote opened in it is not closed before the end of the file
    bool nul = false;      // it holds a NUL byte
};

// Reads the records of the text one after the other: one per line, but a field in double
// quotes may hold ";" and line ends. Lines end as platform::lineEndLength says.
class Records final {
public:
    explicit Records(QByteArrayView text)
        : m_text(text) {}
    bool atEnd() const { return m_pos >= m_text.size(); }
    qint64 position() const { return m_pos; }
    // The line (from 1) where the record last read begins, and where the next one begins.
    qint64 line() const { return m_line; }
    qint64 nextLine() const { return m_nextLine; }

    // Reads the next record, handing each of its fields to field(index, raw), raw as in the
    // file (quotes and all).
    template <typename OnField> Record next(OnField&& field) {
        Record record;
        m_line = m_nextLine;
        const qsizetype start = m_pos;
        qint64 linesInside = 0;
        if (const qsizetype end = platform::lineEndLength(m_text, m_pos)) {
            m_pos += end;
            ++m_nextLine;
            record.blank = true;
            return record;
        }
        for (;;) {
            const qsizetype fieldStart = m_pos;
            if (!skipField(linesInside)) {
                record.unclosed = true;
                break;
            }
            field(record.fields++, m_text.sliced(fieldStart, m_pos - fieldStart));
            if (m_pos < m_text.size() && m_text[m_pos] == ';') {
                ++m_pos;
                continue;
            }
            break;
        }
        record.nul =
            std::memchr(m_text.data() + start, '\0', static_cast<size_t>(m_pos - start)) != nullptr;
        m_pos += platform::lineEndLength(m_text, m_pos);
        m_nextLine = m_line + 1 + linesInside;
        return record;
    }

private:
    // Moves past the field that starts here, to the ";" or line end after it; false (and at
    // the end of the text) when its opening quote is never closed.
    bool skipField(qint64& linesInside) {
        const qsizetype size = m_text.size();
        const char* data = m_text.data();
        qsizetype i = m_pos;
        if (i < size && data[i] == '"') {
            ++i;
            for (;;) {
                const auto* quote = static_cast<const char*>(
                    std::memchr(data + i, '"', static_cast<size_t>(size - i)));
                if (!quote) {
                    m_pos = size;
                    return false;
                }
                const qsizetype at = quote - data;
                while (i < at) {
                    const qsizetype end = platform::lineEndLength(m_text, i);
                    linesInside += end ? 1 : 0;
                    i += end ? end : 1;
                }
                i = at + 1;
                if (i < size && data[i] == '"')
                    ++i;
                else
                    break;
            }
        }
        while (i < size && data[i] != ';' && data[i] != '\n' && data[i] != '\r')
            ++i;
        m_pos = i;
        return true;
    }

    QByteArrayView m_text;
    qsizetype m_pos = 0;
    qint64 m_line = 0;
    qint64 m_nextLine = 1;
};

qsizetype fieldsNeeded(const Columns& c) {
    return std::max({c.nome, c.cognome, c.cellulare, c.email}) + 1;
}

// A column name without the blanks and quotes around it.
QString columnName(QByteArrayView raw, bool utf8) {
    const QString text = fieldText(raw, utf8);
    auto edge = [](QChar c) {
        return c.isSpace() || c == u'"';
    };
    qsizetype from = 0, to = text.size();
    while (from < to && edge(text[from]))
        ++from;
    while (to > from && edge(text[to - 1]))
        --to;
    return text.sliced(from, to - from);
}

// Letter case does not matter; when a name repeats, its last column counts.
void findColumn(Columns& columns, qsizetype index, const QString& name) {
    auto is = [&](QLatin1StringView wanted) {
        return name.compare(wanted, Qt::CaseInsensitive) == 0;
    };
    if (is(QLatin1StringView("Nome")))
        columns.nome = index;
    else if (is(QLatin1StringView("Cognome")))
        columns.cognome = index;
    else if (is(QLatin1StringView("Cellulare")))
        columns.cellulare = index;
    else if (is(QLatin1StringView("Posta elettronica")))
        columns.email = index;
}

QString fieldCountReason(qsizetype found, qsizetype needed) {
    return QStringLiteral("la riga ha %1 %2, ne servono almeno %3")
        .arg(found)
        .arg(found == 1 ? QStringLiteral("campo") : QStringLiteral("campi"))
        .arg(needed);
}

const QString nulReason = QStringLiteral(
    "la riga contiene caratteri nulli: il file non sembra un file di testo separato da "
    "punto e virgola");
const QString unclosedReason = QStringLiteral(
    "le virgolette aperte in questa riga non vengono chiuse fino alla fine del file");

} // namespace

Outcome importFile(const QString& path, store::Database& db, const Progress& progress) {
    Outcome outcome;
    exchange::FileBytes source;
    if (!source.open(path)) {
        outcome.status = Outcome::Unreadable;
        outcome.reason = QStringLiteral("il file non si può leggere");
        return outcome;
    }
    const QByteArrayView text = source.bytes();
    // Without a byte-order mark, text that is valid UTF-8 is UTF-8, anything else
    // Windows-1252.
    const bool utf8 = source.markedUtf8() || text.isValidUtf8();
    if (text.isEmpty()) {
        outcome.status = Outcome::EmptyFile;
        return outcome;
    }

    Records records(text);
    auto stop = [&](const QString& reason) {
        outcome.status = Outcome::Stopped;
        outcome.line = records.line();
        outcome.reason = reason;
    };
    Columns columns;
    const Record header = records.next([&](qsizetype index, QByteArrayView raw) {
        if (!raw.isEmpty())
            findColumn(columns, index, columnName(raw, utf8));
    });
    if (header.nul || header.unclosed) {
        stop(header.nul ? nulReason : unclosedReason);
        return outcome;
    }
    if (columns.cellulare < 0) {
        outcome.status = Outcome::NoNumberColumn;
        return outcome;
    }
    const qsizetype needed = fieldsNeeded(columns);
    const qint64 total = text.size();

    // Text the file holds as valid UTF-8 is stored as it is; anything else goes through
    // QString (a UTF-8 mark on bytes that are not: their faults become U+FFFD).
    const bool validUtf8 = utf8 && text.isValidUtf8();
    QVarLengthArray<QByteArrayView, 16> fields;
    std::array<QByteArray, 4> scratch;
    // A column the file does not have gets one blank, as the contact editor stores an empty
    // first name or e-mail.
    auto value = [&](qsizetype column, int slot) {
        return column < 0
                   ? QByteArrayView(" ")
                   : fieldUtf8(fields[column], utf8, validUtf8, scratch[static_cast<size_t>(slot)]);
    };

    exchange::ContactLoad load(db, progress, total);
    qint64 firstLine = records.nextLine(); // the first line of the contacts not yet committed
    auto commit = [&] {
        try {
            load.commit();
            firstLine = records.nextLine();
            return true;
        } catch (const store::StoreError& e) {
            // Rolled back: none of the batch's contacts are stored.
            outcome.status = Outcome::Stopped;
            outcome.line = firstLine;
            outcome.reason =
                QStringLiteral("la rubrica non ha potuto salvare i contatti (%1)").arg(e.message());
            return false;
        }
    };
    qint64 read = 0;
    bool saved = true;
    while (!records.atEnd()) {
        fields.clear();
        const Record record = records.next([&](qsizetype index, QByteArrayView raw) {
            if (index < needed)
                fields.append(raw);
        });
        // A line of blanks alone (a spreadsheet's empty row) is an empty line.
        if (record.blank ||
            (record.fields == 1 && !fields.isEmpty() && fields[0].trimmed().isEmpty()))
            continue;
        if (record.nul || record.unclosed) {
            stop(record.nul ? nulReason : unclosedReason);
            break;
        }
        if (record.fields < needed) {
            stop(fieldCountReason(record.fields, needed));
            break;
        }
        try {
            load.add(value(columns.nome, 0), value(columns.cognome, 1), value(columns.cellulare, 2),
                     value(columns.email, 3));
        } catch (const store::StoreError& e) {
            stop(QStringLiteral("la rubrica non ha accettato il contatto (%1)").arg(e.message()));
            break;
        }
        if (load.pending() == recordsPerTransaction && !(saved = commit()))
            break;
        if (++read % recordsPerProgress == 0)
            load.read(records.position());
    }
    if (saved && commit())
        load.finish();
    outcome.imported = load.committed();
    return outcome;
}

} // namespace csvimport
