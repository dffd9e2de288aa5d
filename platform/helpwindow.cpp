#include "platform/helpwindow.h"

#include "platform/dialogs.h"
#include "platform/textfile.h"

#include <QApplication>
#include <QCollator>
#include <QDir>
#include <QEvent>
#include <QFile>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPointer>
#include <QSplitter>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

#include <algorithm>

namespace platform {

namespace {

// Pages are Windows-1252 unless they carry a UTF-8 mark or declare UTF-8.
QString pageText(const QByteArray& bytes) {
    if (bytes.startsWith("\xEF\xBB\xBF"))
        return QString::fromUtf8(bytes.sliced(3));
    const QByteArray head = bytes.left(1024).toLower();
    if (head.contains("charset=utf-8") || head.contains("charset=\"utf-8\""))
        return QString::fromUtf8(bytes);
    return TextFile::decode(bytes);
}

class HelpBrowser final : public QTextBrowser {
public:
    using QTextBrowser::QTextBrowser;

    QVariant loadResource(int type, const QUrl& name) override {
        if (type == QTextDocument::HtmlResource && name.isLocalFile()) {
            QFile file(name.toLocalFile());
            if (!file.open(QIODevice::ReadOnly))
                return {};
            return pageText(file.readAll());
        }
        return QTextBrowser::loadResource(type, name);
    }
};

// Up, Down and page keys typed in the search move through the list of keys.
class KeysNavigation final : public QObject {
public:
    KeysNavigation(QListWidget* keys, QObject* parent)
        : QObject(parent)
        , m_keys(keys) {}

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::KeyPress) {
            switch (static_cast<QKeyEvent*>(event)->key()) {
            case Qt::Key_Up:
            case Qt::Key_Down:
            case Qt::Key_PageUp:
            case Qt::Key_PageDown:
                QCoreApplication::sendEvent(m_keys, event);
                return true;
            default:
                break;
            }
        }
        return QObject::eventFilter(watched, event);
    }

private:
    QListWidget* m_keys;
};

QString absoluteClean(const QString& path) {
    return QDir::cleanPath(QFileInfo(path).absoluteFilePath());
}

} // namespace

HelpWindow::HelpWindow(const QString& helpIndex, QWidget* parent)
    : QWidget(parent, Qt::Window)
    , m_indexPath(absoluteClean(helpIndex))
    , m_folder(QFileInfo(m_indexPath).absolutePath())
    , m_search(new QLineEdit)
    , m_keys(new QListWidget)
    , m_page(new HelpBrowser) {
    setWindowTitle(QStringLiteral("Guida di Quillet"));

    m_search->setObjectName(QStringLiteral("cerca"));
    m_search->setPlaceholderText(
        QStringLiteral("Digitare le prime lettere della parola da cercare"));
    m_search->setClearButtonEnabled(true);
    m_search->installEventFilter(new KeysNavigation(m_keys, this));

    m_keys->setObjectName(QStringLiteral("chiavi"));
    m_keys->setSelectionMode(QAbstractItemView::SingleSelection);
    m_keys->setUniformItemSizes(true);

    m_page->setObjectName(QStringLiteral("pagina"));
    m_page->setOpenLinks(false);

    auto* searchLabel = new QLabel(QStringLiteral("&Cerca:"));
    searchLabel->setBuddy(m_search);
    auto* keysLabel = new QLabel(QStringLiteral("Voci della guida:"));

    auto* left = new QWidget;
    auto* leftLayout = new QVBoxLayout(left);
    leftLayout->setContentsMargins(0, 0, 0, 0);
    leftLayout->addWidget(searchLabel);
    leftLayout->addWidget(m_search);
    leftLayout->addWidget(keysLabel);
    leftLayout->addWidget(m_keys, 1);

    auto* splitter = new QSplitter(Qt::Horizontal);
    splitter->addWidget(left);
    splitter->addWidget(m_page);
    splitter->setStretchFactor(0, 0);
    splitter->setStretchFactor(1, 1);
    splitter->setChildrenCollapsible(false);
    // Wide enough for the whole hint in the search box.
    const int leftWidth =
        std::max(240, m_search->fontMetrics().horizontalAdvance(m_search->placeholderText()) +
                          m_search->fontMetrics().averageCharWidth() * 6);
    splitter->setSizes({leftWidth, 600});

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(splitter);
    resize(leftWidth + 620, 620);

    connect(m_search, &QLineEdit::textChanged, this, &HelpWindow::filter);
    connect(m_search, &QLineEdit::returnPressed, this, &HelpWindow::showChosen);
    connect(m_keys, &QListWidget::itemActivated, this,
            [this](QListWidgetItem* item) { showKey(item->text()); });
    connect(m_keys, &QListWidget::itemClicked, this,
            [this](QListWidgetItem* item) { showKey(item->text()); });
    connect(m_page, &QTextBrowser::anchorClicked, this, &HelpWindow::followLink);

    loadIndex();
}

