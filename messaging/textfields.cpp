#include "messaging/textfields.h"

#include "contacts/phonenumber.h"
#include "messaging/smslength.h"
#include "store/database.h"
#include "store/schema.h"
#include "store/sqlite.h"

namespace textfields {

namespace {

const QString* valueOf(QStringView field, const Person& person) {
    if (field == nameField)
        return &person.name;
    if (field == surnameField)
        return &person.surname;
    if (field == numberField)
        return &person.number;
    return nullptr;
}

} // namespace

bool hasFields(QStringView text) {
    return text.contains(nameField) || text.contains(surnameField) || text.contains(numberField);
}

QString fill(QStringView text, const std::optional<Person>& person) {
    const Person none;
    const Person& who = person ? *person : none;
    QString out;
    out.reserve(text.size());
    bool dropBlank = false; // an empty field at a line's start takes the blank after it
    for (qsizetype at = 0; at < text.size();) {
        const QString* value = nullptr;
        qsizetype length = 0;
        if (text[at] == u'{') {
            const qsizetype close = text.indexOf(u'}', at);
            if (close > at) {
                length = close - at + 1;
                value = valueOf(text.sliced(at, length), who);
            }
        }
        if (!value) {
            if (!(dropBlank && text[at] == u' '))
                out += text[at];
            dropBlank = false;
            ++at;
            continue;
        }
        const QString filled = value->trimmed();
        if (!filled.isEmpty())
            out += filled;
        else if (out.endsWith(u' '))
            out.chop(1);
        else
            dropBlank = out.isEmpty() || out.endsWith(u'\n');
        at += length;
    }
    return out;
}

People::People() = default;

People::People(store::Database& book) {
    if (!book.hasTable(store::archive::rubricaTable().name))
        return;
    m_lookup = std::make_unique<store::sqlite::Statement>(
        *book.connection(), QStringLiteral("SELECT Nome, cognome, cellulare FROM rubrica WHERE "
                                           "cellulare = ?1 COLLATE %1 LIMIT 1")
                                .arg(QLatin1String(store::Database::textCollation()))
                                .toUtf8());
}

People::~People() = default;

std::optional<Person> People::lookUp(const QString& number) {
    std::optional<Person> person;
    m_lookup->bind(1, number);
    if (m_lookup->step())
        person = Person{m_lookup->text(0), m_lookup->text(1), m_lookup->text(2)};
    m_lookup->reset();
    return person;
}

std::optional<Person> People::find(const QString& number) {
    if (!m_lookup || number.trimmed().isEmpty())
        return {};
    const auto known = m_found.constFind(number);
    if (known != m_found.cend())
        return *known;
    std::optional<Person> person = lookUp(number);
    if (!person) {
        const auto reading = phone::read(number);
        if (reading.number && reading.number->stored != number)
            person = lookUp(reading.number->stored);
    }
    m_found.insert(number, person);
    return person;
}

QList<Filled> fillAll(const QString& text, const QStringList& numbers, People& people) {
    QList<Filled> texts;
    texts.reserve(numbers.size());
    for (const QString& number : numbers) {
        auto person = people.find(number);
        texts.append({number, fill(text, person), std::move(person)});
    }
    return texts;
}

QString recipientName(const Filled& filled) {
    if (!filled.person)
        return filled.number;
    const QString name =
        (filled.person->name.trimmed() + u' ' + filled.person->surname.trimmed()).trimmed();
    return name.isEmpty() ? filled.number : name + QStringLiteral(" (") + filled.number + u')';
}

qsizetype fullest(const QList<Filled>& texts) {
    qsizetype best = -1;
    qint64 bestUnits = 0, bestCapacity = 1;
    for (qsizetype i = 0; i < texts.size(); ++i) {
        const sms::Alphabet alphabet = sms::alphabetOf(texts[i].text);
        const qint64 units = sms::units(texts[i].text, alphabet);
        const qint64 capacity = sms::singleCapacity(alphabet);
        if (best < 0 || units * bestCapacity > bestUnits * capacity) {
            best = i;
            bestUnits = units;
            bestCapacity = capacity;
        }
    }
    return best;
}

qsizetype firstTooLong(const QList<Filled>& texts) {
    for (qsizetype i = 0; i < texts.size(); ++i) {
        if (!sms::fitsOne(texts[i].text))
            return i;
    }
    return -1;
}

} // namespace textfields
