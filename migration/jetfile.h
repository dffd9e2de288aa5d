#pragma once

#include <QString>

// What a database file is, told by its first bytes, never by its name.
namespace migration {

enum class FileFormat { Missing, Sqlite, Jet3, Jet4, Ace, Other };

FileFormat fileFormat(const QString& path);
inline bool isJet(FileFormat format) {
    return format == FileFormat::Jet3 || format == FileFormat::Jet4;
}
// Jet or ACE: a file of the earlier program's engine.
inline bool isEngineFile(FileFormat format) {
    return isJet(format) || format == FileFormat::Ace;
}

} // namespace migration
