#include "exchange/contactload.h"

#include "store/storeerror.h"

#include <utility>

namespace exchange {

namespace {

bool hasContacts(const store::Database& db) {
    store::sqlite::Statement first(*db.connection(), "SELECT 1 FROM rubrica LIMIT 1");
    return first.step();
}

} // namespace

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
        if (m_deferIndexes && m_committed == 0)
            m_db.dropContactIndexes();
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

} // namespace exchange
