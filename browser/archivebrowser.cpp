#include "browser/archivebrowser.h"

#include "browser/archivemodel.h"
#include "browser/contactactions.h"
#include "browser/deletion.h"
#include "core/archivetree.h"
#include "core/session.h"
#include "core/twips.h"
#include "platform/controls.h"
#include "platform/dialogs.h"
#include "platform/waitcursor.h"
#include "store/archive.h"
#include "store/database.h"
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
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>

using store::ArchiveKind;

ArchiveBrowser::ArchiveBrowser(Session& session, QWidget* parent)
    : QWidget(parent)
    , m_listPanel(new QWidget(this))
    , m_headerPanel(new QWidget(m_listPanel))
    , m_footerPanel(new QWidget(m_listPanel))
    , m_kindPictureLabel(new QLabel(m_headerPanel))
    , m_kindLabel(new QLabel(m_headerPanel))
    , m_archiveNameLabel(new QLabel(QStringLiteral("Rubriche"), m_headerPanel))
    , m_selectAllCheck(new QCheckBox(QStringLiteral("Seleziona Tutto"), m_footerPanel))
    , m_listView(new QTableView(m_listPanel))
    , m_refreshTimer(new QTimer(this))
    , m_session(session)
    , m_model(new ArchiveModel(this)) {
    setObjectName(QStringLiteral("seri"));
    platform::nameControls({{m_listPanel, "Picture1"},
                            {m_headerPanel, "Picture4"},
                            {m_footerPanel, "Picture5"},
                            {m_kindPictureLabel, "Picture3"},
                            {m_kindLabel, "Label2"},
                            {m_archiveNameLabel, "Label6"},
                            {m_selectAllCheck, "Check1"},
                            {m_listView, "lvw1"},
                            {m_refreshTimer, "Timer3"}});

    buildHeader();
    buildFooter();
    buildList();
    auto* panel = new QVBoxLayout(m_listPanel);
    panel->setContentsMargins(0, 0, 0, 0);
    panel->setSpacing(2);
    panel->addWidget(m_headerPanel);
    panel->addWidget(m_listView, 1, Qt::AlignHCenter);
    panel->addWidget(m_footerPanel);
    m_listPanel->setGeometry(twips::toPixels(50), 0, 400, 300);

    m_refreshTimer->setSingleShot(true);
    connectControls();
}

// The kind's picture and caption, then the archive's name.
void ArchiveBrowser::buildHeader() {
    m_kindPictureLabel->setFixedSize(24, 24);
    QFont title = m_kindLabel->font();
    title.setBold(true);
    title.setPointSizeF(title.pointSizeF() * 1.15);
    m_kindLabel->setFont(title);
    auto* header = new QHBoxLayout(m_headerPanel);
    header->setContentsMargins(4, 4, 4, 4);
    header->addWidget(m_kindPictureLabel);
    header->addWidget(m_kindLabel);
    header->addWidget(m_archiveNameLabel, 1);
}

void ArchiveBrowser::buildFooter() {
    auto* footer = new QHBoxLayout(m_footerPanel);
    footer->setContentsMargins(4, 2, 4, 2);
    footer->addWidget(m_selectAllCheck);
    footer->addStretch(1);
}

// A table view looks like the list and keeps nothing per row (a tree view keeps an item for
// each of a million rows).
void ArchiveBrowser::buildList() {
    m_listView->setModel(m_model);
    m_listView->setShowGrid(false);
    m_listView->setWordWrap(false);
    m_listView->setTabKeyNavigation(false); // Tab leaves the list, as from a list
    m_listView->setCornerButtonEnabled(false);
    m_listView->verticalHeader()->hide();
    m_listView->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_listView->verticalHeader()->setDefaultSectionSize(m_listView->fontMetrics().height() + 4);
    m_listView->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    m_listView->horizontalHeader()->setHighlightSections(false);
    m_listView->setSelectionMode(QAbstractItemView::SingleSelection);
    m_listView->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_listView->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_listView->setTextElideMode(Qt::ElideRight);
    m_listView->horizontalHeader()->setSectionsClickable(false);
    m_listView->horizontalHeader()->setStretchLastSection(false);
    m_listView->horizontalHeader()->setSectionsMovable(false);
    // The selection shows only while the list has the focus.
    QPalette palette = m_listView->palette();
    palette.setColor(QPalette::Inactive, QPalette::Highlight, palette.color(QPalette::Base));
    palette.setColor(QPalette::Inactive, QPalette::HighlightedText, palette.color(QPalette::Text));
    m_listView->setPalette(palette);
}

