#include "contacts/contactstore.h"

#include "store/database.h"

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

} // namespace

bool numberExists(store::Database& db, const QString& cellulare) {
    auto rs = db.openRecordset(store::Query(rubrica).whereEqual(QStringLiteral("cellulare"),
                                                                cellulare));
    for (; !rs->isEof(); rs->MoveNext())
        if (rs->value(QStringLiteral("cellulare")) == cellulare)
            return true;
    return false;
}

void add(store::Database& db, const Contact& contact) {
    auto rs = db.openRecordset(store::Query(rubrica).whereEqual(QStringLiteral("cellulare"),
                                                                QString()));
    rs->AddNew();
    rs->setValue(QStringLiteral("Nome"), contact.nome);
    rs->setValue(QStringLiteral("cognome"), contact.cognome);
    rs->setValue(QStringLiteral("cellulare"), contact.cellulare);
    rs->setValue(QStringLiteral("email"), contact.email);
    rs->setValue(QStringLiteral("icona"), contact.icona);
    rs->Update();
}

QList<Contact> search(store::Database& db, Field field, const QString& text) {
    auto rs = db.openRecordset(
        store::Query(rubrica).whereLike(fieldName(field), text + QLatin1Char('*')));
    QList<Contact> found;
    for (; !rs->isEof(); rs->MoveNext())
        found.append({rs->value(QStringLiteral("Nome")), rs->value(QStringLiteral("cognome")),
                      rs->value(QStringLiteral("cellulare")), rs->value(QStringLiteral("email")),
                      rs->value(QStringLiteral("icona"))});
    return found;
}

} // namespace contacts
