#include "app/mainwindow.h"

#include "app/archivetree.h"
#include "app/session.h"
#include "app/settings.h"
#include "app/twips.h"
#include "browser/archivebrowser.h"
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
    , Picture2(new QWidget(this))
    , Toolbar1(new QToolBar(Picture2))
    , Picture1(new QWidget(this))
    , Picture3(new QWidget(Picture1))
    , Picture4(label(QStringLiteral("Picture4"), {}, Picture3))
    , Picture5(label(QStringLiteral("Picture5"), QStringLiteral("Quillet"), Picture3))
    , Label2(label(QStringLiteral("Label2"), QStringLiteral("Elenco Archivi"), Picture1))
    , TreeView1(new QTreeWidget(Picture1))
    , Label3(label(QStringLiteral("Label3"), QStringLiteral("Credito Residuo"), Picture1))
    , Label4(label(QStringLiteral("Label4"), {}, Picture1))
    , Timer1(new QTimer(this))
    , m_session(session)
    , m_splitter(new QSplitter(Qt::Horizontal, this))
    , m_client(new QWidget(this))
    , m_browser(nullptr) {
    setObjectName(QStringLiteral("MDIForm1"));
    setWindowTitle(QStringLiteral("Quillet"));
    setWindowIcon(QIcon(QStringLiteral(":/icons/quillet.svg")));
    platform::nameControls({{Picture2, "Picture2"},
                            {Toolbar1, "Toolbar1"},
                            {Picture1, "Picture1"},
                            {Picture3, "Picture3"},
                            {TreeView1, "TreeView1"},
                            {Timer1, "Timer1"}});

    buildMenus();
    buildToolbar();
    buildLeftPanel();

    // The client area, where the browser lives.
    m_client->setObjectName(QStringLiteral("client"));
    m_client->setAutoFillBackground(true);
    QPalette workspace = m_client->palette();
    workspace.setColor(QPalette::Window, workspace.color(QPalette::Mid));
    m_client->setPalette(workspace);
    m_browser = new ArchiveBrowser(m_session, m_client);
    // The list follows the tree's current node, however it got there.
    connect(TreeView1, &QTreeWidget::currentItemChanged, m_browser,
            [this] { m_browser->setNode(selectedKey(), selectedText()); });
    connect(m_browser, &ArchiveBrowser::composeRequested, this,
            [this](const Entry& entry) { handler::run([this, entry] { composeTo(entry); }); });
    connect(m_browser, &ArchiveBrowser::editRequested, this,
            [this](const Entry& entry) { handler::run([this, entry] { editContact(entry); }); });
    auto* clientLayout = new QVBoxLayout(m_client);
    clientLayout->setContentsMargins(0, 0, 0, 0);
    clientLayout->addWidget(m_browser);

    m_splitter->setObjectName(QStringLiteral("splitter"));
    m_splitter->addWidget(Picture1);
    m_splitter->addWidget(m_client);
    m_splitter->setStretchFactor(0, 0);
    m_splitter->setStretchFactor(1, 1);
    m_splitter->setChildrenCollapsible(false);

    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(Picture2);
    layout->addWidget(m_splitter, 1);
    setCentralWidget(central);

    resize(twips::toPixels(8880), twips::toPixels(9195) + 40);
    Timer1->setSingleShot(true);
    connect(Timer1, &QTimer::timeout, this, [this] { layOutPanes(); });
    Picture1->installEventFilter(this);
    connect(qApp, &QGuiApplication::focusWindowChanged, this, [this] { focusMoved(); });
}

MainWindow::~MainWindow() = default;

void MainWindow::buildLeftPanel() {
    Picture1->setAutoFillBackground(true);
    QPalette white = Picture1->palette();
    white.setColor(QPalette::Window, Qt::white);
    Picture1->setPalette(white);
    Picture1->setMinimumWidth(twips::toPixels(1850));

    Picture4->setPixmap(QIcon(QStringLiteral(":/icons/quillet.svg")).pixmap(40, 40));
    QFont brand = Picture5->font();
    brand.setPointSizeF(brand.pointSizeF() * 1.6);
    brand.setBold(true);
    Picture5->setFont(brand);
    auto* logo = new QHBoxLayout(Picture3);
    logo->setContentsMargins(8, 8, 8, 0);
    logo->addWidget(Picture4);
    logo->addWidget(Picture5, 1);

    QFont bold = Label2->font();
    bold.setBold(true);
    Label2->setFont(bold);
    TreeView1->setHeaderHidden(true);
    TreeView1->setColumnCount(1);
    TreeView1->setIconSize(QSize(16, 16));
    TreeView1->setFrameShape(QFrame::NoFrame);
    Label3->setFont(bold);
    Label3->setWordWrap(true);

    auto* panel = new QVBoxLayout(Picture1);
    panel->setContentsMargins(6, 0, 6, 8);
    panel->addWidget(Picture3);
    panel->addSpacing(6);
    panel->addWidget(Label2);
    panel->addWidget(TreeView1, 1);
    panel->addWidget(Label3);
    panel->addWidget(Label4);

    connect(TreeView1, &QTreeWidget::itemClicked, this,
            [this] { handler::run([this] { onTreeNodeClicked(); }); });
    connect(TreeView1, &QTreeWidget::itemActivated, this,
            [this] { handler::run([this] { onTreeNodeClicked(); }); });
}

