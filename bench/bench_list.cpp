// Lists one address book as the browser does (read, key, sort) and compares it with a raw
// SQLite scan of the same table, in the same run:
//   bench-list FOLDER [BOOK] [RUNS]
#include "bench/measure.h"
#include "browser/archivemodel.h"
#include "store/archive.h"
#include "store/database.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>

#include <sqlite3.h>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

using measure::median;
using measure::msSince;

long statusKb(const char* field) {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray key = QByteArray(field) + ':';
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith(key))
            return line.mid(key.size()).trimmed().split(' ').value(0).toLong();
    return -1;
}

// The least a list could cost: every text of the four columns read once.
double rawScan(const QString& path, qint64& rows) {
    QElapsedTimer t;
    t.start();
    sqlite3* db = nullptr;
    sqlite3_open_v2(QFile::encodeName(path).constData(), &db, SQLITE_OPEN_READONLY, nullptr);
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(db, "SELECT cellulare, Nome, cognome, email FROM rubrica ORDER BY rowid", -1,
                       &st, nullptr);
    rows = 0;
    size_t bytes = 0;
    while (sqlite3_step(st) == SQLITE_ROW) {
        for (int c = 0; c < 4; ++c)
            bytes += static_cast<size_t>(sqlite3_column_bytes(st, c));
        ++rows;
    }
    sqlite3_finalize(st);
    sqlite3_close(db);
    const double ms = static_cast<double>(t.nsecsElapsed()) / 1e6;
    return bytes > 0 ? ms : ms; // bytes keeps the reads from being optimised away
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList args = QApplication::arguments();
    if (args.size() < 2) {
        std::fputs("Uso: bench-list CARTELLA [RUBRICA] [RIPETIZIONI]\n", stderr);
        return 2;
    }
    const QString book = args.value(2, QStringLiteral("Principale"));
    const int runs = measure::count(3, 5);
    const QString path = store::archive::addressBookPath(args[1], book);

    std::vector<double> raw, listed;
    qint64 rawRows = 0;
    int modelRows = 0;
    ArchiveModel model;
    for (int r = 0; r < runs; ++r) {
        raw.push_back(rawScan(path, rawRows));
        QElapsedTimer t;
        t.start();
        auto db = store::Database::open(path);
        auto rs = db->openRecordset(QStringLiteral("rubrica"));
        model.load(*rs, QLatin1Char('r'));
        listed.push_back(static_cast<double>(t.nsecsElapsed()) / 1e6);
        modelRows = model.rowCount();
    }
    std::printf("rubrica %s: %d righe (SQLite: %lld), %d ripetizioni\n",
                book.toLocal8Bit().constData(), modelRows, static_cast<long long>(rawRows), runs);
    std::printf("  lettura SQLite pura        mediana %8.1f ms\n", median(raw));
    std::printf("  elenco riempito e ordinato mediana %8.1f ms  (%.1fx la lettura pura)\n",
                median(listed), median(listed) / std::max(0.001, median(raw)));
    std::printf("  memoria residente ora %ld MB, massima %ld MB\n", statusKb("VmRSS") / 1024,
                statusKb("VmHWM") / 1024);
    return modelRows == rawRows ? 0 : 1;
}
