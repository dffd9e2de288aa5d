#pragma once

#include <QString>
#include <QStringList>

#include <optional>

// The program's one-line settings files and other 8-bit text files: Windows-1252, lines
// ended by CR LF when written; on reading, lines end at CR LF, LF or a lone CR, and a file
// that starts with a UTF-8 byte-order mark is read as UTF-8.
namespace platform::TextFile {

// The lines of a file (all of them, or at most maxLines, reading only as far as those);
// std::nullopt when it cannot be read (missing, unreadable).
std::optional<QStringList> readLines(const QString& path, qsizetype maxLines = -1);
// The first line, read only as far as its end; std::nullopt when the file is missing,
// unreadable or empty.
std::optional<QString> readFirstLine(const QString& path);

// Replaces the whole file with these lines (write to a temporary file, then rename), so a
// failure leaves the old file as it was. Characters outside Windows-1252 become '?'.
// Returns false when the file could not be written.
bool replaceLines(const QString& path, const QStringList& lines);

QByteArray encode(const QString& text); // to Windows-1252
// To Windows-1252, or std::nullopt when a character does not fit.
std::optional<QByteArray> encodeExactly(QStringView text);
QString decode(QByteArrayView bytes); // from Windows-1252

} // namespace platform::TextFile