void ArchiveBrowser::connectControls() {
    connect(m_refreshTimer, &QTimer::timeout, this,
            [this] { handler::run([this] { reloadList(); }); });
    connect(m_listView, &QTableView::clicked, this, [this] { selectCurrentEntry(); });
    connect(m_listView, &QTableView::doubleClicked, this, [this] {
        const auto modifiers = QGuiApplication::keyboardModifiers();
        handler::run([this, modifiers] { openComposerForEntry(modifiers); });
    });
    connect(m_selectAllCheck, &QCheckBox::clicked, this, [this] { tickAll(); });
    // Unticking a row leaves the other ticks as they are; the box no longer says "all".
    connect(m_model, &ArchiveModel::checkToggled, this, [this](int, bool checked) {
        if (!checked)
            showSelectAll(false);
    });
    m_listView->installEventFilter(this);
    m_listView->viewport()->installEventFilter(this);
}

ArchiveBrowser::~ArchiveBrowser() = default;

// The archive of the node shown; None for a root.
ArchiveKind ArchiveBrowser::listedKind() const {
    return archivetree::keyKind(m_key);
}

void ArchiveBrowser::showArchive(const QString& key, const QString& text) {
    m_key = key;
    m_nodeText = text;
    clearList();
    showListHeader(text, archivetree::headerKind(key, text));
    m_following = true;
    clearCurrentEntry();
    refreshList();
}

void ArchiveBrowser::setNode(const QString& key, const QString& text) {
    m_key = key;
    m_nodeText = text;
}

void ArchiveBrowser::refreshList() {
    m_refreshTimer->start(1);
}

void ArchiveBrowser::holdList() {
    m_following = false;
}

void ArchiveBrowser::showNewRows() {
    m_following = true;
    refreshList();
}

bool ArchiveBrowser::showsRoot() const {
    return !m_key.isEmpty() && archivetree::isRootLabel(QLatin1Char(' ') + m_nodeText);
}

void ArchiveBrowser::reloadList() {
    m_refreshTimer->stop();
    if (!m_following)
        return;
    m_listView->setVisible(false);
    const auto show = qScopeGuard([this] { m_listView->setVisible(true); });
    switch (listedKind()) {
    case ArchiveKind::Contacts:
        showContacts();
        break;
    case ArchiveKind::Saved:
        showSaved();
        break;
    case ArchiveKind::Sent:
        showSent();
        break;
    case ArchiveKind::Deleted:
        showDeleted();
        break;
    case ArchiveKind::None:
        break;
    }
}

void ArchiveBrowser::showContacts() {
    fill(ArchiveKind::Contacts);
}
void ArchiveBrowser::showSaved() {
    fill(ArchiveKind::Saved);
}
void ArchiveBrowser::showSent() {
    fill(ArchiveKind::Sent);
}
void ArchiveBrowser::showDeleted() {
    fill(ArchiveKind::Deleted);
}

void ArchiveBrowser::fill(ArchiveKind kind) {
    m_listView->setVisible(false);
    const auto show = qScopeGuard([this] { m_listView->setVisible(true); });
    const QString book = m_nodeText;
    showListHeader(book, archivetree::headerKind(m_key, book));
    // A refill of the same archive keeps the ticks of the rows still there.
    const bool same = kind == m_model->kind() && book == m_book;
    m_book.clear();
    m_listedBook.reset();
    if (!same) // the current entry named a row of another archive
        clearCurrentEntry();
    try {
        const QString path = store::archive::addressBookPath(m_session.appFolder, book);
        m_listedBook = store::Database::open(path); // makes the indexes a file has not yet
        m_model->load(path, kind, same);
    } catch (...) {
        m_listedBook.reset();
        m_model->clear();
        showSelectAll(false);
        clearCurrentEntry();
        throw;
    }
    m_book = book;
    if (!m_model->allChecked()) // new rows come in unticked
        showSelectAll(false);
    applyColumnWidths();
}

void ArchiveBrowser::clearCurrentEntry() {
    m_entry = Entry{};
    m_entry.archive = listedKind();
    m_entry.book = m_nodeText;
}

