// Menus, toolbar and the commands behind them.
#include "app/mainwindow.h"

#include "browser/archivebrowser.h"
#include "contacts/addressbookwindow.h"
#include "contacts/contacteditor.h"
#include "contacts/contactsearch.h"
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

// A menu entry; `run` empty: the entry is shown greyed.
QAction* entry(QMenu* menu, const char* name, const QString& caption, MainWindow* window,
               void (MainWindow::*run)() = nullptr) {
    QAction* action = menu->addAction(caption);
    action->setObjectName(QLatin1String(name));
    if (run)
        QObject::connect(action, &QAction::triggered, window,
                         [window, run] { handler::run([window, run] { (window->*run)(); }); });
    else
        action->setEnabled(false);
    return action;
}

// Makes a greyed entry available and connects it to `run`.
void offer(QAction* action, MainWindow* window, void (MainWindow::*run)()) {
    action->setEnabled(true);
    QObject::connect(action, &QAction::triggered, window,
                     [window, run] { handler::run([window, run] { (window->*run)(); }); });
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
    m_exportBookAction = entry(file, "exru", QStringLiteral("Esporta Rubrica"), this,
                               &MainWindow::exportAddressBook);
    m_importCsvAction =
        entry(file, "impcvs", QStringLiteral("Importa file csv"), this, &MainWindow::importCsv);
    m_exportVCardAction =
        entry(file, "exvcf", QStringLiteral("Esporta vCard"), this, &MainWindow::exportVCard);
    m_importVCardAction =
        entry(file, "impvcf", QStringLiteral("Importa vCard"), this, &MainWindow::importVCard);
    m_importHotelAction = entry(file, "imph3", QStringLiteral("Importa da Ericsoft"), this);
    m_hotelArchivesAction = entry(file, "iae", QStringLiteral("Imposta Archivi Ericsoft"), this);
    m_configureAction =
        entry(file, "configu", QStringLiteral("Configura"), this, &MainWindow::openSenderHeader);
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

    QMenu* sms = menuBar()->addMenu(QStringLiteral("SMS"));
    m_smsMenuAction = title(sms, "modi");
    m_sendSingleAction = entry(sms, "ismss", QStringLiteral("Invia SMS Singoli"), this,
                               &MainWindow::openComposerForTicked);
    m_sendMultipleAction = entry(sms, "ismsm", QStringLiteral("Invia SMS Multipli"), this,
                                 &MainWindow::openComposerForArchive);
    m_deleteTickedAction =
        entry(sms, "canse", QStringLiteral("Cancella Spuntati"), this, &MainWindow::deleteTicked);
    m_restoreTickedAction = entry(sms, "ripri", QStringLiteral("Ripristina Spuntati"), this,
                                  &MainWindow::restoreTicked);
    m_restoreTickedAction->setEnabled(false); // until a deleted archive is listed

    QMenu* account = menuBar()->addMenu(QStringLiteral("Gestione Account"));
    m_accountMenuAction = title(account, "geac");
    m_buyCreditAction = entry(account, "acqs", QStringLiteral("Acquista SMS"), this,
                              &MainWindow::openBuyCreditPage);
    m_accountAction = entry(account, "repro", QStringLiteral("Account Servizio SMS"), this,
                            &MainWindow::openAccount);
    m_updateCreditAction =
        entry(account, "aaa", QStringLiteral("Aggiorna Credito"), this, &MainWindow::updateCredit);

    QMenu* about = menuBar()->addMenu(QStringLiteral("?"));
    m_helpMenuAction = title(about, "help");
    m_helpAction = entry(about, "he", QStringLiteral("Help"), this, &MainWindow::showHelp);
    m_helpAction->setShortcut(QKeySequence::HelpContents);
    m_helpAction->setShortcutContext(Qt::ApplicationShortcut);
    m_affiliateAction = entry(about, "guad", QStringLiteral("Guadagna con noi"), this,
                              &MainWindow::openAffiliatePage);
    m_aboutAction = entry(about, "inform", QStringLiteral("Info"), this, &MainWindow::showAbout);
}

