#include "fuzz/fuzzing.h"

#include "messaging/inet.h"
#include "store/archive.h"
#include "store/database.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzzing::run(QByteArrayView(data, static_cast<qsizetype>(size)));
    return 0;
}

namespace fuzzing {

QString folder() {
    static const QTemporaryDir dir;
    if (!dir.isValid())
        std::abort();
    return dir.path();
}

QString file(QByteArrayView input, const QString& name) {
    const QString path = QDir(folder()).filePath(name);
    QFile out(path);
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        out.write(input.data(), input.size()) != input.size())
        std::abort();
    return path;
}

std::unique_ptr<store::Database> freshBook() {
    static const QString appFolder = [] {
        const QString path = QDir(folder()).filePath(QStringLiteral("cartella"));
        store::archive::createFolderDatabases(path, {});
        return path;
    }();
    const QString book = store::archive::addressBookPath(appFolder, QStringLiteral("Prova"));
    QFile::remove(book);
    if (!QFile::copy(store::archive::templatePath(appFolder), book))
        std::abort();
    return store::Database::open(book);
}

QByteArrayView body(QByteArrayView input) {
    const qsizetype end = input.indexOf('\n');
    return end < 0 ? QByteArrayView() : input.sliced(end + 1);
}

QString reply(QByteArrayView input) {
    const QByteArrayView content = body(input);
    const QByteArrayView contentType = input.first(input.size() - content.size());
    return Inet::decodeBody(content.toByteArray(), contentType.trimmed().toByteArray());
}

} // namespace fuzzing
