#include "browser/archivebrowser.h"

#include "app/appstate.h"
#include "app/archivetree.h"
#include "app/mainwindow.h"
#include "app/twips.h"
#include "browser/archivemodel.h"
#include "browser/contactactions.h"
#include "browser/deletion.h"
#include "messaging/composer.h"
#include "platform/clock.h"
#include "platform/dialogs.h"
#include "store/archive.h"
#include "windows/handler.h"

#include <QCheckBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScopeGuard>
#include <QScreen>
#include <QTimer>
#include <QTreeView>
#include <QVBoxLayout>

namespace {

ArchiveBrowser* theInstance = nullptr;

// The archive kind of the node selected in the tree: 'r', 's', 'i', 'c', or a root's letter.
QChar selectedKind() {
    const QString key = MainWindow::instance()->selectedKey();
    return key.isEmpty() ? QChar() : key.at(0);
}

} // namespace

ArchiveBrowser::ArchiveBrowser(QWidget* parent)
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
    connect(Timer3, &QTimer::timeout, this, [this] { handler::run([this] { reloadList(); }); });
    connect(lvw1, &QTreeView::clicked, this, [this] { selectCurrentEntry(); });
    connect(lvw1, &QTreeView::doubleClicked, this,
            [this] { handler::run([this] { openComposerForEntry(); }); });
    connect(Check1, &QCheckBox::clicked, this, [this] { tickAll(); });
    // Unticking a row leaves the other ticks as they are; the box no longer says "all".
    connect(m_model, &ArchiveModel::checkToggled, this, [this](int, bool checked) {
        if (!checked)
            showSelectAll(false);
    });
    lvw1->installEventFilter(this);
    lvw1->viewport()->installEventFilter(this);
}

ArchiveBrowser::~ArchiveBrowser() {
    if (theInstance == this)
        theInstance = nullptr;
}

ArchiveBrowser* ArchiveBrowser::instance() {
    return theInstance;
}

void ArchiveBrowser::openIndexArchive() {
    auto& state = appState();
    MainWindow::instance()->showDate(platform::Clock::todayText());
    state.corrente.open(store::archive::elencoPath(state.appFolder));
    state.corrente.openRecordset(QStringLiteral("elenco"));
    MainWindow::instance()->selectNode(2);
    MainWindow::instance()->onTreeNodeClicked();
}

void ArchiveBrowser::refreshList() {
    Timer3->start(1);
}

void ArchiveBrowser::mostraNuovi() {
    appState().aggiorna = 1;
    refreshList();
}

void ArchiveBrowser::reloadList() {
    Timer3->stop();
    if (appState().aggiorna != 1)
        return;
    lvw1->setVisible(false);
    const auto show = qScopeGuard([this] { lvw1->setVisible(true); });
    const QString key = MainWindow::instance()->selectedKey();
    switch (key.isEmpty() ? 0 : key.at(0).unicode()) {
    case 'r':
        showContacts();
        break;
    case 's':
        showSaved();
        break;
    case 'i':
        showSent();
        break;
    case 'c':
        showDeleted();
        break;
    default:
        break;
    }
}

void ArchiveBrowser::showContacts() {
    fill(QLatin1Char('r'));
}
void ArchiveBrowser::showSaved() {
    fill(QLatin1Char('s'));
}
void ArchiveBrowser::showSent() {
    fill(QLatin1Char('i'));
}
void ArchiveBrowser::showDeleted() {
    fill(QLatin1Char('c'));
}

void ArchiveBrowser::fill(QChar kind) {
    auto& state = appState();
    lvw1->setVisible(false);
    const auto show = qScopeGuard([this] { lvw1->setVisible(true); });
    const MainWindow* main = MainWindow::instance();
    const QString book = main->selectedText();
    showListHeader(book, archivetree::headerKind(main->selectedKey(), book));
    // A refill of the same archive keeps the ticks of the rows still there.
    const bool same = kind == m_model->kind() && book == m_book;
    m_book.clear();
    if (!same) // the current entry named a row of another archive
        clearCurrentEntry();
    try {
        state.corrente.open(store::archive::addressBookPath(state.appFolder, book));
        m_model->load(state.corrente.openRecordset(store::archive::tableForKind(kind)), kind, same);
    } catch (...) {
        m_model->clear();
        showSelectAll(false);
        clearCurrentEntry();
        throw;
    }
    m_book = book;
    if (m_model->checkedRows().size() != m_model->rowCount()) // new rows come in unticked
        showSelectAll(false);
    applyColumnWidths();
}

void ArchiveBrowser::clearCurrentEntry() {
    auto& state = appState();
    state.numeroScelto.clear();
    state.dettaglioScelto.clear();
    state.cognomeScelto.clear();
    state.dataScelta.clear();
}

void ArchiveBrowser::applyColumnWidths() {
    for (int c = 0; c < m_model->columnCount(); ++c)
        lvw1->setColumnWidth(c,
                             twips::toPixels(ArchiveModel::columnWidthTwips(m_model->kind(), c)));
}

void ArchiveBrowser::selectCurrentEntry() {
    const int row = m_model->rowFor(lvw1->currentIndex());
    if (row < 0 || row >= m_model->rowCount())
        return;
    auto& state = appState();
    state.numeroScelto = m_model->text(row, 1);
    state.dettaglioScelto = m_model->text(row, 4);
    if (MainWindow::instance()->selectedKey().startsWith(QLatin1Char('r'))) {
        state.cognomeScelto = m_model->text(row, 3);
    } else {
        state.cognomeScelto = m_model->text(row, 2);
        state.dataScelta = m_model->text(row, 3);
    }
}

