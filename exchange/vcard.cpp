#include "exchange/vcard.h"

#include "contacts/phonenumber.h"
#include "exchange/contactload.h"
#include "exchange/filebytes.h"
#include "platform/lines.h"
#include "platform/textfile.h"
#include "store/database.h"
#include "store/storeerror.h"

#include <QByteArrayList>
#include <QSet>
#include <QStringDecoder>

#include <algorithm>

namespace vcard {

namespace {

constexpr qsizetype maxLineOctets = 75;
constexpr qint64 cardsPerTransaction = 20000;
constexpr qint64 cardsPerProgress = 1000;

// One property as read, its parts pointing into the line.
struct Property {
    QByteArrayView group;
    QByteArrayView name;
    QByteArrayView charset;
    bool quotedPrintable = false;
    bool cell = false;      // a TYPE is CELL
    bool preferred = false; // TYPE=PREF (2.1, 3.0) or PREF=1 (4.0)
    QByteArrayView value;
    bool is(const char* wanted) const { return name.compare(wanted, Qt::CaseInsensitive) == 0; }
};

bool equal(QByteArrayView a, const char* b) {
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

void addParameter(Property& property, QByteArrayView parameter) {
    const qsizetype equals = parameter.indexOf('=');
    // 2.1 writes a type or an encoding alone: "TEL;CELL;VOICE", "N;QUOTED-PRINTABLE".
    const QByteArrayView key = equals < 0 ? QByteArrayView("TYPE") : parameter.first(equals);
    QByteArrayView value = equals < 0 ? parameter : parameter.sliced(equals + 1);
    if (value.size() >= 2 && value.startsWith('"') && value.endsWith('"'))
        value = value.sliced(1, value.size() - 2);
    if (equal(key, "ENCODING") || (equals < 0 && equal(value, "QUOTED-PRINTABLE"))) {
        property.quotedPrintable = equal(value, "QUOTED-PRINTABLE");
    } else if (equal(key, "CHARSET")) {
        property.charset = value;
    } else if (equal(key, "PREF")) {
        property.preferred = true;
    } else if (equal(key, "TYPE")) {
        for (qsizetype from = 0; from <= value.size();) {
            qsizetype comma = value.indexOf(',', from);
            if (comma < 0)
                comma = value.size();
            const QByteArrayView type = value.sliced(from, comma - from).trimmed();
            property.cell |= equal(type, "CELL");
            property.preferred |= equal(type, "PREF");
            from = comma + 1;
        }
    }
}

// "[group.]NAME[;parameter]*:value"; std::nullopt for a line that is no property.
std::optional<Property> parse(QByteArrayView line) {
    const qsizetype size = line.size();
    qsizetype i = 0;
    while (i < size && line[i] != ';' && line[i] != ':')
        ++i;
    if (i == size)
        return std::nullopt;
    Property property;
    const QByteArrayView name = line.first(i).trimmed();
    const qsizetype dot = name.lastIndexOf('.');
    property.group = name.first(dot < 0 ? 0 : dot);
    property.name = name.sliced(dot + 1);
    while (i < size && line[i] == ';') {
        const qsizetype start = ++i;
        bool quoted = false;
        while (i < size && (quoted || (line[i] != ';' && line[i] != ':'))) {
            quoted ^= line[i] == '"';
            ++i;
        }
        addParameter(property, line.sliced(start, i - start));
    }
    if (i == size)
        return std::nullopt;
    property.value = line.sliced(i + 1);
    return property;
}

// The value's text: its CHARSET says the encoding; without one, valid UTF-8 is UTF-8 and
// anything else Windows-1252 (what 2.1 writers used when they wrote no charset).
QString text(const Property& property) {
    QByteArray decoded;
    if (property.quotedPrintable)
        decoded = QByteArray::fromPercentEncoding(property.value.toByteArray(), '=');
    const QByteArrayView bytes = property.quotedPrintable ? decoded : property.value;
    const QByteArrayView charset = property.charset;
    if (equal(charset, "UTF-8"))
        return QString::fromUtf8(bytes);
    if (equal(charset, "ISO-8859-1") || equal(charset, "WINDOWS-1252") || equal(charset, "CP1252"))
        return platform::TextFile::decode(bytes);
    if (!charset.isEmpty()) {
        QStringDecoder decoder(charset.toByteArray().constData());
        if (decoder.isValid())
            return decoder(bytes);
    }
    return bytes.isValidUtf8() ? QString::fromUtf8(bytes) : platform::TextFile::decode(bytes);
}

// The components of a value, split at the ";" not escaped, with \\ \, \; \n undone and line
// ends made blanks. `commas`: an unescaped "," separates values of one component (3.0 and
// 4.0 N), which are joined by a blank.
QStringList components(QString value, bool commas) {
    QStringList parts(1);
    qsizetype plain = 0; // where the run of characters taken as they are begins
    for (qsizetype i = 0; i < value.size(); ++i) {
        const QChar c = value[i];
        if (c != u'\\' && c != u';' && c != u'\r' && c != u'\n' && (!commas || c != u','))
            continue;
        parts.last() += QStringView(value).sliced(plain, i - plain);
        if (c == u'\\' && i + 1 < value.size()) {
            const QChar escaped = value[++i];
            parts.last() += escaped == u'n' || escaped == u'N' ? QChar(u' ') : escaped;
        } else if (c == u'\\') {
            parts.last() += c;
        } else if (c == u';') {
            parts.append(QString());
        } else {
            parts.last() += u' ';
        }
        plain = i + 1;
    }
    if (plain == 0)
        parts.last() = std::move(value); // nothing to undo
    else
        parts.last() += QStringView(value).sliced(plain);
    for (QString& part : parts)
        part = std::move(part).simplified();
    return parts;
}

QString single(const Property& property) {
    QStringList parts = components(text(property), false);
    return parts.size() == 1 ? std::move(parts.first()) : parts.join(u';');
}

bool mentionsMobile(const QString& label) {
    return label.contains(QLatin1StringView("mobile"), Qt::CaseInsensitive) ||
           label.contains(QLatin1StringView("cell"), Qt::CaseInsensitive);
}

} // namespace

// Appends `value` to the line with "\", "," and ";" escaped and line ends written as \n.
void Writer::escape(const QString& value) {
    const QByteArray utf8 = value.toUtf8();
    for (qsizetype i = 0; i < utf8.size(); ++i) {
        const char c = utf8[i];
        if (c == '\\' || c == ',' || c == ';') {
            m_line += '\\';
            m_line += c;
        } else if (c == '\r' || c == '\n') {
            if (c == '\r' && i + 1 < utf8.size() && utf8[i + 1] == '\n')
                ++i;
            m_line += "\\n";
        } else {
            m_line += c;
        }
    }
}

void Writer::line(const char* start, const QString& value) {
    m_line.resize(0);
    m_line += start;
    escape(value);
    fold();
}

// Each line of the file at most 75 octets; a continuation begins with one blank, and a UTF-8
// sequence is never cut.
void Writer::fold() {
    const QByteArrayView content = m_line;
    qsizetype start = 0;
    qsizetype room = maxLineOctets;
    while (content.size() - start > room) {
        qsizetype cut = start + room;
        while (cut > start && (static_cast<uchar>(content[cut]) & 0xC0) == 0x80)
            --cut;
        m_bytes += content.sliced(start, cut - start);
        m_bytes += "\r\n ";
        start = cut;
        room = maxLineOctets - 1;
    }
    m_bytes += content.sliced(start);
    m_bytes += "\r\n";
}

void Writer::add(const contacts::Contact& contact) {
    const QString given = contact.nome.trimmed();
    const QString family = contact.cognome.trimmed();
    const QString number = contact.cellulare.trimmed();
    const QString mail = contact.email.trimmed();
    QString shown = (given + u' ' + family).trimmed();
    if (shown.isEmpty())
        shown = number;
    m_bytes += "BEGIN:VCARD\r\nVERSION:3.0\r\n";
    m_line.resize(0);
    m_line += "N:";
    escape(family);
    m_line += ';';
    escape(given);
    m_line += ";;;";
    fold();
    line("FN:", shown);
    if (!number.isEmpty())
        line("TEL;TYPE=CELL:", number);
    if (!mail.isEmpty())
        line("EMAIL:", mail);
    m_bytes += "END:VCARD\r\n";
    ++m_contacts;
}

void Writer::addStored(QByteArrayView nome, QByteArrayView cognome, QByteArrayView cellulare,
                       QByteArrayView email) {
    add({.nome = QString::fromUtf8(nome),
         .cognome = QString::fromUtf8(cognome),
         .cellulare = QString::fromUtf8(cellulare),
         .email = QString::fromUtf8(email)});
}

std::optional<QString> Writer::save(const QString& path) const {
    return exchange::saveWhole(path, m_bytes);
}

QByteArrayView Reader::physicalLine() {
    const qsizetype start = m_pos;
    const char* data = m_text.data();
    const qsizetype size = m_text.size();
    qsizetype end = start;
    while (end < size && data[end] != '\n' && data[end] != '\r')
        ++end;
    m_pos = end + platform::lineEndLength(m_text, end);
    return m_text.sliced(start, end - start);
}

// A line with its continuations: the lines after it that begin with a blank or a tab. The
// blank is folding only (3.0, 4.0); 2.1 folds before a blank of the text, which stays.
bool Reader::continues() const {
    return m_pos < m_text.size() && (m_text[m_pos] == ' ' || m_text[m_pos] == '\t');
}

QByteArrayView Reader::nextLine() {
    const QByteArrayView first = physicalLine();
    if (!continues())
        return first;
    m_line = first.toByteArray();
    while (continues()) {
        const QByteArrayView more = physicalLine();
        m_line += m_v21 ? more : more.sliced(1);
    }
    return m_line;
}

std::optional<contacts::Contact> Reader::next() {
    struct Tel {
        QString number;
        QByteArray group;
        bool mobile;
    };
    QList<Tel> tels;
    QSet<QByteArray> mobileGroups; // groups labelled mobile
    QStringList name;
    QString formatted;
    QString email;
    bool preferredEmail = false;
    int depth = 0; // 2.1 may nest a card (AGENT): only the outer one's properties count

    auto card = [&]() -> contacts::Contact {
        contacts::Contact out;
        const auto isMobile = [&](const Tel& tel) {
            return tel.mobile || (!tel.group.isEmpty() && mobileGroups.contains(tel.group));
        };
        // The first mobile that is a phone number, else the first number; when none is, the
        // first text, for the import to say why.
        const auto pick = [&](bool mobileOnly, bool readable) {
            for (const Tel& tel : tels)
                if ((!mobileOnly || isMobile(tel)) && !tel.number.trimmed().isEmpty() &&
                    (!readable || phone::read(tel.number).number))
                    return tel.number;
            return QString();
        };
        for (const auto& [mobileOnly, readable] :
             {std::pair{true, true}, {false, true}, {true, false}, {false, false}}) {
            out.cellulare = pick(mobileOnly, readable);
            if (!out.cellulare.isEmpty())
                break;
        }
        name.resize(std::max<qsizetype>(name.size(), 3));
        out.cognome = name[0];
        out.nome = (name[1] + u' ' + name[2]).trimmed();
        if (out.cognome.isEmpty() && out.nome.isEmpty())
            out.cognome = formatted;
        out.email = email;
        return out;
    };

    while (m_pos < m_text.size()) {
        auto property = parse(nextLine());
        if (!property)
            continue;
        const auto vcardValue = [&] {
            return equal(property->value.trimmed(), "VCARD");
        };
        if (property->is("BEGIN") && vcardValue()) {
            if (depth++ == 0)
                m_v21 = false;
            continue;
        }
        if (depth == 0)
            continue;
        if (property->is("END") && vcardValue()) {
            if (--depth == 0)
                return card();
            continue;
        }
        if (depth > 1)
            continue;
        // A quoted-printable value goes on after a line that ends with "=".
        if (property->quotedPrintable && property->value.endsWith('=')) {
            QByteArray& value = m_joined;
            value = property->value.toByteArray();
            while (value.endsWith('=') && m_pos < m_text.size()) {
                value.chop(1);
                value += physicalLine();
            }
            property->value = value;
        }
        if (property->is("VERSION")) {
            m_v21 = property->value.trimmed().startsWith('2');
        } else if (property->is("N")) {
            name = components(text(*property), !m_v21);
        } else if (property->is("FN")) {
            // Only wanted when N gives neither surname nor given or other names.
            if (name.mid(0, 3).join(QString()).isEmpty())
                formatted = single(*property);
        } else if (property->is("TEL")) {
            QString number = single(*property);
            // 4.0 may write the number as a URI: "tel:+39-333-1234567;ext=2".
            if (number.startsWith(QLatin1StringView("tel:"), Qt::CaseInsensitive))
                number = number.sliced(4).section(u';', 0, 0);
            tels.append({number, property->group.toByteArray().toUpper(), property->cell});
        } else if (property->is("EMAIL")) {
            if (email.isEmpty() || (property->preferred && !preferredEmail)) {
                QString address = single(*property);
                if (!address.isEmpty()) {
                    email = std::move(address);
                    preferredEmail = property->preferred;
                }
            }
        } else if (property->is("X-ABLABEL")) {
            if (mentionsMobile(single(*property)))
                mobileGroups.insert(property->group.toByteArray().toUpper());
        }
    }
    // A file cut short: the card begun counts.
    if (depth > 0)
        return card();
    return std::nullopt;
}

Outcome importFile(const QString& path, store::Database& db, const Progress& progress) {
    Outcome outcome;
    exchange::FileBytes source;
    if (!source.open(path)) {
        outcome.status = Outcome::Unreadable;
        return outcome;
    }
    const qint64 total = source.bytes().size();

    exchange::ContactNumbers numbers(db);
    Reader reader(source.bytes());
    exchange::ContactLoad load(db, progress, total);
    // An empty first name, surname or e-mail is stored as one blank.
    auto utf8 = [](const QString& field) {
        return field.isEmpty() ? QByteArray(" ") : field.toUtf8();
    };
    qint64 cards = 0;
    try {
        while (const std::optional<contacts::Contact> card = reader.next()) {
            ++cards;
            if (const auto number = numbers.take(card->cellulare, cards, outcome)) {
                load.add(utf8(card->nome), utf8(card->cognome), number->toUtf8(),
                         utf8(card->email));
                if (load.pending() == cardsPerTransaction)
                    load.commit();
            }
            if (cards % cardsPerProgress == 0)
                load.read(reader.position());
        }
        load.commit();
    } catch (const store::StoreError& e) {
        // The batch was rolled back: none of its contacts are stored.
        outcome.status = Outcome::Stopped;
        outcome.imported = load.committed();
        outcome.reason =
            QStringLiteral("la rubrica non ha potuto salvare i contatti (%1)").arg(e.message());
        return outcome;
    }
    load.finish();
    outcome.imported = load.committed();
    if (cards == 0)
        outcome.status = Outcome::NoCards;
    return outcome;
}

} // namespace vcard
