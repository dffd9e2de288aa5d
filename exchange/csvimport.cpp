#include "exchange/csvimport.h"

#include "exchange/filebytes.h"
#include "platform/lines.h"
#include "platform/textfile.h"
#include "store/database.h"
#include "store/storeerror.h"

#include <QRegularExpression>

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
// quotes may hold the separator and line ends. Lines end as platform::lineEndLength says.
class Records final {
public:
    Records(QByteArrayView text, char separator)
        : m_text(text)
        , m_separator(separator) {}
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
            if (m_pos < m_text.size() && m_text[m_pos] == m_separator) {
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
    // Moves past the field that starts here, to the separator or line end after it; false (and at
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
        while (i < size && data[i] != m_separator && data[i] != '\n' && data[i] != '\r')
            ++i;
        m_pos = i;
        return true;
    }

    QByteArrayView m_text;
    char m_separator;
    qsizetype m_pos = 0;
    qint64 m_line = 0;
    qint64 m_nextLine = 1;
};

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

// A name as it is compared: lower case letters and digits, accents dropped ("E-mail 1 -
// Valore" gives "email1valore").
QString key(const QString& name) {
    QString out;
    for (const QChar c : name.normalized(QString::NormalizationForm_D))
        if (c.isLetterOrNumber())
            out += c.toLower();
    return out;
}

bool isOneOf(const QString& key, std::initializer_list<const char*> names) {
    return std::any_of(names.begin(), names.end(),
                       [&](const char* name) { return key == QLatin1StringView(name); });
}

bool mentionsMobile(const QString& key) {
    return key.contains(QLatin1StringView("mobil")) || key.contains(QLatin1StringView("cell"));
}

// What a column holds, by its name.
enum class Kind { Other, Nome, Cognome, FullName, Mobile, Phone, Email, PairType, PairValue };

struct Named {
    Kind kind = Kind::Other;
    bool email = false; // a typed pair of e-mail columns, not of phone ones
    int pair = 0;       // the pair's number: "Phone 2 - Type" is 2
};

// Google writes typed pairs: "Phone 1 - Type" (or "- Label") beside "Phone 1 - Value", in
// Italian "Telefono 1 - Tipo" / "Etichetta" beside "Valore"; the same for "E-mail".
std::optional<Named> typedPair(const QString& key) {
    static const QRegularExpression pair(
        QStringLiteral("^(phone|telefono|email)(\\d+)(type|label|tipo|etichetta|value|valore)$"));
    const QRegularExpressionMatch match = pair.match(key);
    if (!match.hasMatch())
        return std::nullopt;
    const QString part = match.captured(3);
    return Named{part == QLatin1StringView("value") || part == QLatin1StringView("valore")
                     ? Kind::PairValue
                     : Kind::PairType,
                 match.captured(1) == QLatin1StringView("email"), match.captured(2).toInt()};
}

Named classify(const QString& name) {
    const QString k = key(name);
    if (const auto pair = typedPair(k))
        return *pair;
    if (isOneOf(k, {"nome", "firstname", "givenname", "nomedibattesimo"}))
        return {Kind::Nome};
    if (isOneOf(k, {"cognome", "lastname", "familyname", "surname"}))
        return {Kind::Cognome};
    if (isOneOf(k, {"name", "fullname", "displayname", "nomevisualizzato", "nomecompleto",
                    "nomeecognome", "cognomeenome"}))
        return {Kind::FullName};
    // "E-mail Display Name", "Nome visualizzato posta elettronica", "E-mail Type" name no
    // address.
    const bool email = k.contains(QLatin1StringView("email")) ||
                       k.contains(QLatin1StringView("postaelettronica")) || k == u"mail";
    if (email) {
        const bool notAddress =
            k.contains(QLatin1StringView("nome")) || k.contains(QLatin1StringView("name")) ||
            k.contains(QLatin1StringView("type")) || k.contains(QLatin1StringView("tipo"));
        return {notAddress ? Kind::Other : Kind::Email};
    }
    const bool phone =
        k.contains(QLatin1StringView("telefon")) || k.contains(QLatin1StringView("phone")) ||
        isOneOf(k, {"tel", "numero", "cellulare", "cell", "mobile"}) ||
        k.startsWith(QLatin1StringView("numero")) || k.startsWith(QLatin1StringView("cellulare"));
    if (!phone || k.contains(QLatin1StringView("fax")) || k.contains(QLatin1StringView("pager")) ||
        k.contains(QLatin1StringView("cercapersone")))
        return {Kind::Other};
    return {mentionsMobile(k) ? Kind::Mobile : Kind::Phone};
}

