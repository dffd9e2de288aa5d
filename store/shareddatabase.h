#pragma once

#include "store/database.h"

#include <memory>

namespace store {

// The current database every window works through: each operation sets the path, opens the
// database and its recordset, replacing (and so releasing) what was there before.
struct SharedDatabase {
    QString percorsoDb;
    std::unique_ptr<Database> db;
    std::unique_ptr<Recordset> rs;

    // Sets percorsoDb and opens the database (the recordset is released).
    Database& open(const QString& path);
    // Opens a recordset on the current database into rs.
    Recordset& openRecordset(const QString& table);
    Recordset& openRecordset(const Query& query);
};

} // namespace store
