#include "store/schema.h"

namespace store::archive {

QString tableForKind(QChar kind) {
    switch (kind.unicode()) {
    case u'r':
        return QStringLiteral("rubrica");
    case u's':
        return QStringLiteral("salvati");
    case u'i':
        return QStringLiteral("inviati");
    case u'c':
        return QStringLiteral("cancellati");
    default:
        return {};
    }
}

TableSchema elencoTable() {
    return {QStringLiteral("elenco"), {QStringLiteral("Rubrica")}};
}

TableSchema rubricaTable() {
    return {QStringLiteral("rubrica"),
            {QStringLiteral("Nome"), QStringLiteral("cognome"), QStringLiteral("cellulare"),
             QStringLiteral("email"), QStringLiteral("icona")}};
}

QList<IndexedField> rubricaIndexes() {
    return {{QStringLiteral("cognome"), true},
            {QStringLiteral("cellulare")},
            {QStringLiteral("Nome")},
            {QStringLiteral("email")}};
}

TableSchema messageTable(const QString& name) {
    return {name,
            {QStringLiteral("cognome"), QStringLiteral("cellulare"), QStringLiteral("Data"),
             QStringLiteral("Testo")}};
}

QList<TableSchema> addressBookTables() {
    return {rubricaTable(), messageTable(QStringLiteral("salvati")),
            messageTable(QStringLiteral("inviati")), messageTable(QStringLiteral("cancellati"))};
}

} // namespace store::archive
