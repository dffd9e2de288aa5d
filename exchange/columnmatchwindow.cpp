#include "exchange/columnmatchwindow.h"

#include "platform/controls.h"
#include "platform/dialogs.h"
#include "windows/handler.h"

#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QStandardItemModel>
#include <QTableView>
#include <QVBoxLayout>

#include <algorithm>

namespace {

enum Field { Nome, Cognome, Cellulare, Email, FieldCount };

const QString fieldTitles[FieldCount] = {QStringLiteral("Nome"), QStringLiteral("Cognome"),
                                         QStringLiteral("Cellulare"),
                                         QStringLiteral("Posta elettronica")};

constexpr int previewRows = 5;
// px: a long name or field is cut, so that more columns stay in view; a chosen column may
// be wider, for its header says more.
constexpr int widestColumn = 220;
constexpr int widestChosenColumn = 320;

// The file's column names, one for each column any line has; a nameless one by its place.
QStringList columnNames(const csvimport::Preview& preview) {
    qsizetype count = preview.names.size();
    for (const QStringList& row : preview.rows)
        count = std::max(count, row.size());
    QStringList names;
    for (qsizetype c = 0; c < count; ++c) {
        const QString name = preview.names.value(c).simplified();
        names << (name.isEmpty() ? QStringLiteral("Colonna %1").arg(c + 1) : name);
    }
    return names;
}

QStandardItem* cell(const QString& text) {
    auto* item = new QStandardItem(QString(text)
                                       .replace(QLatin1Char('\r'), QLatin1Char(' '))
                                       .replace(QLatin1Char('\n'), QLatin1Char(' ')));
    item->setFlags(Qt::ItemIsEnabled);
    item->setToolTip(text);
    return item;
}

} // namespace

ColumnMatchWindow::ColumnMatchWindow(const csvimport::Preview& preview, QWidget* parent)
    : QDialog(parent)
    , m_names(columnNames(preview))
    , m_explanationLabel(new QLabel(QStringLiteral("Indicare quale colonna del file contiene "
                                                   "ciascun dato del contatto. Il cellulare è "
                                                   "obbligatorio."),
                                    this))
    , m_previewTable(new QTableView(this))
    , m_previewModel(new QStandardItemModel(this))
    , m_importButton(platform::iconButton(this, "Command1", "inserisci", QStringLiteral("Importa")))
    , m_cancelButton(
          platform::iconButton(this, "Command2", "cancella", QStringLiteral("Annulla"))) {
    for (int field = 0; field < FieldCount; ++field) {
        m_fieldLabels[field] = new QLabel(fieldTitles[field], this);
        m_fieldCombos[field] = new QComboBox(this);
    }
    setObjectName(QStringLiteral("Colonne"));
    setProperty("quilletForm", true);
    setWindowTitle(QStringLiteral("Abbina le colonne"));
    platform::nameControls({{m_explanationLabel, "Label1"},
                            {m_fieldLabels[Nome], "Label2"},
                            {m_fieldLabels[Cognome], "Label3"},
                            {m_fieldLabels[Cellulare], "Label4"},
                            {m_fieldLabels[Email], "Label5"},
                            {m_fieldCombos[Nome], "cmbNome"},
                            {m_fieldCombos[Cognome], "cmbCognome"},
                            {m_fieldCombos[Cellulare], "cmbCellulare"},
                            {m_fieldCombos[Email], "cmbEmail"},
                            {m_previewTable, "lvwAnteprima"}});
    m_explanationLabel->setWordWrap(true);
    m_importButton->setDefault(true);

    QLayout* fields = buildFieldChoices(preview);
    buildPreview(preview);
    QLayout* buttons = buildButtons();
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_explanationLabel);
    layout->addLayout(fields);
    layout->addSpacing(4);
    layout->addWidget(m_previewTable, 1);
    layout->addLayout(buttons);
    resize(760, minimumSizeHint().height());

    markChoices();
    connectControls();
    m_fieldCombos[Cellulare]->setFocus();
}

// A caption and a list of the file's columns for each field, on the column guessed for it.
QLayout* ColumnMatchWindow::buildFieldChoices(const csvimport::Preview& preview) {
    const qsizetype guess[FieldCount] = {preview.columns.nome, preview.columns.cognome,
                                         preview.columns.cellulare, preview.columns.email};
    auto* grid = new QGridLayout;
    for (int field = 0; field < FieldCount; ++field) {
        QComboBox* combo = m_fieldCombos[field];
        // As wide as a usual name, whatever the file holds; longer names are cut.
        combo->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
        combo->setMinimumContentsLength(28);
        combo->setMaxVisibleItems(16);
        combo->addItem(QStringLiteral("(nessuna)"), qlonglong(-1));
        for (qsizetype c = 0; c < m_names.size(); ++c) {
            combo->addItem(m_names[c], qlonglong(c));
            combo->setItemData(combo->count() - 1, m_names[c], Qt::ToolTipRole);
        }
        const qsizetype column = guess[field];
        combo->setCurrentIndex(column >= 0 && column < m_names.size() ? int(column) + 1 : 0);
        m_fieldLabels[field]->setBuddy(combo);
        grid->addWidget(m_fieldLabels[field], field, 0);
        grid->addWidget(combo, field, 1);
    }
    grid->setColumnStretch(2, 1);
    return grid;
}

