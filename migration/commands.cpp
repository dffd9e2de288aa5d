#include "migration/commands.h"

#include "migration/folderconversion.h"
#include "migration/staging.h"
#include "store/storeerror.h"

#include <QElapsedTimer>

#include <cstdio>

namespace migration {

namespace {

void print(const QString& text) {
    std::fputs(text.toUtf8().constData(), stdout);
    std::fflush(stdout);
}

} // namespace

int convertCommand(const QString& appFolder, const QString& program) {
    endWithParent();
    try {
        QElapsedTimer sinceShown;
        const Conversion conversion =
            FolderConversion(appFolder, program).convert([&](qint64 done, qint64 total) {
                if (sinceShown.isValid() && sinceShown.elapsed() < 100 && done < total)
                    return;
                sinceShown.start();
                print(QStringLiteral("# %1 %2\n").arg(done).arg(total));
            });
        if (conversion.outcome == Outcome::Nothing) {
            print(QStringLiteral("Nella cartella non ci sono archivi del programma precedente.\n"));
            return Converted;
        }
        print(conversion.report);
        return conversion.outcome == Outcome::Complete  ? Converted
               : conversion.outcome == Outcome::Partial ? PartlyConverted
                                                        : NotConverted;
    } catch (const store::StoreError& e) {
        print(e.message() + u'\n');
        return NotConverted;
    }
}

int countCommand(const QString& appFolder, const QString& program) {
    try {
        staging::settle(appFolder);
    } catch (const store::StoreError& e) {
        print(e.message() + u'\n');
        return NotConverted;
    }
    const QList<FileResult> files = FolderConversion(appFolder, program).count();
    const Totals sum = totals(files);
    print(QStringLiteral("%1\t%2\t%3\t%4\n")
              .arg(QLatin1String(countTag))
              .arg(sum.books)
              .arg(sum.contacts)
              .arg(sum.messages));
    for (const FileResult& file : files)
        if (!file.problem.isEmpty())
            print(QStringLiteral("%1: %2\n").arg(file.path, file.problem));
    return files.isEmpty() ? NotConverted : Converted;
}

} // namespace migration