void MainWindow::load() {
    auto& state = m_session;
    settings::loadStartupFiles(state);
    state.helpFile = QDir(state.appFolder).filePath(QStringLiteral("guida/indice.txt"));
    showCredit(state.credit);
    m_selectedNode = 1;
    rebuildTree();
    state.lengthNotice = true;
    m_browser->show();
    // The list of address books opens, and the first address book is clicked.
    showDate(platform::Clock::todayText());
    state.archive.open(store::archive::elencoPath(state.appFolder));
    state.archive.openRecordset(QStringLiteral("elenco"));
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
    TreeView1->clear();
    auto& state = m_session;
    state.archive.open(store::archive::elencoPath(state.appFolder));
    store::Recordset& rs = state.archive.openRecordset(QStringLiteral("elenco"));
    QStringList books;
    while (!rs.isEof()) {
        books.append(rs.value(QStringLiteral("Rubrica")));
        rs.MoveNext();
    }
    QTreeWidgetItem* root = nullptr;
    for (const archivetree::Node& node : archivetree::nodes(books)) {
        auto* item = node.root ? new QTreeWidgetItem(TreeView1) : new QTreeWidgetItem(root);
        if (node.root)
            root = item;
        item->setText(0, node.text);
        item->setData(0, Qt::UserRole, node.key);
        item->setIcon(0, QIcon(archivetree::pictureResource(node.picture)));
    }
}

void MainWindow::onTreeNodeClicked() {
    QTreeWidgetItem* item = TreeView1->currentItem();
    if (!item)
        return;
    auto& state = m_session;
    const QString key = item->data(0, Qt::UserRole).toString();
    const QString text = item->text(0);
    // Only lets go of the database last opened: without the template the click goes on.
    try {
        state.archive.open(store::archive::templatePath(state.appFolder));
    } catch (const store::StoreError&) {
        state.archive.rs.reset();
        state.archive.db.reset();
    }
    m_selectedNode = indexOf(item);
    m_browser->showArchive(key, text);
}

QString MainWindow::listedBook() const {
    // Roots have the keys "a1".."a4"; any other node lists an archive of its book.
    const QString key = selectedKey();
    return key.isEmpty() || key.startsWith(QLatin1Char('a')) ? QString() : selectedText();
}

QString MainWindow::selectedKey() const {
    const QTreeWidgetItem* item = TreeView1->currentItem();
    return item ? item->data(0, Qt::UserRole).toString() : QString();
}

QString MainWindow::selectedText() const {
    const QTreeWidgetItem* item = TreeView1->currentItem();
    return item ? item->text(0) : QString();
}

void MainWindow::selectNode(int index) {
    if (QTreeWidgetItem* item = nodeAt(index))
        TreeView1->setCurrentItem(item);
}

QTreeWidgetItem* MainWindow::nodeAt(int index) const {
    int n = 0;
    for (int r = 0; r < TreeView1->topLevelItemCount(); ++r) {
        QTreeWidgetItem* root = TreeView1->topLevelItem(r);
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
    for (int r = 0; r < TreeView1->topLevelItemCount(); ++r)
        n += 1 + TreeView1->topLevelItem(r)->childCount();
    return n;
}

void MainWindow::showDate(const QString& text) {
    Label4->setText(text);
}

void MainWindow::showCredit(double credito) {
    Label3->setText(settings::creditCaption(credito));
}

void MainWindow::setToolbarValue(int value) {
    m_toolbarValue = value;
    Toolbar1->setToolButtonStyle(value != 0 ? Qt::ToolButtonTextUnderIcon : Qt::ToolButtonIconOnly);
}

int MainWindow::panelWidthTwips() const {
    return twips::fromPixels(Picture1->width());
}

void MainWindow::setPanelWidthTwips(int tw) {
    const int px = std::max(Picture1->minimumWidth(), twips::toPixels(tw));
    const int total = std::max(m_splitter->width(), px + 1);
    m_splitter->setSizes({px, total - px});
    Picture1->resize(px, Picture1->height());
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
    Timer1->start(1);
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == Picture1 && event->type() == QEvent::Resize)
        onToolbarResized();
    return QMainWindow::eventFilter(watched, event);
}

// Narrower than 2300 twips the toolbar drops its captions; 1850 twips is the least width
// (the panel's minimum width).
void MainWindow::onToolbarResized() {
    if (Picture1->width() < twips::toPixels(2300))
        setToolbarValue(0);
    Timer1->start(1);
}

void MainWindow::layOutPanes() {
    Timer1->stop();
    const int top = Picture2->width();
    if (top == 0 || isMinimized())
        return;
    int width = -1;
    int height = -1;
    if (this->width() > twips::toPixels(301))
        width = top - Picture1->width() - twips::toPixels(150);
    const int outer = frameGeometry().height();
    if (outer > twips::toPixels(2201))
        height = outer - twips::toPixels(2000);
    m_browser->resizeList(width, height);
}
