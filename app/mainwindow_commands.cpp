// Menus, toolbar and the commands behind them.
#include "app/mainwindow.h"

#include "app/appstate.h"
#include "app/archivetree.h"
#include "app/twips.h"
#include "browser/archivebrowser.h"
#include "browser/archivemodel.h"
#include "browser/contactactions.h"
#include "contacts/addressbookwindow.h"
#include "contacts/contacteditor.h"
#include "contacts/contactsearch.h"
#include "contacts/prefixwindow.h"
#include "exchange/contactfiles.h"
#include "exchange/hotelimport.h"
#include "messaging/account.h"
#include "messaging/accountwindow.h"
#include "messaging/composer.h"
#include "messaging/inet.h"
#include "messaging/senderheaderwindow.h"
#include "messaging/service.h"
#include "platform/dialogs.h"
#include "platform/helpwindow.h"
#include "platform/waitcursor.h"
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

QAction* title(QMenu* menu, const char* name) {
    menu->setObjectName(QLatin1String(name));
    menu->menuAction()->setObjectName(QLatin1String(name));
    return menu->menuAction();
}

} // namespace

void MainWindow::buildMenus() {
    QMenu* file = menuBar()->addMenu(QStringLiteral("File"));
    fil = title(file, "fil");
    exru = entry(file, "exru", QStringLiteral("Esporta Rubrica"), this,
                 &MainWindow::exportAddressBook);
    impcvs =
        entry(file, "impcvs", QStringLiteral("Importa file csv"), this, &MainWindow::importCsv);
    imph3 = entry(file, "imph3", QStringLiteral("Importa da Ericsoft"), this);
    iae = entry(file, "iae", QStringLiteral("Imposta Archivi Ericsoft"), this);
    configu =
        entry(file, "configu", QStringLiteral("Configura"), this, &MainWindow::openSenderHeader);
    permut = entry(file, "permut", QStringLiteral("Permessi Utente"), this);
    newpref =
        entry(file, "newpref", QStringLiteral("Nuovi Prefissi"), this, &MainWindow::openPrefixes);
    file->addSeparator();
    chiuso = entry(file, "chiuso", QStringLiteral("Chiudi"), this, &MainWindow::closeApplication);

    QMenu* book = menuBar()->addMenu(QStringLiteral("Rubrica"));
    ru = title(book, "ru");
    nr =
        entry(book, "nr", QStringLiteral("Gestione Rubriche"), this, &MainWindow::openAddressBooks);
    inru = entry(book, "inru", QStringLiteral("Inserisci Contatto"), this, &MainWindow::newContact);
    cececo =
        entry(book, "cececo", QStringLiteral("Cerca Contatto"), this, &MainWindow::searchContact);

    QMenu* sms = menuBar()->addMenu(QStringLiteral("SMS"));
    modi = title(sms, "modi");
    ismss = entry(sms, "ismss", QStringLiteral("Invia SMS Singoli"), this,
                  &MainWindow::openComposerForTicked);
    ismsm = entry(sms, "ismsm", QStringLiteral("Invia SMS Multipli"), this,
                  &MainWindow::openComposerForArchive);
    canse =
        entry(sms, "canse", QStringLiteral("Cancella Spuntati"), this, &MainWindow::deleteTicked);

    QMenu* account = menuBar()->addMenu(QStringLiteral("Gestione Account"));
    geac = title(account, "geac");
    acqs = entry(account, "acqs", QStringLiteral("Acquista SMS"), this,
                 &MainWindow::openBuyCreditPage);
    repro = entry(account, "repro", QStringLiteral("Account Servizio SMS"), this,
                  &MainWindow::openAccount);
    aaa =
        entry(account, "aaa", QStringLiteral("Aggiorna Credito"), this, &MainWindow::updateCredit);

    QMenu* about = menuBar()->addMenu(QStringLiteral("?"));
    help = title(about, "help");
    he = entry(about, "he", QStringLiteral("Help"), this, &MainWindow::showHelp);
    he->setShortcut(QKeySequence::HelpContents);
    he->setShortcutContext(Qt::ApplicationShortcut);
    guad = entry(about, "guad", QStringLiteral("Guadagna con noi"), this,
                 &MainWindow::openAffiliatePage);
    inform = entry(about, "inform", QStringLiteral("Info"), this, &MainWindow::showAbout);

    // The composer's search button opens the search without waiting.
    Composer::setSearchWindow([] {
        auto* search = new ContactSearch(MainWindow::instance());
        search->setAttribute(Qt::WA_DeleteOnClose);
        search->show();
    });
}

void MainWindow::buildToolbar() {
    Toolbar1->setIconSize(QSize(32, 32));
    Toolbar1->setMovable(false);
    Toolbar1->setFloatable(false);
    struct Button {
        const char* icon;
        const char* caption;
        QAction* command; // the menu entry it runs; null for the web page
    };
    const Button buttons[] = {
        {"cerca", "Cerca", cececo},          {"rubriche", "Rubriche", nr},
        {"inserisci", "Nuovo", inru},        {"sms", "SMS", ismss},
        {"smsmulti", "SMS multipli", ismsm}, {"cancella", "Cancella", canse},
        {"web", "Offerte", nullptr},
    };
    int position = 0;
    for (const Button& b : buttons) {
        ++position;
        QAction* button =
            Toolbar1->addAction(QIcon(QStringLiteral(":/icons/%1.svg").arg(QLatin1String(b.icon))),
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
            handler::run([this, position] { Toolbar1_ButtonClick(position); });
        });
        m_buttons.append(button);
    }
    auto* bar = new QVBoxLayout(Picture2);
    bar->setContentsMargins(2, 0, 2, 0);
    bar->addWidget(Toolbar1);
    Picture2->setFixedHeight(twips::toPixels(915));
}

