#include "tools/testdata.h"

#include "contacts/contactstore.h"
#include "store/archive.h"
#include "store/database.h"

#include <QFile>

namespace testdata {

void addAddressBook(const QString& appFolder, const QString& name) {
    const QString target = store::archive::addressBookPath(appFolder, name);
    if (QFile::exists(target))
        throw store::StoreError(store::EngineFailure,
                                QStringLiteral("La rubrica %1 esiste già.").arg(name));
    auto elenco = store::Database::open(store::archive::elencoPath(appFolder));
    auto rs = elenco->openRecordset(QStringLiteral("elenco"));
    rs->AddNew();
    rs->setValue(QStringLiteral("Rubrica"), name);
    rs->Update();
    if (!QFile::copy(store::archive::templatePath(appFolder), target))
        throw store::StoreError(store::EngineFailure,
                                QStringLiteral("Impossibile creare il file %1.").arg(target));
}

void addContact(store::Database& db, const QString& nome, const QString& cognome,
                const QString& cellulare, const QString& email) {
    contacts::add(*db.openRecordset(QStringLiteral("rubrica")), {nome, cognome, cellulare, email});
}

void addMessage(store::Database& db, const QString& table, const QString& cognome,
                const QString& cellulare, const QString& data, const QString& testo) {
    store::archive::addMessage(*db.openRecordset(table), {cognome, cellulare, data, testo});
}

} // namespace testdata
