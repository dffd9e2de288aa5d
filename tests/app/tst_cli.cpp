// The program as a user starts it: options, the choice of the application folder, a damaged
// list of address books.
#include "support/testfolder.h"

#include <QImage>
#include <QProcess>
#include <QtTest>

class tst_cli : public QObject {
    Q_OBJECT
private slots:
    void versionAndHelpNeedNoDisplay();
    void unknownOption();
    void damagedListIsReportedAndKept();
    void missingFolderIsReported();
    void firstRunCopiesDefaultFolder();
    void explicitFolderIsUsed();

private:
    struct Result {
        int code;
        QString out;
        QString err;
    };
    Result run(const QStringList& args, const QString& dataHome = {});
};

tst_cli::Result tst_cli::run(const QStringList& args, const QString& dataHome) {
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    if (!dataHome.isEmpty())
        env.insert("XDG_DATA_HOME", dataHome);
    p.setProcessEnvironment(env);
    p.start(qEnvironmentVariable("QUILLET_BIN"), args);
    if (!p.waitForFinished(60000))
        p.kill();
    return {p.exitCode(), QString::fromLocal8Bit(p.readAllStandardOutput()),
            QString::fromLocal8Bit(p.readAllStandardError())};
}

void tst_cli::versionAndHelpNeedNoDisplay() {
    // Without offscreen and without a display, --version must still answer.
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove("DISPLAY");
    env.remove("WAYLAND_DISPLAY");
    env.remove("QT_QPA_PLATFORM");
    p.setProcessEnvironment(env);
    p.start(qEnvironmentVariable("QUILLET_BIN"), {"--version"});
    QVERIFY(p.waitForFinished(30000));
    QCOMPARE(p.exitCode(), 0);
    QVERIFY(p.readAllStandardOutput().startsWith("Quillet "));
    const Result help = run({"--help"});
    QCOMPARE(help.code, 0);
    QVERIFY(help.out.contains("--folder"));
}

void tst_cli::unknownOption() {
    const Result r = run({"--colore", "blu"});
    QCOMPARE(r.code, 2);
    QVERIFY(r.err.contains("Opzione sconosciuta"));
}

void tst_cli::damagedListIsReportedAndKept() {
    TestFolder folder;
    const QByteArray junk = "questo non è un archivio\r\n";
    QFile elenco(folder.file("elenco.mdb"));
    QVERIFY(elenco.open(QIODevice::WriteOnly | QIODevice::Truncate));
    elenco.write(junk);
    elenco.close();
    const Result r = run({"--folder", folder.path(), "--screenshot", folder.file("x.png")});
    QCOMPARE(r.code, 1);
    QVERIFY2(r.err.contains("elenco"), qPrintable(r.err));
    QVERIFY(elenco.open(QIODevice::ReadOnly));
    QCOMPARE(elenco.readAll(), junk);
    QVERIFY(!QFile::exists(folder.file("x.png")));
}

void tst_cli::missingFolderIsReported() {
    QTemporaryDir empty;
    const Result r = run({"--folder", empty.filePath("nessuna")});
    QCOMPARE(r.code, 1);
    QVERIFY(!QFile::exists(empty.filePath("nessuna/elenco.mdb")));
}

void tst_cli::firstRunCopiesDefaultFolder() {
    QTemporaryDir home;
    const QString shot = home.filePath("finestra.png");
    const Result r = run({"--screenshot", shot}, home.path());
    QCOMPARE(r.code, 0);
    QVERIFY(QFile::exists(home.filePath("Quillet/elenco.mdb")));
    QVERIFY(QFile::exists(home.filePath("Quillet/rubriche/Principale")));
    QVERIFY(QFile::exists(home.filePath("Quillet/prefissi.txt")));
    QVERIFY(!QImage(shot).isNull());
    // The second run keeps what the user has.
    platform::TextFile::replaceLines(home.filePath("Quillet/residui.txt"), {"5"});
    QCOMPARE(run({"--screenshot", shot}, home.path()).code, 0);
    QCOMPARE(platform::TextFile::readFirstLine(home.filePath("Quillet/residui.txt")).value_or(""),
             QStringLiteral("5"));
}

void tst_cli::explicitFolderIsUsed() {
    TestFolder folder({"Principale", "Seconda"});
    const QString shot = folder.file("finestra.png");
    const Result r = run({"--folder", folder.path(), "--screenshot", shot});
    QCOMPARE(r.code, 0);
    QVERIFY(r.out.contains(shot));
    const QImage image(shot);
    QVERIFY(!image.isNull());
    QVERIFY(image.width() >= 467);
}

QTEST_GUILESS_MAIN(tst_cli)
#include "tst_cli.moc"
