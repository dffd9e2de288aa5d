#include "users/useradminwindow.h"

#include "app/session.h"
#include "platform/controls.h"
#include "platform/dialogs.h"
#include "windows/handler.h"

#include <QComboBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

namespace {

const QString nuovo = QStringLiteral("nuovo");
const QString modifica = QStringLiteral("modifica");
const QString cancella = QStringLiteral("cancella");

void critical(const QString& text) {
    platform::MsgBox(text, platform::Icon::Critical);
}

// Writes the user file; false, the user told, when it could not be written.
bool writeFile(const QString& appFolder, const QList<users::User>& list) {
    if (users::write(appFolder, list))
        return true;
    critical(QStringLiteral("Impossibile salvare il file degli utenti tempaccesso."));
    return false;
}

} // namespace

UserAdminWindow::UserAdminWindow(Session& session, QWidget* parent)
    : QDialog(parent)
    , m_session(session)
    , List1(new QListWidget(this))
    , Label1(new QLabel(QStringLiteral("Nome Utente"), this))
    , Text1(new QLineEdit(this))
    , Label2(new QLabel(QStringLiteral("Livello di Accesso"), this))
    , Label3(new QLabel(this))
    , Command1(platform::iconButton(this, "Command1", "inserisci", QStringLiteral("Nuovo Utente")))
    , Command2(
          platform::iconButton(this, "Command2", "contatto", QStringLiteral("Modifica Utente")))
    , Command3(
          platform::iconButton(this, "Command3", "cancella", QStringLiteral("Cancella Utente")))
    , Frame2(new QGroupBox(this))
    , Text2(new QLineEdit(Frame2))
    , Text3(new QLineEdit(Frame2))
    , Combo1(new QComboBox(Frame2))
    , Command4(platform::iconButton(this, "Command4", "salvati", QStringLiteral("OK")))
    , Command5(new QPushButton(QStringLiteral("Annulla"), this)) {
    setObjectName(QStringLiteral("confaccount"));
    setProperty("quilletForm", true);
    setWindowTitle(QStringLiteral("Configurazione Account"));
    setWindowIcon(QIcon(QStringLiteral(":/icons/quillet.svg")));
    platform::nameControls({{List1, "List1"},
                            {Label1, "Label1"},
                            {Text1, "Text1"},
                            {Label2, "Label2"},
                            {Label3, "Label3"},
                            {Frame2, "Frame2"},
                            {Text2, "Text2"},
                            {Text3, "Text3"},
                            {Combo1, "Combo1"},
                            {Command5, "Command5"}});

    List1->setSelectionMode(QAbstractItemView::SingleSelection);
    List1->setUniformItemSizes(true);
    Text1->setReadOnly(true);
    Label1->setBuddy(Text1);
    Label3->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    Label3->setMinimumHeight(Text1->sizeHint().height());
    Text1->setMinimumWidth(180);
    Combo1->setEditable(true);
    Combo1->setInsertPolicy(QComboBox::NoInsert);
    Combo1->addItems({users::levelName(QStringLiteral("1")), users::levelName(QStringLiteral("2")),
                      users::levelName(QStringLiteral("3")),
                      users::levelName(QStringLiteral("4"))});
    Combo1->setCurrentIndex(0);
    // Enter saves, never starts another operation.
    for (QPushButton* button : {Command1, Command2, Command3, Command5})
        button->setAutoDefault(false);
    Command4->setDefault(true);

    auto* selected = new QVBoxLayout;
    selected->addWidget(Label1);
    selected->addWidget(Text1);
    selected->addWidget(Label2);
    selected->addWidget(Label3);
    selected->addSpacing(12);
    selected->addWidget(Command1);
    selected->addWidget(Command2);
    selected->addWidget(Command3);
    selected->addStretch(1);
    auto* top = new QHBoxLayout;
    top->addWidget(List1, 1);
    top->addLayout(selected);

    auto* fields = new QFormLayout(Frame2);
    fields->addRow(QStringLiteral("Nome Utente"), Text2);
    fields->addRow(QStringLiteral("Password"), Text3);
    fields->addRow(QStringLiteral("Livello di Accesso"), Combo1);
    Frame2->hide();

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(Command4);
    buttons->addWidget(Command5);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top, 1);
    layout->addWidget(Frame2);
    layout->addLayout(buttons);
    setMinimumSize(460, 320);

    connect(List1, &QListWidget::currentRowChanged, this,
            [this] { handler::run([this] { showSelectedUser(); }); });
    handler::onClick(Command1, [this] { newUser(); });
    handler::onClick(Command2, [this] { modifyUser(); });
    handler::onClick(Command3, [this] { deleteSelectedUser(); });
    handler::onClick(Command4, [this] { saveUser(); });
    connect(Command5, &QPushButton::clicked, this, [this] { closeUserAdmin(); });
    connect(Text2, &QLineEdit::textChanged, this, [this] { setOk(false); });
    connect(Text3, &QLineEdit::textChanged, this, [this] { setOk(false); });
    connect(Combo1, &QComboBox::activated, this, [this] { setOk(false); });
    connect(Combo1->lineEdit(), &QLineEdit::textEdited, this, [this] { setOk(true); });
    handler::run([this] { loadUsers(); });
}

