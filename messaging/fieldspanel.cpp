#include "messaging/fieldspanel.h"

#include "store/database.h"
#include "store/storeerror.h"

#include <QFileInfo>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QToolButton>
#include <QVBoxLayout>

namespace {
constexpr int previewTexts = 3;
}

FieldsPanel::FieldsPanel(QString bookPath, QWidget* parent)
    : QWidget(parent)
    , m_bookPath(std::move(bookPath))
    , m_insertButton(new QToolButton(this))
    , m_previewButton(new QPushButton(QStringLiteral("Anteprima"), this))
    , m_preview(new QPlainTextEdit(parent)) {
    m_insertButton->setObjectName(QStringLiteral("cmdCampo"));
    m_previewButton->setObjectName(QStringLiteral("cmdAnteprima"));
    m_preview->setObjectName(QStringLiteral("txtAnteprima"));
    m_insertButton->setText(QStringLiteral("Inserisci campo"));
    m_insertButton->setPopupMode(QToolButton::InstantPopup);
    auto* menu = new QMenu(m_insertButton);
    for (const QString& field :
         {textfields::nameField, textfields::surnameField, textfields::numberField}) {
        QAction* action = menu->addAction(field);
        action->setObjectName(QStringLiteral("mnuCampo") + field.mid(1).chopped(1));
        connect(action, &QAction::triggered, this, [this, field] { emit fieldChosen(field); });
    }
    m_insertButton->setMenu(menu);
    m_previewButton->setCheckable(true);
    m_previewButton->setToolTip(QStringLiteral("I primi tre testi come li riceveranno"));
    m_preview->setReadOnly(true);
    m_preview->setMinimumHeight(130);
    m_preview->setMaximumHeight(170);
    m_preview->hide();
    connect(m_previewButton, &QPushButton::toggled, this, [this](bool on) {
        m_preview->setVisible(on);
        emit previewToggled();
    });
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_insertButton);
    layout->addWidget(m_previewButton);
    layout->addStretch(1);
}

FieldsPanel::~FieldsPanel() = default;

QList<textfields::Filled> FieldsPanel::fill(const QString& text, const QStringList& numbers) {
    if (!textfields::hasFields(text))
        return {};
    if (!m_people) {
        try {
            if (QFileInfo(m_bookPath).isFile())
                m_book = store::Database::open(m_bookPath);
        } catch (const store::StoreError&) {
            m_book.reset();
        }
        // No book: every recipient is a number not in it.
        m_people = m_book ? std::make_unique<textfields::People>(*m_book)
                          : std::make_unique<textfields::People>();
    }
    return textfields::fillAll(text, numbers, *m_people);
}

void FieldsPanel::showPreview(const QString& text, const QList<textfields::Filled>& filled) {
    if (!m_previewButton->isChecked())
        return;
    QStringList shown;
    for (const auto& one : filled.mid(0, previewTexts))
        shown << textfields::recipientName(one) + QStringLiteral(":\n") + one.text;
    m_preview->setPlainText(filled.isEmpty() ? text : shown.join(QStringLiteral("\n\n")));
}
