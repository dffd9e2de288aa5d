#include "exchange/contactload.h"

#include "contacts/phonenumber.h"
#include "store/storeerror.h"

#include <utility>

namespace exchange {

namespace {

bool hasContacts(const store::Database& db) {
    store::sqlite::Statement first(*db.connection(), "SELECT 1 FROM rubrica LIMIT 1");
    return first.step();
}

int code(char c) {
    return static_cast<unsigned char>(c);
}
int code(QChar c) {
    return c.unicode();
}

// The number as a whole number and its length; std::nullopt for one that is not digits alone,
// or too long.
template <typename Text> std::optional<quint64> digitsKey(const Text& number) {
    const qsizetype size = number.size();
    if (size == 0 || size > 17) // 10^17 < 2^57: room for the length in the low 5 bits
        return std::nullopt;
    quint64 value = 0;
    for (qsizetype i = 0; i < size; ++i) {
        const int c = code(number[i]);
        if (c < '0' || c > '9')
            return std::nullopt;
        value = value * 10 + static_cast<quint64>(c - '0');
    }
    return value << 5 | static_cast<quint64>(size);
}

} // namespace

bool NumberSet::contains(QStringView number) const {
    const auto key = digitsKey(number);
    return key ? m_digits.contains(*key) : m_other.contains(number.toString());
}

bool NumberSet::contains(QByteArrayView utf8) const {
    const auto key = digitsKey(utf8);
    return key ? m_digits.contains(*key) : m_other.contains(QString::fromUtf8(utf8));
}

void NumberSet::insert(QStringView number) {
    if (const auto key = digitsKey(number))
        m_digits.insert(*key);
    else
        m_other.insert(number.toString());
}

void NumberSet::insert(QByteArrayView utf8) {
    if (const auto key = digitsKey(utf8))
        m_digits.insert(*key);
    else
        m_other.insert(QString::fromUtf8(utf8));
}

ContactInsert::ContactInsert(store::Database& db)
    : m_insert(*db.connection(),
               "INSERT INTO rubrica (Nome, cognome, cellulare, email, icona) "
               "VALUES (?1, ?2, ?3, ?4, '4')",
               store::sqlite::Statement::Use::Kept) {}

void ContactInsert::add(QByteArrayView nome, QByteArrayView cognome, QByteArrayView cellulare,
                        QByteArrayView email) {
    m_insert.bindText(1, nome).bindText(2, cognome).bindText(3, cellulare).bindText(4, email).run();
}

ContactLoad::ContactLoad(store::Database& db, const Progress& progress, qint64 size)
    : m_db(db)
    , m_insert(db)
    , m_deferIndexes(!hasContacts(db))
    , m_progress(progress)
    , m_size(size)
    , m_total(m_deferIndexes ? size + size / 2 : size) {}

void ContactLoad::read(qint64 position) const {
    if (m_progress)
        m_progress(position, m_total);
}

void ContactLoad::add(QByteArrayView nome, QByteArrayView cognome, QByteArrayView cellulare,
                      QByteArrayView email) {
    if (!m_transaction) {
        m_transaction.emplace(m_db);
        if (m_deferIndexes && m_committed == 0) {
            try {
                m_db.dropContactIndexes();
            } catch (const store::StoreError&) {
                // A reader of this file holds them: the rows go in with the indexes, and
                // finish() makes any that went.
            }
        }
    }
    m_insert.add(nome, cognome, cellulare, email);
    ++m_pending;
}

void ContactLoad::commit() {
    if (!m_transaction)
        return;
    const qint64 pending = std::exchange(m_pending, 0);
    try {
        m_transaction->commit();
    } catch (...) {
        m_transaction.reset(); // rolled back
        throw;
    }
    m_transaction.reset();
    m_committed += pending;
}

void ContactLoad::finish() {
    commit();
    if (m_deferIndexes) {
        try {
            m_db.makeContactIndexes([this](qint64 done, qint64 total) {
                read(m_size + (m_total - m_size) * done / total);
            });
        } catch (const store::StoreError&) {
            // The contacts are stored; the book gets its indexes when it is next opened.
        }
    }
    if (m_progress)
        m_progress(m_total, m_total);
}

ContactNumbers::ContactNumbers(store::Database& db) {
    store::sqlite::Statement read(*db.connection(),
                                  "SELECT cellulare FROM rubrica WHERE cellulare IS NOT NULL");
    while (read.step()) {
        const QString number = QString::fromUtf8(read.utf8(0));
        const phone::Reading reading = phone::read(number);
        m_known.insert(reading.number ? reading.number->stored : number);
    }
}

std::optional<QString> ContactNumbers::take(QStringView typed, qint64 place, Tally& tally) {
    if (typed.trimmed().isEmpty()) {
        ++tally.withoutNumber;
        return std::nullopt;
    }
    phone::Reading reading = phone::read(typed);
    if (!reading.number) {
        if (tally.refused.size() < Tally::refusalsKept)
            tally.refused.append({place, typed.trimmed().toString(), reading.problem});
        ++tally.refusedCount;
        return std::nullopt;
    }
    if (m_known.contains(reading.number->stored)) {
        ++tally.duplicates;
        return std::nullopt;
    }
    m_known.insert(reading.number->stored);
    return std::move(reading.number->stored);
}

} // namespace exchange