HelpWindow* HelpWindow::showSearch(QPointer<HelpWindow>& held, const QString& helpIndex,
                                   const QString& key) {
    if (held && held->m_indexPath != absoluteClean(helpIndex))
        delete held.data();
    if (!held) {
        auto* window = new HelpWindow(helpIndex);
        window->setAttribute(Qt::WA_DeleteOnClose);
        // The help alone does not keep the program running.
        window->setAttribute(Qt::WA_QuitOnClose, false);
        if (QCoreApplication::instance())
            connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit, window,
                    [window] { delete window; });
        held = window;
    }

    HelpWindow* window = held.data();
    window->m_search->setText(key);
    if (!key.isEmpty() && !window->visibleKeys().isEmpty())
        window->showChosen();
    if (window->isMinimized())
        window->showNormal();
    else
        window->show();
    window->raise();
    window->activateWindow();
    window->m_search->setFocus();
    return window;
}

QStringList HelpWindow::visibleKeys() const {
    QStringList keys;
    for (int row = 0; row < m_keys->count(); ++row) {
        const QListWidgetItem* item = m_keys->item(row);
        if (!item->isHidden())
            keys.append(item->text());
    }
    return keys;
}

QString HelpWindow::currentPage() const {
    return m_currentPage;
}

void HelpWindow::loadIndex() {
    const auto lines = TextFile::readLines(m_indexPath);
    if (!lines) {
        showMessage(QStringLiteral("La guida non è disponibile: manca il file %1.")
                        .arg(QDir::toNativeSeparators(m_indexPath)));
        return;
    }
    for (const QString& line : *lines) {
        const qsizetype tab = line.indexOf(u'\t');
        if (tab < 0)
            continue;
        const QString key = line.left(tab).trimmed();
        const QString page = line.mid(tab + 1).trimmed();
        if (key.isEmpty() || page.isEmpty())
            continue;
        const bool known = std::any_of(m_index.cbegin(), m_index.cend(), [&key](const auto& e) {
            return e.first.compare(key, Qt::CaseInsensitive) == 0;
        });
        if (!known)
            m_index.append({key, page});
    }
    if (m_index.isEmpty()) {
        showMessage(QStringLiteral("La guida non è disponibile: il file %1 non contiene voci.")
                        .arg(QDir::toNativeSeparators(m_indexPath)));
        return;
    }

    QStringList keys;
    for (const auto& entry : std::as_const(m_index))
        keys.append(entry.first);
    QCollator collator(QLocale(QLocale::Italian, QLocale::Italy));
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    std::sort(keys.begin(), keys.end(), collator);
    m_keys->addItems(keys);
    filter(m_search->text());

    // The first entry of the index is the starting page.
    showKey(m_index.first().first);
}

void HelpWindow::filter(const QString& prefix) {
    const QString wanted = prefix.trimmed();
    QListWidgetItem* first = nullptr;
    for (int row = 0; row < m_keys->count(); ++row) {
        QListWidgetItem* item = m_keys->item(row);
        const bool match = item->text().startsWith(wanted, Qt::CaseInsensitive);
        item->setHidden(!match);
        if (match && !first)
            first = item;
    }
    m_keys->setCurrentItem(first);
    if (first)
        m_keys->scrollToItem(first, QAbstractItemView::PositionAtTop);
}

void HelpWindow::showChosen() {
    QListWidgetItem* item = m_keys->currentItem();
    if (!item || item->isHidden()) {
        const QStringList keys = visibleKeys();
        if (keys.isEmpty())
            return;
        showKey(keys.first());
        return;
    }
    showKey(item->text());
}

void HelpWindow::showKey(const QString& key) {
    for (const auto& [entryKey, target] : std::as_const(m_index)) {
        if (entryKey.compare(key, Qt::CaseInsensitive) == 0) {
            // "page.html#section" opens the page at that section.
            showPage(target.section(u'#', 0, 0), target.section(u'#', 1));
            return;
        }
    }
}

void HelpWindow::showPage(const QString& page, const QString& fragment) {
    const QString path = QDir(m_folder).filePath(page);
    if (!QFileInfo(path).isFile()) {
        showMessage(QStringLiteral("La pagina %1 della guida non è disponibile.").arg(page));
        return;
    }
    QUrl url = QUrl::fromLocalFile(path);
    if (!fragment.isEmpty())
        url.setFragment(fragment);
    m_page->setSource(url, QTextDocument::HtmlResource);
    m_currentPage = page;
}

void HelpWindow::showMessage(const QString& text) {
    m_currentPage.clear();
    m_page->setHtml(QStringLiteral("<p style=\"margin: 16px; font-size: large;\">%1</p>")
                        .arg(text.toHtmlEscaped()));
}

void HelpWindow::followLink(const QUrl& link) {
    const QUrl target = m_page->source().resolved(link);
    if (!target.isLocalFile()) {
        openUrl(target);
        return;
    }
    const QString page = QDir(m_folder).relativeFilePath(target.toLocalFile());
    showPage(page, target.fragment());
}

} // namespace platform
