#include "app/mainwindow.h"

#include "app/accountcommands.h"
#include "app/contactfilecommands.h"
#include "app/messagecommands.h"
#include "browser/archivebrowser.h"
#include "contacts/addressbooks.h"
#include "core/archivetree.h"
#include "core/session.h"
#include "core/settings.h"
#include "core/twips.h"
#include "platform/clock.h"
#include "platform/controls.h"
#include "platform/textfile.h"
#include "store/archive.h"
#include "store/storeerror.h"
#include "windows/handler.h"

#include <QApplication>
#include <QDir>
#include <QHeaderView>
#include <QLabel>
#include <QResizeEvent>
#include <QSplitter>
#include <QTimer>
#include <QToolBar>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <QWindow>

namespace {

QLabel* label(const QString& name, const QString& text, QWidget* parent) {
    auto* l = new QLabel(text, parent);
    l->setObjectName(name);
    return l;
}

} // namespace

MainWindow::MainWindow(Session& session, QWidget* parent)
    : QMainWindow(parent)
    , m_toolbarPanel(new QWidget(this))
    , m_toolBar(new QToolBar(m_toolbarPanel))
    , m_leftPanel(new QWidget(this))
    , m_logoPanel(new QWidget(m_leftPanel))
    , m_logoLabel(label(QStringLiteral("Picture4"), {}, m_logoPanel))
    , m_brandLabel(label(QStringLiteral("Picture5"), QStringLiteral("Quillet"), m_logoPanel))
    , m_archivesTitleLabel(
          label(QStringLiteral("Label2"), QStringLiteral("Elenco Archivi"), m_leftPanel))
    , m_archiveTree(new QTreeWidget(m_leftPanel))
    , m_creditLabel(label(QStringLiteral("Label3"), QStringLiteral("Credito Residuo"), m_leftPanel))
    , m_dateLabel(label(QStringLiteral("Label4"), {}, m_leftPanel))
    , m_layoutTimer(new QTimer(this))
    , m_session(session)
    , m_splitter(new QSplitter(Qt::Horizontal, this))
    , m_client(new QWidget(this))
    , m_browser(nullptr)
    , m_contactFiles(new ContactFileCommands(session, *this, this))
    , m_messages(new MessageCommands(session, *this, this))
    , m_account(new AccountCommands(session, *this, this)) {
    setObjectName(QStringLiteral("MDIForm1"));
    setWindowTitle(QStringLiteral("Quillet"));
    setWindowIcon(QIcon(QStringLiteral(":/icons/quillet.svg")));
    platform::nameControls({{m_toolbarPanel, "Picture2"},
                            {m_toolBar, "Toolbar1"},
                            {m_leftPanel, "Picture1"},
                            {m_logoPanel, "Picture3"},
                            {m_archiveTree, "TreeView1"},
                            {m_layoutTimer, "Timer1"}});

    buildMenus();
    buildToolbar();
    buildLeftPanel();
    connectCommands();

    // The client area, where the browser lives.
    m_client->setObjectName(QStringLiteral("client"));
    m_client->setAutoFillBackground(true);
    QPalette workspace = m_client->palette();
    workspace.setColor(QPalette::Window, workspace.color(QPalette::Mid));
    m_client->setPalette(workspace);
    m_browser = new ArchiveBrowser(m_session, m_client);
    // The list follows the tree's current node, however it got there.
    connect(m_archiveTree, &QTreeWidget::currentItemChanged, m_browser, [this] {
        m_browser->setNode(selectedKey(), selectedText());
        m_restoreTickedAction->setEnabled(m_browser->showsDeleted());
    });
    connect(m_browser, &ArchiveBrowser::composeRequested, m_messages, [this](const Entry& entry) {
        handler::run([this, entry] { m_messages->composeTo(entry); });
    });
    connect(m_browser, &ArchiveBrowser::editRequested, this,
            [this](const Entry& entry) { handler::run([this, entry] { editContact(entry); }); });
    connect(m_browser, &ArchiveBrowser::excludeRequested, this, [this](const Entry& entry) {
        handler::run([this, entry] { openExcludedNumbers(entry.number); });
    });
    connect(m_browser, &ArchiveBrowser::reportRequested, m_messages, [this](const Entry& entry) {
        handler::run([this, entry] {
            m_messages->openSendReport(entry.book,
                                       {entry.surname, entry.number, entry.date, entry.detail});
        });
    });
    auto* clientLayout = new QVBoxLayout(m_client);
    clientLayout->setContentsMargins(0, 0, 0, 0);
    clientLayout->addWidget(m_browser);

    m_splitter->setObjectName(QStringLiteral("splitter"));
    m_splitter->addWidget(m_leftPanel);
    m_splitter->addWidget(m_client);
    m_splitter->setStretchFactor(0, 0);
    m_splitter->setStretchFactor(1, 1);
    m_splitter->setChildrenCollapsible(false);

    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(m_toolbarPanel);
    layout->addWidget(m_splitter, 1);
    setCentralWidget(central);

    resize(twips::toPixels(8880), twips::toPixels(9195) + 40);
    m_layoutTimer->setSingleShot(true);
    connect(m_layoutTimer, &QTimer::timeout, this, [this] { layOutPanes(); });
    m_leftPanel->installEventFilter(this);
    connect(qApp, &QGuiApplication::focusWindowChanged, this, [this] { focusMoved(); });
}

