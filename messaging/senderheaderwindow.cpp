#include "messaging/senderheaderwindow.h"

#include "app/session.h"
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
    , Label1(new QLabel(QStringLiteral("Intestazione SMS"), this))
    , Label2(new QLabel(QStringLiteral("L'intestazione degli SMS è il mittente del messaggio; è "
                                       "possibile inserire al massimo 11 caratteri, ad esempio "
                                       "il proprio numero di cellulare o un qualsiasi testo "
                                       "numerico o alfanumerico"),
                        this))
    , Label3(new QLabel(QStringLiteral("Solo per SMS Alta qualità "), this))
    , Text1(new QLineEdit(this))
    , Command1(platform::iconButton(this, "Command1", "salvati", QStringLiteral("Salva")))
    , Command2(platform::iconButton(this, "Command2", "cancella", QStringLiteral("Chiudi"))) {
    setObjectName(QStringLiteral("Form7"));
    setProperty("quilletForm", true);
    setWindowTitle(QStringLiteral("Intestazione SMS"));
    platform::nameControls(
        {{Label1, "Label1"}, {Label2, "Label2"}, {Label3, "Label3"}, {Text1, "Text1"}});
    Command1->setDefault(true);

    QFont heading = Label1->font();
    heading.setBold(true);
    heading.setPointSizeF(heading.pointSizeF() * 1.3);
    Label1->setFont(heading);
    Label2->setWordWrap(true);
    Text1->setMaxLength(headerLength);
    Text1->setValidator(new Cp1252Validator(Text1));

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(Command1);
    buttons->addWidget(Command2);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Label1);
    layout->addWidget(Label2);
    layout->addSpacing(4);
    layout->addWidget(Text1);
    layout->addWidget(Label3);
    layout->addSpacing(8);
    layout->addLayout(buttons);
    setMinimumWidth(420);

    handler::onClick(Command1, [this] { saveSenderHeader(); });
    connect(Command2, &QPushButton::clicked, this, [this] { closeSenderHeader(); });
    loadSenderHeader();
}

void SenderHeaderWindow::loadSenderHeader() {
    // A missing or unreadable file leaves the box empty.
    Text1->setText(
        platform::TextFile::readFirstLine(headerFile(m_session.appFolder)).value_or(QString()));
}

void SenderHeaderWindow::saveSenderHeader() {
    const QString header = Text1->text();
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