// The hotel import and the user administration stay greyed unless `funzioni` asks for them.
void MainWindow::offerOptionalEntries(const settings::Features& features) {
    if (features.hotel) {
        offer(m_importHotelAction, this, &MainWindow::importFromHotel);
        offer(m_hotelArchivesAction, this, &MainWindow::setUpHotelArchives);
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
        openServicePage(QStringLiteral("cgi-bin/affiliate/programma.pl?") +
                        service::affiliateQuery(m_session.affiliate));
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

void MainWindow::openAccount() {
    AccountWindow window(m_session, this);
    showModal(window);
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

void MainWindow::exportContacts(contactfiles::Format format) {
    contactfiles::exportTicked(*m_browser->model(),
                               archivetree::keyKind(selectedKey()) == store::ArchiveKind::Contacts,
                               format, this);
}

void MainWindow::importContacts(contactfiles::Format format) {
    contactfiles::importFile(m_session, listedBook(), format, this,
                             [this] { m_browser->showNewRows(); });
}

void MainWindow::exportAddressBook() {
    exportContacts(contactfiles::Format::Csv);
}

void MainWindow::importCsv() {
    importContacts(contactfiles::Format::Csv);
}

void MainWindow::exportVCard() {
    exportContacts(contactfiles::Format::VCard);
}

void MainWindow::importVCard() {
    importContacts(contactfiles::Format::VCard);
}

void MainWindow::importFromHotel() {
    hotelimport::importCustomers(m_session, this, [this](hotelimport::After after) {
        switch (after) {
        case hotelimport::After::AskFolder:
            setUpHotelArchives();
            break;
        case hotelimport::After::RebuildTree:
            rebuildTree();
            refreshOnActivation();
            break;
        case hotelimport::After::Nothing:
            break;
        }
    });
}

void MainWindow::setUpHotelArchives() {
    HotelFolderWindow window(m_session, this);
    showModal(window);
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
    connect(search, &ContactSearch::composeRequested, this, [this](const Entry& contact) {
        handler::run([this, contact] { composeTo(contact); });
    });
    if (modal) {
        const std::unique_ptr<ContactSearch> owned(search);
        showModal(*search);
        return;
    }
    search->setAttribute(Qt::WA_DeleteOnClose);
    search->show();
}

void MainWindow::openSenderHeader() {
    SenderHeaderWindow window(m_session, this);
    showModal(window);
}

// Sent messages go to the selected address book, or to Principale from any other node; a
// draft goes to the selected node's book.
Composer::Request MainWindow::composerRequest() const {
    Composer::Request request;
    request.sentBook = archivetree::keyKind(selectedKey()) == store::ArchiveKind::Contacts
                           ? selectedText()
                           : QString::fromLatin1(store::archive::principale);
    request.draftBook = selectedText();
    return request;
}

void MainWindow::openComposer(const Composer::Request& request) {
    std::optional<std::pair<QString, store::archive::MessageRow>> report;
    {
        Composer window(m_session, request, this);
        connect(&window, &Composer::sendArchived, m_browser, &ArchiveBrowser::refreshList);
        connect(&window, &Composer::creditChanged, this, &MainWindow::showCredit);
        connect(&window, &Composer::searchRequested, this, [this] { openSearch(false); });
        connect(&window, &Composer::reportRequested, this,
                [&report](const QString& book, const store::archive::MessageRow& message) {
                    report.emplace(book, message);
                });
        showModal(window);
    }
    m_browser->clearCurrentEntry(); // the entry was for this composer
    if (report)
        openSendReport(report->first, report->second);
}

void MainWindow::openSendReport(const QString& book, const store::archive::MessageRow& message) {
    m_waiting = std::make_unique<platform::WaitCursor>();
    delivery::askForMessage(m_deliveryHttp, m_session,
                            store::archive::addressBookPath(m_session.appFolder, book), message,
                            [this, book, message](int) {
                                m_waiting.reset();
                                handler::run([&] { showSendReport(book, message); });
                            });
}

void MainWindow::showSendReport(const QString& book, const store::archive::MessageRow& message) {
    std::optional<QStringList> resendTo;
    {
        SendReportWindow window(
            {store::archive::addressBookPath(m_session.appFolder, book), message}, this);
        if (!window.hasReport()) {
            platform::MsgBox(QStringLiteral("Per questo messaggio non c'è un esito: è stato "
                                            "inviato prima che Quillet registrasse l'esito di "
                                            "ogni invio."),
                             platform::Icon::Information);
            return;
        }
        connect(&window, &SendReportWindow::resendRequested, this,
                [&resendTo](const QStringList& numbers, const QString&) { resendTo = numbers; });
        showModal(window);
    }
    if (resendTo)
        resend(book, *resendTo, message.testo);
}

// The same text to the numbers that did not get it: a list send, or one number in single mode
// when the text needs more than the one SMS of a list send.
void MainWindow::resend(const QString& book, const QStringList& numbers, const QString& text) {
    Composer::Request request;
    request.sentBook = request.draftBook = book;
    request.text = text;
    if (numbers.size() == 1 && !sms::fitsOne(text)) {
        request.number = numbers.first();
    } else {
        request.mode = Composer::Mode::List;
        request.recipients = numbers;
        for (const QString& number : numbers)
            request.number += number + QLatin1Char(';');
        request.searchable = false;
    }
    openComposer(request);
}

void MainWindow::composeTo(const Entry& entry) {
    Composer::Request request = composerRequest();
    request.number = entry.number;
    request.surname = entry.surname;
    if (entry.archive ==
        store::ArchiveKind::Saved) { // a draft: its text, and its list if it had one
        request.text = entry.detail;
        if (entry.number.contains(QLatin1Char(';'))) {
            request.mode = Composer::Mode::List;
            request.recipients = entry.number.split(QLatin1Char(';'));
        }
    }
    openComposer(request);
}

// The last ticked entry wins; with none ticked, the row last clicked.
void MainWindow::openComposerForTicked() {
    Entry entry = m_browser->currentEntry();
    m_browser->readTicked(ArchiveBrowser::tickedBatch,
                          [&entry](const QList<Entry>& ticked) { entry = ticked.last(); });
    Composer::Request request = composerRequest();
    request.number = entry.number;
    request.surname = entry.surname;
    openComposer(request);
}

void MainWindow::openComposerForArchive() {
    if (archivetree::keyKind(selectedKey()) != store::ArchiveKind::Contacts) {
        platform::MsgBox(QStringLiteral("selezionare un Archivio Valido"),
                         platform::Icon::Critical);
        return;
    }
    Composer::Request request = composerRequest();
    request.mode = Composer::Mode::List;
    m_browser->readTicked(ArchiveBrowser::tickedBatch, [&request](const QList<Entry>& ticked) {
        for (const Entry& entry : ticked) {
            request.recipients.append(entry.number);
            request.number += entry.number + QLatin1Char(';');
        }
    });
    request.searchable = false;
    openComposer(request);
}

void MainWindow::updateCredit() {
    m_waiting = std::make_unique<platform::WaitCursor>();
    account::refreshCredit(m_session, m_creditInet, [this](const account::Refresh& refresh) {
        m_waiting.reset();
        handler::run([&] { showRefresh(refresh); });
    });
}

void MainWindow::showRefresh(const account::Refresh& refresh) {
    switch (refresh.outcome) {
    case account::Refresh::NoAccountFile:
        break;
    case account::Refresh::IncompleteAccount:
        platform::MsgBox(QStringLiteral("Account incompleto: inserire Nome Utente e Password"),
                         platform::Icon::Critical);
        break;
    case account::Refresh::NoConnection:
        platform::MsgBox(QStringLiteral("Connessione non Riuscita \nVerificare la Connessione ad "
                                        "Internet e ritentare"),
                         platform::Icon::Exclamation);
        break;
    case account::Refresh::TransportFailed:
        platform::MsgBox(refresh.reply, platform::Icon::Critical);
        break;
    case account::Refresh::InvalidReply:
        platform::MsgBox(QStringLiteral("Risposta del servizio non valida: ") + refresh.reply,
                         platform::Icon::Critical);
        break;
    case account::Refresh::CannotWrite:
        platform::MsgBox(QStringLiteral("Impossibile scrivere il file residui.txt."),
                         platform::Icon::Critical);
        break;
    case account::Refresh::Updated: {
        m_creditLabel->setText(QStringLiteral("Credito residuo ") + refresh.reply);
        const auto updated = [this](int changed) {
            m_waiting.reset();
            if (changed > 0)
                handler::run([this] { m_browser->refreshList(); });
            platform::MsgBox(QStringLiteral("Credito Aggiornato"), platform::Icon::Information);
        };
        const QString book = listedBook();
        if (book.isEmpty())
            return updated(0);
        m_waiting = std::make_unique<platform::WaitCursor>();
        delivery::askForRecent(m_deliveryHttp, m_session,
                               store::archive::addressBookPath(m_session.appFolder, book), updated);
        break;
    }
    }
}

void MainWindow::showHelp() {
    platform::HelpWindow::showSearch(m_help, m_session.helpFile);
}

void MainWindow::openBuyCreditPage() {
    openServicePage(QStringLiteral("cgi-bin/affiliate/giacli.pl?") +
                    service::affiliateQuery(m_session.affiliate));
}

void MainWindow::openAffiliatePage() {
    openServicePage(QStringLiteral("affiliate1/affiliati.htm"));
}

void MainWindow::openServicePage(const QString& pathAndQuery) {
    platform::openUrl(service::pageUrl(m_session.service, pathAndQuery));
}

// Closing the main window and "Chiudi" end the program at once, whatever else is open.
void MainWindow::closeApplication() {
    QCoreApplication::exit(0);
}

void MainWindow::closeEvent(QCloseEvent* event) {
    QMainWindow::closeEvent(event);
    QCoreApplication::exit(0);
}
