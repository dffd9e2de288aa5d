#include "contacts/contactstore.h"

#include "contacts/phonenumber.h"

#include "store/database.h"

#include <QHash>

#include <algorithm>

namespace contacts {

namespace {

const QString rubrica = QStringLiteral("rubrica");

QString fieldName(Field field) {
    switch (field) {
    case Field::Cognome:
        return QStringLiteral("cognome");
    case Field::Cellulare:
        return QStringLiteral("cellulare");
    case Field::Nome:
        return QStringLiteral("Nome");
    case Field::Email:
        return QStringLiteral("email");
    }
    return {};
}

// The texts of one column. Names, surnames and icons repeat across an address book, so each
// distinct one is converted once and shared by the contacts that have it.
class ColumnReader {
public:
    ColumnReader(const store::Recordset& rs, const QString& field, bool repeats)
        : m_rs(rs)
        , m_column(rs.fieldIndex(field))
        , m_repeats(repeats) {}

    QString read() {
        const QByteArrayView utf8 = m_rs.rawText(m_column);
        if (utf8.isNull())
            return QStringLiteral("");
        if (!m_repeats)
            return QString::fromUtf8(utf8);
        const auto known = m_seen.constFind(QByteArray::fromRawData(utf8.data(), utf8.size()));
        if (known != m_seen.cend())
            return *known;
        QString text = QString::fromUtf8(utf8);
        if (m_seen.size() < maxSeen)
            m_seen.insert(utf8.toByteArray(), text);
        return text;
    }

private:
    static constexpr qsizetype maxSeen = 4096;
    const store::Recordset& m_rs;
    int m_column;
    bool m_repeats;
    QHash<QByteArray, QString> m_seen;
};

} // namespace

bool numberExists(store::Database& db, const QString& cellulare) {
    auto rs =
        db.openRecordset(store::Query(rubrica).whereEqual(QStringLiteral("cellulare"), cellulare));
    for (; !rs->isEof(); rs->MoveNext())
        if (rs->value(QStringLiteral("cellulare")) == cellulare)
            return true;
    return false;
}

void add(store::Database& db, const Contact& contact) {
    add(*db.openRecordset(store::Query(rubrica).whereEqual(QStringLiteral("cellulare"), QString())),
        contact);
}

void add(store::Recordset& rs, const Contact& contact) {
    rs.AddNew();
    rs.setValue(QStringLiteral("Nome"), contact.nome);
    rs.setValue(QStringLiteral("cognome"), contact.cognome);
    rs.setValue(QStringLiteral("cellulare"), contact.cellulare);
    rs.setValue(QStringLiteral("email"), contact.email);
    rs.setValue(QStringLiteral("icona"), contact.icona);
    rs.Update();
}

store::Query searchQuery(Field field, const QString& text) {
    if (field != Field::Cellulare)
        return store::Query(rubrica).whereLike(fieldName(field), text + QLatin1Char('*'));
    QString beginning = phone::storedBeginning(text);
    // "+39" or "0039" alone: every Italian number, kept as its national digits.
    if (beginning.isEmpty() &&
        std::any_of(text.begin(), text.end(), [](QChar c) { return c.isDigit(); }))
        beginning = QStringLiteral("#");
    return store::Query(rubrica).whereLike(fieldName(field), beginning + QLatin1Char('*'));
}

QList<Contact> search(store::Database& db, Field field, const QString& text) {
    auto rs = db.openRecordset(searchQuery(field, text));
    ColumnReader nome(*rs, QStringLiteral("Nome"), true);
    ColumnReader cognome(*rs, QStringLiteral("cognome"), true);
    ColumnReader cellulare(*rs, QStringLiteral("cellulare"), false);
    ColumnReader email(*rs, QStringLiteral("email"), false);
    ColumnReader icona(*rs, QStringLiteral("icona"), true);
    QList<Contact> found;
    found.reserve(std::max<qsizetype>(0, rs->foundRows()));
    for (; !rs->isEof(); rs->MoveNext())
        found.append({nome.read(), cognome.read(), cellulare.read(), email.read(), icona.read()});
    return found;
}

} // namespace contacts
