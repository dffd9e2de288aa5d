#include "store/shareddatabase.h"

namespace store {

namespace {

Database& current(const std::unique_ptr<Database>& db) {
    if (!db)
        throw StoreError(EngineFailure, QStringLiteral("Nessun database aperto."));
    return *db;
}

} // namespace

// A failing open or openRecordset leaves the previous object in place, as an assignment
// that never happened.
Database& SharedDatabase::open(const QString& path) {
    percorsoDb = path;
    rs.reset();
    db = Database::open(path);
    return *db;
}

Recordset& SharedDatabase::openRecordset(const QString& table) {
    rs = current(db).openRecordset(table);
    return *rs;
}

Recordset& SharedDatabase::openRecordset(const Query& query) {
    rs = current(db).openRecordset(query);
    return *rs;
}

} // namespace store
