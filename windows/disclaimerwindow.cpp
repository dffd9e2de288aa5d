#include "windows/disclaimerwindow.h"

#include "app/maker.h"
#include "app/session.h"
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
    , Frame1(new QFrame(this))
    , Text1(new QPlainTextEdit(Frame1))
    , Command1(new QPushButton(QStringLiteral("Accetto"), Frame1))
    , Command2(new QPushButton(QStringLiteral("Rifiuto"), Frame1))
    , Image1(new QLabel(this))
    , Label1(new QLabel(maker::postalLabel(), this))
    , Label2(new QLabel(maker::web(), this)) {
    setObjectName(QStringLiteral("Form9"));
    setProperty("quilletForm", true);
    setWindowTitle(QStringLiteral("Quillet"));
    setWindowIcon(QIcon(QStringLiteral(":/icons/quillet.svg")));
    platform::nameControls({{Frame1, "Frame1"},
                            {Text1, "Text1"},
                            {Command1, "Command1"},
                            {Command2, "Command2"},
                            {Image1, "Image1"},
                            {Label1, "Label1"},
                            {Label2, "Label2"}});
    // The main window takes over when the disclaimer is accepted; closing this one alone
    // must not end the program.
    setAttribute(Qt::WA_QuitOnClose, false);

    // Accepting takes a deliberate click: Enter does not press either button.
    Command1->setAutoDefault(false);
    Command2->setAutoDefault(false);
    Frame1->setFrameShape(QFrame::StyledPanel);
    Text1->setReadOnly(true);
    Text1->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    Image1->setPixmap(
        QIcon(QStringLiteral(":/icons/quillet.svg")).pixmap(logoSize, logoSize, QIcon::Normal));
    Image1->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    Label1->setWordWrap(true);
    Label1->setAlignment(Qt::AlignHCenter);
    Label1->setFixedWidth(sideWidth);
    Label2->setAlignment(Qt::AlignHCenter);
    QFont bold = Label2->font();
    bold.setBold(true);
    Label2->setFont(bold);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(Command1);
    buttons->addWidget(Command2);
    auto* frame = new QVBoxLayout(Frame1);
    frame->addWidget(Text1, 1);
    frame->addLayout(buttons);

    auto* side = new QVBoxLayout;
    side->addSpacing(8);
    side->addWidget(Image1);
    side->addSpacing(12);
    side->addWidget(Label1);
    side->addStretch(1);
    side->addWidget(Label2);
    side->addSpacing(8);

    auto* layout = new QHBoxLayout(this);
    layout->addLayout(side);
    layout->addWidget(Frame1, 1);
    resize(760, 500);

    handler::onClick(Command1, [this] { acceptTerms(); });
    connect(Command2, &QPushButton::clicked, this, [this] { refuseTerms(); });
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
    Text1->setPlainText(termsText(m_session.appFolder));
    Text1->setFocus();
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
