#include "users/useradminwindow.h"

#include "core/session.h"
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
    , m_userList(new QListWidget(this))
    , m_nameCaptionLabel(new QLabel(QStringLiteral("Nome Utente"), this))
    , m_selectedNameEdit(new QLineEdit(this))
    , m_levelCaptionLabel(new QLabel(QStringLiteral("Livello di Accesso"), this))
    , m_selectedLevelLabel(new QLabel(this))
    , m_newButton(
          platform::iconButton(this, "Command1", "inserisci", QStringLiteral("Nuovo Utente")))
    , m_modifyButton(
          platform::iconButton(this, "Command2", "contatto", QStringLiteral("Modifica Utente")))
    , m_deleteButton(
          platform::iconButton(this, "Command3", "cancella", QStringLiteral("Cancella Utente")))
    , m_editGroup(new QGroupBox(this))
    , m_nameEdit(new QLineEdit(m_editGroup))
    , m_passwordEdit(new QLineEdit(m_editGroup))
    , m_levelCombo(new QComboBox(m_editGroup))
    , m_okButton(platform::iconButton(this, "Command4", "salvati", QStringLiteral("OK")))
    , m_cancelButton(new QPushButton(QStringLiteral("Annulla"), this)) {
    setObjectName(QStringLiteral("confaccount"));
    setProperty("quilletForm", true);
    setWindowTitle(QStringLiteral("Configurazione Account"));
    setWindowIcon(QIcon(QStringLiteral(":/icons/quillet.svg")));
    platform::nameControls({{m_userList, "List1"},
                            {m_nameCaptionLabel, "Label1"},
                            {m_selectedNameEdit, "Text1"},
                            {m_levelCaptionLabel, "Label2"},
                            {m_selectedLevelLabel, "Label3"},
                            {m_editGroup, "Frame2"},
                            {m_nameEdit, "Text2"},
                            {m_passwordEdit, "Text3"},
                            {m_levelCombo, "Combo1"},
                            {m_cancelButton, "Command5"}});

    QLayout* top = buildUserList();
    buildEditBox();
    QLayout* buttons = buildButtons();
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top, 1);
    layout->addWidget(m_editGroup);
    layout->addLayout(buttons);
    setMinimumSize(460, 320);

    connectControls();
    handler::run([this] { loadUsers(); });
}

// The list of users; beside it the selected one and the buttons that start an operation.
QLayout* UserAdminWindow::buildUserList() {
    m_userList->setSelectionMode(QAbstractItemView::SingleSelection);
    m_userList->setUniformItemSizes(true);
    m_selectedNameEdit->setReadOnly(true);
    m_nameCaptionLabel->setBuddy(m_selectedNameEdit);
    m_selectedLevelLabel->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    m_selectedLevelLabel->setMinimumHeight(m_selectedNameEdit->sizeHint().height());
    m_selectedNameEdit->setMinimumWidth(180);
    auto* selected = new QVBoxLayout;
    selected->addWidget(m_nameCaptionLabel);
    selected->addWidget(m_selectedNameEdit);
    selected->addWidget(m_levelCaptionLabel);
    selected->addWidget(m_selectedLevelLabel);
    selected->addSpacing(12);
    selected->addWidget(m_newButton);
    selected->addWidget(m_modifyButton);
    selected->addWidget(m_deleteButton);
    selected->addStretch(1);
    auto* top = new QHBoxLayout;
    top->addWidget(m_userList, 1);
    top->addLayout(selected);
    return top;
}

// The name, password and level of a new or changed user, hidden until an operation starts.
void UserAdminWindow::buildEditBox() {
    m_levelCombo->setEditable(true);
    m_levelCombo->setInsertPolicy(QComboBox::NoInsert);
    m_levelCombo->addItems(
        {users::levelName(QStringLiteral("1")), users::levelName(QStringLiteral("2")),
         users::levelName(QStringLiteral("3")), users::levelName(QStringLiteral("4"))});
    m_levelCombo->setCurrentIndex(0);
    auto* fields = new QFormLayout(m_editGroup);
    fields->addRow(QStringLiteral("Nome Utente"), m_nameEdit);
    fields->addRow(QStringLiteral("Password"), m_passwordEdit);
    fields->addRow(QStringLiteral("Livello di Accesso"), m_levelCombo);
    m_editGroup->hide();
}

