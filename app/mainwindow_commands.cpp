// Menus, toolbar and the commands behind them.
#include "app/mainwindow.h"

#include "app/accountcommands.h"
#include "app/contactfilecommands.h"
#include "app/messagecommands.h"
#include "browser/archivebrowser.h"
#include "contacts/addressbookwindow.h"
#include "contacts/contacteditor.h"
#include "contacts/contactsearch.h"
#include "contacts/excludedwindow.h"
#include "contacts/prefixwindow.h"
#include "core/archivetree.h"
#include "core/session.h"
#include "core/settings.h"
#include "core/twips.h"
#include "exchange/contactfiles.h"
#include "exchange/hotelfolderwindow.h"
#include "exchange/hotelimport.h"
#include "messaging/account.h"
#include "messaging/accountwindow.h"
#include "messaging/delivery.h"
#include "messaging/inet.h"
#include "messaging/senderheaderwindow.h"
#include "messaging/sendreportwindow.h"
#include "messaging/service.h"
#include "messaging/smslength.h"
#include "platform/dialogs.h"
#include "platform/helpwindow.h"
#include "platform/waitcursor.h"
#include "store/archive.h"
#include "users/useradminwindow.h"
#include "windows/aboutbox.h"
#include "windows/handler.h"

#include <QApplication>
#include <QLabel>
#include <QMenuBar>
#include <QPushButton>
#include <QShortcut>
#include <QToolBar>
#include <QVBoxLayout>

#include <memory>
#include <optional>
#include <utility>

namespace {

// Makes a greyed entry available and connects it to `run` on `owner`.
template <typename Owner> void offer(QAction* action, Owner* owner, void (Owner::*run)()) {
    action->setEnabled(true);
    QObject::connect(action, &QAction::triggered, owner,
                     [owner, run] { handler::run([owner, run] { (owner->*run)(); }); });
}

// A menu entry that runs `run` on `owner`; `run` null: the entry is shown greyed.
template <typename Owner>
QAction* entry(QMenu* menu, const char* name, const QString& caption, Owner* owner,
               void (Owner::*run)() = nullptr) {
    QAction* action = menu->addAction(caption);
    action->setObjectName(QLatin1String(name));
    action->setEnabled(false);
    if (run)
        offer(action, owner, run);
    return action;
}

QAction* title(QMenu* menu, const char* name) {
    menu->setObjectName(QLatin1String(name));
    menu->menuAction()->setObjectName(QLatin1String(name));
    return menu->menuAction();
}

} // namespace

