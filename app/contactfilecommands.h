#pragma once

#include <QObject>

class CommandHost;
class QWidget;
struct Session;
namespace contactfiles {
enum class Format;
}

// The File menu's contact files: export and import of semicolon files and vCards, and the
// hotel program's customers.
class ContactFileCommands final : public QObject {
    Q_OBJECT
public:
    ContactFileCommands(Session& session, CommandHost& host, QWidget* window);

    void exportCsv();
    void importCsv();
    void exportVCard();
    void importVCard();
    void importFromHotel();
    void setUpHotelArchives();

signals:
    // An import made address books: the tree is built again.
    void addressBooksChanged();

private:
    void exportContacts(contactfiles::Format format);
    void importContacts(contactfiles::Format format);

    Session& m_session;
    CommandHost& m_host;
    QWidget* m_window;
};