void UserAdminWindow::loadUsers() {
    loadList();
    Command4->setEnabled(false);
}

void UserAdminWindow::loadList() {
    const users::Contents contents = users::read(m_session.appFolder);
    m_users = contents.users;
    {
        const QSignalBlocker quiet(List1);
        List1->clear();
        QStringList names;
        names.reserve(m_users.size());
        for (const users::User& user : m_users)
            names.append(user.name);
        List1->addItems(names);
        List1->setCurrentRow(m_users.isEmpty() ? -1 : 0);
    }
    if (!m_users.isEmpty())
        showSelectedUser();

    switch (contents.status) {
    case users::Contents::Missing:
        platform::MsgBox(
            QStringLiteral("Nessun utente configurato: il file degli utenti non esiste ancora."),
            platform::Icon::Information);
        return;
    case users::Contents::Unreadable:
        critical(QStringLiteral("Impossibile leggere il file degli utenti tempaccesso."));
        return;
    case users::Contents::TooLong:
        critical(users::damageNotice(contents));
        return;
    case users::Contents::Read:
        break;
    }
    if (contents.unreadable == 1)
        platform::MsgBox(QStringLiteral("1 riga del file degli utenti è illeggibile: non compare "
                                        "nell'elenco e sarà tolta al prossimo salvataggio."),
                         platform::Icon::Exclamation);
    else if (contents.unreadable > 1)
        platform::MsgBox(QStringLiteral("%1 righe del file degli utenti sono illeggibili: non "
                                        "compaiono nell'elenco e saranno tolte al prossimo "
                                        "salvataggio.")
                             .arg(contents.unreadable),
                         platform::Icon::Exclamation);
}

void UserAdminWindow::showSelectedUser() {
    const int row = List1->currentRow();
    if (row < 0 || row >= m_users.size())
        return;
    Text1->setText(m_users[row].name);
    if (m_mode != nuovo)
        showSelected();
}

// The selected user in the edit boxes; an unknown level code leaves the level as it is.
void UserAdminWindow::showSelected() {
    const int row = List1->currentRow();
    if (row < 0 || row >= m_users.size())
        return;
    const users::User& user = m_users[row];
    Text2->setText(user.name);
    Text3->setText(user.password);
    const QString level = users::levelName(user.level);
    if (level.isEmpty())
        return;
    Label3->setText(u' ' + level);
    Combo1->setCurrentIndex(Combo1->findText(level));
}

void UserAdminWindow::openFrame(const QString& mode, const QString& title) {
    m_mode = mode;
    Frame2->setTitle(title);
    Frame2->show();
}

void UserAdminWindow::setOk(bool withLevel) {
    Command4->setEnabled(!Text2->text().isEmpty() && !Text3->text().isEmpty() &&
                         (!withLevel || !Combo1->currentText().isEmpty()));
}

void UserAdminWindow::newUser() {
    if (m_users.size() >= users::maxUsers) {
        critical(QStringLiteral("Numero massimo di utenti raggiunto"));
        return;
    }
    openFrame(nuovo, Command1->text());
    Text2->clear();
    Text3->clear();
    Combo1->setCurrentIndex(-1);
    Combo1->setEditText(QString());
    Text2->setFocus();
}

void UserAdminWindow::modifyUser() {
    if (m_users.isEmpty()) {
        critical(QStringLiteral("Nessun Utente Configurato"));
        return;
    }
    openFrame(modifica, Command2->text());
    showSelectedUser();
    Text2->setFocus();
}

void UserAdminWindow::deleteSelectedUser() {
    const int row = List1->currentRow();
    if (row < 0 || row >= m_users.size())
        return; // nothing to delete
    m_mode = cancella;
    if (platform::MsgBox(QStringLiteral("Cancellare l'utente ") + Text1->text(),
                         platform::Icon::None, platform::Buttons::OkCancel) != platform::Answer::Ok)
        return;
    // Nobody logged in: no user is the current one, not even one with an empty name.
    const QString& current = m_session.currentUser;
    if (!current.isEmpty() && m_users[row].name == current) {
        critical(QStringLiteral("Impossibile Cancellare l'utente corrente"));
        return;
    }
    QList<users::User> list = m_users;
    list.removeAt(row);
    if (!writeFile(m_session.appFolder, list))
        return;
    loadList();
}

void UserAdminWindow::saveUser() {
    const users::User typed{Text2->text(), Text3->text(), users::levelCode(Combo1->currentText())};
    const int row = List1->currentRow();
    QList<users::User> list = m_users;
    bool changed = false;
    if (m_mode == nuovo) {
        for (const users::User& user : m_users) {
            if (user.name == typed.name) {
                critical(QStringLiteral("Utente Esistente"));
                return;
            }
        }
        list.append(typed);
        changed = true;
    } else if (m_mode == modifica && row >= 0 && row < list.size()) {
        list[row] = typed;
        changed = true;
    }
    if (changed) {
        if (!users::lineOf(typed)) {
            critical(QStringLiteral("Carattere non consentito in Nome Utente o Password"));
            return;
        }
        if (!writeFile(m_session.appFolder, list))
            return;
    }
    loadList();
    m_mode.clear();
    Frame2->hide();
    Command4->setEnabled(false);
}

void UserAdminWindow::closeUserAdmin() {
    close();
}
