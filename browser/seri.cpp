#include "browser/seri.h"

#include "app/appstate.h"
#include "app/archivetree.h"
#include "app/handler.h"
#include "app/mdiform1.h"
#include "app/twips.h"
#include "browser/archivemodel.h"
#include "platform/clock.h"
#include "store/archive.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QScopeGuard>
#include <QTimer>
#include <QTreeView>
#include <QVBoxLayout>

namespace {

seri* theInstance = nullptr;

} // namespace

seri::seri(QWidget* parent)
    : QWidget(parent)
    , Picture1(new QWidget(this))
    , Picture4(new QWidget(Picture1))
    , Picture5(new QWidget(Picture1))
    , Picture3(new QLabel(Picture4))
    , Label2(new QLabel(Picture4))
    , Label6(new QLabel(QStringLiteral("Rubriche"), Picture4))
    , Check1(new QCheckBox(QStringLiteral("Seleziona Tutto"), Picture5))
    , lvw1(new QTreeView(Picture1))
    , Timer3(new QTimer(this))
    , m_model(new ArchiveModel(this)) {
    theInstance = this;
    setObjectName(QStringLiteral("seri"));
    Picture1->setObjectName(QStringLiteral("Picture1"));
    Picture4->setObjectName(QStringLiteral("Picture4"));
    Picture5->setObjectName(QStringLiteral("Picture5"));
    Picture3->setObjectName(QStringLiteral("Picture3"));
    Label2->setObjectName(QStringLiteral("Label2"));
    Label6->setObjectName(QStringLiteral("Label6"));
    Check1->setObjectName(QStringLiteral("Check1"));
    lvw1->setObjectName(QStringLiteral("lvw1"));
    Timer3->setObjectName(QStringLiteral("Timer3"));

    Picture3->setFixedSize(24, 24);
    QFont title = Label2->font();
    title.setBold(true);
    title.setPointSizeF(title.pointSizeF() * 1.15);
    Label2->setFont(title);
    auto* header = new QHBoxLayout(Picture4);
    header->setContentsMargins(4, 4, 4, 4);
    header->addWidget(Picture3);
    header->addWidget(Label2);
    header->addWidget(Label6, 1);

    auto* footer = new QHBoxLayout(Picture5);
    footer->setContentsMargins(4, 2, 4, 2);
    footer->addWidget(Check1);
    footer->addStretch(1);

    lvw1->setModel(m_model);
    lvw1->setRootIsDecorated(false);
    lvw1->setUniformRowHeights(true);
    lvw1->setAllColumnsShowFocus(true);
    lvw1->setItemsExpandable(false);
    lvw1->setSelectionMode(QAbstractItemView::SingleSelection);
    lvw1->setSelectionBehavior(QAbstractItemView::SelectRows);
    lvw1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    lvw1->setTextElideMode(Qt::ElideRight);
    lvw1->header()->setSectionsClickable(false);
    lvw1->header()->setStretchLastSection(false);
    lvw1->header()->setSectionsMovable(false);
    // The selection shows only while the list has the focus.
    QPalette palette = lvw1->palette();
    palette.setColor(QPalette::Inactive, QPalette::Highlight, palette.color(QPalette::Base));
    palette.setColor(QPalette::Inactive, QPalette::HighlightedText, palette.color(QPalette::Text));
    lvw1->setPalette(palette);

    auto* panel = new QVBoxLayout(Picture1);
    panel->setContentsMargins(0, 0, 0, 0);
    panel->setSpacing(2);
    panel->addWidget(Picture4);
    panel->addWidget(lvw1, 1, Qt::AlignHCenter);
    panel->addWidget(Picture5);
    Picture1->setGeometry(twips::toPixels(50), 0, 400, 300);

    Timer3->setSingleShot(true);
    connect(Timer3, &QTimer::timeout, this, [this] { handler::run([this] { Timer3_Timer(); }); });
    connect(lvw1, &QTreeView::clicked, this, [this] { lvw1_Click(); });
    connect(Check1, &QCheckBox::clicked, this, [this] { Check1_Click(); });
}

