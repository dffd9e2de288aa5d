// "Importa file csv" of FILE into the address book BOOK, as the menu command runs it, in a
// process of its own that a test can kill: prints a line at each step of its progress.
//   quillet-import-driver FILE BOOK
#include "exchange/csvimport.h"
#include "store/database.h"

#include <QCoreApplication>

#include <cstdio>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 3)
        return 2;
    const csvimport::Outcome outcome =
        csvimport::importFile(args[1], *store::Database::open(args[2]), [](qint64 done, qint64) {
            std::printf("%lld\n", static_cast<long long>(done));
            std::fflush(stdout);
        });
    std::printf("fine %d %lld\n", int(outcome.status), static_cast<long long>(outcome.imported));
    return outcome.status == csvimport::Outcome::Done ? 0 : 1;
}
