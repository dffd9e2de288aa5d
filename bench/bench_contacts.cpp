// Contact search by the start of a surname and adding a contact with its duplicate test, on
// the first address book of a folder made by quillet-datagen, beside a raw SQLite query:
//   bench-contacts FOLDER [RUNS]
#include "bench/measure.h"
#include "contacts/contactstore.h"
#include "store/archive.h"
#include "store/database.h"
#include "store/listing.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <sqlite3.h>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <vector>

namespace {

using measure::median;
using measure::msSince;

// Rossi is one of datagen's surnames; Romano shares "ro" but not "ros".
const QString prefix = QStringLiteral("ros");

// Processor time of the process, to tell the work from waiting on a busy machine.
double cpuMs() {
    return 1000.0 * static_cast<double>(std::clock()) / CLOCKS_PER_SEC;
}

// The same search with SQLite's own LIKE (ASCII case folding only, no index of ours).
double rawSearch(const QString& path, qint64& rows) {
    QElapsedTimer t;
    t.start();
    sqlite3* db = nullptr;
    sqlite3_open_v2(QFile::encodeName(path).constData(), &db, SQLITE_OPEN_READONLY, nullptr);
    sqlite3_stmt* st = nullptr;
    const QByteArray sql = "SELECT Nome, cognome, cellulare, email, icona FROM rubrica WHERE "
                           "cognome LIKE '" +
                           prefix.toUtf8() + "%' ORDER BY rowid";
    sqlite3_prepare_v2(db, sql.constData(), -1, &st, nullptr);
    rows = 0;
    size_t bytes = 0;
    while (sqlite3_step(st) == SQLITE_ROW) {
        for (int c = 0; c < 5; ++c)
            bytes += static_cast<size_t>(sqlite3_column_bytes(st, c));
        ++rows;
    }
    sqlite3_finalize(st);
    sqlite3_close(db);
    return bytes > 0 ? msSince(t) : msSince(t);
}

void printPlan(store::Database& db, const char* what, const store::Query& query) {
    std::printf("  piano %-28s %s\n", what,
                db.queryPlan(query).join(QStringLiteral("; ")).toLocal8Bit().constData());
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() < 2) {
        std::fputs("Uso: bench-contacts CARTELLA [RIPETIZIONI]\n", stderr);
        return 2;
    }
    const int runs = measure::count(2, 5);
    const QString path = store::archive::addressBookPath(args[1], QStringLiteral("Principale"));
    try {
        // A folder made before the indexes gets them here, once.
        QElapsedTimer t;
        t.start();
        auto db = store::Database::open(path);
        const double firstOpen = msSince(t);

        std::vector<double> raw, searched, searchedCpu, added, firstScreen;
        qint64 rawRows = 0;
        qsizetype found = 0;
        for (int r = 0; r < runs; ++r) {
            raw.push_back(rawSearch(path, rawRows));
            t.start();
            const double cpu = cpuMs();
            found = contacts::search(*db, contacts::Field::Cognome, prefix).size();
            searched.push_back(msSince(t));
            searchedCpu.push_back(cpuMs() - cpu);
            // What "Cerca" does now: the keys of all found, the texts of the first screen.
            t.start();
            const std::vector<qint64> keys =
                db->rowids(contacts::searchQuery(contacts::Field::Cognome, prefix));
            store::Listing listing(path, QStringLiteral("rubrica"),
                                   {QStringLiteral("cognome"), QStringLiteral("Nome"),
                                    QStringLiteral("cellulare"), QStringLiteral("email")},
                                   QStringLiteral("cognome"));
            const auto shown = listing.read(
                std::span<const qint64>(keys.data(), std::min<size_t>(keys.size(), 64)));
            firstScreen.push_back(msSince(t));
            if (static_cast<qsizetype>(keys.size()) != found || shown.isEmpty())
                std::fputs("La prima schermata non corrisponde alla ricerca.\n", stderr);
        }

        // Adding goes to a copy, so the data set stays the same for the next run.
        QTemporaryDir dir;
        const QString copy = dir.filePath(QStringLiteral("copia"));
        if (!dir.isValid() || !QFile::copy(path, copy)) {
            std::fputs("Impossibile copiare la rubrica.\n", stderr);
            return 1;
        }
        auto target = store::Database::open(copy);
        int duplicates = 0;
        for (int r = 0; r < runs; ++r) {
            contacts::Contact contact;
            contact.nome = QStringLiteral("Prova");
            contact.cognome = QStringLiteral("Rossi");
            contact.cellulare = QStringLiteral("39900000%1").arg(r, 2, 10, QLatin1Char('0'));
            t.start();
            if (contacts::numberExists(*target, contact.cellulare))
                ++duplicates;
            else
                contacts::add(*target, contact);
            added.push_back(msSince(t));
        }

        std::printf("rubrica Principale, prefisso \"%s\": %lld trovati (SQLite LIKE: %lld), %d "
                    "ripetizioni\n",
                    prefix.toUtf8().constData(), static_cast<long long>(found),
                    static_cast<long long>(rawRows), runs);
        std::printf("  prima apertura (indici)          %8.1f ms\n", firstOpen);
        std::printf("  SQLite puro, LIKE '%s%%'        mediana %8.1f ms\n",
                    prefix.toUtf8().constData(), median(raw));
        std::printf("  ricerca per cognome              mediana %8.1f ms  (processore %.1f ms)\n",
                    median(searched), median(searchedCpu));
        std::printf("  ricerca, prima schermata         mediana %8.1f ms\n", median(firstScreen));
        std::printf("  aggiunta con controllo doppione  mediana %8.1f ms\n", median(added));
        printPlan(*db, "ricerca per cognome:",
                  store::Query(QStringLiteral("rubrica"))
                      .whereLike(QStringLiteral("cognome"), prefix + u'*'));
        printPlan(*db, "controllo doppione:",
                  store::Query(QStringLiteral("rubrica"))
                      .whereEqual(QStringLiteral("cellulare"), QStringLiteral("3990000000")));
        return found == rawRows && duplicates == 0 ? 0 : 1;
    } catch (const store::StoreError& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
}
