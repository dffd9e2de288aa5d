#include "app/contactfilecommands.h"

#include "app/commandhost.h"
#include "browser/archivebrowser.h"
#include "core/archivetree.h"
#include "exchange/contactfiles.h"
#include "exchange/hotelfolderwindow.h"
#include "exchange/hotelimport.h"

ContactFileCommands::ContactFileCommands(Session& session, CommandHost& host, QWidget* window)
    : QObject(window)
    , m_session(session)
    , m_host(host)
    , m_window(window) {}

void ContactFileCommands::exportContacts(contactfiles::Format format) {
    contactfiles::exportTicked(*m_host.browser()->model(),
                               archivetree::keyKind(m_host.selectedKey()) ==
                                   store::ArchiveKind::Contacts,
                               format, m_window);
}

void ContactFileCommands::importContacts(contactfiles::Format format) {
    contactfiles::importFile(m_session, m_host.listedBook(), format, m_window,
                             [this] { m_host.browser()->showNewRows(); });
}

void ContactFileCommands::exportCsv() {
    exportContacts(contactfiles::Format::Csv);
}

void ContactFileCommands::importCsv() {
    importContacts(contactfiles::Format::Csv);
}

void ContactFileCommands::exportVCard() {
    exportContacts(contactfiles::Format::VCard);
}

void ContactFileCommands::importVCard() {
    importContacts(contactfiles::Format::VCard);
}

void ContactFileCommands::importFromHotel() {
    hotelimport::importCustomers(m_session, m_window, [this](hotelimport::After after) {
        switch (after) {
        case hotelimport::After::AskFolder:
            setUpHotelArchives();
            break;
        case hotelimport::After::RebuildTree:
            emit addressBooksChanged();
            break;
        case hotelimport::After::Nothing:
            break;
        }
    });
}

void ContactFileCommands::setUpHotelArchives() {
    HotelFolderWindow window(m_session, m_window);
    m_host.showModal(window);
}
