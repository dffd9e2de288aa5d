#include "platform/dialogs.h"
#include "platform/helpwindow.h"
#include "platform/textfile.h"

#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QPointer>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBrowser>

#include <memory>

using namespace platform;

namespace {

bool writeBytes(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QByteArray page(const QByteArray& title, const QByteArray& body) {
    return "<html><head><meta charset=\"windows-1252\"><title>" + title +
           "</title></head><body><h1>" + title + "</h1>" + body + "</body></html>\r\n";
}

} // namespace

class TestHelpWindow final : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void filtersByPrefix_data();
    void filtersByPrefix();
    void startsOnFirstIndexEntry();
    void enterShowsChosenKey_data();
    void enterShowsChosenKey();
    void clickShowsPage();
    void missingIndex();
    void missingPage();
    void links_data();
    void links();
    void showSearchReusesOneWindow();
    void installedHelpIsComplete();

private:
    QString indexPath() const { return m_dir->filePath(QStringLiteral("indice.txt")); }
    QLineEdit* search(HelpWindow& w) { return w.findChild<QLineEdit*>(QStringLiteral("cerca")); }
    QListWidget* keys(HelpWindow& w) { return w.findChild<QListWidget*>(QStringLiteral("chiavi")); }
    QTextBrowser* pageView(HelpWindow& w) {
        return w.findChild<QTextBrowser*>(QStringLiteral("pagina"));
    }
    void type(HelpWindow& w, const QString& text) {
        search(w)->clear();
        QTest::keyClicks(search(w), text);
    }

    std::unique_ptr<QTemporaryDir> m_dir;
};

void TestHelpWindow::init() {
    m_dir = std::make_unique<QTemporaryDir>();
    const QStringList index = {
        QStringLiteral("sommario\tsommario.html"),   QStringLiteral("rubrica\trubriche.html"),
        QStringLiteral("SMS flash\tsms.html#flash"), QStringLiteral("sms salvati\tarchivi.html"),
        QStringLiteral("Città\tcitta.html"),         QStringLiteral("contatto\trubriche.html"),
        QStringLiteral("credito\taccount.html"),     QStringLiteral("pagina mancante\tmanca.html"),
        QStringLiteral("riga senza tabulazione"),
        QStringLiteral("Rubrica\tsms.html"), // the same key again: the first one counts
        QStringLiteral("  spazi  \t  sms.html  "),   QString(),
    };
    QVERIFY(TextFile::replaceLines(indexPath(), index));
    QVERIFY(writeBytes(m_dir->filePath(QStringLiteral("sommario.html")),
                       page("Sommario", "<p>Questa \xE8 la guida.</p>")));
    QVERIFY(writeBytes(m_dir->filePath(QStringLiteral("rubriche.html")),
                       page("Rubriche e contatti",
                            "<p>Vedi <a href=\"sms.html#flash\">SMS flash</a>, "
                            "<a href=\"https://example.org/guida\">il sito</a> e "
                            "<a href=\"mailto:assistenza@example.org\">l'assistenza</a>.</p>")));
    QVERIFY(writeBytes(m_dir->filePath(QStringLiteral("sms.html")),
                       page("Inviare SMS", "<p id=\"flash\">Un SMS flash compare subito.</p>")));
    QVERIFY(writeBytes(m_dir->filePath(QStringLiteral("archivi.html")),
                       page("Messaggi salvati", "<p>Bozze.</p>")));
    QVERIFY(writeBytes(m_dir->filePath(QStringLiteral("citta.html")),
                       page("Citt\xE0", "<p>\x80 5</p>")));
    // A page saved as UTF-8 reads as well.
    QVERIFY(writeBytes(m_dir->filePath(QStringLiteral("account.html")),
                       "\xEF\xBB\xBF<html><body><h1>Account</h1><p>Disponibilit\xC3\xA0 "
                       "\xE2\x82\xAC</p></body></html>"));
}

void TestHelpWindow::cleanup() {
    m_dir.reset();
}

void TestHelpWindow::filtersByPrefix_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QStringList>("visible");

    QTest::newRow("nothing typed: all keys in Italian order")
        << QString()
        << QStringList{QStringLiteral("Città"),       QStringLiteral("contatto"),
                       QStringLiteral("credito"),     QStringLiteral("pagina mancante"),
                       QStringLiteral("rubrica"),     QStringLiteral("SMS flash"),
                       QStringLiteral("sms salvati"), QStringLiteral("sommario"),
                       QStringLiteral("spazi")};
    QTest::newRow("lower case finds upper case")
        << QStringLiteral("sm")
        << QStringList{QStringLiteral("SMS flash"), QStringLiteral("sms salvati")};
    QTest::newRow("accented capital")
        << QStringLiteral("CITTÀ") << QStringList{QStringLiteral("Città")};
    QTest::newRow("only at the beginning") << QStringLiteral("flash") << QStringList{};
    QTest::newRow("no match") << QStringLiteral("xyz") << QStringList{};
    QTest::newRow("blanks around")
        << QStringLiteral("  rub ") << QStringList{QStringLiteral("rubrica")};
}

