#pragma once

#include <QString>

struct Session;
class ArchiveModel;
class QWidget;

// The menu commands that write the ticked contacts to a semicolon-separated file and read
// such a file into an address book.
namespace contactfiles {

// "Esporta Rubrica": the ticked rows of `list`; `contacts`: the list shows an address book's
// contacts (otherwise the command is refused).
void exportTicked(const ArchiveModel& list, bool contacts, QWidget* parent);
// "Importa file csv" into `book` (empty: no address book selected). True when contacts were
// added.
bool importFile(Session& session, const QString& book, QWidget* parent);

} // namespace contactfiles