// A typed pair of columns: the type of a phone number or e-mail address beside its value.
struct Pair {
    int number = 0;
    qsizetype type = -1;
    qsizetype value = -1;
};

// Where the import takes each field from.
struct Plan {
    Columns columns;
    qsizetype fullName = -1;
    QList<Pair> phones; // used when no column is the mobile's
    QList<Pair> emails; // used when no column is the e-mail's
    int knownNames = 0; // names of the line that say a field
};

void addToPair(QList<Pair>& pairs, const Named& named, qsizetype column) {
    auto it = std::find_if(pairs.begin(), pairs.end(),
                           [&](const Pair& p) { return p.number == named.pair; });
    if (it == pairs.end()) {
        pairs.append(Pair{named.pair});
        it = pairs.end() - 1;
    }
    (named.kind == Kind::PairType ? it->type : it->value) = column;
}

// The first column of each kind counts; this program's own names before any other.
Plan planFor(const QStringList& names) {
    Plan plan;
    qsizetype phone = -1;
    int phones = 0;
    auto first = [](qsizetype& slot, qsizetype column) {
        if (slot < 0)
            slot = column;
    };
    std::array<bool, 4> exact{}; // a column already has this program's own name
    for (qsizetype i = 0; i < names.size(); ++i) {
        const Named named = classify(names[i]);
        const QString k = key(names[i]);
        auto take = [&](qsizetype& slot, std::size_t field, const char* own) {
            const bool ownName = k == QLatin1StringView(own);
            if (slot < 0 || (ownName && !exact[field])) {
                slot = i;
                exact[field] = ownName;
            }
        };
        switch (named.kind) {
        case Kind::Nome:
            take(plan.columns.nome, 0, "nome");
            break;
        case Kind::Cognome:
            take(plan.columns.cognome, 1, "cognome");
            break;
        case Kind::Mobile:
            take(plan.columns.cellulare, 2, "cellulare");
            break;
        case Kind::Email:
            take(plan.columns.email, 3, "postaelettronica");
            break;
        case Kind::FullName:
            first(plan.fullName, i);
            break;
        case Kind::Phone:
            first(phone, i);
            ++phones;
            break;
        case Kind::PairType:
        case Kind::PairValue:
            addToPair(named.email ? plan.emails : plan.phones, named, i);
            break;
        case Kind::Other:
            continue;
        }
        ++plan.knownNames;
    }
    auto whole = [](const Pair& p) {
        return p.value < 0;
    };
    plan.phones.removeIf(whole);
    plan.emails.removeIf(whole);
    if (plan.columns.email >= 0)
        plan.emails.clear();
    if (plan.columns.cellulare >= 0)
        plan.phones.clear();
    else if (plan.phones.isEmpty() && phones == 1)
        plan.columns.cellulare = phone; // "Telefono" alone is the number to send to
    return plan;
}

constexpr std::array<char, 3> separators{';', ',', '\t'};
constexpr int previewRows = 5;

// A file opened for reading: its text, encoding, separator and line of column names.
struct Head {
    exchange::FileBytes source;
    QByteArrayView text;
    bool utf8 = false;
    char separator = ';';
    QStringList names;
    Plan plan;
    Outcome failure; // Done when the head could be read
};

QString unclosedReason();
QString nulReason();

