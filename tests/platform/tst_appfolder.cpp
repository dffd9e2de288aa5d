#include "platform/appfolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

using namespace platform;

namespace {

bool writeFile(const QString& path, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QByteArray readFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

// Every file under a folder with its content, to see that nothing changed.
QMap<QString, QByteArray> snapshot(const QString& dir) {
    QMap<QString, QByteArray> files;
    const QDir root(dir);
    const auto walk = [&](const auto& self, const QString& path) -> void {
        const auto entries =
            QDir(path).entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
        for (const QFileInfo& entry : entries) {
            if (entry.isDir())
                self(self, entry.filePath());
            else
                files.insert(root.relativeFilePath(entry.filePath()), readFile(entry.filePath()));
        }
    };
    walk(walk, dir);
    return files;
}

QString clean(const QString& path) {
    return QDir::cleanPath(QFileInfo(path).absoluteFilePath());
}

} // namespace

class TestAppFolder final : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup() { m_root.reset(); }

    void choose_data();
    void choose();
    void secondRunKeepsUserChanges();
    void copyTreeNeverOverwrites();
    void copyTreeRefuses_data();
    void copyTreeRefuses();
    void installedDefaultFolder_data();
    void installedDefaultFolder();

private:
    QString at(const QString& relative) const { return m_root->filePath(relative); }
    std::unique_ptr<QTemporaryDir> m_root;
};

