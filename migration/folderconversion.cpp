#include "migration/folderconversion.h"

#include "migration/jetfile.h"
#include "migration/jetreader.h"
#include "migration/staging.h"
#include "store/archive.h"
#include "store/database.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QLocale>
#include <QProcess>
#include <QSaveFile>

#include <cstdio>
#include <signal.h>
#include <sys/prctl.h>
#include <unistd.h>

namespace migration {

namespace {

constexpr char listRole[] = "elenco";
constexpr char bookRole[] = "rubrica";
constexpr int childTimeoutMs = 10 * 60 * 1000;

bool isBook(const QString& path) {
    return path.startsWith(QLatin1String("rubriche/"));
}

bool isMessageTable(const QString& table) {
    return table != QLatin1String("rubrica") && table != QLatin1String("elenco");
}

qint64 declared(const FileResult& file) {
    qint64 rows = 0;
    for (const TableCount& table : file.tables)
        rows += table.declared;
    return rows;
}

// Rows per table in the new file, against what the Jet file declared and the child copied.
QString checkCopy(const QString& target, const QList<TableCount>& tables) {
    const auto db = store::Database::open(target);
    for (const TableCount& table : tables) {
        store::sqlite::Statement count(
            *db->connection(), QStringLiteral("SELECT count(*) FROM %1").arg(table.table).toUtf8());
        count.step();
        if (count.integer(0) != table.declared || table.copied != table.declared)
            return QStringLiteral("la tabella %1 dichiara %2 righe, ne sono state lette %3")
                .arg(table.table)
                .arg(table.declared)
                .arg(table.copied);
    }
    return {};
}

QString fileLine(const FileResult& file) {
    if (!file.problem.isEmpty())
        return QStringLiteral("%1: NON convertito, resta dov'è: %2.").arg(file.path, file.problem);
    QStringList parts;
    for (const TableCount& table : file.tables)
        parts.append(QStringLiteral("%1 %2").arg(table.table).arg(table.copied));
    return QStringLiteral("%1: %2").arg(file.path, parts.join(u", "));
}

QString reportText(const QList<FileResult>& files, Outcome outcome) {
    QStringList lines{QStringLiteral("Conversione degli archivi del programma precedente, %1")
                          .arg(QLocale().toString(QDateTime::currentDateTime(),
                                                  QStringLiteral("dd/MM/yyyy HH:mm:ss"))),
                      QString()};
    for (const FileResult& file : files)
        lines.append(fileLine(file));
    lines.append(QString());
    if (outcome == Outcome::Failed)
        lines.append(QStringLiteral("Nessun file è stato cambiato."));
    else
        lines.append(QStringLiteral("Righe convertite per tabella. Gli originali sono in %1/.")
                         .arg(QLatin1String(staging::originalsName)));
    return lines.join(u'\n') + u'\n';
}

void writeReport(const QString& path, const QString& text) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(text.toUtf8()) < 0 || !file.commit())
        throw store::StoreError(store::EngineFailure,
                                QStringLiteral("Impossibile scrivere %1.").arg(path));
}

void printLine(const QString& line) {
    std::fputs((line + u'\n').toUtf8().constData(), stdout);
    std::fflush(stdout);
}

} // namespace

QStringList engineFiles(const QString& appFolder) {
    QStringList candidates{QStringLiteral("elenco.mdb"), QStringLiteral("rubrica_base.mdb")};
    const QDir books(store::archive::addressBookDir(appFolder));
    for (const QString& name : books.entryList(QDir::Files | QDir::Hidden, QDir::Name))
        candidates.append(QStringLiteral("rubriche/") + name);
    QStringList found;
    for (const QString& path : std::as_const(candidates))
        if (isEngineFile(fileFormat(appFolder + u'/' + path)))
            found.append(path);
    return found;
}

Totals totals(const QList<FileResult>& files) {
    Totals sum;
    for (const FileResult& file : files) {
        if (!isBook(file.path))
            continue;
        ++sum.books;
        for (const TableCount& table : file.tables)
            (isMessageTable(table.table) ? sum.messages : sum.contacts) += table.declared;
    }
    return sum;
}

QString question(const Totals& totals) {
    return QStringLiteral("Trovati gli archivi del programma precedente: %1 rubriche, %2 contatti, "
                          "%3 messaggi. Convertirli ora? Gli originali restano in %4/")
        .arg(totals.books)
        .arg(totals.contacts)
        .arg(totals.messages)
        .arg(QLatin1String(staging::originalsName));
}

FolderConversion::FolderConversion(QString appFolder, QString program)
    : m_appFolder(std::move(appFolder))
    , m_program(std::move(program)) {}

