#include "contacts/excludedwindow.h"

#include "contacts/phonenumber.h"
#include "platform/controls.h"
#include "platform/dialogs.h"
#include "platform/textfile.h"
#include "windows/handler.h"

#include <QDir>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>

ExcludedWindow::ExcludedWindow(QString appFolder, const QString& number, QWidget* parent)
    : QDialog(parent)
    , m_appFolder(std::move(appFolder))
    , m_list(excluded::List::load(m_appFolder))
    , m_numberList(new QListWidget(this))
    , m_numberEdit(new QLineEdit(this))
    , m_addButton(new QPushButton(QStringLiteral("Aggiungi"), this))
    , m_removeButton(new QPushButton(QStringLiteral("Rimuovi"), this))
    , m_importButton(new QPushButton(QStringLiteral("Importa elenco..."), this))
    , m_closeButton(new QPushButton(QStringLiteral("Chiudi"), this)) {
    setObjectName(QStringLiteral("FormEsclusi"));
    setProperty("quilletForm", true);
    setWindowTitle(QStringLiteral("Numeri esclusi"));
    platform::nameControls({{m_numberList, "List1"},
                            {m_numberEdit, "Text1"},
                            {m_addButton, "Command1"},
                            {m_removeButton, "Command2"},
                            {m_importButton, "Command3"},
                            {m_closeButton, "Command4"}});
    auto* note = new QLabel(QStringLiteral("Numeri che hanno chiesto di non ricevere messaggi: "
                                           "gli invii a più destinatari li saltano."),
                            this);
    note->setWordWrap(true);
    m_numberList->setSelectionMode(QAbstractItemView::ExtendedSelection);
    auto* layout = new QGridLayout(this);
    layout->addWidget(note, 0, 0, 1, 2);
    layout->addWidget(m_numberList, 1, 0, 4, 1);
    layout->addWidget(m_removeButton, 1, 1);
    layout->addWidget(m_importButton, 2, 1);
    layout->setRowStretch(3, 1);
    layout->addWidget(m_closeButton, 4, 1, Qt::AlignBottom);
    layout->addWidget(m_numberEdit, 5, 0);
    layout->addWidget(m_addButton, 5, 1);
    m_addButton->setDefault(true);
    m_numberEdit->setPlaceholderText(QStringLiteral("Numero da escludere"));
    setMinimumSize(420, 320);

    handler::onClick(m_addButton, [this] { addTyped(); });
    handler::onClick(m_removeButton, [this] { removeSelected(); });
    handler::onClick(m_importButton, [this] { importFile(); });
    connect(m_closeButton, &QPushButton::clicked, this, &QDialog::accept);
    if (!number.isEmpty())
        add(number);
    showList();
}

void ExcludedWindow::showList() {
    m_numberList->clear();
    for (const QString& number : m_list.numbers()) {
        auto* item = new QListWidgetItem(phone::written(number), m_numberList);
        item->setData(Qt::UserRole, number);
    }
    m_removeButton->setEnabled(m_numberList->count() > 0);
}

void ExcludedWindow::save() {
    if (!m_list.save(m_appFolder))
        platform::MsgBox(
            QStringLiteral("Impossibile scrivere il file %1")
                .arg(QDir::toNativeSeparators(QDir(m_appFolder).filePath(excluded::fileName))),
            platform::Icon::Critical);
}

void ExcludedWindow::add(const QString& number) {
    const phone::Reading reading = phone::read(number);
    if (!reading.number) {
        platform::MsgBox(QStringLiteral("%1: %2").arg(number, reading.problem),
                         platform::Icon::Exclamation);
        return;
    }
    if (m_list.add(reading.number->stored))
        save();
}

void ExcludedWindow::addTyped() {
    const QString number = m_numberEdit->text().trimmed();
    if (number.isEmpty())
        return;
    add(number);
    m_numberEdit->clear();
    showList();
}

void ExcludedWindow::removeSelected() {
    const auto selected = m_numberList->selectedItems();
    if (selected.isEmpty())
        return;
    for (const QListWidgetItem* item : selected)
        m_list.remove(item->data(Qt::UserRole).toString());
    save();
    showList();
}

void ExcludedWindow::importFile() {
    const auto file = platform::openFileName(QStringLiteral("Importa numeri esclusi"), {},
                                             QStringLiteral("File di testo (*.txt *.csv);;Tutti i "
                                                            "file (*)"));
    if (!file || file->isEmpty())
        return;
    const auto lines = platform::TextFile::readLines(*file);
    if (!lines) {
        platform::MsgBox(
            QStringLiteral("Impossibile leggere il file %1").arg(QDir::toNativeSeparators(*file)),
            platform::Icon::Critical);
        return;
    }
    const excluded::Imported imported = excluded::importLines(m_list, *lines);
    if (imported.added > 0)
        save();
    showList();
    QString text = QStringLiteral("Numeri aggiunti: %1, già presenti: %2")
                       .arg(imported.added)
                       .arg(imported.already);
    if (!imported.refused.isEmpty())
        text += QStringLiteral("\n\nRighe scartate:\n") + imported.refused.join(u'\n');
    platform::MsgBox(text, platform::Icon::Information);
}
