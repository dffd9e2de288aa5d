#pragma once

#include <QString>

struct Session;
class ArchiveModel;
class QWidget;

// The menu commands that write the ticked contacts to a file and read such a file into an
// address book: semicolon-separated ("Esporta Rubrica", "Importa file csv") or vCard.
namespace contactfiles {

enum class Format { Csv, VCard };

// The ticked rows of `list`; `contacts`: the list shows an address book's contacts (otherwise
// the command is refused).
void exportTicked(const ArchiveModel& list, bool contacts, Format format, QWidget* parent);
// Into `book` (empty: no address book selected). True when contacts were added.
bool importFile(Session& session, const QString& book, Format format, QWidget* parent);

} // namespace contactfiles
