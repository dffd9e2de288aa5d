#include "contacts/addressbookwindow.h"

#include "contacts/addressbooks.h"
#include "core/session.h"
#include "platform/controls.h"
#include "platform/dialogs.h"
#include "store/archive.h"
#include "store/storeerror.h"
#include "windows/handler.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

const QString errore = QStringLiteral("Errore");
const QString informazione = QStringLiteral("Informazione");

bool isPrincipale(const QString& name) {
    return name == QLatin1String(store::archive::principale);
}

void refused(const QString& text, const QString& title = errore) {
    platform::MsgBox(text, platform::Icon::Critical, platform::Buttons::Ok, title);
}

void notSelected() {
    platform::MsgBox(QStringLiteral("Selezionare una delle Rubriche in elenco"),
                     platform::Icon::Exclamation, platform::Buttons::Ok, informazione);
}

// The refusals the address-book operations share; false when the operation was done.
bool refusedBy(addressbooks::Outcome outcome, const QString& name) {
    using addressbooks::Outcome;
    switch (outcome) {
    case Outcome::Done:
        return false;
    case Outcome::InvalidName:
        refused(QStringLiteral("Nome di rubrica non valido"));
        break;
    case Outcome::Exists:
        refused(QStringLiteral("Rubrica Esistente"));
        break;
    case Outcome::Principale:
        refused(QStringLiteral("Impossibile modificare la rubrica Principale"), informazione);
        break;
    case Outcome::NotListed:
        refused(QStringLiteral("La rubrica %1 non è più presente nell'elenco.").arg(name));
        break;
    }
    return true;
}

} // namespace

AddressBookWindow::AddressBookWindow(Session& session, const QString& listedBook, QWidget* parent)
    : QDialog(parent)
    , m_session(session)
    , m_booksLabel(new QLabel(QStringLiteral("Rubriche Esistenti"), this))
    , m_bookList(new QListWidget(this))
    , m_newButton(
          platform::iconButton(this, "Command1", "inserisci", QStringLiteral("Nuova Rubrica")))
    , m_deleteButton(
          platform::iconButton(this, "Command2", "cancella", QStringLiteral("Elimina Rubrica")))
    , m_renameButton(
          platform::iconButton(this, "Command3", "rubrica", QStringLiteral("Modifica Nome")))
    , m_closeButton(new QPushButton(QStringLiteral("Chiudi"), this))
    , m_listedBook(listedBook) {
    setObjectName(QStringLiteral("Form2"));
    setProperty("quilletForm", true);
    setWindowTitle(QStringLiteral("Gestione Rubriche"));
    setWindowIcon(QIcon(QStringLiteral(":/icons/rubriche.svg")));
    platform::nameControls(
        {{m_booksLabel, "Label1"}, {m_bookList, "List1"}, {m_closeButton, "Command4"}});

    QFont bold = m_booksLabel->font();
    bold.setBold(true);
    m_booksLabel->setFont(bold);
    m_booksLabel->setBuddy(m_bookList);
    m_bookList->setSelectionMode(QAbstractItemView::SingleSelection);

    auto* buttons = new QVBoxLayout;
    buttons->addWidget(m_newButton);
    buttons->addWidget(m_deleteButton);
    buttons->addWidget(m_renameButton);
    buttons->addStretch(1);
    buttons->addWidget(m_closeButton);
    auto* body = new QHBoxLayout;
    body->addWidget(m_bookList, 1);
    body->addLayout(buttons);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_booksLabel);
    layout->addLayout(body);
    setMinimumSize(420, 300);

    handler::onClick(m_newButton, [this] { createAddressBook(); });
    handler::onClick(m_deleteButton, [this] { deleteAddressBook(); });
    handler::onClick(m_renameButton, [this] { renameAddressBook(); });
    connect(m_closeButton, &QPushButton::clicked, this, [this] { closeAddressBooks(); });
    handler::run([this] { loadAddressBooks(); });
    setButtons();
}

void AddressBookWindow::loadAddressBooks() {
    auto& state = m_session;
    m_bookList->addItems(addressbooks::names(state.appFolder));
}

void AddressBookWindow::setButtons() {
    const bool any = m_bookList->count() > 0;
    m_deleteButton->setEnabled(any);
    m_renameButton->setEnabled(any);
}

QString AddressBookWindow::selectedName() const {
    const QList<QListWidgetItem*> selected = m_bookList->selectedItems();
    return selected.isEmpty() ? QString() : selected.first()->text();
}

void AddressBookWindow::removeFromList(const QString& name) {
    for (int row = 0; row < m_bookList->count(); ++row) {
        if (m_bookList->item(row)->text() == name) {
            delete m_bookList->takeItem(row);
            return;
        }
    }
}

void AddressBookWindow::createAddressBook() {
    const auto typed = platform::InputBox(QStringLiteral("Inserisci il nome della Nuova Rubrica"),
                                          QStringLiteral("Nuova Rubrica"));
    if (typed) {
        const QString name = typed->trimmed();
        auto& state = m_session;
        try {
            if (!refusedBy(addressbooks::create(state.appFolder, name), name))
                m_bookList->addItem(name);
        } catch (const store::StoreError& e) {
            refused(QStringLiteral("Impossibile creare la rubrica: ") + e.message());
        }
    }
    setButtons();
}

void AddressBookWindow::deleteAddressBook() {
    const QString name = selectedName();
    if (isPrincipale(name)) {
        platform::MsgBox(QStringLiteral("Impossibile eliminare la rubrica Principale"),
                         platform::Icon::Critical);
        return;
    }
    if (name.isEmpty()) {
        notSelected();
        return;
    }
    if (platform::MsgBox(QStringLiteral("Cancellare la Rubrica: ") + name + u'?',
                         platform::Icon::None, platform::Buttons::OkCancel,
                         QStringLiteral("Cancella Rubrica")) != platform::Answer::Ok)
        return;
    auto& state = m_session;
    try {
        if (!refusedBy(addressbooks::remove(state.appFolder, name), name))
            removeFromList(name);
    } catch (const store::StoreError& e) {
        refused(QStringLiteral("Impossibile eliminare la rubrica: ") + e.message());
    }
    setButtons();
}

void AddressBookWindow::renameAddressBook() {
    const QString oldName = selectedName();
    if (isPrincipale(oldName)) {
        refused(QStringLiteral("Impossibile modificare la rubrica Principale"), informazione);
        return;
    }
    if (oldName.isEmpty()) {
        notSelected();
        return;
    }
    const auto typed = platform::InputBox(QStringLiteral("Nuovo Nome Rubrica"),
                                          QStringLiteral("Modifica Rubrica"), oldName);
    if (!typed)
        return;
    if (!m_listedBook.isEmpty() && oldName == m_listedBook) {
        refused(QStringLiteral("Impossibile modificare la rubrica in uso"));
        return;
    }
    const QString newName = typed->trimmed();
    auto& state = m_session;
    try {
        if (refusedBy(addressbooks::rename(state.appFolder, oldName, newName), oldName))
            return;
    } catch (const store::StoreError& e) {
        if (e.code() == addressbooks::PermissionDenied) // under the program's own title
            refused(QStringLiteral("Impossibile modificare il Nome la Rubrica è in uso"),
                    QString());
        else
            refused(QStringLiteral("Impossibile modificare la rubrica: ") + e.message());
        return;
    }
    removeFromList(oldName);
    m_bookList->addItem(newName);
    setButtons();
}

void AddressBookWindow::closeAddressBooks() {
    reject();
}

void AddressBookWindow::done(int result) {
    QDialog::done(result);
    emit addressBooksChanged();
}