void TestHelpWindow::filtersByPrefix() {
    QFETCH(QString, typed);
    QFETCH(QStringList, visible);

    HelpWindow window(indexPath());
    type(window, typed);
    QCOMPARE(window.visibleKeys(), visible);
}

void TestHelpWindow::startsOnFirstIndexEntry() {
    HelpWindow window(indexPath());
    QCOMPARE(window.windowTitle(), QStringLiteral("Guida di Quillet"));
    QCOMPARE(search(window)->placeholderText(),
             QStringLiteral("Digitare le prime lettere della parola da cercare"));
    QCOMPARE(window.currentPage(), QStringLiteral("sommario.html"));
    QVERIFY(pageView(window)->toPlainText().contains(QStringLiteral("Questa è la guida.")));
}

void TestHelpWindow::enterShowsChosenKey_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<int>("downs");
    QTest::addColumn<QString>("page");
    QTest::addColumn<QString>("shows");

    QTest::newRow("first match") << QStringLiteral("sm") << 0 << QStringLiteral("sms.html")
                                 << QStringLiteral("Un SMS flash compare subito.");
    QTest::newRow("arrow to the second match")
        << QStringLiteral("sm") << 1 << QStringLiteral("archivi.html") << QStringLiteral("Bozze.");
    QTest::newRow("Windows-1252 page")
        << QStringLiteral("citt") << 0 << QStringLiteral("citta.html") << QStringLiteral("€ 5");
    QTest::newRow("UTF-8 page") << QStringLiteral("cred") << 0 << QStringLiteral("account.html")
                                << QStringLiteral("Disponibilità €");
    QTest::newRow("no match keeps the page")
        << QStringLiteral("xyz") << 0 << QStringLiteral("sommario.html")
        << QStringLiteral("Questa è la guida.");
}

void TestHelpWindow::enterShowsChosenKey() {
    QFETCH(QString, typed);
    QFETCH(int, downs);
    QFETCH(QString, page);
    QFETCH(QString, shows);

    HelpWindow window(indexPath());
    type(window, typed);
    for (int i = 0; i < downs; ++i)
        QTest::keyClick(search(window), Qt::Key_Down);
    QTest::keyClick(search(window), Qt::Key_Return);
    QCOMPARE(window.currentPage(), page);
    QVERIFY2(pageView(window)->toPlainText().contains(shows),
             qPrintable(pageView(window)->toPlainText()));
}

void TestHelpWindow::clickShowsPage() {
    HelpWindow window(indexPath());
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QListWidget* list = keys(window);
    const auto found = list->findItems(QStringLiteral("contatto"), Qt::MatchExactly);
    QCOMPARE(found.size(), 1);
    list->scrollToItem(found.first());
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                      list->visualItemRect(found.first()).center());
    QCOMPARE(window.currentPage(), QStringLiteral("rubriche.html"));
    QVERIFY(pageView(window)->toPlainText().contains(QStringLiteral("Rubriche e contatti")));
}

void TestHelpWindow::missingIndex() {
    const QString missing = m_dir->filePath(QStringLiteral("guida/indice.txt"));
    HelpWindow window(missing);
    QVERIFY(window.visibleKeys().isEmpty());
    QVERIFY(window.currentPage().isEmpty());
    QCOMPARE(pageView(window)->toPlainText(),
             QStringLiteral("La guida non è disponibile: manca il file %1.")
                 .arg(QDir::toNativeSeparators(missing)));
    // Typing and Enter do nothing harmful.
    type(window, QStringLiteral("sms"));
    QTest::keyClick(search(window), Qt::Key_Return);
    QVERIFY(window.currentPage().isEmpty());
}

void TestHelpWindow::missingPage() {
    HelpWindow window(indexPath());
    type(window, QStringLiteral("pagina"));
    QTest::keyClick(search(window), Qt::Key_Return);
    QVERIFY(window.currentPage().isEmpty());
    QCOMPARE(pageView(window)->toPlainText(),
             QStringLiteral("La pagina manca.html della guida non è disponibile."));
}