seri::~seri() {
    if (theInstance == this)
        theInstance = nullptr;
}

seri* seri::instance() {
    return theInstance;
}

void seri::Form_Load() {
    auto& state = appState();
    MDIForm1::instance()->scriviData(platform::Clock::todayText());
    state.corrente.open(store::archive::elencoPath(state.appFolder));
    state.corrente.openRecordset(QStringLiteral("elenco"));
    MDIForm1::instance()->selezionaNodo(2);
    MDIForm1::instance()->TreeView1_Click();
}

void seri::sceglivisua() {
    Timer3->start(1);
}

void seri::Timer3_Timer() {
    Timer3->stop();
    if (appState().aggiorna != 1)
        return;
    lvw1->setVisible(false);
    const auto show = qScopeGuard([this] { lvw1->setVisible(true); });
    const QString key = MDIForm1::instance()->selectedKey();
    switch (key.isEmpty() ? 0 : key.at(0).unicode()) {
    case 'r':
        visualizza();
        break;
    case 's':
        visualizzasalvati();
        break;
    case 'i':
        visualizzainviati();
        break;
    case 'c':
        visualizzacance();
        break;
    default:
        break;
    }
}

void seri::visualizza() {
    fill(QLatin1Char('r'));
}
void seri::visualizzasalvati() {
    fill(QLatin1Char('s'));
}
void seri::visualizzainviati() {
    fill(QLatin1Char('i'));
}
void seri::visualizzacance() {
    fill(QLatin1Char('c'));
}

void seri::fill(QChar kind) {
    auto& state = appState();
    lvw1->setVisible(false);
    const auto show = qScopeGuard([this] { lvw1->setVisible(true); });
    const QString book = MDIForm1::instance()->selectedText();
    state.corrente.open(store::archive::addressBookPath(state.appFolder, book));
    store::Recordset& rs = state.corrente.openRecordset(store::archive::tableForKind(kind));
    m_model->load(rs, kind);
    applyColumnWidths();
}

void seri::applyColumnWidths() {
    for (int c = 0; c < m_model->columnCount(); ++c)
        lvw1->setColumnWidth(c,
                             twips::toPixels(ArchiveModel::columnWidthTwips(m_model->kind(), c)));
}

void seri::lvw1_Click() {
    const int row = m_model->rowFor(lvw1->currentIndex());
    if (row < 0 || row >= m_model->rowCount())
        return;
    auto& state = appState();
    state.numeroScelto = m_model->text(row, 1);
    state.dettaglioScelto = m_model->text(row, 4);
    if (MDIForm1::instance()->selectedKey().startsWith(QLatin1Char('r'))) {
        state.cognomeScelto = m_model->text(row, 3);
    } else {
        state.cognomeScelto = m_model->text(row, 2);
        state.dataScelta = m_model->text(row, 3);
    }
}

void seri::Check1_Click() {
    const bool all = Check1->isChecked();
    Check1->setText(all ? QStringLiteral("Deseleziona Tutto") : QStringLiteral("Seleziona Tutto"));
    m_model->setAllChecked(all);
}

void seri::svuota() {
    if (Check1->isChecked()) {
        Check1->setChecked(false);
        Check1_Click();
    }
    m_model->clear();
}

void seri::intestazione(const QString& nodeText, QChar kind) {
    Label6->setText(QLatin1Char(' ') + nodeText);
    if (kind.isNull())
        return;
    Label2->setText(archivetree::kindCaption(kind));
    Picture3->setPixmap(QIcon(archivetree::pictureResource(archivetree::kindPicture(kind)))
                            .pixmap(Picture3->size()));
}

void seri::dimensiona(int width, int height) {
    if (width >= 0) {
        Picture1->resize(width, Picture1->height());
        Picture4->setFixedWidth(width);
        Picture5->setFixedWidth(width);
        lvw1->setFixedWidth(std::max(0, width - twips::toPixels(150)));
    }
    if (height >= 0)
        Picture1->setGeometry(twips::toPixels(50), 0, Picture1->width(), height);
}