void ArchiveBrowser::readTicked(qsizetype batch,
                                const std::function<void(const QList<Entry>&)>& take) const {
    m_model->readTicked(batch, [this, &take](const QList<QStringList>& rows) {
        QList<Entry> entries;
        entries.reserve(rows.size());
        for (const QStringList& texts : rows) {
            entries.append(m_model->entryOf(texts));
            entries.last().book = m_book;
        }
        take(entries);
    });
}

void ArchiveBrowser::applyColumnWidths() {
    for (int c = 0; c < m_model->columnCount(); ++c)
        m_listView->setColumnWidth(
            c, twips::toPixels(ArchiveModel::columnWidthTwips(m_model->kind(), c)));
}

void ArchiveBrowser::selectCurrentEntry() {
    const int row = m_model->rowFor(m_listView->currentIndex());
    if (row < 0 || row >= m_model->rowCount())
        return;
    m_entry = m_model->entryAt(row);
    m_entry.archive = listedKind();
    m_entry.book = m_nodeText;
}

bool ArchiveBrowser::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_listView && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Delete) {
            handler::run([this, key] { deleteEntryOnKey(key->key(), key->modifiers()); });
            return true;
        }
    } else if (watched == m_listView->viewport() && event->type() == QEvent::MouseButtonPress) {
        // The right button picks the row under the pointer as a left click does, so the
        // actions that open on its release work on that row.
        const auto* mouse = static_cast<QMouseEvent*>(event);
        const QModelIndex at = m_listView->indexAt(mouse->position().toPoint());
        if (mouse->button() == Qt::RightButton && at.isValid()) {
            m_listView->setCurrentIndex(at);
            handler::run([this] { selectCurrentEntry(); });
        }
    } else if (watched == m_listView->viewport() && event->type() == QEvent::MouseButtonRelease) {
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
    if (platform::MsgBox(QStringLiteral("Si desidera Cancellare la voce ") + m_entry.number +
                             QStringLiteral(" ?"),
                         platform::Icon::None, platform::Buttons::YesNo) != platform::Answer::Yes)
        return;
    const ArchiveKind kind = listedKind();
    if (kind == ArchiveKind::None) // a root: no archive to delete from
        return;
    store::Database& book = listedBook();
    m_listView->setVisible(false);
    const auto show = qScopeGuard([this] { m_listView->setVisible(true); });
    // Removed for good, whatever the archive.
    deletion::removeEntry(book, kind, m_entry);
    refreshList();
}

void ArchiveBrowser::deleteTicked() {
    m_listView->viewport()->update();
    if (platform::MsgBox(QStringLiteral("Si desidera Cancellare i contatti selezionati? "),
                         platform::Icon::None, platform::Buttons::YesNo) != platform::Answer::Yes) {
        setSelectAll(false);
        return;
    }
    const ArchiveKind kind = listedKind();
    int ticked = 0;
    deletion::Outcome outcome;
    if (kind != ArchiveKind::None) {
        const platform::WaitCursor wait;
        ticked = m_model->checkedCount();
        const bool recycle = archivetree::headerKind(m_key, m_nodeText) == ArchiveKind::Sent;
        const qint64 allUpTo = kind == ArchiveKind::Contacts ? m_model->allCheckedUpTo() : 0;
        if (ticked > 0 && allUpTo > 0) // every contact listed: no texts to read
            outcome = deletion::removeContactsUpTo(listedBook(), allUpTo);
        else if (ticked > 0)
            outcome = inTickedBatches([&](const QList<Entry>& entries) {
                return deletion::removeEntries(listedBook(), kind, entries, recycle);
            });
    }
    if (outcome.failure) {
        platform::MsgBox(QStringLiteral("La cancellazione si è interrotta per un errore "
                                        "dell'archivio.\nVoci cancellate: %1 su %2; le altre "
                                        "sono rimaste dove erano.\n\n%3")
                             .arg(outcome.deleted)
                             .arg(ticked)
                             .arg(outcome.failure->message()),
                         platform::Icon::Critical);
    }
    refreshList();
    m_listView->setVisible(true);
    setSelectAll(false);
}

// Runs `step` on the ticked entries a batch at a time until one fails; what was done, and the
// failure that stopped it.
deletion::Outcome ArchiveBrowser::inTickedBatches(
    const std::function<deletion::Outcome(const QList<Entry>&)>& step) const {
    deletion::Outcome outcome;
    readTicked(tickedBatch, [&](const QList<Entry>& entries) {
        if (outcome.failure)
            return;
        const deletion::Outcome done = step(entries);
        outcome.deleted += done.deleted;
        outcome.failure = done.failure;
    });
    return outcome;
}

