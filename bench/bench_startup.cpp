// Time from process start to the first address book listed in the main window:
//   bench-startup FOLDER
// and, as its baseline, from process start to an empty window painted by Qt:
//   bench-startup --solo-qt
// Run it several times (bench/run does) and take the median.
#include "app/mainwindow.h"
#include "core/session.h"
#include "browser/archivebrowser.h"
#include "browser/archivemodel.h"
#include "contacts/numbermigration.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QScrollBar>

#include <cstdio>

int main(int argc, char** argv) {
    QElapsedTimer clock;
    clock.start();
    if (qEnvironmentVariableIsEmpty("QUILLET_SCREENSHOT"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (argc < 2) {
        std::fputs("Uso: bench-startup CARTELLA\n", stderr);
        return 2;
    }
    if (qstrcmp(argv[1], "--solo-qt") == 0) {
        QWidget empty;
        empty.resize(800, 600);
        empty.show();
        QApplication::processEvents();
        empty.grab();
        std::printf("avvio di Qt fino a una finestra vuota dipinta: %.1f ms\n",
                    static_cast<double>(clock.nsecsElapsed()) / 1e6);
        return 0;
    }
    Session session;
    session.appFolder = QDir::cleanPath(QString::fromLocal8Bit(argv[1]));
    // As the program's start does before its main window: the numbers of the books not done yet.
    numbermigration::migrateFolder(session.appFolder);
    MainWindow window(session);
    window.load();
    window.show();
    while (window.browser()->model()->rowCount() == 0 && clock.elapsed() < 60000)
        QApplication::processEvents(QEventLoop::AllEvents, 5);
    window.grab(); // the window painted with its first screen of rows
    std::printf("avvio fino all'elenco della prima rubrica (%d righe): %.1f ms\n",
                window.browser()->model()->rowCount(),
                static_cast<double>(clock.nsecsElapsed()) / 1e6);
    // A picture of the window with its list scrolled to the middle, when asked for.
    if (const QString shot = qEnvironmentVariable("QUILLET_SCREENSHOT"); !shot.isEmpty()) {
        auto* list = window.browser()->findChild<QAbstractItemView*>(QStringLiteral("lvw1"));
        list->verticalScrollBar()->setValue(list->verticalScrollBar()->maximum() / 2);
        QApplication::processEvents();
        window.grab().save(shot);
    }
    return 0;
}
