#pragma once

#include "browser/entry.h"
#include "messaging/account.h"
#include "messaging/composer.h"
#include "messaging/inet.h"
#include "platform/waitcursor.h"

#include <QMainWindow>
#include <QPointer>

struct Session;
namespace settings {
struct Features;
}
namespace contactfiles {
enum class Format;
}

class QAction;
class AboutBox;
namespace platform {
class HelpWindow;
}
class QDialog;
class QLabel;
class QSplitter;
class QTimer;
class QToolBar;
class QTreeWidget;
class QTreeWidgetItem;
class ArchiveBrowser;

// The main window: menus and toolbar on top, the archive tree and the credit on the left,
// the archive browser on the right. It opens the other windows and connects what they report.
// Closing it ends the program.
class MainWindow final : public QMainWindow {
    Q_OBJECT
public:
    explicit MainWindow(Session& session, QWidget* parent = nullptr);
    ~MainWindow() override;

    // Start-up: settings files, the tree, the browser, the saved layout. Throws when the list
    // of address books cannot be read.
    void load();
    // Expands "Rubriche", reselects the node remembered by index and refreshes the browser.
    void refreshOnActivation();
    // Rebuilds the tree from the list of address books.
    void rebuildTree();
    // Reports the selected node to the browser.
    void onTreeNodeClicked();

    QString selectedKey() const;
    QString selectedText() const;
    // The address book whose archive the browser lists; empty when a root is selected.
    QString listedBook() const;
    void selectNode(int index); // selects without a click
    int nodeCount() const;
    void showDate(const QString& text);
    void showCredit(double credit);

    // Shows a window of the program modal; when it closes, the main window is activated again.
    int showModal(QDialog& window);

    void setToolbarValue(int value);
    void setPanelWidthTwips(int twips);
    ArchiveBrowser* browser() const { return m_browser; }

protected:
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Commands, run by the menus' actions (the toolbar triggers the same actions).
    void runToolbarButton(int button);
    void openAccount();
    void openSenderHeader();
    void searchContact();
    void openPrefixes();
    void openAddressBooks();
    void newContact();
    void deleteTicked();
    // On "SMS Cancellati" only: the ticked messages back to "SMS Inviati".
    void restoreTicked();
    void exportAddressBook();
    void importCsv();
    void exportVCard();
    void importVCard();
    void showAbout();
    // Offered in the menus only when the file funzioni asks for them.
    void importFromHotel();
    void setUpHotelArchives();
    void openUserAdmin();
    // The composer for the entry last ticked, or for every ticked contact.
    void openComposerForTicked();
    void openComposerForArchive();
    // The composer on a row of the browser or on a contact found by the search.
    void composeTo(const Entry& entry);
    void editContact(const Entry& contact);
    // Refreshes the credit from the service.
    void updateCredit();
    void showHelp();
    void openBuyCreditPage();
    void openAffiliatePage();
    void closeApplication();
    // Refuses commands while a root of the tree is selected; true when the command may run.
    bool archiveGuard() const;

    void buildMenus();
    void offerOptionalEntries(const settings::Features& features);
    void buildToolbar();
    void buildLeftPanel();
    void keepWidthInBounds();
    void onToolbarResized();
    void layOutPanes();
    void focusMoved();
    void readLayout();
    void openServicePage(const QString& pathAndQuery);
    void exportContacts(contactfiles::Format format);
    void importContacts(contactfiles::Format format);
    QTreeWidgetItem* nodeAt(int index) const;
    Composer::Request composerRequest() const;
    void openComposer(const Composer::Request& request);
    // "Esito invio" of a message sent from `book`; its "Reinvia ai non riusciti" opens the
    // composer.
    void openSendReport(const QString& book, const store::archive::MessageRow& message);
    void showSendReport(const QString& book, const store::archive::MessageRow& message);
    void showRefresh(const account::Refresh& refresh);
    void resend(const QString& book, const QStringList& numbers, const QString& text);
    void openSearch(bool modal);
    int indexOf(const QTreeWidgetItem* item) const;

    QWidget* m_toolbarPanel;
    QToolBar* m_toolBar;
    QWidget* m_leftPanel;
    QWidget* m_logoPanel;
    QLabel* m_logoLabel;
    QLabel* m_brandLabel;
    QLabel* m_archivesTitleLabel;
    QTreeWidget* m_archiveTree;
    QLabel* m_creditLabel;
    QLabel* m_dateLabel;
    QTimer* m_layoutTimer;

    // Menu titles and entries, menu by menu.
    QAction *m_fileMenuAction, *m_exportBookAction, *m_importCsvAction, *m_exportVCardAction,
        *m_importVCardAction, *m_importHotelAction, *m_hotelArchivesAction, *m_configureAction,
        *m_userPermissionsAction, *m_prefixesAction, *m_closeAction;
    QAction *m_bookMenuAction, *m_addressBooksAction, *m_newContactAction, *m_searchContactAction;
    QAction *m_smsMenuAction, *m_sendSingleAction, *m_sendMultipleAction, *m_deleteTickedAction,
        *m_restoreTickedAction;
    QAction *m_accountMenuAction, *m_buyCreditAction, *m_accountAction, *m_updateCreditAction;
    QAction *m_helpMenuAction, *m_helpAction, *m_affiliateAction, *m_aboutAction;

    Session& m_session;
    QSplitter* m_splitter;
    QWidget* m_client;
    ArchiveBrowser* m_browser;
    QPointer<AboutBox> m_about;
    QPointer<platform::HelpWindow> m_help;
    // The service's answers for "Aggiorna Credito" and the delivery of sends, and the hourglass
    // while one is awaited.
    Inet m_creditInet;
    HttpGet m_deliveryHttp;
    std::unique_ptr<platform::WaitCursor> m_waiting;
    QList<QAction*> m_buttons; // toolbar buttons 1..7
    int m_selectedNode = 0;
    bool m_activated = false;     // the first activation has run
    bool m_formWasActive = false; // another window of the program had the focus
};
