#include "contacts/prefixes.h"

#include "platform/textfile.h"

#include <QDir>
#include <QFileInfo>

namespace contacts::prefixes {

namespace {
const QString fileName = QStringLiteral("prefissi.txt");
}

QString path(const QString& appFolder) {
    const QDir folder(appFolder);
    const QString exact = folder.filePath(fileName);
    if (QFileInfo::exists(exact))
        return exact;
    const QStringList other = folder.entryList({fileName}, QDir::Files | QDir::Hidden, QDir::Name);
    return other.isEmpty() ? exact : folder.filePath(other.first());
}

QStringList read(const QString& appFolder) {
    return platform::TextFile::readLines(path(appFolder)).value_or(QStringList{});
}

bool write(const QString& appFolder, const QStringList& entries) {
    return platform::TextFile::replaceLines(path(appFolder), entries);
}

} // namespace contacts::prefixes