// The file's first rows, one line each, with room for all of them.
void ColumnMatchWindow::buildPreview(const csvimport::Preview& preview) {
    m_previewModel->setColumnCount(int(m_names.size()));
    for (const QStringList& row : preview.rows.mid(0, previewRows)) {
        QList<QStandardItem*> cells;
        for (qsizetype c = 0; c < m_names.size(); ++c)
            cells << cell(row.value(c));
        m_previewModel->appendRow(cells);
    }
    m_previewTable->setModel(m_previewModel);
    m_previewTable->setSelectionMode(QAbstractItemView::NoSelection);
    m_previewTable->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_previewTable->setWordWrap(false);
    m_previewTable->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    m_previewTable->verticalHeader()->hide();
    m_previewTable->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 8);
    m_previewTable->horizontalHeader()->setStretchLastSection(true);
    m_previewTable->horizontalHeader()->setHighlightSections(false);
    m_previewTable->horizontalHeader()->setTextElideMode(Qt::ElideRight);
    // Room for the five rows and the scroll bar of a wide file.
    m_previewTable->setMinimumHeight(m_previewTable->horizontalHeader()->sizeHint().height() +
                                     previewRows *
                                         m_previewTable->verticalHeader()->defaultSectionSize() +
                                     m_previewTable->horizontalScrollBar()->sizeHint().height() +
                                     2 * m_previewTable->frameWidth());
}

QLayout* ColumnMatchWindow::buildButtons() {
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(m_importButton);
    buttons->addWidget(m_cancelButton);
    return buttons;
}

// A choice marks its column and scrolls the preview to it.
void ColumnMatchWindow::connectControls() {
    for (QComboBox* combo : m_fieldCombos)
        connect(combo, &QComboBox::currentIndexChanged, this, [this, combo] {
            markChoices();
            m_previewTable->doItemsLayout(); // the scroll range of the widths just set
            const qsizetype column = combo->currentData().toLongLong();
            if (column >= 0 && m_previewModel->rowCount() > 0)
                m_previewTable->scrollTo(m_previewModel->index(0, int(column)));
        });
    handler::onClick(m_importButton, [this] { importFile(); });
    connect(m_cancelButton, &QPushButton::clicked, this, &QDialog::reject);
}

qsizetype ColumnMatchWindow::chosen(int field) const {
    return m_fieldCombos[field]->currentData().toLongLong();
}

csvimport::Columns ColumnMatchWindow::columns() const {
    return {chosen(Nome), chosen(Cognome), chosen(Cellulare), chosen(Email)};
}

// Each chosen column's header says which fields it gives ("Cellulare ← Telefono 2", or just
// "Nome" for a column so named), in bold over shaded cells.
void ColumnMatchWindow::markChoices() {
    QFont bold = m_previewTable->horizontalHeader()->font();
    bold.setBold(true);
    QColor shade = palette().color(QPalette::Highlight);
    shade.setAlpha(40);
    for (int c = 0; c < m_names.size(); ++c) {
        QStringList fields;
        for (int field = 0; field < FieldCount; ++field)
            if (chosen(field) == c)
                fields << fieldTitles[field];
        const bool marked = !fields.isEmpty();
        const bool sameName =
            fields.size() == 1 && fields[0].compare(m_names[c], Qt::CaseInsensitive) == 0;
        const QString title = marked && !sameName ? fields.join(QStringLiteral(", ")) +
                                                        QStringLiteral(" ← ") + m_names[c]
                                                  : m_names[c];
        m_previewModel->setHeaderData(c, Qt::Horizontal, title);
        m_previewModel->setHeaderData(c, Qt::Horizontal, m_names[c], Qt::ToolTipRole);
        m_previewModel->setHeaderData(c, Qt::Horizontal, marked ? QVariant(bold) : QVariant(),
                                      Qt::FontRole);
        for (int r = 0; r < m_previewModel->rowCount(); ++r)
            m_previewModel->item(r, c)->setData(marked ? QVariant(shade) : QVariant(),
                                                Qt::BackgroundRole);
        m_previewTable->resizeColumnToContents(c);
        m_previewTable->setColumnWidth(c, std::min(m_previewTable->columnWidth(c),
                                                   marked ? widestChosenColumn : widestColumn));
    }
    m_importButton->setEnabled(chosen(Cellulare) >= 0);
}

void ColumnMatchWindow::importFile() {
    if (chosen(Cellulare) < 0)
        return;
    for (int field = 0; field < FieldCount; ++field)
        for (int other = field + 1; other < FieldCount; ++other)
            if (chosen(field) >= 0 && chosen(field) == chosen(other)) {
                platform::MsgBox(QStringLiteral("La colonna \"%1\" è scelta per più di un dato.")
                                     .arg(m_names[chosen(field)]),
                                 platform::Icon::Exclamation);
                return;
            }
    accept();
}
