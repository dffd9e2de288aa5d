// The archive list of one address book as the browser shows it, beside a raw SQLite read of
// the same rows through the surname index, in the same run:
//   bench-list FOLDER [BOOK] [RUNS] [KIND]
// KIND: r (the contacts, by default) or i (SMS Inviati, with the delivery column).
// First screen (from the click to the list painted), a row reached by the scroll bar (the
// middle and the end; right after the first screen, and once the order has been read while
// idle), and the resident memory of the program with the book open.
#include "bench/measure.h"
#include "browser/archivebrowser.h"
#include "browser/archivemodel.h"
#include "core/session.h"
#include "store/archive.h"
#include "store/database.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QScrollBar>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

using measure::median;
using measure::msSince;

long statusKb(const char* field) {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray key = QByteArray(field) + ':';
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith(key))
            return line.mid(key.size()).trimmed().split(' ').value(0).toLong();
    return -1;
}

// The least a screen could cost: `rows` rows from `offset` on, walked through the surname
// index, on a connection of their own.
double rawPage(const QString& path, bool sent, qint64 offset, int rows) {
    QElapsedTimer t;
    t.start();
    auto db = store::Database::open(path);
    store::sqlite::Statement page(
        *db->connection(),
        QByteArray(sent ? "SELECT cellulare, cognome, Data, Testo FROM inviati ORDER BY cognome "
                          "COLLATE "
                        : "SELECT cellulare, Nome, cognome, email FROM rubrica ORDER BY cognome "
                          "COLLATE ") +
            store::Database::textCollation() + " LIMIT ?1 OFFSET ?2");
    page.bind(1, rows).bind(2, offset);
    qsizetype bytes = 0;
    while (page.step())
        for (int c = 0; c < 4; ++c)
            bytes += page.utf8(c).size();
    return bytes >= 0 ? msSince(t) : 0;
}

QAbstractItemView* listOf(ArchiveBrowser& browser) {
    return browser.findChild<QAbstractItemView*>(QStringLiteral("lvw1"));
}

// Moves the scroll bar to `fraction` of its way and paints what the list then shows.
double scrollTo(ArchiveBrowser& browser, double fraction) {
    QAbstractItemView* list = listOf(browser);
    QScrollBar* bar = list->verticalScrollBar();
    QElapsedTimer t;
    t.start();
    bar->setValue(static_cast<int>(bar->maximum() * fraction));
    list->viewport()->repaint();
    return msSince(t);
}

// The runs one after the other, each step called back from the event loop.
class ListBench final : public QObject {
public:
    ListBench(ArchiveBrowser& browser, QString node, QString book, int runs)
        : m_browser(browser)
        , m_node(std::move(node))
        , m_book(std::move(book))
        , m_runs(runs) {}

    std::vector<double> first, middle, end, idleMiddle, idleEnd, idleRead;
    int rows = 0;

    void start() { nextRun(); }

private:
    // The list emptied and painted, then the tree click.
    void nextRun() {
        if (static_cast<int>(first.size()) == m_runs)
            return QCoreApplication::exit(0);
        m_browser.clearList();
        QTimer::singleShot(0, this, [this] {
            m_clock.start();
            m_browser.showArchive(m_node, m_book); // the tree click
            whenListed([this] { firstScreen(); });
        });
    }

    void whenListed(std::function<void()> then) {
        measure::whenReady(
            this, [this] { return m_browser.model()->rowCount() > 0; }, std::move(then), 1);
    }

    void firstScreen() {
        listOf(m_browser)->viewport()->repaint();
        first.push_back(msSince(m_clock));
        rows = m_browser.model()->rowCount();
        middle.push_back(scrollTo(m_browser, 0.5));
        end.push_back(scrollTo(m_browser, 1.0));
        // Once the order has been read while the program was idle.
        m_browser.clearList();
        m_browser.showArchive(m_node, m_book);
        whenListed([this] {
            m_clock.start();
            measure::whenReady(
                this, [this] { return m_browser.model()->orderRead(); },
                [this] {
                    idleRead.push_back(msSince(m_clock));
                    idleMiddle.push_back(scrollTo(m_browser, 0.5));
                    idleEnd.push_back(scrollTo(m_browser, 1.0));
                    nextRun();
                },
                5);
        });
    }

    ArchiveBrowser& m_browser;
    const QString m_node, m_book;
    const int m_runs;
    QElapsedTimer m_clock;
};

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList args = QApplication::arguments();
    if (args.size() < 2) {
        std::fputs("Uso: bench-list CARTELLA [RUBRICA] [RIPETIZIONI]\n", stderr);
        return 2;
    }
    const QString book = args.value(2, QStringLiteral("Principale"));
    const int runs = measure::count(3, 5);
    const bool sent = args.value(4) == QLatin1String("i");
    const QString path = store::archive::addressBookPath(args[1], book);

    QElapsedTimer opening;
    opening.start();
    store::Database::open(path); // a file made before the list's index gets it now, once
    const double firstOpen = msSince(opening);

    Session session;
    session.appFolder = args[1];
    ArchiveBrowser browser(session);
    browser.resize(900, 600);
    browser.resizeList(880, 560);
    browser.show();
    ListBench bench(browser, sent ? QStringLiteral("i1") : QStringLiteral("r1"), book, runs);
    QTimer::singleShot(0, &bench, &ListBench::start);
    app.exec();

    // The program's memory before the raw reads below, which fill a page cache of their own.
    const long residentKb = statusKb("VmRSS"), peakKb = statusKb("VmHWM");
    const int rows = bench.rows;
    const int shown =
        listOf(browser)->viewport()->height() / std::max(1, listOf(browser)->sizeHintForRow(0)) + 1;
    std::vector<double> rawFirst, rawMiddle, rawEnd;
    for (int r = 0; r < runs; ++r) {
        rawFirst.push_back(rawPage(path, sent, 0, shown));
        rawMiddle.push_back(rawPage(path, sent, rows / 2, shown));
        rawEnd.push_back(rawPage(path, sent, std::max(0, rows - shown), shown));
    }
    const auto line = [](const char* what, const std::vector<double>& ours,
                         const std::vector<double>& raw) {
        std::printf("  %-34s mediana %7.1f ms   SQLite puro %7.1f ms\n", what, median(ours),
                    median(raw));
    };
    std::printf("rubrica %s: %d righe, %d ripetizioni\n", book.toLocal8Bit().constData(), rows,
                runs);
    std::printf("  prima apertura (indici)            %8.1f ms\n", firstOpen);
    line("prima schermata dal clic", bench.first, rawFirst);
    line("barra a metà, subito", bench.middle, rawMiddle);
    line("barra in fondo, subito", bench.end, rawEnd);
    line("barra a metà, ordine già letto", bench.idleMiddle, rawMiddle);
    line("barra in fondo, ordine già letto", bench.idleEnd, rawEnd);
    std::printf("  ordine intero letto nei momenti liberi in %.1f ms dopo la prima schermata\n",
                median(bench.idleRead));
    std::printf("  memoria residente con la rubrica aperta %ld MB, massima %ld MB\n",
                residentKb / 1024, peakKb / 1024);
    return rows > 0 ? 0 : 1;
}
