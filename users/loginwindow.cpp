#include "users/loginwindow.h"

#include "core/session.h"
#include "platform/controls.h"
#include "platform/dialogs.h"
#include "users/useradminwindow.h"
#include "users/userfile.h"
#include "windows/handler.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

LoginWindow::LoginWindow(Session& session, QWidget* parent)
    : QDialog(parent)
    , m_session(session)
    , m_userNameLabel(new QLabel(QStringLiteral("Nome utente"), this))
    , m_userNameEdit(new QLineEdit(this))
    , m_passwordLabel(new QLabel(QStringLiteral("Password"), this))
    , m_passwordEdit(new QLineEdit(this))
    , m_okButton(new QPushButton(QStringLiteral("Ok"), this)) {
    setObjectName(QStringLiteral("Accesso"));
    setProperty("quilletForm", true);
    setWindowTitle(QStringLiteral("Accesso"));
    setWindowIcon(QIcon(QStringLiteral(":/icons/quillet.svg")));
    platform::nameControls({{m_userNameLabel, "Label1"},
                            {m_userNameEdit, "uid"},
                            {m_passwordLabel, "Label2"},
                            {m_passwordEdit, "pws"},
                            {m_okButton, "Command1"}});
    // The main window takes over after the login; closing this one alone must not end the
    // program behind the caller's back.
    setAttribute(Qt::WA_QuitOnClose, false);
    m_passwordEdit->setEchoMode(QLineEdit::Password);
    m_userNameLabel->setBuddy(m_userNameEdit);
    m_passwordLabel->setBuddy(m_passwordEdit);
    m_okButton->setDefault(true);

    auto* form = new QFormLayout;
    form->addRow(m_userNameLabel, m_userNameEdit);
    form->addRow(m_passwordLabel, m_passwordEdit);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(m_okButton);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addLayout(buttons);
    setMinimumWidth(320);

    handler::onClick(m_okButton, [this] { logIn(); });
}

void LoginWindow::logIn() {
    auto& state = m_session;
    switch (users::login(state.appFolder, m_userNameEdit->text(), m_passwordEdit->text())) {
    case users::Login::Accepted:
        state.currentUser = m_userNameEdit->text();
        accept();
        return;
    case users::Login::Refused:
        platform::MsgBox(QStringLiteral("Nome utente o Password errati"), platform::Icon::Critical);
        return;
    case users::Login::FileCreated: {
        // No users yet: the administration opens so that a first one can be added.
        auto* administration = new UserAdminWindow(m_session, this);
        administration->setAttribute(Qt::WA_DeleteOnClose);
        administration->show();
        return;
    }
    case users::Login::Unreadable:
        platform::MsgBox(QStringLiteral("Impossibile leggere il file degli utenti tempaccesso."),
                         platform::Icon::Critical);
        return;
    }
}
