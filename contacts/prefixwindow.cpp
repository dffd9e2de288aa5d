#include "contacts/prefixwindow.h"

#include "app/session.h"
#include "contacts/prefixes.h"
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
    , Label1(new QLabel(QStringLiteral("Prefissi Esistenti"), this))
    , List1(new QListWidget(this))
    , Label2(new QLabel(QStringLiteral("Nuovo Prefisso"), this))
    , Text1(new QLineEdit(this))
    , Command1(platform::iconButton(this, "Command1", "salvati", QStringLiteral("Salva")))
    , Command2(new QPushButton(style()->standardIcon(QStyle::SP_ArrowUp),
                               QStringLiteral("Sposta su"), this))
    , Command3(new QPushButton(style()->standardIcon(QStyle::SP_ArrowDown),
                               QStringLiteral("Sposta giù"), this)) {
    setObjectName(QStringLiteral("Form8"));
    setProperty("quilletForm", true);
    setWindowTitle(QStringLiteral("Inserimento Nuovi Prefissi"));
    platform::nameControls({{Label1, "Label1"},
                            {List1, "List1"},
                            {Label2, "Label2"},
                            {Text1, "Text1"},
                            {Command2, "Command2"},
                            {Command3, "Command3"}});
    Command1->setDefault(true);
    List1->setUniformItemSizes(true);
    List1->setToolTip(QStringLiteral("Doppio clic su un prefisso per toglierlo dalla lista"));
    Label1->setBuddy(List1);
    Label2->setBuddy(Text1);

    auto* moves = new QVBoxLayout;
    moves->addWidget(Command2);
    moves->addWidget(Command3);
    moves->addStretch(1);
    auto* grid = new QGridLayout;
    grid->addWidget(Label1, 0, 0);
    grid->addWidget(List1, 1, 0);
    grid->addLayout(moves, 1, 1);
    grid->addWidget(Label2, 2, 0);
    grid->addWidget(Text1, 3, 0);
    grid->addWidget(Command1, 3, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    setMinimumSize(320, 360);

    handler::onClick(Command1, [this] { savePrefixes(); });
    connect(Command2, &QPushButton::clicked, this, [this] { movePrefixUp(); });
    connect(Command3, &QPushButton::clicked, this, [this] { movePrefixDown(); });
    connect(List1, &QListWidget::itemDoubleClicked, this, [this] { removePrefix(); });
    loadPrefixes();
}

void PrefixWindow::loadPrefixes() {
    List1->addItems(contacts::prefixes::read(m_session.appFolder));
}

void PrefixWindow::savePrefixes() {
    QStringList entries;
    entries.reserve(List1->count() + 1);
    for (int i = 0; i < List1->count(); ++i)
        entries.append(List1->item(i)->text());
    const QString added = Text1->text();
    if (!added.isEmpty())
        entries.append(added);
    if (!contacts::prefixes::write(m_session.appFolder, entries)) {
        platform::MsgBox(QStringLiteral("Impossibile salvare il file dei prefissi."),
                         platform::Icon::Critical);
        return;
    }
    if (!added.isEmpty())
        List1->addItem(added);
    Text1->clear();
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
    const int row = List1->currentRow();
    const int target = row + step;
    if (row < 0 || target < 0 || target >= List1->count() || List1->item(row)->text().isEmpty())
        return;
    QListWidgetItem* item = List1->takeItem(row);
    List1->insertItem(target, item);
    List1->setFocus();
    List1->setCurrentRow(target);
}

void PrefixWindow::removePrefix() {
    const int row = List1->currentRow();
    if (row >= 0)
        delete List1->takeItem(row);
}