// The book listed now, opened by the last fill; a list that failed to fill has none.
store::Database& ArchiveBrowser::listedBook() {
    if (!m_listedBook)
        throw store::StoreError(store::EngineFailure, QStringLiteral("Nessun database aperto."));
    return *m_listedBook;
}

void ArchiveBrowser::restoreTicked() {
    if (!showsDeleted())
        return;
    int ticked = 0;
    deletion::Outcome outcome;
    {
        const platform::WaitCursor wait;
        ticked = m_model->checkedCount();
        if (ticked > 0)
            outcome = inTickedBatches([&](const QList<Entry>& entries) {
                return deletion::restoreEntries(listedBook(), entries);
            });
    }
    refreshList();
    setSelectAll(false);
    if (outcome.failure)
        platform::MsgBox(QStringLiteral("Il ripristino si è interrotto per un errore "
                                        "dell'archivio.\nMessaggi ripristinati: %1 su %2; gli "
                                        "altri sono rimasti dove erano.\n\n%3")
                             .arg(outcome.deleted)
                             .arg(ticked)
                             .arg(outcome.failure->message()),
                         platform::Icon::Critical);
    else
        platform::MsgBox(QStringLiteral("Messaggi ripristinati: %1").arg(outcome.deleted),
                         platform::Icon::Information);
}

void ArchiveBrowser::openComposerForEntry(Qt::KeyboardModifiers modifiers) {
    const ArchiveKind kind = listedKind();
    if (kind == ArchiveKind::Contacts || kind == ArchiveKind::Saved)
        emit composeRequested(m_entry);
    else if (kind == ArchiveKind::Sent && modifiers.testFlag(Qt::ShiftModifier))
        emit reportRequested(m_entry);
}

void ArchiveBrowser::showContactActions(Qt::MouseButton button, Qt::KeyboardModifiers,
                                        QPoint globalPos) {
    if (button != Qt::RightButton)
        return;
    auto* actions = new ContactActions(m_entry, window());
    actions->setAttribute(Qt::WA_DeleteOnClose);
    connect(actions, &ContactActions::editRequested, this, [this] { emit editRequested(m_entry); });
    connect(actions, &ContactActions::composeRequested, this,
            [this] { emit composeRequested(m_entry); });
    connect(actions, &ContactActions::deleteTickedRequested, this,
            [this] { handler::run([this] { deleteTicked(); }); });
    connect(actions, &ContactActions::restoreTickedRequested, this,
            [this] { handler::run([this] { restoreTicked(); }); });
    connect(actions, &ContactActions::reportRequested, this,
            [this] { emit reportRequested(m_entry); });
    connect(actions, &ContactActions::excludeRequested, this,
            [this] { emit excludeRequested(m_entry); });
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
    if (m_selectAllCheck->isChecked() == ticked)
        return;
    m_selectAllCheck->setChecked(ticked);
    tickAll();
}

void ArchiveBrowser::tickAll() {
    showSelectAll(m_selectAllCheck->isChecked());
    m_model->setAllChecked(m_selectAllCheck->isChecked());
}

void ArchiveBrowser::showSelectAll(bool ticked) {
    m_selectAllCheck->setChecked(ticked);
    m_selectAllCheck->setText(ticked ? QStringLiteral("Deseleziona Tutto")
                                     : QStringLiteral("Seleziona Tutto"));
}

void ArchiveBrowser::clearList() {
    setSelectAll(false);
    m_model->clear();
    m_book.clear();
}

void ArchiveBrowser::showListHeader(const QString& nodeText, ArchiveKind kind) {
    m_archiveNameLabel->setText(QLatin1Char(' ') + nodeText);
    if (kind == ArchiveKind::None)
        return;
    m_kindLabel->setText(archivetree::kindCaption(kind));
    m_kindPictureLabel->setPixmap(
        QIcon(archivetree::pictureResource(archivetree::kindPicture(kind)))
            .pixmap(m_kindPictureLabel->size()));
}

void ArchiveBrowser::resizeList(int width, int height) {
    if (width >= 0) {
        m_listPanel->resize(width, m_listPanel->height());
        m_headerPanel->setFixedWidth(width);
        m_footerPanel->setFixedWidth(width);
        m_listView->setFixedWidth(std::max(0, width - twips::toPixels(150)));
    }
    if (height >= 0)
        m_listPanel->setGeometry(twips::toPixels(50), 0, m_listPanel->width(), height);
}