void TestHelpWindow::links_data() {
    QTest::addColumn<QString>("link");
    QTest::addColumn<QString>("page");   // the page shown afterwards
    QTest::addColumn<QString>("opened"); // what went to the browser or mail program

    QTest::newRow("another page") << QStringLiteral("sms.html#flash") << QStringLiteral("sms.html")
                                  << QString();
    QTest::newRow("web page") << QStringLiteral("https://example.org/guida")
                              << QStringLiteral("rubriche.html")
                              << QStringLiteral("https://example.org/guida");
}

void TestHelpWindow::links() {
    QFETCH(QString, link);
    QFETCH(QString, page);
    QFETCH(QString, opened);

    HelpWindow window(indexPath());
    type(window, QStringLiteral("rubrica"));
    QTest::keyClick(search(window), Qt::Key_Return);
    QCOMPARE(window.currentPage(), QStringLiteral("rubriche.html"));

    DialogScript script;
    emit pageView(window)->anchorClicked(QUrl(link));
    QCOMPARE(window.currentPage(), page);
    if (opened.isEmpty()) {
        QVERIFY(script.shown().isEmpty());
    } else {
        QCOMPARE(script.shown().size(), 1);
        QCOMPARE(script.shown().first().kind, Shown::Kind::Url);
        QCOMPARE(script.shown().first().text, opened);
    }
}

void TestHelpWindow::showSearchReusesOneWindow() {
    QPointer<HelpWindow> first = HelpWindow::showSearch(indexPath(), QStringLiteral("cred"));
    QVERIFY(first);
    QVERIFY(first->isVisible());
    QVERIFY(!first->parentWidget());
    QCOMPARE(search(*first)->text(), QStringLiteral("cred"));
    QCOMPARE(first->visibleKeys(), QStringList{QStringLiteral("credito")});
    QCOMPARE(first->currentPage(), QStringLiteral("account.html"));

    HelpWindow* again = HelpWindow::showSearch(indexPath(), QString());
    QCOMPARE(again, first.data());
    QCOMPARE(search(*again)->text(), QString());
    QCOMPARE(again->visibleKeys().size(), 9);
    QCOMPARE(again->currentPage(), QStringLiteral("account.html"));

    // Closed by the user: the next call opens a fresh window.
    first->close();
    QTRY_VERIFY(!first);
    QPointer<HelpWindow> reopened = HelpWindow::showSearch(indexPath(), QStringLiteral("sms"));
    QVERIFY(reopened);
    QCOMPARE(reopened->visibleKeys().size(), 2);

    // Another index replaces the window.
    QPointer<HelpWindow> other =
        HelpWindow::showSearch(m_dir->filePath(QStringLiteral("altro.txt")), QString());
    QVERIFY(!reopened);
    QVERIFY(other);
    delete other.data();
}

void TestHelpWindow::installedHelpIsComplete() {
    const QString source = qEnvironmentVariable("QUILLET_SOURCE_DIR");
    if (source.isEmpty())
        QSKIP("QUILLET_SOURCE_DIR is not set");
    const QString index = source + QStringLiteral("/dist/guida/indice.txt");
    QVERIFY(QFileInfo::exists(index));

    HelpWindow window(index);
    const QStringList all = window.visibleKeys();
    QVERIFY(all.size() >= 20);
    for (const QString& key : all) {
        search(window)->setText(key);
        QTest::keyClick(search(window), Qt::Key_Return);
        QVERIFY2(!window.currentPage().isEmpty(), qPrintable(key));
        const QString text = pageView(window)->toPlainText();
        QVERIFY2(!text.contains(QChar(0xFFFD)) && !text.contains(QStringLiteral("Ã")),
                 qPrintable(window.currentPage()));
    }

    // Links between pages lead to pages that exist.
    const QDir folder = QFileInfo(index).absoluteDir();
    const QRegularExpression href(QStringLiteral("href=\"([^\"#:]+)(#[^\"]*)?\""));
    const auto pages = folder.entryInfoList({QStringLiteral("*.html")}, QDir::Files);
    QVERIFY(pages.size() >= 7);
    for (const QFileInfo& info : pages) {
        const auto lines = TextFile::readLines(info.filePath());
        QVERIFY(lines);
        const QString html = lines->join(u'\n');
        QVERIFY2(!html.contains(QStringLiteral("src=\"http")), qPrintable(info.fileName()));
        for (const auto& match : href.globalMatch(html)) {
            QVERIFY2(folder.exists(match.captured(1)),
                     qPrintable(info.fileName() + QStringLiteral(" -> ") + match.captured(1)));
        }
    }
}

QTEST_MAIN(TestHelpWindow)
#include "tst_helpwindow.moc"
