// Writes application folders: the default one (empty archives) and the demo one.
#include "platform/appfolder.h"
#include "store/archive.h"
#include "store/storeerror.h"
#include "tools/demodata.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>

#include <cstdio>

namespace {

int usage() {
    std::fputs("Uso: quillet-folder default CARTELLA\n"
               "     quillet-folder demo CARTELLA --from CARTELLA_PREDEFINITA\n",
               stderr);
    return 2;
}

void say(const QString& text) {
    std::puts(text.toLocal8Bit().constData());
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() < 3)
        return usage();
    const QString mode = args[1];
    const QString folder = QDir::cleanPath(args[2]);
    try {
        if (mode == QLatin1String("default") && args.size() == 3) {
            QDir().mkpath(folder);
            store::archive::createFolderDatabases(folder, {QStringLiteral("Principale")});
            return 0;
        }
        if (mode == QLatin1String("demo") && args.size() == 5 &&
            args[3] == QLatin1String("--from")) {
            if (QFile::exists(store::archive::elencoPath(folder))) {
                say(QStringLiteral("La cartella dimostrativa %1 esiste già: la lascio com'è.")
                        .arg(folder));
                return 0;
            }
            if (!platform::AppFolder::copyTree(args[4], folder)) {
                say(QStringLiteral("Impossibile copiare %1 in %2.").arg(args[4], folder));
                return 1;
            }
            demodata::write(folder);
            say(QStringLiteral("Cartella dimostrativa creata in %1").arg(folder));
            return 0;
        }
    } catch (const store::StoreError& e) {
        say(e.message());
        return 1;
    }
    return usage();
}