// Opens the file and reads line 1 with the separator that splits it best.
void readHead(const QString& path, Head& head) {
    if (!head.source.open(path)) {
        head.failure.status = Outcome::Unreadable;
        head.failure.reason = QStringLiteral("il file non si può leggere");
        return;
    }
    head.text = head.source.bytes();
    head.utf8 = head.source.markedUtf8() || head.text.isValidUtf8();
    if (head.text.trimmed().isEmpty()) {
        head.failure.status = Outcome::EmptyFile;
        return;
    }
    std::optional<std::pair<int, qsizetype>> best; // known names, columns
    for (const char separator : separators) {
        Records records(head.text, separator);
        QStringList names;
        const Record record = records.next(
            [&](qsizetype, QByteArrayView raw) { names.append(columnName(raw, head.utf8)); });
        if (record.nul || record.unclosed) {
            head.failure.status = Outcome::Stopped;
            head.failure.line = 1;
            head.failure.reason = record.nul ? nulReason() : unclosedReason();
            return;
        }
        Plan plan = planFor(names);
        const std::pair score{plan.knownNames, names.size()};
        if (!best || score > *best) {
            best = score;
            head.separator = separator;
            head.names = std::move(names);
            head.plan = std::move(plan);
        }
    }
}

QString unclosedReason() {
    return QStringLiteral(
        "le virgolette aperte in questa riga non vengono chiuse fino alla fine del file");
}

QString nulReason() {
    return QStringLiteral("la riga contiene caratteri nulli: il file non sembra un file di testo "
                          "con i contatti separati da punto e virgola, virgola o tabulazione");
}

// A line of blanks alone (a spreadsheet's empty row) is an empty line.
template <typename Fields> bool blankLine(const Record& record, const Fields& fields) {
    return record.blank || std::all_of(fields.begin(), fields.end(), [](QByteArrayView f) {
               return f.trimmed().isEmpty() || f.trimmed() == "\"\"";
           });
}

// The column of the pair to take: the first with a value whose type says mobile (Google marks
// the preferred one with "* "), else the first with a value; -1 when none has one.
template <typename Text> qsizetype pickPair(const QList<Pair>& pairs, Text&& text, bool mobile) {
    qsizetype fallback = -1;
    for (const Pair& pair : pairs) {
        if (text(pair.value).trimmed().isEmpty())
            continue;
        const QString type = pair.type >= 0 ? text(pair.type) : QString();
        if (mobile ? mentionsMobile(key(type)) : type.trimmed().startsWith(u'*'))
            return pair.value;
        if (fallback < 0)
            fallback = pair.value;
    }
    return fallback;
}

