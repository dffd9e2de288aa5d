#pragma once

#include "platform/textfile.h"
#include "store/archive.h"
#include "store/database.h"
#include "tools/seed.h"

#include <QDir>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>

// A throw-away application folder with the given address books.
class TestFolder {
public:
    explicit TestFolder(const QStringList& books = {QStringLiteral("Principale")}) {
        store::archive::createFolderDatabases(path(), books);
    }
    QString path() const { return m_dir.path(); }
    QString file(const QString& name) const { return QDir(path()).filePath(name); }
    std::unique_ptr<store::Database> book(const QString& name) const {
        return store::Database::open(store::archive::addressBookPath(path(), name));
    }
    void write(const QString& name, const QStringList& lines) const {
        platform::TextFile::replaceLines(file(name), lines);
    }

private:
    QTemporaryDir m_dir;
};
