// The conversion of the earlier program's folder: one address book of COUNT contacts and COUNT
// messages (a third in each message table) in Jet 4 files, converted by `quillet --convert-jet`
// (child processes, checks, swap), beside a bare libmdb read of the same tables in the same run:
//   bench-jetconvert [COUNT] [RUNS]
#include "bench/measure.h"
#include "platform/appfolder.h"
#include "tools/jetfolder.h"

#include <QCoreApplication>
#include <QDir>
#include <QProcess>
#include <QTemporaryDir>

#include <mdbtools.h>

#include <cstdio>
#include <vector>

namespace {

using measure::median;
using measure::msSince;

// elenco.mdb listing Principale, an empty template and the book.
bool makeFolder(const QString& folder, int count) {
    QDir(folder).mkpath(QStringLiteral("rubriche"));
    const jetwriter::Table elenco{QStringLiteral("elenco"),
                                  {{QStringLiteral("Rubrica"), jetwriter::Type::Text, 50}},
                                  {{QStringLiteral("Principale")}}};
    return jetwriter::write(folder + QStringLiteral("/elenco.mdb"), {elenco}) &&
           jetwriter::write(folder + QStringLiteral("/rubrica_base.mdb"),
                            jetfolder::bookTables(0, 0)) &&
           jetwriter::write(folder + QStringLiteral("/rubriche/Principale"),
                            jetfolder::bookTables(count, (count + 2) / 3));
}

// Every row of the four tables through libmdb, each column bound; the rows read.
qint64 bareRead(const QString& path) {
    MdbHandle* mdb = mdb_open(QFile::encodeName(path).constData(), MDB_NOFLAGS);
    mdb_set_bind_size(mdb, 65536);
    mdb_read_catalog(mdb, MDB_TABLE);
    qint64 rows = 0;
    for (const char* name : {"rubrica", "salvati", "inviati", "cancellati"}) {
        MdbTableDef* table = mdb_read_table_by_name(mdb, const_cast<char*>(name), MDB_TABLE);
        mdb_read_columns(table);
        std::vector<std::vector<char>> values(table->num_cols, std::vector<char>(65536));
        std::vector<int> lengths(table->num_cols);
        for (unsigned i = 0; i < table->num_cols; ++i)
            mdb_bind_column(table, int(i) + 1, values[i].data(), &lengths[i]);
        mdb_rewind_table(table);
        while (mdb_fetch_row(table))
            ++rows;
        mdb_free_tabledef(table);
    }
    mdb_close(mdb);
    return rows;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int count = measure::count(1, 100000);
    const int runs = measure::count(2, 5);
    QTemporaryDir tmp;
    const QString source = tmp.filePath(QStringLiteral("jet"));
    if (!makeFolder(source, count)) {
        std::fprintf(stderr, "cannot write the Jet folder\n");
        return 1;
    }
    const QString quillet = QCoreApplication::applicationDirPath() + QStringLiteral("/quillet");
    std::vector<double> converts, reads;
    for (int run = 0; run < runs; ++run) {
        const QString folder = tmp.filePath(QStringLiteral("run%1").arg(run));
        platform::AppFolder::copyTree(source, folder);
        QElapsedTimer t;
        t.start();
        const qint64 rows = bareRead(folder + QStringLiteral("/rubriche/Principale"));
        reads.push_back(msSince(t));
        t.start();
        QProcess convert;
        convert.start(quillet, {QStringLiteral("--convert-jet"), folder});
        if (!convert.waitForFinished(300000) || convert.exitCode() != 0) {
            std::fprintf(stderr, "conversion failed:\n%s\n", convert.readAll().constData());
            return 1;
        }
        converts.push_back(msSince(t));
        if (run == 0)
            std::printf("%lld righe (%d contatti, %d messaggi)\n", rows, count,
                        3 * ((count + 2) / 3));
    }
    std::printf("conversione (quillet --convert-jet)   %8.1f ms\n", median(converts));
    std::printf("lettura libmdb delle stesse tabelle   %8.1f ms\n", median(reads));
    return 0;
}
