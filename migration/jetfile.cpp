#include "migration/jetfile.h"

#include <QFile>

namespace migration {

FileFormat fileFormat(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return file.exists() ? FileFormat::Other : FileFormat::Missing;
    const QByteArray head = file.read(0x18);
    if (head.startsWith("SQLite format 3"))
        return FileFormat::Sqlite;
    const QByteArray signature = head.mid(4, 15);
    if (signature == "Standard ACE DB")
        return FileFormat::Ace;
    if (signature != "Standard Jet DB" || head.size() < 0x15)
        return FileFormat::Other;
    // The version byte: 0 for Jet 3, 1 for Jet 4; later ones are ACE's.
    switch (head[0x14]) {
    case 0:
        return FileFormat::Jet3;
    case 1:
        return FileFormat::Jet4;
    default:
        return FileFormat::Ace;
    }
}

} // namespace migration
