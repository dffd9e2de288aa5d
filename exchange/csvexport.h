#pragma once

#include "contacts/contactstore.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringList>
#include <QStringView>

#include <optional>
#include <span>

// The semicolon-separated contact file: a header line, then one contact per line as
// "Nome;Cognome;Cellulare;Posta elettronica", CR LF. A value that holds ";", a double quote or
// a line end is written in double quotes, its quotes doubled; any other value as it is.
namespace csvexport {

inline constexpr auto header = "Nome;Cognome;Cellulare;Posta elettronica";
// The file dialogs' filter for these files.
inline constexpr auto fileFilter = "File di testo (*.csv);;Tutti i file (*)";

// Collects the bytes of one export file, encoded as they are added.
class Writer final {
public:
    Writer();
    // Another file of the same form: these column titles, then addRow().
    explicit Writer(const QStringList& columns);
    void add(const contacts::Contact& contact); // its icon is not written
    // The same from the fields as an address book stores them (UTF-8).
    void addStored(QByteArrayView nome, QByteArrayView cognome, QByteArrayView cellulare,
                   QByteArrayView email);
    void addRow(const QStringList& fields);
    qsizetype contacts() const { return m_contacts; } // lines after the header

    // Windows-1252 when every character fits (what spreadsheets with Italian settings read
    // by default); otherwise UTF-8 with a byte-order mark, so nothing is lost.
    QByteArray bytes() const;
    // Writes to a temporary file beside `path` and renames it at the end, so a failure leaves
    // no half file. Returns the reason on failure.
    std::optional<QString> save(const QString& path) const;

private:
    // One line of these fields, each in quotes where it needs them when `quoteWhereNeeded`.
    void appendLine(std::span<const QStringView> fields, bool quoteWhereNeeded);
    bool put(std::span<const QStringView> fields, bool quoteWhereNeeded);
    // Room for `most` bytes more: where to write them. endLine() ends the line at `out`.
    char* grow(qsizetype most);
    void endLine(char* out);
    // A line of fields that are all ASCII, in quotes where they need them.
    void putAscii(std::span<const QByteArrayView> fields);

    QByteArray m_bytes; // Windows-1252 until a character does not fit, then UTF-8 with its mark
    bool m_utf8 = false;
    qsizetype m_contacts = 0;
};

} // namespace csvexport
