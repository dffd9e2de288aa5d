#include "messaging/templateswindow.h"

#include "platform/controls.h"
#include "platform/dialogs.h"
#include "windows/handler.h"

#include <QGridLayout>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>

TemplatesWindow::TemplatesWindow(QString appFolder, QList<templates::Template> list,
                                 QWidget* parent)
    : QDialog(parent)
    , m_appFolder(std::move(appFolder))
    , m_list(std::move(list))
    , m_nameList(new QListWidget(this))
    , m_textView(new QPlainTextEdit(this))
    , m_insertButton(new QPushButton(QStringLiteral("Inserisci"), this))
    , m_renameButton(new QPushButton(QStringLiteral("Rinomina"), this))
    , m_deleteButton(new QPushButton(QStringLiteral("Elimina"), this))
    , m_closeButton(new QPushButton(QStringLiteral("Chiudi"), this)) {
    setObjectName(QStringLiteral("FormModelli"));
    setProperty("quilletForm", true);
    setWindowTitle(QStringLiteral("Modelli"));
    platform::nameControls({{m_nameList, "List1"},
                            {m_textView, "Text1"},
                            {m_insertButton, "Command1"},
                            {m_renameButton, "Command2"},
                            {m_deleteButton, "Command3"},
                            {m_closeButton, "Command4"}});
    m_textView->setReadOnly(true);
    m_textView->setMaximumHeight(140);
    auto* layout = new QGridLayout(this);
    layout->addWidget(m_nameList, 0, 0, 5, 1);
    layout->addWidget(m_insertButton, 0, 1);
    layout->addWidget(m_renameButton, 1, 1);
    layout->addWidget(m_deleteButton, 2, 1);
    layout->setRowStretch(3, 1);
    layout->addWidget(m_closeButton, 4, 1);
    layout->addWidget(m_textView, 5, 0, 1, 2);
    m_insertButton->setDefault(true);
    setMinimumSize(440, 360);

    connect(m_nameList, &QListWidget::currentRowChanged, this, [this] { showText(); });
    connect(m_nameList, &QListWidget::itemDoubleClicked, this, [this] { insertChosen(); });
    handler::onClick(m_insertButton, [this] { insertChosen(); });
    handler::onClick(m_renameButton, [this] { renameChosen(); });
    handler::onClick(m_deleteButton, [this] { deleteChosen(); });
    connect(m_closeButton, &QPushButton::clicked, this, &QDialog::reject);
    showList();
}

void TemplatesWindow::showList() {
    const int row = std::max(0, m_nameList->currentRow());
    m_nameList->clear();
    for (const auto& t : std::as_const(m_list))
        m_nameList->addItem(t.name);
    m_nameList->setCurrentRow(std::min(row, static_cast<int>(m_list.size()) - 1));
    for (QPushButton* b : {m_insertButton, m_renameButton, m_deleteButton})
        b->setEnabled(!m_list.isEmpty());
    showText();
}

void TemplatesWindow::showText() {
    const int row = m_nameList->currentRow();
    m_textView->setPlainText(row >= 0 && row < m_list.size() ? m_list[row].text : QString());
}

bool TemplatesWindow::save() {
    if (templates::save(m_appFolder, m_list))
        return true;
    platform::MsgBox(QStringLiteral("Impossibile scrivere il file dei modelli"),
                     platform::Icon::Critical);
    return false;
}

void TemplatesWindow::insertChosen() {
    const int row = m_nameList->currentRow();
    if (row < 0 || row >= m_list.size())
        return;
    m_chosen = m_list[row].text;
    accept();
}

void TemplatesWindow::renameChosen() {
    const int row = m_nameList->currentRow();
    if (row < 0 || row >= m_list.size())
        return;
    const auto name = platform::InputBox(QStringLiteral("Nuovo nome del modello"),
                                         QStringLiteral("Rinomina"), m_list[row].name);
    if (!name || name->trimmed().isEmpty())
        return;
    const QString old = std::exchange(m_list[row].name, name->trimmed());
    if (!save())
        m_list[row].name = old;
    showList();
}

void TemplatesWindow::deleteChosen() {
    const int row = m_nameList->currentRow();
    if (row < 0 || row >= m_list.size())
        return;
    if (platform::MsgBox(QStringLiteral("Eliminare il modello \"%1\"?").arg(m_list[row].name),
                         platform::Icon::Question,
                         platform::Buttons::YesNo) != platform::Answer::Yes)
        return;
    const templates::Template removed = m_list.takeAt(row);
    if (!save())
        m_list.insert(row, removed);
    showList();
}