void MainWindow::buildMenus() {
    QMenu* file = menuBar()->addMenu(QStringLiteral("File"));
    m_fileMenuAction = title(file, "fil");
    m_exportBookAction = entry(file, "exru", QStringLiteral("Esporta Rubrica"), m_contactFiles,
                               &ContactFileCommands::exportCsv);
    m_importCsvAction = entry(file, "impcvs", QStringLiteral("Importa file csv"), m_contactFiles,
                              &ContactFileCommands::importCsv);
    m_exportVCardAction = entry(file, "exvcf", QStringLiteral("Esporta vCard"), m_contactFiles,
                                &ContactFileCommands::exportVCard);
    m_importVCardAction = entry(file, "impvcf", QStringLiteral("Importa vCard"), m_contactFiles,
                                &ContactFileCommands::importVCard);
    m_importHotelAction = entry(file, "imph3", QStringLiteral("Importa da Ericsoft"), this);
    m_hotelArchivesAction = entry(file, "iae", QStringLiteral("Imposta Archivi Ericsoft"), this);
    m_configureAction = entry(file, "configu", QStringLiteral("Configura"), m_account,
                              &AccountCommands::openSenderHeader);
    m_userPermissionsAction = entry(file, "permut", QStringLiteral("Permessi Utente"), this);
    m_prefixesAction =
        entry(file, "newpref", QStringLiteral("Nuovi Prefissi"), this, &MainWindow::openPrefixes);
    file->addSeparator();
    m_closeAction =
        entry(file, "chiuso", QStringLiteral("Chiudi"), this, &MainWindow::closeApplication);

    QMenu* book = menuBar()->addMenu(QStringLiteral("Rubrica"));
    m_bookMenuAction = title(book, "ru");
    m_addressBooksAction =
        entry(book, "nr", QStringLiteral("Gestione Rubriche"), this, &MainWindow::openAddressBooks);
    m_newContactAction =
        entry(book, "inru", QStringLiteral("Inserisci Contatto"), this, &MainWindow::newContact);
    m_searchContactAction =
        entry(book, "cececo", QStringLiteral("Cerca Contatto"), this, &MainWindow::searchContact);
    QAction* excludedAction = book->addAction(QStringLiteral("Numeri esclusi"));
    excludedAction->setObjectName(QStringLiteral("numesc"));
    connect(excludedAction, &QAction::triggered, this,
            [this] { handler::run([this] { openExcludedNumbers({}); }); });

    QMenu* sms = menuBar()->addMenu(QStringLiteral("SMS"));
    m_smsMenuAction = title(sms, "modi");
    m_sendSingleAction = entry(sms, "ismss", QStringLiteral("Invia SMS Singoli"), m_messages,
                               &MessageCommands::composeForTicked);
    m_sendMultipleAction = entry(sms, "ismsm", QStringLiteral("Invia SMS Multipli"), m_messages,
                                 &MessageCommands::composeForArchive);
    m_deleteTickedAction =
        entry(sms, "canse", QStringLiteral("Cancella Spuntati"), this, &MainWindow::deleteTicked);
    m_restoreTickedAction = entry(sms, "ripri", QStringLiteral("Ripristina Spuntati"), this,
                                  &MainWindow::restoreTicked);
    m_restoreTickedAction->setEnabled(false); // until a deleted archive is listed

    QMenu* account = menuBar()->addMenu(QStringLiteral("Gestione Account"));
    m_accountMenuAction = title(account, "geac");
    m_buyCreditAction = entry(account, "acqs", QStringLiteral("Acquista SMS"), m_account,
                              &AccountCommands::openBuyCreditPage);
    m_accountAction = entry(account, "repro", QStringLiteral("Account Servizio SMS"), m_account,
                            &AccountCommands::openAccount);
    m_updateCreditAction = entry(account, "aaa", QStringLiteral("Aggiorna Credito"), m_account,
                                 &AccountCommands::updateCredit);

    QMenu* about = menuBar()->addMenu(QStringLiteral("?"));
    m_helpMenuAction = title(about, "help");
    m_helpAction = entry(about, "he", QStringLiteral("Help"), this, &MainWindow::showHelp);
    m_helpAction->setShortcut(QKeySequence::HelpContents);
    m_helpAction->setShortcutContext(Qt::ApplicationShortcut);
    m_affiliateAction = entry(about, "guad", QStringLiteral("Guadagna con noi"), m_account,
                              &AccountCommands::openAffiliatePage);
    m_aboutAction = entry(about, "inform", QStringLiteral("Info"), this, &MainWindow::showAbout);
}

// The hotel import and the user administration stay greyed unless `funzioni` asks for them.
void MainWindow::offerOptionalEntries(const settings::Features& features) {
    if (features.hotel) {
        offer(m_importHotelAction, m_contactFiles, &ContactFileCommands::importFromHotel);
        offer(m_hotelArchivesAction, m_contactFiles, &ContactFileCommands::setUpHotelArchives);
    }
    if (features.users)
        offer(m_userPermissionsAction, this, &MainWindow::openUserAdmin);
}

void MainWindow::buildToolbar() {
    m_toolBar->setIconSize(QSize(32, 32));
    m_toolBar->setMovable(false);
    m_toolBar->setFloatable(false);
    struct Button {
        const char* icon;
        const char* caption;
        QAction* command; // the menu entry it runs; null for the web page
    };
    const Button buttons[] = {
        {"cerca", "Cerca", m_searchContactAction},
        {"rubriche", "Rubriche", m_addressBooksAction},
        {"inserisci", "Nuovo", m_newContactAction},
        {"sms", "SMS", m_sendSingleAction},
        {"smsmulti", "SMS multipli", m_sendMultipleAction},
        {"cancella", "Cancella", m_deleteTickedAction},
        {"web", "Offerte", nullptr},
    };
    int position = 0;
    for (const Button& b : buttons) {
        ++position;
        QAction* button =
            m_toolBar->addAction(QIcon(QStringLiteral(":/icons/%1.svg").arg(QLatin1String(b.icon))),
                                 QString::fromUtf8(b.caption));
        button->setObjectName(QStringLiteral("Toolbar1_%1").arg(position));
        if (b.command) {
            button->setToolTip(b.command->text());
            button->setEnabled(b.command->isEnabled());
            connect(b.command, &QAction::enabledChanged, button, &QAction::setEnabled);
        } else {
            button->setToolTip(QStringLiteral("Il programma di affiliazione"));
        }
        connect(button, &QAction::triggered, this, [this, position] {
            handler::run([this, position] { runToolbarButton(position); });
        });
        m_buttons.append(button);
    }
    auto* bar = new QVBoxLayout(m_toolbarPanel);
    bar->setContentsMargins(2, 0, 2, 0);
    bar->addWidget(m_toolBar);
    m_toolbarPanel->setFixedHeight(twips::toPixels(915));
}

