#pragma once

#include <QList>
#include <QString>

#include "store/query.h"

namespace store {
class Database;
class Recordset;
} // namespace store

// The contacts of one address book (table rubrica), as the editor, the search and the imports
// reach them.
namespace contacts {

struct Contact {
    QString nome;
    QString cognome;
    QString cellulare;
    QString email;
    QString icona = QStringLiteral("4");
};

// True when a contact of the address book has exactly this number (the same text).
bool numberExists(store::Database& db, const QString& cellulare);
// Adds one contact (one durable write).
void add(store::Database& db, const Contact& contact);
// Adds one contact through `rs`, a recordset open on rubrica (part of the caller's transaction,
// if any): what imports call once per contact.
void add(store::Recordset& rs, const Contact& contact);

enum class Field { Cognome, Cellulare, Nome, Email };
// The contacts whose field begins with `text`, in stored order: letter case is not
// distinguished, "*" and "?" typed by the user keep their meaning, anything else ("'", "%",
// "_") is plain text. A number is looked for as people write one: "+39 333 12", "0039 333-12"
// and "333 12" find "3331234567", "0049 162" finds "+491622433834" (phone::storedBeginning).
QList<Contact> search(store::Database& db, Field field, const QString& text);
// The query of that search, for a reader that takes only the keys of what it finds.
store::Query searchQuery(Field field, const QString& text);

} // namespace contacts
