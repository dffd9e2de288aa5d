#include "messaging/accountwindow.h"

#include "core/session.h"
#include "messaging/account.h"
#include "messaging/service.h"
#include "platform/controls.h"
#include "platform/dialogs.h"
#include "windows/handler.h"

#include <QEvent>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QVBoxLayout>

AccountWindow::AccountWindow(Session& session, QWidget* parent)
    : QDialog(parent)
    , m_session(session)
    , m_userNameEdit(new QLineEdit(this))
    , m_passwordEdit(new QLineEdit(this))
    , m_accountRequestLabel(new QLabel(QStringLiteral("Richiedi Nome Utente e Password"), this))
    , m_saveButton(platform::iconButton(this, "Command1", "salvati", QStringLiteral("Salva")))
    , m_closeButton(platform::iconButton(this, "Command2", "cancella", QStringLiteral("Chiudi"))) {
    setObjectName(QStringLiteral("Form6"));
    setProperty("quilletForm", true);
    setWindowTitle(QStringLiteral("Account Servizio SMS"));
    platform::nameControls({{m_userNameEdit, "ui"}, {m_passwordEdit, "pw"}});
    m_passwordEdit->setEchoMode(QLineEdit::Password);
    m_accountRequestLabel->setObjectName(QStringLiteral("Label3"));
    m_saveButton->setDefault(true);

    QFont link = m_accountRequestLabel->font();
    link.setUnderline(true);
    m_accountRequestLabel->setFont(link);
    QPalette blue = m_accountRequestLabel->palette();
    blue.setColor(QPalette::WindowText, QColor(0x1e, 0x6f, 0xb8));
    m_accountRequestLabel->setPalette(blue);
    m_accountRequestLabel->setCursor(Qt::PointingHandCursor);
    m_accountRequestLabel->installEventFilter(this);

    auto* fields = new QFormLayout;
    fields->addRow(QStringLiteral("Nome Utente"), m_userNameEdit);
    fields->addRow(QStringLiteral("Password"), m_passwordEdit);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(m_saveButton);
    buttons->addWidget(m_closeButton);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(fields);
    layout->addWidget(m_accountRequestLabel);
    layout->addSpacing(8);
    layout->addLayout(buttons);
    setMinimumWidth(360);

    handler::onClick(m_saveButton, [this] { saveAccount(); });
    connect(m_closeButton, &QPushButton::clicked, this, [this] { closeAccount(); });
    loadAccount();
}

void AccountWindow::loadAccount() {
    const auto fields = account::read(m_session.appFolder);
    if (!fields)
        return;
    m_userNameEdit->setText(fields->value(0));
    m_passwordEdit->setText(fields->value(1));
}

void AccountWindow::saveAccount() {
    if (m_userNameEdit->text().isEmpty())
        return;
    if (m_passwordEdit->text().isEmpty()) {
        platform::MsgBox(QStringLiteral("Inserire il Campo Password"), platform::Icon::Information);
        return;
    }
    // The file keeps "user-password": a "-" in the name would move the rest into the password.
    if (m_userNameEdit->text().contains(QLatin1Char('-'))) {
        platform::MsgBox(QStringLiteral("Il Nome Utente non può contenere il carattere \"-\""),
                         platform::Icon::Critical);
        return;
    }
    auto& state = m_session;
    if (!account::save(state.appFolder, m_userNameEdit->text(), m_passwordEdit->text())) {
        platform::MsgBox(QStringLiteral("Impossibile salvare l'account nel file registrazione."),
                         platform::Icon::Critical);
        return;
    }
    accept();
}

void AccountWindow::closeAccount() {
    reject();
}

void AccountWindow::openAccountRequestPage() {
    const auto& state = m_session;
    platform::openUrl(
        service::pageUrl(state.service, QStringLiteral("cgi-bin/affiliate/programma.pl?") +
                                            service::affiliateQuery(state.affiliate)));
}

bool AccountWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_accountRequestLabel && event->type() == QEvent::MouseButtonRelease &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton)
        handler::run([this] { openAccountRequestPage(); });
    return QDialog::eventFilter(watched, event);
}