MainWindow::~MainWindow() = default;

// What the command classes report back to the window.
void MainWindow::connectCommands() {
    connect(m_contactFiles, &ContactFileCommands::addressBooksChanged, this, [this] {
        rebuildTree();
        refreshOnActivation();
    });
    connect(m_messages, &MessageCommands::creditChanged, this, &MainWindow::showCredit);
    connect(m_messages, &MessageCommands::searchRequested, this, [this] { openSearch(false); });
    connect(m_account, &AccountCommands::creditRead, m_creditLabel, [this](const QString& credit) {
        m_creditLabel->setText(QStringLiteral("Credito residuo ") + credit);
    });
}

void MainWindow::buildLeftPanel() {
    m_leftPanel->setAutoFillBackground(true);
    QPalette white = m_leftPanel->palette();
    white.setColor(QPalette::Window, Qt::white);
    m_leftPanel->setPalette(white);
    m_leftPanel->setMinimumWidth(twips::toPixels(1850));

    m_logoLabel->setPixmap(QIcon(QStringLiteral(":/icons/quillet.svg")).pixmap(40, 40));
    QFont brand = m_brandLabel->font();
    brand.setPointSizeF(brand.pointSizeF() * 1.6);
    brand.setBold(true);
    m_brandLabel->setFont(brand);
    auto* logo = new QHBoxLayout(m_logoPanel);
    logo->setContentsMargins(8, 8, 8, 0);
    logo->addWidget(m_logoLabel);
    logo->addWidget(m_brandLabel, 1);

    QFont bold = m_archivesTitleLabel->font();
    bold.setBold(true);
    m_archivesTitleLabel->setFont(bold);
    m_archiveTree->setHeaderHidden(true);
    m_archiveTree->setColumnCount(1);
    m_archiveTree->setIconSize(QSize(16, 16));
    m_archiveTree->setFrameShape(QFrame::NoFrame);
    m_creditLabel->setFont(bold);
    m_creditLabel->setWordWrap(true);

    auto* panel = new QVBoxLayout(m_leftPanel);
    panel->setContentsMargins(6, 0, 6, 8);
    panel->addWidget(m_logoPanel);
    panel->addSpacing(6);
    panel->addWidget(m_archivesTitleLabel);
    panel->addWidget(m_archiveTree, 1);
    panel->addWidget(m_creditLabel);
    panel->addWidget(m_dateLabel);

    connect(m_archiveTree, &QTreeWidget::itemClicked, this,
            [this] { handler::run([this] { onTreeNodeClicked(); }); });
    connect(m_archiveTree, &QTreeWidget::itemActivated, this,
            [this] { handler::run([this] { onTreeNodeClicked(); }); });
}

void MainWindow::load() {
    auto& state = m_session;
    settings::loadStartupFiles(state);
    offerOptionalEntries(settings::readFeatures(state.appFolder));
    state.helpFile = QDir(state.appFolder).filePath(QStringLiteral("guida/indice.txt"));
    showCredit(state.credit);
    m_selectedNode = 1;
    rebuildTree();
    state.lengthNotice = true;
    m_browser->show();
    // The list of address books opens, and the first address book is clicked.
    showDate(platform::Clock::todayText());
    selectNode(2);
    onTreeNodeClicked();
    readLayout();
}

void MainWindow::readLayout() {
    const auto lines = platform::TextFile::readLines(
        QDir(m_session.appFolder).filePath(QStringLiteral("tbta")), 8);
    const auto values = lines ? settings::parseTbta(*lines) : std::nullopt;
    if (values) {
        setToolbarValue(values->first);
        setPanelWidthTwips(values->second + 100);
    } else {
        setToolbarValue(1);
        setPanelWidthTwips(2500);
        m_browser->holdList();
    }
}

void MainWindow::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (!m_activated) {
        m_activated = true;
        QTimer::singleShot(0, this, [this] { handler::run([this] { refreshOnActivation(); }); });
    }
}

// Another window of the program handing the focus back counts as an activation; the focus
// coming back from another program does not.
void MainWindow::focusMoved() {
    QWindow* focus = QGuiApplication::focusWindow();
    if (!focus)
        return;
    if (focus == windowHandle()) {
        if (m_formWasActive) {
            m_formWasActive = false;
            handler::run([this] { refreshOnActivation(); });
        }
        return;
    }
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->windowHandle() == focus && w->property("quilletForm").toBool())
            m_formWasActive = true;
}

void MainWindow::refreshOnActivation() {
    if (QTreeWidgetItem* first = nodeAt(1))
        first->setExpanded(true);
    selectNode(m_selectedNode);
    m_browser->refreshList();
}

