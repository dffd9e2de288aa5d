#include "store/archive.h"

#include "store/database.h"
#include "store/jettext.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHashFunctions>

namespace store::archive {

size_t qHash(const MessageRow& row, size_t seed) {
    return qHashMulti(seed, row.cognome, row.cellulare, row.data, row.testo);
}

void addMessage(Recordset& rs, const MessageRow& row) {
    rs.AddNew();
    rs.setValue(QStringLiteral("cognome"), row.cognome);
    rs.setValue(QStringLiteral("cellulare"), row.cellulare);
    rs.setValue(QStringLiteral("Data"), row.data);
    rs.setValue(QStringLiteral("Testo"), row.testo);
    rs.Update();
}

QString elencoPath(const QString& appFolder) {
    return appFolder + QStringLiteral("/elenco.mdb");
}

QString templatePath(const QString& appFolder) {
    return appFolder + QStringLiteral("/rubrica_base.mdb");
}

QString addressBookDir(const QString& appFolder) {
    return appFolder + QStringLiteral("/rubriche");
}

QString addressBookPath(const QString& appFolder, const QString& name) {
    return addressBookDir(appFolder) + u'/' + name;
}

void createFolderDatabases(const QString& appFolder, const QStringList& books) {
    // Everything is checked before anything is written.
    QStringList targets = {elencoPath(appFolder), templatePath(appFolder)};
    for (qsizetype i = 0; i < books.size(); ++i) {
        const QString& name = books[i];
        if (name.isEmpty() || name == u"." || name == u".." || name.contains(u'/') ||
            name.contains(QChar(0))) {
            throw StoreError(EngineFailure,
                             QStringLiteral("Nome di rubrica non valido: '%1'.").arg(name));
        }
        for (qsizetype j = 0; j < i; ++j) {
            if (jettext::equal(books[j], name))
                throw StoreError(EngineFailure, QStringLiteral("Rubrica '%1' ripetuta.").arg(name));
        }
        targets.append(addressBookPath(appFolder, name));
    }
    for (const QString& target : std::as_const(targets)) {
        if (QFileInfo::exists(target))
            throw StoreError(DatabaseExists,
                             QStringLiteral("Database '%1' già esistente.").arg(target));
    }
    if (!QDir().mkpath(addressBookDir(appFolder)))
        throw StoreError(
            EngineFailure,
            QStringLiteral("Impossibile creare la cartella '%1'.").arg(addressBookDir(appFolder)));

    const auto elenco = Database::create(elencoPath(appFolder), {elencoTable()});
    const auto rows = elenco->openRecordset(elencoTable().name);
    elenco->transaction([&] {
        for (const QString& name : books) {
            rows->AddNew();
            rows->setValue(QStringLiteral("Rubrica"), name);
            rows->Update();
        }
    });

    Database::create(templatePath(appFolder), addressBookTables());
    for (const QString& name : books) {
        const QString target = addressBookPath(appFolder, name);
        if (!QFile::copy(templatePath(appFolder), target))
            throw StoreError(EngineFailure,
                             QStringLiteral("Impossibile creare il file '%1'.").arg(target));
    }
}

} // namespace store::archive
