#include "messaging/senderheaderwindow.h"

#include "core/session.h"
#include "platform/controls.h"
#include "platform/dialogs.h"
#include "platform/textfile.h"
#include "windows/handler.h"

#include <QDir>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <QValidator>

namespace {

constexpr int headerLength = 11;

QString headerFile(const QString& appFolder) {
    return QDir(appFolder).filePath(QStringLiteral("intestazione"));
}

// Accepts only text the header file can store: a character Windows-1252 has no byte for
// would be saved as '?'.
class Cp1252Validator final : public QValidator {
public:
    using QValidator::QValidator;
    State validate(QString& input, int&) const override {
        using namespace platform;
        return TextFile::decode(TextFile::encode(input)) == input ? Acceptable : Invalid;
    }
};

} // namespace

SenderHeaderWindow::SenderHeaderWindow(Session& session, QWidget* parent)
    : QDialog(parent)
    , m_session(session)
    , m_headingLabel(new QLabel(QStringLiteral("Intestazione SMS"), this))
    , m_explanationLabel(
          new QLabel(QStringLiteral("L'intestazione degli SMS è il mittente del messaggio; è "
                                    "possibile inserire al massimo 11 caratteri, ad esempio "
                                    "il proprio numero di cellulare o un qualsiasi testo "
                                    "numerico o alfanumerico"),
                     this))
    , m_noteLabel(new QLabel(QStringLiteral("Solo per SMS Alta qualità "), this))
    , m_headerEdit(new QLineEdit(this))
    , m_saveButton(platform::iconButton(this, "Command1", "salvati", QStringLiteral("Salva")))
    , m_closeButton(platform::iconButton(this, "Command2", "cancella", QStringLiteral("Chiudi"))) {
    setObjectName(QStringLiteral("Form7"));
    setProperty("quilletForm", true);
    setWindowTitle(QStringLiteral("Intestazione SMS"));
    platform::nameControls({{m_headingLabel, "Label1"},
                            {m_explanationLabel, "Label2"},
                            {m_noteLabel, "Label3"},
                            {m_headerEdit, "Text1"}});
    m_saveButton->setDefault(true);

    QFont heading = m_headingLabel->font();
    heading.setBold(true);
    heading.setPointSizeF(heading.pointSizeF() * 1.3);
    m_headingLabel->setFont(heading);
    m_explanationLabel->setWordWrap(true);
    m_headerEdit->setMaxLength(headerLength);
    m_headerEdit->setValidator(new Cp1252Validator(m_headerEdit));

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(m_saveButton);
    buttons->addWidget(m_closeButton);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_headingLabel);
    layout->addWidget(m_explanationLabel);
    layout->addSpacing(4);
    layout->addWidget(m_headerEdit);
    layout->addWidget(m_noteLabel);
    layout->addSpacing(8);
    layout->addLayout(buttons);
    setMinimumWidth(420);

    handler::onClick(m_saveButton, [this] { saveSenderHeader(); });
    connect(m_closeButton, &QPushButton::clicked, this, [this] { closeSenderHeader(); });
    loadSenderHeader();
}

void SenderHeaderWindow::loadSenderHeader() {
    // A missing or unreadable file leaves the box empty.
    m_headerEdit->setText(
        platform::TextFile::readFirstLine(headerFile(m_session.appFolder)).value_or(QString()));
}

void SenderHeaderWindow::saveSenderHeader() {
    const QString header = m_headerEdit->text();
    if (!platform::TextFile::replaceLines(headerFile(m_session.appFolder), {header})) {
        platform::MsgBox(QStringLiteral("Si è verificato un errore"), platform::Icon::None);
        reject();
        return;
    }
    m_session.senderHeader = header;
    platform::MsgBox(QStringLiteral("Intestazione Modificata correttamente"), platform::Icon::None);
    accept();
}

void SenderHeaderWindow::closeSenderHeader() {
    reject();
}
