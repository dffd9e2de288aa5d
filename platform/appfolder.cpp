#include "platform/appfolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

namespace platform::AppFolder {

namespace {

const QString archiveName = QStringLiteral("elenco.mdb");

QString absoluteClean(const QString& path) {
    return QDir::cleanPath(QFileInfo(path).absoluteFilePath());
}

QString shown(const QString& path) {
    return QDir::toNativeSeparators(path);
}

bool holdsArchives(const QString& dir) {
    return !dir.isEmpty() && QFileInfo(QDir(dir).filePath(archiveName)).isFile();
}

bool isEmptyDir(const QString& dir) {
    return QDir(dir).isEmpty(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
}

Choice failure(QString error) {
    Choice c;
    c.error = std::move(error);
    return c;
}

Choice success(const QString& folder, bool created = false) {
    Choice c;
    c.folder = absoluteClean(folder);
    c.created = created;
    return c;
}

// Builds the copy beside the user folder and renames it into place, so a failed copy
// never leaves a half-filled folder behind.
Choice createFromDefault(const QString& userDir, const QString& defaultFolder) {
    const QString parent = QFileInfo(userDir).absolutePath();
    const QString cannotCreate =
        QStringLiteral("Impossibile creare la cartella %1 per gli archivi di Quillet.")
            .arg(shown(userDir));
    if (!QDir().mkpath(parent))
        return failure(cannotCreate);

    QTemporaryDir staging(parent + QStringLiteral("/.quillet-XXXXXX"));
    if (!staging.isValid() || !copyTree(defaultFolder, staging.path()))
        return failure(cannotCreate);

    const bool existed = QFileInfo::exists(userDir);
    if (existed && !QDir().rmdir(userDir))
        return failure(cannotCreate);
    if (!QDir().rename(staging.path(), userDir)) {
        if (existed)
            QDir().mkdir(userDir);
        return failure(cannotCreate);
    }
    return success(userDir, true);
}

} // namespace

Choice choose(const QString& explicitFolder, const QString& executableDir,
              const QString& userDataDir, const QString& defaultFolder) {
    if (!explicitFolder.isEmpty()) {
        if (QFileInfo(explicitFolder).isDir() && holdsArchives(explicitFolder))
            return success(explicitFolder);
        return failure(
            QStringLiteral("La cartella %1 non contiene gli archivi di Quillet (elenco.mdb).")
                .arg(shown(explicitFolder)));
    }

    if (holdsArchives(executableDir))
        return success(executableDir);

    if (userDataDir.isEmpty())
        return failure(QStringLiteral("Non è stato possibile stabilire la cartella personale "
                                      "per gli archivi di Quillet."));
    const QString userDir = absoluteClean(userDataDir);
    const QFileInfo userInfo(userDir);
    if (userInfo.exists() && !userInfo.isDir())
        return failure(QStringLiteral("Impossibile usare %1 come cartella di Quillet: esiste "
                                      "un file con lo stesso nome.")
                           .arg(shown(userDir)));
    if (holdsArchives(userDir))
        return success(userDir);
    if (userInfo.exists() && !isEmptyDir(userDir))
        return failure(QStringLiteral("La cartella %1 non contiene gli archivi di Quillet "
                                      "(elenco.mdb) e contiene altri file: non è stata "
                                      "modificata. Spostarla o rinominarla, poi riavviare "
                                      "il programma.")
                           .arg(shown(userDir)));

    if (defaultFolder.isEmpty() || !QFileInfo(defaultFolder).isDir())
        return failure(QStringLiteral("Manca la cartella predefinita di Quillet (%1): "
                                      "reinstallare il programma.")
                           .arg(shown(defaultFolder)));
    if (!holdsArchives(defaultFolder))
        return failure(QStringLiteral("La cartella predefinita %1 non contiene gli archivi di "
                                      "Quillet (elenco.mdb): reinstallare il programma.")
                           .arg(shown(defaultFolder)));
    return createFromDefault(userDir, defaultFolder);
}

bool copyTree(const QString& from, const QString& to) {
    const QFileInfo source(from);
    if (!source.isDir())
        return false;
    const QString src = absoluteClean(from);
    const QString dst = absoluteClean(to);
    if (dst == src || dst.startsWith(src + u'/'))
        return false;
    if (!QDir().mkpath(dst))
        return false;

    bool ok = true;
    const auto entries = QDir(src).entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::System |
                                                 QDir::NoDotAndDotDot);
    for (const QFileInfo& entry : entries) {
        const QString target = dst + u'/' + entry.fileName();
        if (entry.isDir()) {
            // A linked folder could lead back into the tree.
            if (!entry.isSymLink() && !copyTree(entry.filePath(), target))
                ok = false;
            continue;
        }
        const QFileInfo existing(target);
        if (existing.exists() || existing.isSymLink())
            continue;
        if (!QFile::copy(entry.filePath(), target)) {
            ok = false;
            continue;
        }
        // Installed files may be read-only; the user's copy must be writable.
        QFile copy(target);
        copy.setPermissions(copy.permissions() | QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    }
    return ok;
}

QString installedDefaultFolder(const QString& executableDir) {
    return QDir::cleanPath(executableDir + QStringLiteral("/../share/quillet/default"));
}

} // namespace platform::AppFolder
