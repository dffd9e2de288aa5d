#include "windows/aboutbox.h"

#include "app/maker.h"
#include "platform/controls.h"

#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

AboutBox::AboutBox(QWidget* parent)
    : QDialog(parent)
    , Image1(new QLabel(this))
    , Label1(new QLabel(QStringLiteral("Quillet ver 1.1a"), this))
    , Label2(new QLabel(maker::postalLabel(), this))
    , Label3(new QLabel(QStringLiteral("E-mail: ") + maker::email(), this))
    , Label4(new QLabel(QStringLiteral("Web: ") + maker::web(), this))
    , Command1(platform::iconButton(this, "Command1", "cancella", QStringLiteral("Chiudi"))) {
    setObjectName(QStringLiteral("Form11"));
    setProperty("quilletForm", true);
    setWindowTitle(QStringLiteral("Info"));
    platform::nameControls({{Image1, "Image1"},
                            {Label1, "Label1"},
                            {Label2, "Label2"},
                            {Label3, "Label3"},
                            {Label4, "Label4"}});
    Command1->setDefault(true);

    Image1->setPixmap(QIcon(QStringLiteral(":/icons/quillet.svg")).pixmap(64, 64));
    Image1->setAlignment(Qt::AlignTop);
    QFont heading = Label1->font();
    heading.setBold(true);
    heading.setPointSizeF(heading.pointSizeF() * 1.4);
    Label1->setFont(heading);
    for (QLabel* label : {Label2, Label3, Label4})
        label->setTextInteractionFlags(Qt::TextSelectableByMouse);

    auto* texts = new QVBoxLayout;
    texts->addWidget(Label1);
    texts->addSpacing(8);
    texts->addWidget(Label2);
    texts->addWidget(Label3);
    texts->addWidget(Label4);
    auto* top = new QHBoxLayout;
    top->addWidget(Image1);
    top->addSpacing(12);
    top->addLayout(texts, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(Command1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addSpacing(12);
    layout->addLayout(buttons);
    setMinimumWidth(360);

    connect(Command1, &QPushButton::clicked, this, [this] { closeAbout(); });
}

void AboutBox::closeAbout() {
    close();
}
