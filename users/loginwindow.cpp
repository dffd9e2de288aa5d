#include "users/loginwindow.h"

#include "app/session.h"
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
    , Label1(new QLabel(QStringLiteral("Nome utente"), this))
    , uid(new QLineEdit(this))
    , Label2(new QLabel(QStringLiteral("Password"), this))
    , pws(new QLineEdit(this))
    , Command1(new QPushButton(QStringLiteral("Ok"), this)) {
    setObjectName(QStringLiteral("Accesso"));
    setProperty("quilletForm", true);
    setWindowTitle(QStringLiteral("Accesso"));
    setWindowIcon(QIcon(QStringLiteral(":/icons/quillet.svg")));
    platform::nameControls({{Label1, "Label1"},
                            {uid, "uid"},
                            {Label2, "Label2"},
                            {pws, "pws"},
                            {Command1, "Command1"}});
    // The main window takes over after the login; closing this one alone must not end the
    // program behind the caller's back.
    setAttribute(Qt::WA_QuitOnClose, false);
    pws->setEchoMode(QLineEdit::Password);
    Label1->setBuddy(uid);
    Label2->setBuddy(pws);
    Command1->setDefault(true);

    auto* form = new QFormLayout;
    form->addRow(Label1, uid);
    form->addRow(Label2, pws);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(Command1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addLayout(buttons);
    setMinimumWidth(320);

    handler::onClick(Command1, [this] { logIn(); });
}

void LoginWindow::logIn() {
    auto& state = m_session;
    switch (users::login(state.appFolder, uid->text(), pws->text())) {
    case users::Login::Accepted:
        state.currentUser = uid->text();
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