// OK and Annulla on the right.
QLayout* UserAdminWindow::buildButtons() {
    // Enter saves, never starts another operation.
    for (QPushButton* button : {m_newButton, m_modifyButton, m_deleteButton, m_cancelButton})
        button->setAutoDefault(false);
    m_okButton->setDefault(true);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(m_okButton);
    buttons->addWidget(m_cancelButton);
    return buttons;
}

void UserAdminWindow::connectControls() {
    connect(m_userList, &QListWidget::currentRowChanged, this,
            [this] { handler::run([this] { showSelectedUser(); }); });
    handler::onClick(m_newButton, [this] { newUser(); });
    handler::onClick(m_modifyButton, [this] { modifyUser(); });
    handler::onClick(m_deleteButton, [this] { deleteSelectedUser(); });
    handler::onClick(m_okButton, [this] { saveUser(); });
    connect(m_cancelButton, &QPushButton::clicked, this, [this] { closeUserAdmin(); });
    connect(m_nameEdit, &QLineEdit::textChanged, this, [this] { setOk(false); });
    connect(m_passwordEdit, &QLineEdit::textChanged, this, [this] { setOk(false); });
    connect(m_levelCombo, &QComboBox::activated, this, [this] { setOk(false); });
    connect(m_levelCombo->lineEdit(), &QLineEdit::textEdited, this, [this] { setOk(true); });
}

void UserAdminWindow::loadUsers() {
    loadList();
    m_okButton->setEnabled(false);
}

void UserAdminWindow::loadList() {
    const users::Contents contents = users::read(m_session.appFolder);
    m_users = contents.users;
    {
        const QSignalBlocker quiet(m_userList);
        m_userList->clear();
        QStringList names;
        names.reserve(m_users.size());
        for (const users::User& user : m_users)
            names.append(user.name);
        m_userList->addItems(names);
        m_userList->setCurrentRow(m_users.isEmpty() ? -1 : 0);
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
    const int row = m_userList->currentRow();
    if (row < 0 || row >= m_users.size())
        return;
    m_selectedNameEdit->setText(m_users[row].name);
    if (m_mode != nuovo)
        showSelected();
}

// The selected user in the edit boxes; an unknown level code leaves the level as it is.
void UserAdminWindow::showSelected() {
    const int row = m_userList->currentRow();
    if (row < 0 || row >= m_users.size())
        return;
    const users::User& user = m_users[row];
    m_nameEdit->setText(user.name);
    m_passwordEdit->setText(user.password);
    const QString level = users::levelName(user.level);
    if (level.isEmpty())
        return;
    m_selectedLevelLabel->setText(u' ' + level);
    m_levelCombo->setCurrentIndex(m_levelCombo->findText(level));
}

void UserAdminWindow::openFrame(const QString& mode, const QString& title) {
    m_mode = mode;
    m_editGroup->setTitle(title);
    m_editGroup->show();
}

void UserAdminWindow::setOk(bool withLevel) {
    m_okButton->setEnabled(!m_nameEdit->text().isEmpty() && !m_passwordEdit->text().isEmpty() &&
                           (!withLevel || !m_levelCombo->currentText().isEmpty()));
}

void UserAdminWindow::newUser() {
    if (m_users.size() >= users::maxUsers) {
        critical(QStringLiteral("Numero massimo di utenti raggiunto"));
        return;
    }
    openFrame(nuovo, m_newButton->text());
    m_nameEdit->clear();
    m_passwordEdit->clear();
    m_levelCombo->setCurrentIndex(-1);
    m_levelCombo->setEditText(QString());
    m_nameEdit->setFocus();
}

void UserAdminWindow::modifyUser() {
    if (m_users.isEmpty()) {
        critical(QStringLiteral("Nessun Utente Configurato"));
        return;
    }
    openFrame(modifica, m_modifyButton->text());
    showSelectedUser();
    m_nameEdit->setFocus();
}

void UserAdminWindow::deleteSelectedUser() {
    const int row = m_userList->currentRow();
    if (row < 0 || row >= m_users.size())
        return; // nothing to delete
    m_mode = cancella;
    if (platform::MsgBox(QStringLiteral("Cancellare l'utente ") + m_selectedNameEdit->text(),
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
    const users::User typed{m_nameEdit->text(), m_passwordEdit->text(),
                            users::levelCode(m_levelCombo->currentText())};
    const int row = m_userList->currentRow();
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
    m_editGroup->hide();
    m_okButton->setEnabled(false);
}

void UserAdminWindow::closeUserAdmin() {
    close();
}
