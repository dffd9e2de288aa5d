#pragma once

#include <functional>

struct Session;
class QWidget;

// "Importa da Ericsoft": the hotel program's customers into the address books.
namespace hotelimport {

enum class After {
    AskFolder,   // no folder of the hotel program's archives yet: it must be set first
    RebuildTree, // the address books may have changed
    Nothing
};

// Starts the import on a thread of its own under its wait box, modal, and returns; `then` is
// told what comes next: at once when no folder is set, otherwise once the import is reported.
void importCustomers(Session& session, QWidget* parent, const std::function<void(After)>& then);

} // namespace hotelimport
