#include "migration/staging.h"

#include "store/storeerror.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace migration::staging {

namespace {

constexpr char markerName[] = "pronto";

[[noreturn]] void fail(const QString& what) {
    throw store::StoreError(store::EngineFailure, what);
}

// rename(2): atomic, and it replaces an existing target.
void move(const QString& from, const QString& to) {
    QDir().mkpath(QFileInfo(to).path());
    if (std::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) != 0)
        fail(QStringLiteral("Impossibile spostare %1 in %2.")
                 .arg(QDir::toNativeSeparators(from), QDir::toNativeSeparators(to)));
}

} // namespace

QString folder(const QString& appFolder) {
    return appFolder + u'/' + QLatin1String(folderName);
}

QString originals(const QString& appFolder) {
    return appFolder + u'/' + QLatin1String(originalsName);
}

bool sync(const QString& path) {
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool synced = ::fsync(fd) == 0;
    ::close(fd);
    return synced;
}

void markReady(const QString& appFolder, const QStringList& relativePaths) {
    const QString staged = folder(appFolder);
    for (const QString& path : relativePaths)
        if (!sync(staged + u'/' + path))
            fail(QStringLiteral("Impossibile scrivere %1.").arg(path));
    QSaveFile marker(staged + u'/' + QLatin1String(markerName));
    if (!marker.open(QIODevice::WriteOnly) ||
        marker.write(relativePaths.join(u'\n').toUtf8() + '\n') < 0 || !marker.commit() ||
        !sync(staged))
        fail(QStringLiteral("Impossibile completare la conversione in %1.")
                 .arg(QDir::toNativeSeparators(staged)));
}

void settle(const QString& appFolder) {
    const QString staged = folder(appFolder);
    if (!QFileInfo(staged).isDir())
        return;
    QFile marker(staged + u'/' + QLatin1String(markerName));
    if (!marker.open(QIODevice::ReadOnly)) {
        if (!QDir(staged).removeRecursively())
            fail(QStringLiteral("Impossibile eliminare %1.").arg(QDir::toNativeSeparators(staged)));
        return;
    }
    const QStringList paths = QString::fromUtf8(marker.readAll()).split(u'\n', Qt::SkipEmptyParts);
    marker.close();
    // A file still staged has not taken its place: what holds that place is the original.
    for (const QString& path : paths) {
        const QString newFile = staged + u'/' + path;
        const QString place = appFolder + u'/' + path;
        if (!QFileInfo::exists(newFile))
            continue;
        if (QFileInfo::exists(place))
            move(place, originals(appFolder) + u'/' + path);
        move(newFile, place);
    }
    sync(appFolder);
    sync(appFolder + QStringLiteral("/rubriche"));
    if (!marker.remove() || !QDir(staged).removeRecursively())
        fail(QStringLiteral("Impossibile eliminare %1.").arg(QDir::toNativeSeparators(staged)));
}

} // namespace migration::staging