bool ArchiveBrowser::eventFilter(QObject* watched, QEvent* event) {
    if (watched == lvw1 && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Delete) {
            handler::run([this, key] { deleteEntryOnKey(key->key(), key->modifiers()); });
            return true;
        }
    } else if (watched == lvw1->viewport() && event->type() == QEvent::MouseButtonPress) {
        // The right button picks the row under the pointer as a left click does, so the
        // actions that open on its release work on that row.
        const auto* mouse = static_cast<QMouseEvent*>(event);
        const QModelIndex at = lvw1->indexAt(mouse->position().toPoint());
        if (mouse->button() == Qt::RightButton && at.isValid()) {
            lvw1->setCurrentIndex(at);
            handler::run([this] { selectCurrentEntry(); });
        }
    } else if (watched == lvw1->viewport() && event->type() == QEvent::MouseButtonRelease) {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        handler::run([this, mouse] {
            showContactActions(mouse->button(), mouse->modifiers(),
                               mouse->globalPosition().toPoint());
        });
    }
    return QWidget::eventFilter(watched, event);
}

void ArchiveBrowser::deleteEntryOnKey(int keyCode, Qt::KeyboardModifiers) {
    if (keyCode != Qt::Key_Delete)
        return;
    auto& state = appState();
    if (platform::MsgBox(QStringLiteral("Si desidera Cancellare la voce ") + state.numeroScelto +
                             QStringLiteral(" ?"),
                         platform::Icon::None, platform::Buttons::YesNo) != platform::Answer::Yes)
        return;
    const QChar kind = selectedKind();
    if (store::archive::tableForKind(kind).isEmpty()) // a root: no archive to delete from
        return;
    state.corrente.open(
        store::archive::addressBookPath(state.appFolder, MainWindow::instance()->selectedText()));
    lvw1->setVisible(false);
    const auto show = qScopeGuard([this] { lvw1->setVisible(true); });
    // Removed for good, whatever the archive.
    deletion::removeEntry(
        *state.corrente.db, kind,
        {state.numeroScelto, state.cognomeScelto, state.dataScelta, state.dettaglioScelto});
    refreshList();
}

void ArchiveBrowser::openComposerForEntry() {
    const QChar kind = selectedKind();
    const bool saved = kind == QLatin1Char('s');
    if (kind != QLatin1Char('r') && !saved)
        return;
    const auto& state = appState();
    Composer composer(MainWindow::instance());
    if (saved && state.numeroScelto.contains(QLatin1Char(';'))) {
        composer.Label23->setText(QStringLiteral("1"));
        composer.setRecipients(state.numeroScelto.split(QLatin1Char(';')));
    }
    composer.Label18->setText(state.numeroScelto);
    composer.Label2->setText(state.cognomeScelto);
    composer.Label3->setText(QStringLiteral("Cellulare"));
    if (saved)
        composer.Text1->setPlainText(state.dettaglioScelto);
    composer.Text2->setVisible(true);
    composer.Command4->setVisible(true);
    MainWindow::instance()->showModal(composer);
}

void ArchiveBrowser::showContactActions(Qt::MouseButton button, Qt::KeyboardModifiers,
                                        QPoint globalPos) {
    if (button != Qt::RightButton)
        return;
    auto* actions = new ContactActions(MainWindow::instance());
    actions->setAttribute(Qt::WA_DeleteOnClose);
    actions->adjustSize();
    // Beside the pointer, and whole on the screen.
    QRect frame(globalPos + QPoint(2, 2), actions->size());
    if (const QScreen* screen = QGuiApplication::screenAt(globalPos)) {
        const QRect area = screen->availableGeometry();
        if (frame.right() > area.right())
            frame.moveRight(std::max(area.left(), globalPos.x() - 2));
        if (frame.bottom() > area.bottom())
            frame.moveBottom(std::max(area.top(), globalPos.y() - 2));
        frame.moveLeft(std::max(frame.left(), area.left()));
        frame.moveTop(std::max(frame.top(), area.top()));
    }
    actions->move(frame.topLeft());
    actions->show();
    actions->raise();
    actions->activateWindow();
}

void ArchiveBrowser::setSelectAll(bool ticked) {
    if (Check1->isChecked() == ticked)
        return;
    Check1->setChecked(ticked);
    tickAll();
}

void ArchiveBrowser::tickAll() {
    showSelectAll(Check1->isChecked());
    m_model->setAllChecked(Check1->isChecked());
}

void ArchiveBrowser::showSelectAll(bool ticked) {
    Check1->setChecked(ticked);
    Check1->setText(ticked ? QStringLiteral("Deseleziona Tutto")
                           : QStringLiteral("Seleziona Tutto"));
}

void ArchiveBrowser::clearList() {
    setSelectAll(false);
    m_model->clear();
    m_book.clear();
}

void ArchiveBrowser::showListHeader(const QString& nodeText, QChar kind) {
    Label6->setText(QLatin1Char(' ') + nodeText);
    if (kind.isNull())
        return;
    Label2->setText(archivetree::kindCaption(kind));
    Picture3->setPixmap(QIcon(archivetree::pictureResource(archivetree::kindPicture(kind)))
                            .pixmap(Picture3->size()));
}

void ArchiveBrowser::resizeList(int width, int height) {
    if (width >= 0) {
        Picture1->resize(width, Picture1->height());
        Picture4->setFixedWidth(width);
        Picture5->setFixedWidth(width);
        lvw1->setFixedWidth(std::max(0, width - twips::toPixels(150)));
    }
    if (height >= 0)
        Picture1->setGeometry(twips::toPixels(50), 0, Picture1->width(), height);
}
