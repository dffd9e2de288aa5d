#include "exchange/vcard.h"

#include "contacts/contactstore.h"
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
constexpr qint64 cardsPerTransaction = 5000;
constexpr qint64 cardsPerProgress = 1000;

// A text value with "\", "," and ";" escaped and line ends written as \n.
QByteArray escaped(const QString& value) {
    QString text;
    text.reserve(value.size());
    for (qsizetype i = 0; i < value.size(); ++i) {
        const QChar c = value[i];
        if (c == u'\\' || c == u',' || c == u';') {
            text += u'\\';
            text += c;
        } else if (c == u'\r' || c == u'\n') {
            if (c == u'\r' && i + 1 < value.size() && value[i + 1] == u'\n')
                ++i;
            text += QLatin1StringView("\\n");
        } else {
            text += c;
        }
    }
    return text.toUtf8();
}

// One property as read: NAME without its group, TYPE values in lower case.
struct Property {
    QByteArray group;
    QByteArray name;
    QByteArrayList types;
    QByteArray charset;
    bool quotedPrintable = false;
    QByteArray value;
};

void addParameter(Property& property, QByteArrayView parameter) {
    const qsizetype equals = parameter.indexOf('=');
    // 2.1 writes a type or an encoding alone: "TEL;CELL;VOICE", "N;QUOTED-PRINTABLE".
    const QByteArray key =
        equals < 0 ? QByteArray("TYPE") : parameter.first(equals).toByteArray().toUpper();
    QByteArray value = (equals < 0 ? parameter : parameter.sliced(equals + 1)).toByteArray();
    value.replace('"', QByteArray());
    if (key == "ENCODING" ||
        (equals < 0 && value.compare("QUOTED-PRINTABLE", Qt::CaseInsensitive) == 0)) {
        property.quotedPrintable = value.compare("QUOTED-PRINTABLE", Qt::CaseInsensitive) == 0;
        return;
    }
    if (key == "CHARSET")
        property.charset = value.toUpper();
    else if (key == "TYPE")
        for (const QByteArray& type : value.split(','))
            property.types.append(type.trimmed().toLower());
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
    property.group = name.first(dot < 0 ? 0 : dot).toByteArray().toUpper();
    property.name = name.sliced(dot + 1).toByteArray().toUpper();
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
    property.value = line.sliced(i + 1).toByteArray();
    return property;
}

// The value's text: its CHARSET says the encoding; without one, valid UTF-8 is UTF-8 and
// anything else Windows-1252 (what 2.1 writers used when they wrote no charset).
QString text(const Property& property) {
    const QByteArray bytes = property.quotedPrintable
                                 ? QByteArray::fromPercentEncoding(property.value, '=')
                                 : property.value;
    const QByteArray& charset = property.charset;
    if (charset == "UTF-8")
        return QString::fromUtf8(bytes);
    if (charset == "ISO-8859-1" || charset == "WINDOWS-1252" || charset == "CP1252")
        return platform::TextFile::decode(bytes);
    if (!charset.isEmpty()) {
        QStringDecoder decoder(charset.constData());
        if (decoder.isValid())
            return decoder(bytes);
    }
    return bytes.isValidUtf8() ? QString::fromUtf8(bytes) : platform::TextFile::decode(bytes);
}

// The components of a value, split at the ";" not escaped, with \\ \, \; \n undone and line
// ends made blanks. `commas`: an unescaped "," separates values of one component (3.0 and
// 4.0 N), which are joined by a blank.
QStringList components(const QString& value, bool commas) {
    QStringList parts(1);
    for (qsizetype i = 0; i < value.size(); ++i) {
        QChar c = value[i];
        if (c == u'\\' && i + 1 < value.size()) {
            c = value[++i];
            parts.last() += c == u'n' || c == u'N' ? QChar(u' ') : c;
        } else if (c == u';') {
            parts.append(QString());
        } else if (c == u'\r' || c == u'\n' || (commas && c == u',')) {
            parts.last() += u' ';
        } else {
            parts.last() += c;
        }
    }
    for (QString& part : parts)
        part = part.simplified();
    return parts;
}

QString single(const Property& property) {
    return components(text(property), false).join(u';');
}

bool mentionsMobile(const QString& label) {
    return label.contains(QLatin1StringView("mobile"), Qt::CaseInsensitive) ||
           label.contains(QLatin1StringView("cell"), Qt::CaseInsensitive);
}

QString blankIfEmpty(const QString& value) {
    return value.isEmpty() ? QStringLiteral(" ") : value;
}

} // namespace

