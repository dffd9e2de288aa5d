#include "contacts/prefixwindow.h"

#include "contacts/prefixes.h"
#include "core/session.h"
#include "platform/controls.h"
#include "platform/dialogs.h"
#include "windows/handler.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

PrefixWindow::PrefixWindow(Session& session, QWidget* parent)
    : QDialog(parent)
    , m_session(session)
    , m_prefixesLabel(new QLabel(QStringLiteral("Prefissi Esistenti"), this))
    , m_prefixList(new QListWidget(this))
    , m_newPrefixLabel(new QLabel(QStringLiteral("Nuovo Prefisso"), this))
    , m_newPrefixEdit(new QLineEdit(this))
    , m_saveButton(platform::iconButton(this, "Command1", "salvati", QStringLiteral("Salva")))
    , m_upButton(new QPushButton(style()->standardIcon(QStyle::SP_ArrowUp),
                                 QStringLiteral("Sposta su"), this))
    , m_downButton(new QPushButton(style()->standardIcon(QStyle::SP_ArrowDown),
                                   QStringLiteral("Sposta giù"), this)) {
    setObjectName(QStringLiteral("Form8"));
    setProperty("quilletForm", true);
    setWindowTitle(QStringLiteral("Inserimento Nuovi Prefissi"));
    platform::nameControls({{m_prefixesLabel, "Label1"},
                            {m_prefixList, "List1"},
                            {m_newPrefixLabel, "Label2"},
                            {m_newPrefixEdit, "Text1"},
                            {m_upButton, "Command2"},
                            {m_downButton, "Command3"}});
    m_saveButton->setDefault(true);
    m_prefixList->setUniformItemSizes(true);
    m_prefixList->setToolTip(
        QStringLiteral("Doppio clic su un prefisso per toglierlo dalla lista"));
    m_prefixesLabel->setBuddy(m_prefixList);
    m_newPrefixLabel->setBuddy(m_newPrefixEdit);

    auto* moves = new QVBoxLayout;
    moves->addWidget(m_upButton);
    moves->addWidget(m_downButton);
    moves->addStretch(1);
    auto* grid = new QGridLayout;
    grid->addWidget(m_prefixesLabel, 0, 0);
    grid->addWidget(m_prefixList, 1, 0);
    grid->addLayout(moves, 1, 1);
    grid->addWidget(m_newPrefixLabel, 2, 0);
    grid->addWidget(m_newPrefixEdit, 3, 0);
    grid->addWidget(m_saveButton, 3, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    setMinimumSize(320, 360);

    handler::onClick(m_saveButton, [this] { savePrefixes(); });
    connect(m_upButton, &QPushButton::clicked, this, [this] { movePrefixUp(); });
    connect(m_downButton, &QPushButton::clicked, this, [this] { movePrefixDown(); });
    connect(m_prefixList, &QListWidget::itemDoubleClicked, this, [this] { removePrefix(); });
    loadPrefixes();
}

void PrefixWindow::loadPrefixes() {
    m_prefixList->addItems(contacts::prefixes::read(m_session.appFolder));
}

void PrefixWindow::savePrefixes() {
    QStringList entries;
    entries.reserve(m_prefixList->count() + 1);
    for (int i = 0; i < m_prefixList->count(); ++i)
        entries.append(m_prefixList->item(i)->text());
    const QString added = m_newPrefixEdit->text();
    if (!added.isEmpty())
        entries.append(added);
    if (!contacts::prefixes::write(m_session.appFolder, entries)) {
        platform::MsgBox(QStringLiteral("Impossibile salvare il file dei prefissi."),
                         platform::Icon::Critical);
        return;
    }
    if (!added.isEmpty())
        m_prefixList->addItem(added);
    m_newPrefixEdit->clear();
}

void PrefixWindow::movePrefixUp() {
    move(-1);
}

void PrefixWindow::movePrefixDown() {
    move(1);
}

// Moves the selected entry one place; an empty entry, the first one up and the last one down
// stay where they are.
void PrefixWindow::move(int step) {
    const int row = m_prefixList->currentRow();
    const int target = row + step;
    if (row < 0 || target < 0 || target >= m_prefixList->count() ||
        m_prefixList->item(row)->text().isEmpty())
        return;
    QListWidgetItem* item = m_prefixList->takeItem(row);
    m_prefixList->insertItem(target, item);
    m_prefixList->setFocus();
    m_prefixList->setCurrentRow(target);
}

void PrefixWindow::removePrefix() {
    const int row = m_prefixList->currentRow();
    if (row >= 0)
        delete m_prefixList->takeItem(row);
}
