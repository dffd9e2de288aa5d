// The program as a user starts it: options, the choice of the application folder, a damaged
// list of address books, the disclaimer first.
#include "core/session.h"
#include "support/testfolder.h"
#include "windows/disclaimerwindow.h"

#include <QImage>
#include <QProcess>
#include <QtTest>

namespace {

struct Result {
    int code;
    QString out;
    QString err;
};

// The program run offscreen, or with no display at all; dataHome: its XDG_DATA_HOME.
Result run(const QStringList& args, const QString& dataHome = {}, bool display = true) {
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    if (!display)
        for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            env.remove(name);
    if (!dataHome.isEmpty())
        env.insert("XDG_DATA_HOME", dataHome);
    p.setProcessEnvironment(env);
    p.start(qEnvironmentVariable("QUILLET_BIN"), args);
    if (!p.waitForFinished(60000))
        p.kill();
    return {p.exitCode(), QString::fromLocal8Bit(p.readAllStandardOutput()),
            QString::fromLocal8Bit(p.readAllStandardError())};
}

} // namespace

class tst_cli : public QObject {
    Q_OBJECT
private slots:
    void options() {
        const Result version = run({"--version"}, {}, false);
        QCOMPARE(version.code, 0);
        QVERIFY(version.out.startsWith("Quillet "));
        const Result unknown = run({"--colore", "blu"});
        QCOMPARE(unknown.code, 2);
        QVERIFY(unknown.err.contains("Opzione sconosciuta"));
    }

    void damagedListIsReportedAndKept() {
        TestFolder folder;
        const QByteArray junk = "questo non è un archivio\r\n";
        writeBytes(folder.file("elenco.mdb"), junk);
        const Result r = run({"--folder", folder.path(), "--screenshot", folder.file("x.png")});
        QCOMPARE(r.code, 1);
        QVERIFY2(r.err.contains("elenco"), qPrintable(r.err));
        QCOMPARE(readBytes(folder.file("elenco.mdb")), junk);
        QVERIFY(!QFile::exists(folder.file("x.png")));
    }

    void firstRunCopiesDefaultFolder() {
        QTemporaryDir home;
        const QString shot = home.filePath("finestra.png");
        QCOMPARE(run({"--screenshot", shot}, home.path()).code, 0);
        for (const char* file : {"elenco.mdb", "rubriche/Principale", "prefissi.txt"})
            QVERIFY2(QFile::exists(home.filePath("Quillet/") + file), file);
    }

    void disclaimerFirst() {
        TestFolder folder;
        writeBytes(folder.file("mostra.txt"), "1\r\n");
        const QString shot = folder.file("finestra.png");
        QCOMPARE(run({"--folder", folder.path(), "--screenshot", shot}).code, 0);
        Session session;
        QCOMPARE(QImage(shot).size(), DisclaimerWindow(session).size()); // not the main window
        QCOMPARE(readBytes(folder.file("mostra.txt"), "?"), QByteArray("1\r\n"));
    }
};

QTEST_MAIN(tst_cli)
#include "tst_cli.moc"
