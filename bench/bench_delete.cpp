// Deletes every contact of an address book as "Cancella Spuntati" does with all rows ticked,
// beside a raw SQLite loop of "DELETE ... WHERE cellulare = ?" in one transaction, in the
// same run; then the same number of sent messages moved to the deleted archive:
//   bench-delete [COUNT] [RUNS]
#include "bench/measure.h"
#include "browser/deletion.h"
#include "store/archive.h"
#include "store/database.h"
#include "tools/testdata.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <sqlite3.h>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

using measure::median;
using measure::msSince;

// The same rows through the bare C API, one statement per number. The archive's text rules
// are registered for the indexes that use them.
double rawDelete(const QString& path, const char* sql, const QList<deletion::Entry>& entries,
                 int& deleted) {
    QElapsedTimer t;
    t.start();
    sqlite3* db = nullptr;
    sqlite3_open_v2(QFile::encodeName(path).constData(), &db, SQLITE_OPEN_READWRITE, nullptr);
    store::Database::addTextRules(db);
    sqlite3_exec(db, "PRAGMA synchronous=FULL; BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(db, sql, -1, &st, nullptr) != SQLITE_OK)
        std::fprintf(stderr, "SQLite: %s\n", sqlite3_errmsg(db));
    deleted = 0;
    for (const deletion::Entry& e : entries) {
        const QByteArray number = e.number.toUtf8();
        sqlite3_bind_text(st, 1, number.constData(), static_cast<int>(number.size()),
                          SQLITE_TRANSIENT);
        if (sqlite3_step(st) == SQLITE_DONE)
            deleted += sqlite3_changes(db);
        sqlite3_reset(st);
    }
    sqlite3_finalize(st);
    if (sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr) != SQLITE_OK) {
        std::fprintf(stderr, "SQLite: %s\n", sqlite3_errmsg(db));
        deleted = -1;
    }
    sqlite3_close(db);
    return msSince(t);
}

double coreDelete(const QString& path, store::ArchiveKind kind,
                  const QList<deletion::Entry>& entries, bool recycle, int& deleted) {
    QElapsedTimer t;
    t.start();
    auto db = store::Database::open(path);
    const deletion::Outcome outcome = deletion::removeEntries(*db, kind, entries, recycle);
    deleted = outcome.failure ? -1 : outcome.deleted;
    if (outcome.failure)
        std::fprintf(stderr, "%s\n", outcome.failure->message().toLocal8Bit().constData());
    return msSince(t);
}

QString copyOf(const QString& master, const QString& name) {
    const QString path = master + QLatin1Char('.') + name;
    QFile::remove(path);
    QFile::remove(path + QStringLiteral("-journal"));
    if (!QFile::copy(master, path))
        std::fprintf(stderr, "Impossibile copiare %s\n", master.toLocal8Bit().constData());
    return path;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int count = measure::count(1, 10000);
    const int runs = measure::count(2, 5);

    QTemporaryDir dir;
    const QString principale = QString::fromLatin1(store::archive::principale);
    store::archive::createFolderDatabases(dir.path(), {principale});
    const QString master = store::archive::addressBookPath(dir.path(), principale);

    // The rows, and the entries in list order (by surname, not as stored).
    QList<deletion::Entry> contacts, sent;
    {
        auto db = store::Database::open(master);
        QRandomGenerator random(7);
        db->transaction([&] {
            for (int i = 0; i < count; ++i) {
                const QString number = QString::number(3330000000LL + i);
                const QString surname = QStringLiteral("Cognome%1").arg(random.bounded(count));
                const QString date = QStringLiteral("01/03/2026 %1:%2:%3")
                                         .arg(i / 3600 % 24, 2, 10, QLatin1Char('0'))
                                         .arg(i / 60 % 60, 2, 10, QLatin1Char('0'))
                                         .arg(i % 60, 2, 10, QLatin1Char('0'));
                const QString text = QStringLiteral("Messaggio numero %1").arg(i);
                testdata::addContact(*db, QStringLiteral("Nome"), surname, number,
                                     QStringLiteral("x@example.it"));
                testdata::addMessage(*db, QStringLiteral("inviati"), surname, number, date, text);
                contacts.append({number, surname, {}, QStringLiteral("x@example.it"), {}, {}});
                sent.append({number, surname, date, text, {}, {}});
            }
        });
        auto bySurname = [](const deletion::Entry& a, const deletion::Entry& b) {
            return a.surname < b.surname;
        };
        std::stable_sort(contacts.begin(), contacts.end(), bySurname);
        std::stable_sort(sent.begin(), sent.end(), bySurname);
    }

    const char* const plainSql = "DELETE FROM rubrica WHERE cellulare = ?";
    const char* const indexedSql = "DELETE FROM rubrica WHERE cellulare = ? COLLATE quillet_nocase";
    std::vector<double> raw, rawIndexed, core, moved;
    int rawDeleted = 0, indexedDeleted = 0, coreDeleted = 0, movedCount = 0;
    for (int r = 0; r < runs; ++r) {
        raw.push_back(
            rawDelete(copyOf(master, QStringLiteral("raw")), plainSql, contacts, rawDeleted));
        rawIndexed.push_back(rawDelete(copyOf(master, QStringLiteral("indexed")), indexedSql,
                                       contacts, indexedDeleted));
        core.push_back(coreDelete(copyOf(master, QStringLiteral("core")),
                                  store::ArchiveKind::Contacts, contacts, false, coreDeleted));
        moved.push_back(coreDelete(copyOf(master, QStringLiteral("moved")),
                                   store::ArchiveKind::Sent, sent, true, movedCount));
    }
    std::printf("%d contatti spuntati e cancellati, %d ripetizioni\n", count, runs);
    std::printf("  SQLite puro: DELETE per numero, una transazione  mediana %8.1f ms (%d righe)\n",
                median(raw), rawDeleted);
    std::printf("  SQLite puro, col confronto dell'archivio         mediana %8.1f ms (%d righe)\n",
                median(rawIndexed), indexedDeleted);
    std::printf("  Cancella Spuntati (rubrica)                      mediana %8.1f ms (%d righe)\n",
                median(core), coreDeleted);
    std::printf("  Cancella Spuntati (SMS Inviati -> cancellati)    mediana %8.1f ms (%d righe)\n",
                median(moved), movedCount);
    return rawDeleted == count && indexedDeleted == count && coreDeleted == count &&
                   movedCount == count
               ? 0
               : 1;
}