// Buttons 1 to 6 run the menu command of the same name; button 7 opens the affiliate page.
void MainWindow::Toolbar1_ButtonClick(int button) {
    static QAction* MainWindow::*const commands[] = {&MainWindow::cececo, &MainWindow::nr,
                                                     &MainWindow::inru,   &MainWindow::ismss,
                                                     &MainWindow::ismsm,  &MainWindow::canse};
    if (button >= 1 && button <= 6) {
        QAction* command = this->*commands[button - 1];
        if (command->isEnabled())
            command->trigger();
    } else if (button == 7) {
        openServicePage(QStringLiteral("cgi-bin/affiliate/programma.pl?") +
                        service::affiliateQuery(appState().affiliazione));
    }
}

bool MainWindow::archiveGuard() const {
    if (!archivetree::isRootLabel(m_browser->Label6->text()))
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
    AccountWindow window(this);
    showModal(window);
}

void MainWindow::openPrefixes() {
    PrefixWindow window(this);
    showModal(window);
}

void MainWindow::openAddressBooks() {
    AddressBookWindow window(listedBook(), this);
    connect(&window, &AddressBookWindow::addressBooksChanged, this,
            [this] { handler::run([this] { rebuildTree(); }); });
    showModal(window);
}

void MainWindow::newContact() {
    if (!archiveGuard())
        return;
    appState().modifica = 0;
    ContactEditor window(this);
    showModal(window);
}

// The delete of the contact actions window, without showing it.
void MainWindow::deleteTicked() {
    if (!archiveGuard())
        return;
    ContactActions window(this);
    window.deleteTickedEntries();
}

void MainWindow::exportAddressBook() {
    contactfiles::esporta(*this);
}

void MainWindow::importCsv() {
    contactfiles::importa(*this);
}

void MainWindow::importFromHotel() {
    hotelimport::importa(*this);
}

void MainWindow::setUpHotelArchives() {
    hotelimport::imposta(*this);
}

void MainWindow::openUserAdmin() {
    auto* administration = new UserAdminWindow(this);
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
    ContactSearch window(this);
    showModal(window);
}

void MainWindow::openSenderHeader() {
    SenderHeaderWindow window(this);
    showModal(window);
}

void MainWindow::openComposerForTicked() {
    auto& state = appState();
    const ArchiveModel* model = m_browser->model();
    const QList<int> ticked = model->checkedRows();
    if (!ticked.isEmpty()) { // the last ticked entry wins
        const int row = ticked.last();
        state.numeroScelto = model->text(row, 1);
        if (selectedKey().startsWith(QLatin1Char('r'))) {
            state.cognomeScelto = model->text(row, 3);
        } else {
            state.cognomeScelto = model->text(row, 2);
            state.dataScelta = model->text(row, 3);
            state.dettaglioScelto = model->text(row, 4);
        }
    }
    Composer window(this);
    window.Label18->setText(state.numeroScelto);
    window.Label2->setText(state.cognomeScelto);
    window.Label3->setText(QStringLiteral("Cellulare"));
    window.Label23->setText(QStringLiteral("0"));
    showModal(window);
}

void MainWindow::openComposerForArchive() {
    if (!selectedKey().startsWith(QLatin1Char('r'))) {
        platform::MsgBox(QStringLiteral("selezionare un Archivio Valido"),
                         platform::Icon::Critical);
        return;
    }
    const ArchiveModel* model = m_browser->model();
    QStringList numbers;
    QString label;
    for (int row : model->checkedRows()) {
        numbers.append(model->text(row, 1));
        label += numbers.last() + QLatin1Char(';');
    }
    Composer window(this);
    window.Label23->setText(QStringLiteral("1"));
    window.Label18->setText(label);
    window.setRecipients(numbers);
    window.Label3->hide();
    window.Command4->hide();
    connect(&window, &Composer::creditChanged, this, &MainWindow::showCredit);
    showModal(window);
}

void MainWindow::updateCredit() {
    account::Refresh refresh;
    {
        platform::WaitCursor wait;
        Inet inet;
        refresh = account::refreshCredit(appState(), inet);
    }
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
    case account::Refresh::InvalidReply:
        platform::MsgBox(QStringLiteral("Risposta del servizio non valida: ") + refresh.reply,
                         platform::Icon::Critical);
        break;
    case account::Refresh::CannotWrite:
        platform::MsgBox(QStringLiteral("Impossibile scrivere il file residui.txt."),
                         platform::Icon::Critical);
        break;
    case account::Refresh::Updated:
        Label3->setText(QStringLiteral("Credito residuo ") + refresh.reply);
        platform::MsgBox(QStringLiteral("Credito Aggiornato"), platform::Icon::Information);
        break;
    }
}

void MainWindow::showHelp() {
    platform::HelpWindow::showSearch(appState().helpFile);
}

void MainWindow::openBuyCreditPage() {
    openServicePage(QStringLiteral("cgi-bin/affiliate/giacli.pl?") +
                    service::affiliateQuery(appState().affiliazione));
}

void MainWindow::openAffiliatePage() {
    openServicePage(QStringLiteral("affiliate1/affiliati.htm"));
}

void MainWindow::openServicePage(const QString& pathAndQuery) {
    platform::openUrl(service::pageUrl(appState().servizio, pathAndQuery));
}

// Closing the main window and "Chiudi" end the program at once, whatever else is open.
void MainWindow::closeApplication() {
    QCoreApplication::exit(0);
}

void MainWindow::closeEvent(QCloseEvent* event) {
    QMainWindow::closeEvent(event);
    QCoreApplication::exit(0);
}