FileResult FolderConversion::runChild(const QString& path, bool copy,
                                      const std::function<void(qint64)>& rows) const {
    FileResult result{path, {}, {}};
    if (fileFormat(m_appFolder + u'/' + path) == FileFormat::Ace) {
        result.problem = QStringLiteral("è nel formato ACE (Access 2007 o successivo, forse "
                                        "cifrato), che Quillet non legge");
        return result;
    }
    QStringList arguments{QStringLiteral("--jet-file"), m_appFolder + u'/' + path,
                          QLatin1String(roleOf(path) == FileRole::List ? listRole : bookRole)};
    if (copy)
        arguments.append(staging::folder(m_appFolder) + u'/' + path);
    QProcess child;
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.start(m_program, arguments);
    auto readLines = [&] {
        while (child.canReadLine()) {
            const QString line = QString::fromUtf8(child.readLine()).chopped(1);
            const QStringList fields = line.split(u'\t');
            if (line.startsWith(QLatin1String("# ")) && rows)
                rows(line.mid(2).toLongLong());
            else if (fields.size() == 4 && fields[0] == QLatin1String("tabella"))
                result.tables.append({fields[1], fields[2].toLongLong(), fields[3].toLongLong()});
            else if (fields.size() == 2 && fields[0] == QLatin1String("errore"))
                result.problem = fields[1];
        }
    };
    if (child.waitForStarted())
        while (child.state() != QProcess::NotRunning) {
            child.waitForReadyRead(200);
            readLines();
        }
    child.waitForFinished(childTimeoutMs);
    readLines();
    if (child.exitStatus() != QProcess::NormalExit || child.error() == QProcess::FailedToStart)
        result.problem = QStringLiteral("la lettura si è interrotta (file danneggiato)");
    else if (child.exitCode() != 0 && result.problem.isEmpty())
        result.problem = QStringLiteral("non si può leggere");
    if (!result.problem.isEmpty())
        result.tables.clear();
    return result;
}

QList<FileResult> FolderConversion::count() const {
    QList<FileResult> files;
    for (const QString& path : engineFiles(m_appFolder))
        files.append(runChild(path, false, {}));
    return files;
}

Conversion FolderConversion::convert(const std::function<void(qint64, qint64)>& progress) const {
    staging::settle(m_appFolder);
    Conversion conversion;
    const QList<FileResult> counted = count();
    if (counted.isEmpty())
        return conversion;
    for (const FileResult& file : counted)
        if (QFile::exists(staging::originals(m_appFolder) + u'/' + file.path)) {
            conversion.outcome = Outcome::Failed;
            conversion.files = counted;
            conversion.report = QStringLiteral("%1/%2 esiste già: la conversione non si fa, per "
                                               "non sovrascrivere quella copia.\n")
                                    .arg(QLatin1String(staging::originalsName), file.path);
            return conversion;
        }
    qint64 total = 0;
    for (const FileResult& file : counted)
        total += declared(file);
    const QString staged = staging::folder(m_appFolder);
    QDir().mkpath(staged + QStringLiteral("/rubriche"));

    qint64 done = 0;
    QStringList converted;
    for (const FileResult& file : counted) {
        FileResult result = file;
        if (file.problem.isEmpty()) {
            result = runChild(file.path, true, [&](qint64 rows) {
                if (progress)
                    progress(done + rows, total);
            });
            if (result.problem.isEmpty())
                result.problem = checkCopy(staged + u'/' + file.path, result.tables);
            if (result.problem.isEmpty())
                converted.append(file.path);
            else
                QFile::remove(staged + u'/' + file.path);
        }
        done += declared(file);
        conversion.files.append(result);
    }
    const bool listLeft =
        std::any_of(conversion.files.cbegin(), conversion.files.cend(), [](const FileResult& file) {
            return roleOf(file.path) == FileRole::List && !file.problem.isEmpty();
        });
    if (converted.isEmpty() || listLeft) {
        conversion.outcome = Outcome::Failed;
        QDir(staged).removeRecursively();
    } else {
        conversion.outcome =
            converted.size() == conversion.files.size() ? Outcome::Complete : Outcome::Partial;
    }
    conversion.report = reportText(conversion.files, conversion.outcome);
    if (conversion.outcome != Outcome::Failed) {
        writeReport(staged + u'/' + QLatin1String(staging::reportName), conversion.report);
        converted.append(QLatin1String(staging::reportName));
        staging::markReady(m_appFolder, converted);
        staging::settle(m_appFolder);
    }
    if (progress)
        progress(total, total);
    return conversion;
}

void endWithParent() {
    const pid_t parent = getppid();
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != parent) // gone already
        _exit(NotRead);
}

int jetFileCommand(const QStringList& arguments) {
    if (arguments.size() < 2)
        return NotRead;
    endWithParent();
    const FileRole role = arguments[1] == QLatin1String(listRole) ? FileRole::List : FileRole::Book;
    try {
        const QList<TableCount> tables =
            arguments.size() > 2
                ? copyJet(arguments[0], arguments[2], role,
                          [](qint64 rows) { printLine(QStringLiteral("# %1").arg(rows)); })
                : countJet(arguments[0], role);
        for (const TableCount& table : tables)
            printLine(QStringLiteral("tabella\t%1\t%2\t%3")
                          .arg(table.table)
                          .arg(table.declared)
                          .arg(table.copied));
        return 0;
    } catch (const JetError& e) {
        printLine(QStringLiteral("errore\t") + e.message());
    } catch (const store::StoreError& e) {
        printLine(QStringLiteral("errore\t") + e.message());
    }
    return NotRead;
}

} // namespace migration
