// The settings files of the application folder, read at start-up: the same bytes in each.
#include "core/settings.h"
#include "core/session.h"
#include "fuzz/fuzzing.h"
#include "messaging/account.h"
#include "platform/textfile.h"

#include <QDir>

void fuzzing::run(QByteArrayView input) {
    for (const char* name : {"persorso", "registrazione", "intestazione", "progra", "residui.txt",
                             "servizio", "funzioni", "tbta"})
        file(input, QString::fromLatin1(name));
    Session session;
    session.appFolder = folder();
    settings::loadStartupFiles(session);
    settings::readFeatures(session.appFolder);
    if (const auto fields = account::read(session.appFolder))
        account::complete(*fields);
    if (const auto lines = platform::TextFile::readLines(
            QDir(session.appFolder).filePath(QStringLiteral("tbta")), 8))
        settings::parseTbta(*lines);
}