Outcome import(Head& head, const Plan& plan, store::Database& db, const Progress& progress) {
    Outcome outcome;
    const QByteArrayView text = head.text;
    const bool utf8 = head.utf8;
    Records records(text, head.separator);
    records.next([](qsizetype, QByteArrayView) {}); // the line of column names
    auto stop = [&](const QString& reason) {
        outcome.status = Outcome::Stopped;
        outcome.line = records.line();
        outcome.reason = reason;
    };

    // Columns nothing takes, to tell the user of those that hold something.
    const qsizetype width = head.names.size();
    QList<bool> taken(width, false), written(width, false);
    auto take = [&](qsizetype column) {
        if (column >= 0 && column < width)
            taken[column] = true;
    };
    for (const qsizetype c : {plan.columns.nome, plan.columns.cognome, plan.columns.cellulare,
                              plan.columns.email, plan.fullName})
        take(c);
    for (const QList<Pair>* pairs : {&plan.phones, &plan.emails})
        for (const Pair& pair : *pairs)
            take(pair.type);

    // Text the file holds as valid UTF-8 is stored as it is; anything else goes through
    // QString (a UTF-8 mark on bytes that are not: their faults become U+FFFD).
    const bool validUtf8 = utf8 && text.isValidUtf8();
    QVarLengthArray<QByteArrayView, 32> fields;
    std::array<QByteArray, 4> scratch;
    auto raw = [&](qsizetype column) {
        return column >= 0 && column < fields.size() ? fields[column] : QByteArrayView();
    };
    auto fieldString = [&](qsizetype column) {
        return fieldText(raw(column), utf8);
    };
    // An empty field is stored as one blank, as the contact editor stores an empty first name
    // or e-mail.
    auto value = [&](qsizetype column, std::size_t slot) {
        const QByteArrayView field = raw(column);
        if (field.isEmpty() || field == "\"\"")
            return QByteArrayView(" ");
        return fieldUtf8(field, utf8, validUtf8, scratch[slot]);
    };
    // The trimmed text of the pair picked, one blank when none has a value.
    auto pairText = [&](const QList<Pair>& pairs, bool mobile, std::size_t slot) {
        const qsizetype column = pickPair(pairs, fieldString, mobile);
        if (column < 0)
            return QByteArrayView(" ");
        taken[column] = true;
        scratch[slot] = fieldString(column).trimmed().toUtf8();
        return QByteArrayView(scratch[slot]);
    };

    exchange::ContactNumbers numbers(db);
    exchange::ContactLoad load(db, progress, text.size());
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
        const Record record =
            records.next([&](qsizetype, QByteArrayView field) { fields.append(field); });
        if (record.nul || record.unclosed) {
            stop(record.nul ? nulReason() : unclosedReason());
            break;
        }
        if (blankLine(record, fields))
            continue;
        for (qsizetype c = 0; c < std::min(width, fields.size()); ++c)
            if (!taken[c] && !written[c] && !fields[c].trimmed().isEmpty() && fields[c] != "\"\"")
                written[c] = true;
        const QString typed = plan.columns.cellulare >= 0
                                  ? fieldString(plan.columns.cellulare)
                                  : QString::fromUtf8(pairText(plan.phones, true, 2)).trimmed();
        const std::optional<QString> number = numbers.take(typed, records.line(), outcome);
        if (number) {
            QByteArrayView cognome = value(plan.columns.cognome, 1);
            const QByteArrayView nome = value(plan.columns.nome, 0);
            if (cognome == " " && nome == " " && plan.fullName >= 0)
                cognome = value(plan.fullName, 1);
            const QByteArrayView email = plan.columns.email >= 0 ? value(plan.columns.email, 3)
                                                                 : pairText(plan.emails, false, 3);
            try {
                load.add(nome, cognome, number->toUtf8(), email);
            } catch (const store::StoreError& e) {
                stop(QStringLiteral("la rubrica non ha accettato il contatto (%1)")
                         .arg(e.message()));
                break;
            }
        }
        if (load.pending() == recordsPerTransaction && !(saved = commit()))
            break;
        if (++read % recordsPerProgress == 0)
            load.read(records.position());
    }
    if (saved && commit())
        load.finish();
    outcome.imported = load.committed();
    for (qsizetype c = 0; c < width; ++c)
        if (written[c] && !taken[c])
            outcome.unusedColumns.append(
                head.names[c].isEmpty() ? QStringLiteral("colonna %1").arg(c + 1) : head.names[c]);
    return outcome;
}

} // namespace

Preview preview(const QString& path) {
    Preview out;
    Head head;
    readHead(path, head);
    out.failure = head.failure;
    if (head.failure.status != Outcome::Done)
        return out;
    out.names = head.names;
    out.columns = head.plan.columns;
    out.typedPhones = head.plan.columns.cellulare < 0 && !head.plan.phones.isEmpty();
    Records records(head.text, head.separator);
    records.next([](qsizetype, QByteArrayView) {});
    while (!records.atEnd() && out.rows.size() < previewRows) {
        QStringList row;
        QVarLengthArray<QByteArrayView, 32> fields;
        const Record record = records.next([&](qsizetype, QByteArrayView raw) {
            fields.append(raw);
            row.append(fieldText(raw, head.utf8));
        });
        if (record.nul || record.unclosed)
            break;
        if (!blankLine(record, fields))
            out.rows.append(row);
    }
    return out;
}

Outcome importFile(const QString& path, store::Database& db, const Progress& progress) {
    Head head;
    readHead(path, head);
    if (head.failure.status != Outcome::Done)
        return head.failure;
    if (head.plan.columns.cellulare < 0 && head.plan.phones.isEmpty()) {
        Outcome outcome;
        outcome.status = Outcome::NoNumberColumn;
        return outcome;
    }
    return import(head, head.plan, db, progress);
}

Outcome importFile(const QString& path, const Columns& chosen, store::Database& db,
                   const Progress& progress) {
    Head head;
    readHead(path, head);
    if (head.failure.status != Outcome::Done)
        return head.failure;
    Plan plan;
    plan.columns = chosen;
    if (chosen.cognome < 0 && chosen.nome < 0)
        plan.fullName = head.plan.fullName;
    return import(head, plan, db, progress);
}

} // namespace csvimport
