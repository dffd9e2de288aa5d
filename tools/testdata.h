#pragma once

#include <QString>

namespace store {
class Database;
}

// Writing rows into an application folder, for the demo folder, the tests and the benchmarks.
namespace testdata {

// Lists a new address book in elenco.mdb and copies the template to rubriche/<name>.
void addAddressBook(const QString& appFolder, const QString& name);

void addContact(store::Database& db, const QString& nome, const QString& cognome,
                const QString& cellulare, const QString& email);
// table: salvati, inviati or cancellati.
void addMessage(store::Database& db, const QString& table, const QString& cognome,
                const QString& cellulare, const QString& data, const QString& testo);

} // namespace testdata