void MainWindow::rebuildTree() {
    m_archiveTree->clear();
    QTreeWidgetItem* root = nullptr;
    for (const archivetree::Node& node :
         archivetree::nodes(addressbooks::names(m_session.appFolder))) {
        auto* item = node.root ? new QTreeWidgetItem(m_archiveTree) : new QTreeWidgetItem(root);
        if (node.root)
            root = item;
        item->setText(0, node.text);
        item->setData(0, Qt::UserRole, node.key);
        item->setIcon(0, QIcon(archivetree::pictureResource(node.picture)));
    }
}

void MainWindow::onTreeNodeClicked() {
    QTreeWidgetItem* item = m_archiveTree->currentItem();
    if (!item)
        return;
    const QString key = item->data(0, Qt::UserRole).toString();
    const QString text = item->text(0);
    m_selectedNode = indexOf(item);
    m_browser->showArchive(key, text);
}

QString MainWindow::listedBook() const {
    // Roots have the keys "a1".."a4"; any other node lists an archive of its book.
    const QString key = selectedKey();
    return key.isEmpty() || key.startsWith(QLatin1Char('a')) ? QString() : selectedText();
}

QString MainWindow::selectedKey() const {
    const QTreeWidgetItem* item = m_archiveTree->currentItem();
    return item ? item->data(0, Qt::UserRole).toString() : QString();
}

QString MainWindow::selectedText() const {
    const QTreeWidgetItem* item = m_archiveTree->currentItem();
    return item ? item->text(0) : QString();
}

void MainWindow::selectNode(int index) {
    if (QTreeWidgetItem* item = nodeAt(index))
        m_archiveTree->setCurrentItem(item);
}

QTreeWidgetItem* MainWindow::nodeAt(int index) const {
    int n = 0;
    for (int r = 0; r < m_archiveTree->topLevelItemCount(); ++r) {
        QTreeWidgetItem* root = m_archiveTree->topLevelItem(r);
        if (++n == index)
            return root;
        for (int c = 0; c < root->childCount(); ++c)
            if (++n == index)
                return root->child(c);
    }
    return nullptr;
}

int MainWindow::indexOf(const QTreeWidgetItem* item) const {
    for (int i = 1, count = nodeCount(); i <= count; ++i)
        if (nodeAt(i) == item)
            return i;
    return 0;
}

int MainWindow::nodeCount() const {
    int n = 0;
    for (int r = 0; r < m_archiveTree->topLevelItemCount(); ++r)
        n += 1 + m_archiveTree->topLevelItem(r)->childCount();
    return n;
}

void MainWindow::showDate(const QString& text) {
    m_dateLabel->setText(text);
}

void MainWindow::showCredit(double credit) {
    m_creditLabel->setText(settings::creditCaption(credit));
}

void MainWindow::setToolbarValue(int value) {
    m_toolBar->setToolButtonStyle(value != 0 ? Qt::ToolButtonTextUnderIcon
                                             : Qt::ToolButtonIconOnly);
}

void MainWindow::setPanelWidthTwips(int tw) {
    const int px = std::max(m_leftPanel->minimumWidth(), twips::toPixels(tw));
    const int total = std::max(m_splitter->width(), px + 1);
    m_splitter->setSizes({px, total - px});
    m_leftPanel->resize(px, m_leftPanel->height());
}

void MainWindow::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    keepWidthInBounds();
}

// The main window stays between 7000 and 18200 twips wide.
void MainWindow::keepWidthInBounds() {
    const Qt::WindowStates state = windowState();
    const bool normal =
        !(state & (Qt::WindowMinimized | Qt::WindowMaximized | Qt::WindowFullScreen));
    if (normal && width() < twips::toPixels(7000)) {
        resize(twips::toPixels(7000), height());
    } else if (!(state & Qt::WindowMinimized) && width() > twips::toPixels(18200)) {
        if (state & (Qt::WindowMaximized | Qt::WindowFullScreen))
            showNormal();
        resize(twips::toPixels(18200), height());
    }
    m_layoutTimer->start(1);
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_leftPanel && event->type() == QEvent::Resize)
        onToolbarResized();
    return QMainWindow::eventFilter(watched, event);
}

// Narrower than 2300 twips the toolbar drops its captions; 1850 twips is the least width
// (the panel's minimum width).
void MainWindow::onToolbarResized() {
    if (m_leftPanel->width() < twips::toPixels(2300))
        setToolbarValue(0);
    m_layoutTimer->start(1);
}

void MainWindow::layOutPanes() {
    m_layoutTimer->stop();
    const int top = m_toolbarPanel->width();
    if (top == 0 || isMinimized())
        return;
    int width = -1;
    int height = -1;
    if (this->width() > twips::toPixels(301))
        width = top - m_leftPanel->width() - twips::toPixels(150);
    const int outer = frameGeometry().height();
    if (outer > twips::toPixels(2201))
        height = outer - twips::toPixels(2000);
    m_browser->resizeList(width, height);
}
