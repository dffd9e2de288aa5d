#include "windows/disclaimerwindow.h"

#include "core/maker.h"
#include "core/session.h"
#include "platform/controls.h"
#include "platform/dialogs.h"
#include "platform/textfile.h"
#include "windows/handler.h"

#include <QDir>
#include <QFrame>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

constexpr int logoSize = 96;
constexpr int sideWidth = 180;

QString mostraFile(const QString& appFolder) {
    return QDir(appFolder).filePath(QStringLiteral("mostra.txt"));
}

} // namespace

DisclaimerWindow::DisclaimerWindow(Session& session, QWidget* parent)
    : QDialog(parent)
    , m_session(session)
    , m_termsFrame(new QFrame(this))
    , m_termsEdit(new QPlainTextEdit(m_termsFrame))
    , m_acceptButton(new QPushButton(QStringLiteral("Accetto"), m_termsFrame))
    , m_refuseButton(new QPushButton(QStringLiteral("Rifiuto"), m_termsFrame))
    , m_logoLabel(new QLabel(this))
    , m_addressLabel(new QLabel(maker::postalLabel(), this))
    , m_webLabel(new QLabel(maker::web(), this)) {
    setObjectName(QStringLiteral("Form9"));
    setProperty("quilletForm", true);
    setWindowTitle(QStringLiteral("Quillet"));
    setWindowIcon(QIcon(QStringLiteral(":/icons/quillet.svg")));
    platform::nameControls({{m_termsFrame, "Frame1"},
                            {m_termsEdit, "Text1"},
                            {m_acceptButton, "Command1"},
                            {m_refuseButton, "Command2"},
                            {m_logoLabel, "Image1"},
                            {m_addressLabel, "Label1"},
                            {m_webLabel, "Label2"}});
    // The main window takes over when the disclaimer is accepted; closing this one alone
    // must not end the program.
    setAttribute(Qt::WA_QuitOnClose, false);

    buildTerms();
    QLayout* side = buildSide();
    auto* layout = new QHBoxLayout(this);
    layout->addLayout(side);
    layout->addWidget(m_termsFrame, 1);
    resize(760, 500);

    handler::onClick(m_acceptButton, [this] { acceptTerms(); });
    connect(m_refuseButton, &QPushButton::clicked, this, [this] { refuseTerms(); });
}

// The terms in a frame, with Accetto and Rifiuto below them.
void DisclaimerWindow::buildTerms() {
    // Accepting takes a deliberate click: Enter does not press either button.
    m_acceptButton->setAutoDefault(false);
    m_refuseButton->setAutoDefault(false);
    m_termsFrame->setFrameShape(QFrame::StyledPanel);
    m_termsEdit->setReadOnly(true);
    m_termsEdit->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(m_acceptButton);
    buttons->addWidget(m_refuseButton);
    auto* frame = new QVBoxLayout(m_termsFrame);
    frame->addWidget(m_termsEdit, 1);
    frame->addLayout(buttons);
}

// The logo, the maker's postal address and, at the bottom, its web address.
QLayout* DisclaimerWindow::buildSide() {
    m_logoLabel->setPixmap(
        QIcon(QStringLiteral(":/icons/quillet.svg")).pixmap(logoSize, logoSize, QIcon::Normal));
    m_logoLabel->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    m_addressLabel->setWordWrap(true);
    m_addressLabel->setAlignment(Qt::AlignHCenter);
    m_addressLabel->setFixedWidth(sideWidth);
    m_webLabel->setAlignment(Qt::AlignHCenter);
    QFont bold = m_webLabel->font();
    bold.setBold(true);
    m_webLabel->setFont(bold);
    auto* side = new QVBoxLayout;
    side->addSpacing(8);
    side->addWidget(m_logoLabel);
    side->addSpacing(12);
    side->addWidget(m_addressLabel);
    side->addStretch(1);
    side->addWidget(m_webLabel);
    side->addSpacing(8);
    return side;
}

bool DisclaimerWindow::termsDue(const QString& appFolder) {
    // A missing or empty file counts as any other flag: the disclaimer stays away.
    return platform::TextFile::readFirstLine(mostraFile(appFolder)) == QLatin1String("1");
}

QString DisclaimerWindow::termsText(const QString& appFolder) {
    const auto lines =
        platform::TextFile::readLines(QDir(appFolder).filePath(QStringLiteral("disclaimer.txt")));
    QString text;
    for (const QString& line : lines.value_or(QStringList{}))
        text += QLatin1String("\r\n") + line;
    return text;
}

void DisclaimerWindow::loadDisclaimer() {
    m_termsEdit->setPlainText(termsText(m_session.appFolder));
    m_termsEdit->setFocus();
}

void DisclaimerWindow::acceptTerms() {
    if (!platform::TextFile::replaceLines(mostraFile(m_session.appFolder), {QStringLiteral("0")}))
        platform::MsgBox(QStringLiteral("Impossibile registrare l'accettazione nel file "
                                        "mostra.txt: le condizioni d'uso verranno mostrate di "
                                        "nuovo al prossimo avvio."),
                         platform::Icon::Exclamation);
    accept();
}

void DisclaimerWindow::refuseTerms() {
    reject();
}
