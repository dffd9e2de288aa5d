// jetfolder OUTDIR [--books K] [--contacts N] [--messages M]: writes an archive folder of Jet
// files (see jetfolder.h); N contacts and M messages per table in every file.
#include "tools/jetfolder.h"

#include <QCoreApplication>
#include <QTextStream>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    jetfolder::Size size;
    bool ok = !args.isEmpty() && args.size() % 2 == 1;
    for (int i = 1; ok && i < args.size(); i += 2) {
        int* field = args[i] == "--books"      ? &size.books
                     : args[i] == "--contacts" ? &size.contacts
                     : args[i] == "--messages" ? &size.messages
                                               : nullptr;
        ok = field && (*field = args[i + 1].toInt(&ok), ok);
    }
    QString error = "usage: jetfolder OUTDIR [--books K] [--contacts N] [--messages M]";
    if (ok && jetfolder::write(args[0], size, &error))
        return 0;
    QTextStream(stderr) << error << '\n';
    return 1;
}
