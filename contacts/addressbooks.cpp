#include "contacts/addressbooks.h"

#include "store/archive.h"
#include "store/database.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <filesystem>
#include <system_error>

namespace addressbooks {

namespace {

namespace fs = std::filesystem;
using store::StoreError;

const QString elenco = QStringLiteral("elenco");
const QString rubrica = QStringLiteral("Rubrica");
constexpr qsizetype maxNameLength = 100;

fs::path fsPath(const QString& path) {
    return fs::path(QFile::encodeName(path).toStdString());
}

QString reason(const std::error_code& ec) {
    if (ec == std::errc::permission_denied || ec == std::errc::operation_not_permitted ||
        ec == std::errc::read_only_file_system)
        return QStringLiteral("accesso negato");
    if (ec == std::errc::device_or_resource_busy || ec == std::errc::text_file_busy)
        return QStringLiteral("file in uso");
    if (ec == std::errc::no_space_on_device)
        return QStringLiteral("spazio su disco insufficiente");
    if (ec == std::errc::no_such_file_or_directory)
        return QStringLiteral("file o cartella inesistente");
    if (ec == std::errc::is_a_directory || ec == std::errc::not_a_directory)
        return QStringLiteral("percorso occupato da una cartella o da un file");
    if (ec == std::errc::filename_too_long)
        return QStringLiteral("nome troppo lungo per il file system");
    return QString::fromLocal8Bit(ec.message());
}

StoreError fileError(const QString& what, const std::error_code& ec) {
    const bool refused =
        ec == std::errc::permission_denied || ec == std::errc::operation_not_permitted ||
        ec == std::errc::read_only_file_system || ec == std::errc::device_or_resource_busy ||
        ec == std::errc::text_file_busy;
    return StoreError(refused ? PermissionDenied : store::EngineFailure,
                      QStringLiteral("%1 (%2).").arg(what, reason(ec)));
}

StoreError taken(const QString& path) {
    return StoreError(store::DatabaseExists,
                      QStringLiteral("Esiste già un file o una cartella '%1'.").arg(path));
}

bool present(const QString& path) {
    std::error_code ec;
    return fs::exists(fs::symlink_status(fsPath(path), ec));
}

// Renames a file; never replaces an existing one.
void moveFile(const QString& from, const QString& to) {
    if (present(to))
        throw taken(to);
    std::error_code ec;
    fs::rename(fsPath(from), fsPath(to), ec);
    if (ec)
        throw fileError(QStringLiteral("Impossibile spostare il file '%1'").arg(from), ec);
}

// A name beside `path` that nothing uses, for a file on its way in or out.
QString sideName(const QString& path) {
    const QFileInfo info(path);
    QString side;
    do {
        side = QStringLiteral("%1/.%2.%3.tmp")
                   .arg(info.path(), info.fileName())
                   .arg(QRandomGenerator::global()->generate(), 8, 16, QLatin1Char('0'));
    } while (present(side));
    return side;
}

void copyFile(const QString& from, const QString& to) {
    if (!QFileInfo(from).isFile())
        throw StoreError(store::FileNotFound,
                         QStringLiteral("Impossibile trovare il modello '%1'.").arg(from));
    if (present(to))
        throw taken(to);
    // Copied under another name first, so no half-written file ever carries the name.
    const QString side = sideName(to);
    std::error_code ec;
    fs::copy_file(fsPath(from), fsPath(side), ec);
    if (ec) {
        std::error_code ignored;
        fs::remove(fsPath(side), ignored);
        throw fileError(QStringLiteral("Impossibile copiare il modello in '%1'").arg(to), ec);
    }
    try {
        moveFile(side, to);
    } catch (...) {
        fs::remove(fsPath(side), ec);
        throw;
    }
}

// Puts a moved file back; the failure being reported is the one that made it necessary.
void moveBack(const QString& from, const QString& to) noexcept {
    std::error_code ec;
    fs::rename(fsPath(from), fsPath(to), ec);
}

std::unique_ptr<store::Database> openElenco(const QString& appFolder) {
    return store::Database::open(store::archive::elencoPath(appFolder));
}

bool listed(store::Database& list, const QString& name) {
    return list.openRecordset(store::Query(elenco).whereEqual(rubrica, name))->RecordCount() > 0;
}

// The first row whose name is exactly `name`, or none.
std::unique_ptr<store::Recordset> findExact(store::Database& list, const QString& name) {
    auto rs = list.openRecordset(store::Query(elenco).whereEqual(rubrica, name));
    for (; !rs->isEof(); rs->MoveNext())
        if (rs->value(rubrica) == name)
            return rs;
    return nullptr;
}

} // namespace

bool isValidName(const QString& name) {
    if (name.trimmed().isEmpty() || name.size() > maxNameLength || name == u"." || name == u"..")
        return false;
    for (const QChar c : name)
        if (c == u'/' || c == u'\\' || c.category() == QChar::Other_Control)
            return false;
    return true;
}

QStringList names(const QString& appFolder) {
    const auto list = openElenco(appFolder);
    QStringList found;
    for (auto rs = list->openRecordset(elenco); !rs->isEof(); rs->MoveNext())
        found.append(rs->value(rubrica));
    return found;
}

Outcome create(const QString& appFolder, const QString& name) {
    if (!isValidName(name))
        return Outcome::InvalidName;
    const auto list = openElenco(appFolder);
    if (listed(*list, name))
        return Outcome::Exists;
    const QString file = store::archive::addressBookPath(appFolder, name);
    copyFile(store::archive::templatePath(appFolder), file);
    try {
        const auto rs = list->openRecordset(elenco);
        rs->AddNew();
        rs->setValue(rubrica, name);
        rs->Update();
    } catch (...) {
        std::error_code ec;
        fs::remove(fsPath(file), ec);
        throw;
    }
    return Outcome::Done;
}

QString ensure(store::Database& list, const QString& appFolder, const QString& name) {
    auto rs = list.openRecordset(store::Query(elenco).whereEqual(rubrica, name));
    if (!rs->isEof()) {
        const QString listedName = rs->value(rubrica);
        const QString file = store::archive::addressBookPath(appFolder, listedName);
        if (!present(file))
            copyFile(store::archive::templatePath(appFolder), file);
        return listedName;
    }
    if (name.size() > maxNameLength)
        throw StoreError(
            store::EngineFailure,
            QStringLiteral("Il nome di rubrica '%1…' è lungo %2 caratteri: il massimo "
                           "è %3.")
                .arg(name.left(40), QString::number(name.size()), QString::number(maxNameLength)));
    if (!isValidName(name))
        throw StoreError(store::EngineFailure,
                         QStringLiteral("Il nome di rubrica '%1' non è valido.").arg(name));
    // The file first, so a row is never listed without it.
    const QString file = store::archive::addressBookPath(appFolder, name);
    const bool copied = !present(file);
    if (copied)
        copyFile(store::archive::templatePath(appFolder), file);
    try {
        rs->AddNew();
        rs->setValue(rubrica, name);
        rs->Update();
    } catch (...) {
        if (copied) {
            std::error_code ec;
            fs::remove(fsPath(file), ec);
        }
        throw;
    }
    return name;
}

Outcome remove(const QString& appFolder, const QString& name) {
    if (name == QLatin1String(store::archive::principale))
        return Outcome::Principale;
    const auto list = openElenco(appFolder);
    const auto row = findExact(*list, name);
    if (!row)
        return Outcome::NotListed;
    // A row whose file is already missing is simply deleted.
    const QString file = store::archive::addressBookPath(appFolder, name);
    const bool hasFile = present(file);
    const QString aside = hasFile ? sideName(file) : QString();
    if (hasFile)
        moveFile(file, aside);
    try {
        row->Delete();
    } catch (...) {
        if (hasFile)
            moveBack(aside, file);
        throw;
    }
    if (hasFile) {
        std::error_code ec;
        fs::remove(fsPath(aside), ec); // a leftover hidden file is harmless
    }
    return Outcome::Done;
}

Outcome rename(const QString& appFolder, const QString& oldName, const QString& newName) {
    if (oldName == QLatin1String(store::archive::principale))
        return Outcome::Principale;
    if (!isValidName(newName))
        return Outcome::InvalidName;
    const auto list = openElenco(appFolder);
    if (listed(*list, newName))
        return Outcome::Exists;
    const auto row = findExact(*list, oldName);
    if (!row)
        return Outcome::NotListed;
    const QString from = store::archive::addressBookPath(appFolder, oldName);
    const QString to = store::archive::addressBookPath(appFolder, newName);
    if (present(to)) // a file without its row is never taken over
        throw taken(to);
    // A row whose file is missing just changes its name.
    const bool hasFile = present(from);
    if (hasFile)
        moveFile(from, to);
    try {
        row->Edit();
        row->setValue(rubrica, newName);
        row->Update();
    } catch (...) {
        if (hasFile)
            moveBack(to, from);
        throw;
    }
    return Outcome::Done;
}

} // namespace addressbooks
