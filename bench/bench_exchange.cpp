// "Esporta Rubrica" with every contact of an address book ticked, and "Importa file csv" of
// the file it wrote into an empty address book, beside the sqlite3 shell's own export
// (".once" of a SELECT) and ".import" of the same file (into a new table, and into one with
// the address book's four indexes), and beside "Esporta vCard" and "Importa vCard" of the same
// contacts, in the same run:
//   bench-exchange [COUNT] [RUNS]
// or "Importa file csv" (or "Importa vCard", for a .vcf file) of one given file into an empty
// address book, once (run it under /usr/bin/time -v to see the memory it takes):
//   bench-exchange FILE
// or "Importa file csv" of a file of COUNT contacts, once, beside the sqlite3 shell's ".import"
// into a table with the four indexes, with the longest pause between two progress reports (the
// longest the window goes unpainted):
//   bench-exchange --una COUNT
#include "bench/measure.h"
#include "browser/archivemodel.h"
#include "browser/storedrows.h"
#include "exchange/csvexport.h"
#include "exchange/csvimport.h"
#include "exchange/vcard.h"
#include "store/archive.h"
#include "store/database.h"
#include "tools/testdata.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

using measure::median;
using measure::msSince;

// Runs the sqlite3 shell on `database` with `commands` on its input; the time it took.
double shell(const QString& database, const QByteArray& commands) {
    QElapsedTimer t;
    t.start();
    QProcess sqlite;
    sqlite.start(QStringLiteral("sqlite3"), {database});
    sqlite.write(commands);
    sqlite.closeWriteChannel();
    sqlite.waitForFinished(-1);
    const double ms = msSince(t);
    const QByteArray errors = sqlite.readAllStandardError();
    if (sqlite.exitCode() != 0 || !errors.isEmpty())
        std::fprintf(stderr, "sqlite3: %s\n", errors.constData());
    return ms;
}

QString freshBook(const QString& dir, const QString& name) {
    const QString path = dir + QLatin1Char('/') + name;
    QFile::remove(path);
    QFile::remove(path + QStringLiteral("-journal"));
    store::Database::create(path, store::archive::addressBookTables());
    store::Database::open(path); // adds the indexes, as for any book opened for writing
    return path;
}

int importOne(const QString& file) {
    QTemporaryDir dir;
    const QString target = freshBook(dir.path(), QStringLiteral("destinazione"));
    QElapsedTimer t;
    t.start();
    if (file.endsWith(QLatin1StringView(".vcf"))) {
        const vcard::Outcome outcome = vcard::importFile(file, *store::Database::open(target));
        std::printf("Importa vCard: %.1f ms, esito %d, %lld contatti %s\n", msSince(t),
                    int(outcome.status), static_cast<long long>(outcome.imported),
                    outcome.reason.toLocal8Bit().constData());
        return 0;
    }
    const csvimport::Outcome outcome = csvimport::importFile(file, *store::Database::open(target));
    std::printf("Importa file csv: %.1f ms, esito %d, %lld contatti, riga %lld %s\n", msSince(t),
                int(outcome.status), static_cast<long long>(outcome.imported),
                static_cast<long long>(outcome.line), outcome.reason.toLocal8Bit().constData());
    return 0;
}

const QStringList names = {QStringLiteral("Nicolò"), QStringLiteral("Anna"),
                           QStringLiteral("Giuseppe"), QStringLiteral("Maria Grazia")};
const QStringList surnames = {QStringLiteral("Rossi"), QStringLiteral("Dell'Acqua"),
                              QStringLiteral("Citterà"), QStringLiteral("Bianchi")};

QString surname(int i) {
    return surnames[i / 4 % 4] + QString::number(i);
}
QString mobile(int i) {
    return QString::number(3330000000LL + i);
}
QString email(int i) {
    return i % 3 ? QStringLiteral("cliente%1@example.it").arg(i) : QString();
}

