#include "storetest.h"

#include <QCoreApplication>

#include <vector>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    // A failure that throws must end the run with a failure, not in the crash handler.
    std::vector<char*> args(argv, argv + argc);
    char noCrashHandler[] = "-nocrashhandler";
    args.push_back(noCrashHandler);
    const int count = static_cast<int>(args.size());

    int failures = runJetTextTests(count, args.data());
    failures += runDatabaseTests(count, args.data());
    failures += runArchiveTests(count, args.data());
    return failures == 0 ? 0 : 1;
}
