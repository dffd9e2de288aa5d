#include "windows/aboutbox.h"

#include "core/maker.h"
#include "platform/controls.h"

#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

AboutBox::AboutBox(QWidget* parent)
    : QDialog(parent)
    , m_logoLabel(new QLabel(this))
    , m_versionLabel(new QLabel(QStringLiteral("Quillet ver 1.1a"), this))
    , m_addressLabel(new QLabel(maker::postalLabel(), this))
    , m_emailLabel(new QLabel(QStringLiteral("E-mail: ") + maker::email(), this))
    , m_webLabel(new QLabel(QStringLiteral("Web: ") + maker::web(), this))
    , m_closeButton(platform::iconButton(this, "Command1", "cancella", QStringLiteral("Chiudi"))) {
    setObjectName(QStringLiteral("Form11"));
    setProperty("quilletForm", true);
    setWindowTitle(QStringLiteral("Info"));
    platform::nameControls({{m_logoLabel, "Image1"},
                            {m_versionLabel, "Label1"},
                            {m_addressLabel, "Label2"},
                            {m_emailLabel, "Label3"},
                            {m_webLabel, "Label4"}});
    m_closeButton->setDefault(true);

    m_logoLabel->setPixmap(QIcon(QStringLiteral(":/icons/quillet.svg")).pixmap(64, 64));
    m_logoLabel->setAlignment(Qt::AlignTop);
    QFont heading = m_versionLabel->font();
    heading.setBold(true);
    heading.setPointSizeF(heading.pointSizeF() * 1.4);
    m_versionLabel->setFont(heading);
    for (QLabel* label : {m_addressLabel, m_emailLabel, m_webLabel})
        label->setTextInteractionFlags(Qt::TextSelectableByMouse);

    auto* texts = new QVBoxLayout;
    texts->addWidget(m_versionLabel);
    texts->addSpacing(8);
    texts->addWidget(m_addressLabel);
    texts->addWidget(m_emailLabel);
    texts->addWidget(m_webLabel);
    auto* top = new QHBoxLayout;
    top->addWidget(m_logoLabel);
    top->addSpacing(12);
    top->addLayout(texts, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(m_closeButton);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addSpacing(12);
    layout->addLayout(buttons);
    setMinimumWidth(360);

    connect(m_closeButton, &QPushButton::clicked, this, [this] { closeAbout(); });
}

void AboutBox::closeAbout() {
    close();
}
