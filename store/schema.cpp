#include "store/schema.h"

namespace store::archive {

QString tableForKind(ArchiveKind kind) {
    switch (kind) {
    case ArchiveKind::Contacts:
        return QStringLiteral("rubrica");
    case ArchiveKind::Saved:
        return QStringLiteral("salvati");
    case ArchiveKind::Sent:
        return QStringLiteral("inviati");
    case ArchiveKind::Deleted:
        return QStringLiteral("cancellati");
    case ArchiveKind::None:
        break;
    }
    return {};
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
