// Time from process start to the first address book listed in the main window:
//   bench-startup FOLDER
// and, as its baseline, from process start to an empty window painted by Qt:
//   bench-startup --solo-qt
// Run it several times (bench/run does) and take the median.
#include "app/mainwindow.h"
#include "bench/measure.h"
#include "browser/archivebrowser.h"
#include "browser/archivemodel.h"
#include "contacts/numbermigration.h"
#include "core/session.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QScrollBar>
#include <QTimer>

#include <cstdio>

using measure::msSince;

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
        QTimer::singleShot(0, &empty, [&] {
            empty.grab();
            std::printf("avvio di Qt fino a una finestra vuota dipinta: %.1f ms\n", msSince(clock));
            QCoreApplication::exit(0);
        });
        return app.exec();
    }
    Session session;
    session.appFolder = QDir::cleanPath(QString::fromLocal8Bit(argv[1]));
    // As the program's start does before its main window: the numbers of the books not done yet.
    numbermigration::migrateFolder(session.appFolder);
    MainWindow window(session);
    window.load();
    window.show();
    const auto rows = [&window] {
        return window.browser()->model()->rowCount();
    };
    measure::whenReady(
        &window, [&] { return rows() > 0; },
        [&] {
            window.grab(); // the window painted with its first screen of rows
            std::printf("avvio fino all'elenco della prima rubrica (%d righe): %.1f ms\n", rows(),
                        msSince(clock));
            // A picture of the window with its list scrolled to the middle, when asked for.
            const QString shot = qEnvironmentVariable("QUILLET_SCREENSHOT");
            if (shot.isEmpty())
                return QCoreApplication::exit(rows() > 0 ? 0 : 1);
            auto* list = window.browser()->findChild<QAbstractItemView*>(QStringLiteral("lvw1"));
            list->verticalScrollBar()->setValue(list->verticalScrollBar()->maximum() / 2);
            QTimer::singleShot(0, &window, [&window, shot] {
                window.grab().save(shot);
                QCoreApplication::exit(0);
            });
        },
        1);
    return app.exec();
}
