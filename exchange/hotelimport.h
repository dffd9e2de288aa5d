#pragma once

struct Session;
class QWidget;

// "Importa da Ericsoft": the hotel program's customers into the address books.
namespace hotelimport {

enum class After {
    AskFolder,   // no folder of the hotel program's archives yet: it must be set first
    RebuildTree, // the address books may have changed
    Nothing
};

After importCustomers(Session& session, QWidget* parent);

} // namespace hotelimport
