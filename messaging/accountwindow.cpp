#include "messaging/accountwindow.h"

#include "app/session.h"
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
    , ui(new QLineEdit(this))
    , pw(new QLineEdit(this))
    , Label3(new QLabel(QStringLiteral("Richiedi Nome Utente e Password"), this))
    , Command1(platform::iconButton(this, "Command1", "salvati", QStringLiteral("Salva")))
    , Command2(platform::iconButton(this, "Command2", "cancella", QStringLiteral("Chiudi"))) {
    setObjectName(QStringLiteral("Form6"));
    setProperty("quilletForm", true);
    setWindowTitle(QStringLiteral("Account Servizio SMS"));
    platform::nameControls({{ui, "ui"}, {pw, "pw"}});
    pw->setEchoMode(QLineEdit::Password);
    Label3->setObjectName(QStringLiteral("Label3"));
    Command1->setDefault(true);

    QFont link = Label3->font();
    link.setUnderline(true);
    Label3->setFont(link);
    QPalette blue = Label3->palette();
    blue.setColor(QPalette::WindowText, QColor(0x1e, 0x6f, 0xb8));
    Label3->setPalette(blue);
    Label3->setCursor(Qt::PointingHandCursor);
    Label3->installEventFilter(this);

    auto* fields = new QFormLayout;
    fields->addRow(QStringLiteral("Nome Utente"), ui);
    fields->addRow(QStringLiteral("Password"), pw);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(Command1);
    buttons->addWidget(Command2);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(fields);
    layout->addWidget(Label3);
    layout->addSpacing(8);
    layout->addLayout(buttons);
    setMinimumWidth(360);

    handler::onClick(Command1, [this] { saveAccount(); });
    connect(Command2, &QPushButton::clicked, this, [this] { closeAccount(); });
    loadAccount();
}

void AccountWindow::loadAccount() {
    const auto fields = account::read(m_session.appFolder);
    if (!fields)
        return;
    ui->setText(fields->value(0));
    pw->setText(fields->value(1));
}

void AccountWindow::saveAccount() {
    if (ui->text().isEmpty())
        return;
    if (pw->text().isEmpty()) {
        platform::MsgBox(QStringLiteral("Inserire il Campo Password"), platform::Icon::Information);
        return;
    }
    // The file keeps "user-password": a "-" in the name would move the rest into the password.
    if (ui->text().contains(QLatin1Char('-'))) {
        platform::MsgBox(QStringLiteral("Il Nome Utente non può contenere il carattere \"-\""),
                         platform::Icon::Critical);
        return;
    }
    auto& state = m_session;
    if (!account::save(state.appFolder, ui->text(), pw->text())) {
        platform::MsgBox(QStringLiteral("Impossibile salvare l'account nel file registrazione."),
                         platform::Icon::Critical);
        return;
    }
    state.account = account::read(state.appFolder).value_or(QStringList{});
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
    if (watched == Label3 && event->type() == QEvent::MouseButtonRelease &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton)
        handler::run([this] { openAccountRequestPage(); });
    return QDialog::eventFilter(watched, event);
}