void TestAppFolder::init() {
    m_root = std::make_unique<QTemporaryDir>();
    QVERIFY(m_root->isValid());
    // The installed default folder.
    QVERIFY(writeFile(at(QStringLiteral("share/default/elenco.mdb")), "elenco predefinito"));
    QVERIFY(writeFile(at(QStringLiteral("share/default/rubrica_base.mdb")), "modello"));
    QVERIFY(writeFile(at(QStringLiteral("share/default/rubriche/Principale")), "principale"));
    QVERIFY(writeFile(at(QStringLiteral("share/default/guida/indice.txt")), "rubrica\tr.html\r\n"));
    QVERIFY(writeFile(at(QStringLiteral("share/default/mostra.txt")), "1\r\n"));
    // Installed files may be read-only; the user's copies must not be.
    QVERIFY(QFile::setPermissions(at(QStringLiteral("share/default/elenco.mdb")),
                                  QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
    QVERIFY(QDir().mkpath(at(QStringLiteral("bin"))));
}

void TestAppFolder::choose_data() {
    QTest::addColumn<QString>("explicitState"); // none, archives, no archives, missing
    QTest::addColumn<bool>("exeHasArchives");
    QTest::addColumn<QString>("userState");    // missing, empty, archives, other files, file, deep
    QTest::addColumn<QString>("defaultState"); // present, missing, no archives
    QTest::addColumn<QString>("expected");     // explicit, exe, user or "" for an error
    QTest::addColumn<bool>("created");
    QTest::addColumn<QString>("error");

    const QString noArchives = QStringLiteral("non contiene gli archivi di Quillet (elenco.mdb)");
    QTest::newRow("explicit folder wins") << "archives" << true << "archives"
                                          << "present"
                                          << "explicit" << false << QString();
    QTest::newRow("explicit folder without archives") << "no archives" << true << "archives"
                                                      << "present"
                                                      << "" << false << noArchives;
    QTest::newRow("explicit folder missing") << "missing" << true << "archives"
                                             << "present"
                                             << "" << false << noArchives;
    QTest::newRow("portable install") << "none" << true << "archives"
                                      << "present"
                                      << "exe" << false << QString();
    QTest::newRow("user folder in use") << "none" << false << "archives"
                                        << "present"
                                        << "user" << false << QString();
    QTest::newRow("first run creates user folder") << "none" << false << "missing"
                                                   << "present"
                                                   << "user" << true << QString();
    QTest::newRow("first run, parent folders missing too") << "none" << false << "deep"
                                                           << "present"
                                                           << "user" << true << QString();
    QTest::newRow("empty user folder is filled") << "none" << false << "empty"
                                                 << "present"
                                                 << "user" << true << QString();
    QTest::newRow("foreign user folder left alone") << "none" << false << "other files"
                                                    << "present"
                                                    << "" << false << noArchives;
    QTest::newRow("user folder name taken by a file")
        << "none" << false << "file"
        << "present"
        << "" << false << QStringLiteral("esiste un file con lo stesso nome");
    QTest::newRow("default folder missing")
        << "none" << false << "missing"
        << "missing"
        << "" << false << QStringLiteral("reinstallare il programma");
    QTest::newRow("default folder without archives")
        << "none" << false << "empty"
        << "no archives"
        << "" << false << QStringLiteral("reinstallare il programma");
    QTest::newRow("default folder not needed when user folder is ready")
        << "none" << false << "archives"
        << "missing"
        << "user" << false << QString();
}

void TestAppFolder::choose() {
    QFETCH(QString, explicitState);
    QFETCH(bool, exeHasArchives);
    QFETCH(QString, userState);
    QFETCH(QString, defaultState);
    QFETCH(QString, expected);
    QFETCH(bool, created);
    QFETCH(QString, error);

    QString explicitDir;
    if (explicitState != u"none") {
        explicitDir = at(QStringLiteral("altrove"));
        if (explicitState != u"missing")
            QVERIFY(QDir().mkpath(explicitDir));
        if (explicitState == u"archives")
            QVERIFY(writeFile(explicitDir + QStringLiteral("/elenco.mdb"), "altrove"));
    }
    const QString exeDir = at(QStringLiteral("bin"));
    if (exeHasArchives)
        QVERIFY(writeFile(exeDir + QStringLiteral("/elenco.mdb"), "portatile"));

    QString userDir = at(QStringLiteral("home/.local/share/Quillet"));
    if (userState == u"deep")
        userDir = at(QStringLiteral("home/nuovo/.local/share/Quillet"));
    else if (userState == u"file")
        QVERIFY(writeFile(userDir, "non una cartella"));
    else if (userState != u"missing")
        QVERIFY(QDir().mkpath(userDir));
    if (userState == u"archives")
        QVERIFY(writeFile(userDir + QStringLiteral("/elenco.mdb"), "mio elenco"));
    if (userState == u"other files")
        QVERIFY(writeFile(userDir + QStringLiteral("/lettera.txt"), "cara Anna"));

    QString defaultDir = at(QStringLiteral("share/default"));
    if (defaultState == u"missing")
        defaultDir = at(QStringLiteral("share/nessuna"));
    if (defaultState == u"no archives")
        QVERIFY(QFile::remove(defaultDir + QStringLiteral("/elenco.mdb")));

    const auto userBefore = snapshot(userDir);
    const auto defaultBefore = snapshot(defaultDir);
    const QStringList homeBefore =
        QDir(at(QStringLiteral("home/.local/share")))
            .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);

    const AppFolder::Choice choice = AppFolder::choose(explicitDir, exeDir, userDir, defaultDir);

    const QString wanted = expected == u"explicit" ? explicitDir
                           : expected == u"exe"    ? exeDir
                           : expected == u"user"   ? userDir
                                                   : QString();
    QCOMPARE(choice.folder, wanted.isEmpty() ? QString() : clean(wanted));
    QCOMPARE(choice.created, created);
    if (error.isEmpty()) {
        QVERIFY2(choice.error.isEmpty(), qPrintable(choice.error));
    } else {
        QVERIFY2(choice.error.contains(error), qPrintable(choice.error));
    }
    // Nothing the user had was touched, nor the installed folder.
    QCOMPARE(snapshot(defaultDir), defaultBefore);
    if (!created) {
        QCOMPARE(snapshot(userDir), userBefore);
        if (userState == u"missing")
            QVERIFY(!QFileInfo::exists(userDir));
        // No half-made copy left beside the user folder.
        QCOMPARE(QDir(at(QStringLiteral("home/.local/share")))
                     .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                 homeBefore);
    } else {
        QCOMPARE(snapshot(userDir), defaultBefore);
        QVERIFY(QFile::permissions(userDir + QStringLiteral("/elenco.mdb")) & QFile::WriteOwner);
        QCOMPARE(QDir(QFileInfo(userDir).absolutePath())
                     .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                 QStringList{QStringLiteral("Quillet")});
    }
}

void TestAppFolder::secondRunKeepsUserChanges() {
    const QString userDir = at(QStringLiteral("home/Quillet"));
    const QString defaultDir = at(QStringLiteral("share/default"));
    const auto first = AppFolder::choose({}, at(QStringLiteral("bin")), userDir, defaultDir);
    QVERIFY2(first.error.isEmpty(), qPrintable(first.error));
    QVERIFY(first.created);

    QVERIFY(writeFile(userDir + QStringLiteral("/elenco.mdb"), "con le mie rubriche"));
    QVERIFY(QFile::remove(userDir + QStringLiteral("/mostra.txt")));

    const auto second = AppFolder::choose({}, at(QStringLiteral("bin")), userDir, defaultDir);
    QCOMPARE(second.folder, first.folder);
    QVERIFY(!second.created);
    QCOMPARE(readFile(userDir + QStringLiteral("/elenco.mdb")), QByteArray("con le mie rubriche"));
    QVERIFY(!QFileInfo::exists(userDir + QStringLiteral("/mostra.txt")));
}

void TestAppFolder::copyTreeNeverOverwrites() {
    const QString target = at(QStringLiteral("copia"));
    QVERIFY(writeFile(target + QStringLiteral("/elenco.mdb"), "mio"));
    QVERIFY(writeFile(target + QStringLiteral("/rubriche/Principale"), "mia principale"));

    QVERIFY(AppFolder::copyTree(at(QStringLiteral("share/default")), target));

    QCOMPARE(readFile(target + QStringLiteral("/elenco.mdb")), QByteArray("mio"));
    QCOMPARE(readFile(target + QStringLiteral("/rubriche/Principale")),
             QByteArray("mia principale"));
    QCOMPARE(readFile(target + QStringLiteral("/rubrica_base.mdb")), QByteArray("modello"));
    QCOMPARE(readFile(target + QStringLiteral("/guida/indice.txt")),
             QByteArray("rubrica\tr.html\r\n"));
}

void TestAppFolder::copyTreeRefuses_data() {
    QTest::addColumn<QString>("from");
    QTest::addColumn<QString>("to");
    QTest::newRow("missing source") << "share/nessuna"
                                    << "copia";
    QTest::newRow("into its own subfolder") << "share/default"
                                            << "share/default/rubriche/x";
}

void TestAppFolder::copyTreeRefuses() {
    QFETCH(QString, from);
    QFETCH(QString, to);
    const auto before = snapshot(at(QStringLiteral("share")));
    QVERIFY(!AppFolder::copyTree(at(from), at(to)));
    QCOMPARE(snapshot(at(QStringLiteral("share"))), before);
}

void TestAppFolder::installedDefaultFolder_data() {
    QTest::addColumn<QString>("exeDir");
    QTest::addColumn<QString>("folder");
    QTest::newRow("prefix") << "/opt/quillet/bin"
                            << "/opt/quillet/share/quillet/default";
    QTest::newRow("trailing slash") << "/usr/bin/"
                                    << "/usr/share/quillet/default";
}

void TestAppFolder::installedDefaultFolder() {
    QFETCH(QString, exeDir);
    QFETCH(QString, folder);
    QCOMPARE(AppFolder::installedDefaultFolder(exeDir), folder);
}

QTEST_GUILESS_MAIN(TestAppFolder)
#include "tst_appfolder.moc"