// Buttons 1 to 6 run the menu command of the same name; button 7 opens the affiliate page.
void MainWindow::runToolbarButton(int button) {
    static QAction* MainWindow::*const commands[] = {
        &MainWindow::m_searchContactAction, &MainWindow::m_addressBooksAction,
        &MainWindow::m_newContactAction,    &MainWindow::m_sendSingleAction,
        &MainWindow::m_sendMultipleAction,  &MainWindow::m_deleteTickedAction};
    if (button >= 1 && button <= 6) {
        QAction* command = this->*commands[button - 1];
        if (command->isEnabled())
            command->trigger();
    } else if (button == 7) {
        m_account->openAffiliateProgram();
    }
}

bool MainWindow::archiveGuard() const {
    if (!m_browser->showsRoot())
        return true;
    platform::MsgBox(QStringLiteral("selezionare un Archivio Valido"), platform::Icon::Critical);
    return false;
}

int MainWindow::showModal(QDialog& window) {
    const int result = window.exec();
    m_formWasActive = false;
    refreshOnActivation();
    return result;
}

void MainWindow::openPrefixes() {
    PrefixWindow window(m_session, this);
    showModal(window);
}

void MainWindow::openAddressBooks() {
    AddressBookWindow window(m_session, listedBook(), this);
    connect(&window, &AddressBookWindow::addressBooksChanged, this,
            [this] { handler::run([this] { rebuildTree(); }); });
    showModal(window);
}

void MainWindow::openExcludedNumbers(const QString& number) {
    ExcludedWindow window(m_session.appFolder, number, this);
    showModal(window);
}

void MainWindow::newContact() {
    if (!archiveGuard())
        return;
    ContactEditor window(m_session, {selectedText(), std::nullopt}, this);
    connect(&window, &ContactEditor::contactSaved, m_browser, &ArchiveBrowser::refreshList);
    showModal(window);
}

// The contact's editor stays open beside the main window.
void MainWindow::editContact(const Entry& contact) {
    auto* editor = new ContactEditor(m_session, {contact.book, contact.number}, this);
    editor->setAttribute(Qt::WA_DeleteOnClose);
    connect(editor, &ContactEditor::contactSaved, m_browser, &ArchiveBrowser::refreshList);
    editor->show();
}

void MainWindow::deleteTicked() {
    if (!archiveGuard())
        return;
    m_browser->deleteTicked();
}

void MainWindow::restoreTicked() {
    m_browser->restoreTicked();
}

void MainWindow::openUserAdmin() {
    auto* administration = new UserAdminWindow(m_session, this);
    administration->setAttribute(Qt::WA_DeleteOnClose);
    administration->show();
}

void MainWindow::showAbout() {
    if (!m_about) { // one about box at a time: another click brings it forward
        m_about = new AboutBox(this);
        m_about->setAttribute(Qt::WA_DeleteOnClose);
    }
    m_about->show();
    m_about->raise();
    m_about->activateWindow();
}

void MainWindow::searchContact() {
    if (!archiveGuard())
        return;
    openSearch(true);
}

// Modal from the menu; from the composer's search button it opens without waiting.
void MainWindow::openSearch(bool modal) {
    auto* search = new ContactSearch(m_session, selectedText(), this);
    connect(search, &ContactSearch::composeRequested, m_messages, [this](const Entry& contact) {
        handler::run([this, contact] { m_messages->composeTo(contact); });
    });
    if (modal) {
        const std::unique_ptr<ContactSearch> owned(search);
        showModal(*search);
        return;
    }
    search->setAttribute(Qt::WA_DeleteOnClose);
    search->show();
}

void MainWindow::showHelp() {
    platform::HelpWindow::showSearch(m_help, m_session.helpFile);
}

// Closing the main window and "Chiudi" end the program at once, whatever else is open.
void MainWindow::closeApplication() {
    QCoreApplication::exit(0);
}

void MainWindow::closeEvent(QCloseEvent* event) {
    QMainWindow::closeEvent(event);
    QCoreApplication::exit(0);
}