void Writer::line(const QByteArray& content) {
    // Each line of the file at most 75 octets; a continuation begins with one blank, and a
    // UTF-8 sequence is never cut.
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

void Writer::add(const QString& nome, const QString& cognome, const QString& cellulare,
                 const QString& email) {
    const QString given = nome.trimmed();
    const QString family = cognome.trimmed();
    const QString number = cellulare.trimmed();
    const QString mail = email.trimmed();
    QString shown = (given + u' ' + family).trimmed();
    if (shown.isEmpty())
        shown = number;
    line("BEGIN:VCARD");
    line("VERSION:3.0");
    line("N:" + escaped(family) + ';' + escaped(given) + ";;;");
    line("FN:" + escaped(shown));
    if (!number.isEmpty())
        line("TEL;TYPE=CELL:" + escaped(number));
    if (!mail.isEmpty())
        line("EMAIL:" + escaped(mail));
    line("END:VCARD");
    ++m_contacts;
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
QByteArray Reader::nextLine() {
    QByteArray line = physicalLine().toByteArray();
    while (m_pos < m_text.size() && (m_text[m_pos] == ' ' || m_text[m_pos] == '\t')) {
        const QByteArrayView more = physicalLine();
        line += m_v21 ? more : more.sliced(1);
    }
    return line;
}

std::optional<Card> Reader::next() {
    struct Tel {
        QString number;
        QByteArray group;
        bool mobile;
    };
    QList<Tel> tels;
    QByteArrayList mobileGroups;
    QStringList name;
    QString formatted;
    QString email;
    int depth = 0; // 2.1 may nest a card (AGENT): only the outer one's properties count

    auto card = [&]() -> Card {
        Card out;
        const auto isMobile = [&](const Tel& tel) {
            return tel.mobile || (!tel.group.isEmpty() && mobileGroups.contains(tel.group));
        };
        for (const bool mobileOnly : {true, false}) {
            for (const Tel& tel : tels)
                if ((!mobileOnly || isMobile(tel)) && !tel.number.isEmpty()) {
                    out.cellulare = tel.number;
                    break;
                }
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
        const QByteArray line = nextLine();
        auto property = parse(line);
        if (!property)
            continue;
        const bool vcardValue =
            property->value.trimmed().compare("VCARD", Qt::CaseInsensitive) == 0;
        if (property->name == "BEGIN" && vcardValue) {
            if (depth++ == 0)
                m_v21 = false;
            continue;
        }
        if (depth == 0)
            continue;
        if (property->name == "END" && vcardValue) {
            if (--depth == 0)
                return card();
            continue;
        }
        if (depth > 1)
            continue;
        // A quoted-printable value goes on after a line that ends with "=".
        while (property->quotedPrintable && property->value.endsWith('=') &&
               m_pos < m_text.size()) {
            property->value.chop(1);
            property->value += physicalLine();
        }
        const QByteArray& key = property->name;
        if (key == "VERSION") {
            m_v21 = property->value.trimmed().startsWith('2');
        } else if (key == "N") {
            name = components(text(*property), !m_v21);
        } else if (key == "FN") {
            formatted = single(*property);
        } else if (key == "TEL") {
            QString number = single(*property);
            // 4.0 may write the number as a URI: "tel:+39-333-1234567;ext=2".
            if (number.startsWith(QLatin1StringView("tel:"), Qt::CaseInsensitive))
                number = number.sliced(4).section(u';', 0, 0);
            tels.append({contacts::storedNumber(number), property->group,
                         property->types.contains("cell")});
        } else if (key == "EMAIL") {
            if (email.isEmpty())
                email = single(*property);
        } else if (key == "X-ABLABEL") {
            if (mentionsMobile(single(*property)))
                mobileGroups.append(property->group);
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

    // The book's numbers as an import would store them, and then the file's.
    QSet<QString> known;
    {
        auto book = db.openRecordset(QStringLiteral("rubrica"));
        known.reserve(std::max<qsizetype>(0, book->foundRows()));
        const int column = book->fieldIndex(QStringLiteral("cellulare"));
        for (; !book->isEof(); book->MoveNext())
            known.insert(contacts::storedNumber(QString::fromUtf8(book->rawText(column))));
    }
    auto rs = db.openRecordset(QStringLiteral("rubrica"));

    Reader reader(source.bytes());
    qint64 cards = 0;
    bool going = true;
    while (going) {
        qint64 stored = 0;
        try {
            db.transaction([&] {
                for (qint64 read = 1; read <= cardsPerTransaction; ++read) {
                    const std::optional<Card> card = reader.next();
                    if (!card) {
                        going = false;
                        return;
                    }
                    ++cards;
                    if (card->cellulare.isEmpty()) {
                        ++outcome.withoutNumber;
                    } else if (known.contains(card->cellulare)) {
                        ++outcome.duplicates;
                    } else {
                        known.insert(card->cellulare);
                        contacts::add(*rs, {blankIfEmpty(card->nome), blankIfEmpty(card->cognome),
                                            card->cellulare, blankIfEmpty(card->email)});
                        ++stored;
                    }
                    if (progress && read % cardsPerProgress == 0)
                        progress(reader.position(), total);
                }
            });
            outcome.imported += stored;
        } catch (const store::StoreError& e) {
            // The batch was rolled back: none of its contacts are stored.
            outcome.status = Outcome::Stopped;
            outcome.reason =
                QStringLiteral("la rubrica non ha potuto salvare i contatti (%1)").arg(e.message());
            return outcome;
        }
    }
    if (cards == 0)
        outcome.status = Outcome::NoCards;
    if (progress)
        progress(total, total);
    return outcome;
}

} // namespace vcard
