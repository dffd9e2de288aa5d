#pragma once

#include "app/commandhost.h"
#include "browser/entry.h"

#include <QMainWindow>
#include <QPointer>

struct Session;
namespace settings {
struct Features;
}

class QAction;
class AboutBox;
class AccountCommands;
class ContactFileCommands;
class MessageCommands;
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
// the archive browser on the right. It opens the other windows and connects what they report;
// the commands on contact files, messages and the account are their own classes'. Closing it
// ends the program.
class MainWindow final : public QMainWindow, public CommandHost {
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

    QString selectedKey() const override;
    QString selectedText() const override;
    QString listedBook() const override;
    void selectNode(int index); // selects without a click
    int nodeCount() const;
    void showDate(const QString& text);
    void showCredit(double credit);

    int showModal(QDialog& window) override;

    void setToolbarValue(int value);
    void setPanelWidthTwips(int twips);
    ArchiveBrowser* browser() const override { return m_browser; }

protected:
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Commands, run by the menus' actions (the toolbar triggers the same actions).
    void runToolbarButton(int button);
    void searchContact();
    void openPrefixes();
    void openAddressBooks();
    // "Numeri esclusi"; `number`, when given, is added first (a contact's "Escludi dai messaggi").
    void openExcludedNumbers(const QString& number);
    void newContact();
    void deleteTicked();
    // On "SMS Cancellati" only: the ticked messages back to "SMS Inviati".
    void restoreTicked();
    void showAbout();
    // Offered in the menus only when the file funzioni asks for them.
    void openUserAdmin();
    void editContact(const Entry& contact);
    void showHelp();
    void closeApplication();
    // Refuses commands while a root of the tree is selected; true when the command may run.
    bool archiveGuard() const;

    void buildMenus();
    void connectCommands();
    void offerOptionalEntries(const settings::Features& features);
    void buildToolbar();
    void buildLeftPanel();
    void keepWidthInBounds();
    void onToolbarResized();
    void layOutPanes();
    void focusMoved();
    void readLayout();
    void openSearch(bool modal);
    QTreeWidgetItem* nodeAt(int index) const;
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
    ContactFileCommands* m_contactFiles;
    MessageCommands* m_messages;
    AccountCommands* m_account;
    QList<QAction*> m_buttons; // toolbar buttons 1..7
    int m_selectedNode = 0;
    bool m_activated = false;     // the first activation has run
    bool m_formWasActive = false; // another window of the program had the focus
};
