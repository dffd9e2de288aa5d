#include "contacts/addressbookwindow.h"

#include "app/session.h"
#include "contacts/addressbooks.h"
#include "platform/controls.h"
#include "platform/dialogs.h"
#include "store/archive.h"
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
    , Label1(new QLabel(QStringLiteral("Rubriche Esistenti"), this))
    , List1(new QListWidget(this))
    , Command1(platform::iconButton(this, "Command1", "inserisci", QStringLiteral("Nuova Rubrica")))
    , Command2(
          platform::iconButton(this, "Command2", "cancella", QStringLiteral("Elimina Rubrica")))
    , Command3(platform::iconButton(this, "Command3", "rubrica", QStringLiteral("Modifica Nome")))
    , Command4(new QPushButton(QStringLiteral("Chiudi"), this))
    , m_listedBook(listedBook) {
    setObjectName(QStringLiteral("Form2"));
    setProperty("quilletForm", true);
    setWindowTitle(QStringLiteral("Gestione Rubriche"));
    setWindowIcon(QIcon(QStringLiteral(":/icons/rubriche.svg")));
    platform::nameControls({{Label1, "Label1"}, {List1, "List1"}, {Command4, "Command4"}});

    QFont bold = Label1->font();
    bold.setBold(true);
    Label1->setFont(bold);
    Label1->setBuddy(List1);
    List1->setSelectionMode(QAbstractItemView::SingleSelection);

    auto* buttons = new QVBoxLayout;
    buttons->addWidget(Command1);
    buttons->addWidget(Command2);
    buttons->addWidget(Command3);
    buttons->addStretch(1);
    buttons->addWidget(Command4);
    auto* body = new QHBoxLayout;
    body->addWidget(List1, 1);
    body->addLayout(buttons);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Label1);
    layout->addLayout(body);
    setMinimumSize(420, 300);

    handler::onClick(Command1, [this] { createAddressBook(); });
    handler::onClick(Command2, [this] { deleteAddressBook(); });
    handler::onClick(Command3, [this] { renameAddressBook(); });
    connect(Command4, &QPushButton::clicked, this, [this] { closeAddressBooks(); });
    handler::run([this] { loadAddressBooks(); });
    setButtons();
}

void AddressBookWindow::loadAddressBooks() {
    auto& state = m_session;
    List1->addItems(addressbooks::names(state.archive, state.appFolder));
}

void AddressBookWindow::setButtons() {
    const bool any = List1->count() > 0;
    Command2->setEnabled(any);
    Command3->setEnabled(any);
}

QString AddressBookWindow::selectedName() const {
    const QList<QListWidgetItem*> selected = List1->selectedItems();
    return selected.isEmpty() ? QString() : selected.first()->text();
}

void AddressBookWindow::removeFromList(const QString& name) {
    for (int row = 0; row < List1->count(); ++row) {
        if (List1->item(row)->text() == name) {
            delete List1->takeItem(row);
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
            if (!refusedBy(addressbooks::create(state.archive, state.appFolder, name), name))
                List1->addItem(name);
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
        if (!refusedBy(addressbooks::remove(state.archive, state.appFolder, name), name))
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
        if (refusedBy(addressbooks::rename(state.archive, state.appFolder, oldName, newName),
                      oldName))
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
    List1->addItem(newName);
    setButtons();
}

void AddressBookWindow::closeAddressBooks() {
    reject();
}

void AddressBookWindow::done(int result) {
    QDialog::done(result);
    emit addressBooksChanged();
}