// The four indexes of an address book, with SQLite's own NOCASE comparison.
const QByteArray indexedTable =
    "CREATE TABLE t(Nome, cognome, cellulare, email);"
    "CREATE INDEX t1 ON t(cognome COLLATE NOCASE, Nome, cellulare, email);"
    "CREATE INDEX t2 ON t(cellulare COLLATE NOCASE);"
    "CREATE INDEX t3 ON t(Nome COLLATE NOCASE);"
    "CREATE INDEX t4 ON t(email COLLATE NOCASE);\n";

int importLarge(int count) {
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("contatti.csv"));
    {
        csvexport::Writer writer;
        for (int i = 0; i < count; ++i)
            writer.add({.nome = names[i % 4],
                        .cognome = surname(i),
                        .cellulare = mobile(i),
                        .email = email(i)});
        if (const auto failure = writer.save(file))
            std::fprintf(stderr, "%s\n", failure->toLocal8Bit().constData());
    }
    const QString target = freshBook(dir.path(), QStringLiteral("destinazione"));
    QElapsedTimer t, sinceLast;
    double longest = 0;
    qint64 reports = 0;
    t.start();
    sinceLast.start();
    const csvimport::Outcome outcome =
        csvimport::importFile(file, *store::Database::open(target), [&](qint64, qint64) {
            longest = std::max(longest, msSince(sinceLast));
            sinceLast.start();
            ++reports;
        });
    const double ms = msSince(t);
    const double shellMs = shell(freshBook(dir.path(), QStringLiteral("indicizzata")),
                                 indexedTable + ".mode csv\n.separator ;\n.import --skip 1 " +
                                     QFile::encodeName(file) + " t\n");
    std::printf("%d contatti (file di %lld byte)\n", count,
                static_cast<long long>(QFile(file).size()));
    std::printf("  Importa file csv in una rubrica vuota       %8.1f ms (%lld contatti), %lld "
                "avanzamenti, pausa massima %.1f ms\n",
                ms, static_cast<long long>(outcome.imported), static_cast<long long>(reports),
                longest);
    std::printf("  sqlite3: .import in una tabella a 4 indici  %8.1f ms (%.2fx)\n", shellMs,
                ms / shellMs);
    return outcome.imported == count ? 0 : 1;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc == 2 && QFileInfo(app.arguments().at(1)).isFile())
        return importOne(app.arguments().at(1));
    if (argc == 3 && app.arguments().at(1) == QLatin1StringView("--una"))
        return importLarge(measure::count(2, 1000000));
    const int count = measure::count(1, 100000);
    const int runs = measure::count(2, 5);

    QTemporaryDir dir;
    const QString source = freshBook(dir.path(), QStringLiteral("origine"));
    {
        auto db = store::Database::open(source);
        db->transaction([&] {
            for (int i = 0; i < count; ++i)
                testdata::addContact(*db, names[i % 4], surname(i), mobile(i), email(i));
        });
    }
    ArchiveModel model;
    {
        model.load(source, store::ArchiveKind::Contacts);
        model.setAllChecked(true);
    }

    const QString file = dir.filePath(QStringLiteral("contatti.csv"));
    const QString shellFile = dir.filePath(QStringLiteral("sqlite3.csv"));
    const QString cards = dir.filePath(QStringLiteral("contatti.vcf"));
    std::vector<double> exported, shellExported, imported, shellImported, shellIndexed,
        cardsExported, cardsImported;
    qint64 importedRows = 0, importedCards = 0;
    // What the export commands do: count the ticked rows (for the wait box), every ticked row
    // to the writer, then the file.
    auto exportTicked = [&model](auto&& writer, const QString& path) {
        QElapsedTimer t;
        t.start();
        const int rows = model.checkedCount();
        int done = 0;
        model.readTickedAsStored(rows, [&writer, &done](const StoredRows& ticked) {
            for (qsizetype i = 0; i < ticked.size(); ++i) // cellulare, Nome, cognome, email
                writer.addStored(ticked.field(i, 1), ticked.field(i, 2), ticked.field(i, 0),
                                 ticked.field(i, 3));
            done += static_cast<int>(ticked.size());
        });
        if (done != rows || writer.bytes().isEmpty())
            std::fprintf(stderr, "%d contatti scritti di %d\n", done, rows);
        else if (const auto failure = writer.save(path))
            std::fprintf(stderr, "%s\n", failure->toLocal8Bit().constData());
        return msSince(t);
    };
    // An import into a new empty book: the time, and the contacts imported (-1: not all read).
    auto importInto = [&dir](auto import, const QString& path, const QString& book) {
        const QString target = freshBook(dir.path(), book);
        QElapsedTimer t;
        t.start();
        const auto outcome = import(path, *store::Database::open(target), {});
        return std::pair(msSince(t),
                         outcome.status == decltype(outcome)::Done ? outcome.imported : qint64(-1));
    };
    for (int r = 0; r < runs; ++r) {
        exported.push_back(exportTicked(csvexport::Writer(), file));

        shellExported.push_back(
            shell(source, ".headers on\n.mode list\n.separator ; \"\\r\\n\"\n.once " +
                              QFile::encodeName(shellFile) +
                              "\nSELECT Nome, cognome AS Cognome, cellulare AS Cellulare, email "
                              "AS \"Posta elettronica\" FROM rubrica;\n"));

        const auto [csvMs, csvRows] = importInto(
            static_cast<csvimport::Outcome (*)(const QString&, store::Database&,
                                               const csvimport::Progress&)>(&csvimport::importFile),
            file, QStringLiteral("destinazione"));
        imported.push_back(csvMs);
        importedRows = csvRows;

        const QString shellTarget = freshBook(dir.path(), QStringLiteral("shell"));
        shellImported.push_back(shell(shellTarget, ".mode csv\n.separator ;\n.import " +
                                                       QFile::encodeName(file) + " importati\n"));
        // The same four indexes as an address book, with SQLite's own NOCASE comparison.
        const QString indexedTarget = freshBook(dir.path(), QStringLiteral("indicizzata"));
        shellIndexed.push_back(shell(indexedTarget, indexedTable +
                                                        ".mode csv\n.separator ;\n.import "
                                                        "--skip 1 " +
                                                        QFile::encodeName(file) + " t\n"));

        cardsExported.push_back(exportTicked(vcard::Writer(), cards));

        const auto [cardMs, cardRows] =
            importInto(&vcard::importFile, cards, QStringLiteral("vcard"));
        cardsImported.push_back(cardMs);
        importedCards = cardRows;
    }
    std::printf("%d contatti, %d ripetizioni (file di %lld byte)\n", count, runs,
                static_cast<long long>(QFile(file).size()));
    std::printf("  Esporta Rubrica, tutti spuntati             mediana %8.1f ms\n",
                median(exported));
    std::printf("  sqlite3: .once file + SELECT                mediana %8.1f ms (Esporta Rubrica: "
                "%.2fx)\n",
                median(shellExported), median(exported) / median(shellExported));
    std::printf("  Importa file csv in una rubrica vuota       mediana %8.1f ms (%lld contatti)\n",
                median(imported), static_cast<long long>(importedRows));
    std::printf("  sqlite3: .import in una tabella nuova       mediana %8.1f ms\n",
                median(shellImported));
    std::printf("  sqlite3: .import in una tabella a 4 indici  mediana %8.1f ms (Importa file csv: "
                "%.2fx)\n",
                median(shellIndexed), median(imported) / median(shellIndexed));
    std::printf(
        "  Esporta vCard, tutti spuntati               mediana %8.1f ms (file di %lld byte)\n",
        median(cardsExported), static_cast<long long>(QFile(cards).size()));
    std::printf("  Importa vCard in una rubrica vuota          mediana %8.1f ms (%lld contatti, "
                "%.2fx Importa file csv)\n",
                median(cardsImported), static_cast<long long>(importedCards),
                median(cardsImported) / median(imported));
    return importedRows == count && importedCards == count ? 0 : 1;
}
