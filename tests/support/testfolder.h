#pragma once

#include "platform/textfile.h"
#include "store/archive.h"
#include "store/database.h"
#include "tools/seed.h"

#include <QDir>
#include <QFile>
#include <QStringList>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

// The bytes of a file; `missing` when it cannot be read.
inline QByteArray readBytes(const QString& path, const QByteArray& missing = {}) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : missing;
}

// Replaces a file with exactly these bytes.
inline void writeBytes(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(file.write(bytes), bytes.size());
}

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
