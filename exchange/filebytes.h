#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QFile>
#include <QString>

#include <optional>

// What the contact files share: a file's bytes to read, and a file written whole.
namespace exchange {

// A file's text as bytes: mapped when the system allows it, read otherwise. A UTF-8
// byte-order mark is left out; UTF-16 text (with its mark) is re-encoded as UTF-8, so that
// readers read bytes alone.
class FileBytes final {
public:
    // False when the file cannot be opened or read.
    bool open(const QString& path);
    QByteArrayView bytes() const { return m_view; }
    // The text is UTF-8 (a mark said so, or it was UTF-16); otherwise nothing is known.
    bool markedUtf8() const { return m_markedUtf8; }

private:
    QFile m_file; // closed with the object, whatever way the reading ends
    QByteArray m_copy;
    QByteArrayView m_view;
    bool m_markedUtf8 = false;
};

// Writes `data` to a temporary file beside `path` and renames it at the end, so a failure
// leaves no half file. Returns the reason on failure.
std::optional<QString> saveWhole(const QString& path, const QByteArray& data);

} // namespace exchange
