#pragma once

#include <QString>

#include <functional>

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
// The commands work on a thread of their own under the wait box, modal, and return at once;
// they report when the work is over.
// Into `book` (empty: no address book selected); `imported` is called once contacts were added.
void importFile(Session& session, const QString& book, Format format, QWidget* parent,
                const std::function<void()>& imported);

} // namespace contactfiles
