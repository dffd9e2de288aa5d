#include "platform/appfolder.h"
#include "platform/clock.h"
#include "platform/textfile.h"
#include "support/testfolder.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using namespace platform;

namespace {

// Every file under a folder with its content, to see what changed.
QMap<QString, QByteArray> snapshot(const QString& dir) {
    QMap<QString, QByteArray> files;
    QDirIterator it(dir, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        files.insert(QDir(dir).relativeFilePath(path), readBytes(path, "<unreadable>"));
    }
    return files;
}

} // namespace

// TextFile, Clock and AppFolder: what the program reads and writes on disk.
class TestFiles final : public QObject {
    Q_OBJECT

private slots:
    void init() { m_dir = std::make_unique<QTemporaryDir>(); }
    void cleanup() {
        QFile::setPermissions(m_dir->path(),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        m_dir.reset();
        Clock::setNowForTesting({});
    }

    // Lines written over a longer old content (none of it may survive, no temporary file may
    // stay behind), or bytes as other programs leave them, and the lines read back.
    void lines_data() {
        QTest::addColumn<QStringList>("written"); // empty: the bytes written as they are
        QTest::addColumn<QByteArray>("onDisk");
        QTest::addColumn<QStringList>("read");

        const auto same = [](const char* name, const QStringList& lines, const QByteArray& bytes) {
            QTest::newRow(name) << lines << bytes << lines;
        };
        same("Windows-1252 letters", {"perché così È", "12,50 € Š Ÿ", "“Offerta” – l’ultima… ™"},
             "perch\xE9 cos\xEC \xC8\r\n12,50 \x80 \x8A \x9F\r\n"
             "\x93Offerta\x94 \x96 l\x92ultima\x85 \x99\r\n");
        same("empty lines kept", {QString(), "a", QString()}, "\r\na\r\n\r\n");
        QTest::newRow("unmappable: one '?' each")
            << QStringList{"Ω 日本 😀", QString(QChar(0x81)) + QChar(0xD800)}
            << QByteArray("? ?? ?\r\n??\r\n") << QStringList{"? ?? ?", "??"};
        const auto read = [](const char* name, const QByteArray& bytes, const QStringList& lines) {
            QTest::newRow(name) << QStringList{} << bytes << lines;
        };
        read("CR LF, last line unended, a leading blank", "prima\r\n seconda",
             {"prima", " seconda"});
        read("CR CR LF, LF CR", "prima\r\r\nseconda\n\r", {"prima", "", "seconda", ""});
        read("empty file", "", {});
        read("UTF-8 with BOM",
             "\xEF\xBB\xBF"
             "Citt\xC3\xA0\r\n\xE2\x82\xAC 5\n",
             {"Città", "€ 5"});
        read("UTF-8 without BOM is Windows-1252", "\xC3\xA0", {QString(QChar(0xC3)) + QChar(0xA0)});
    }

    void lines() {
        QFETCH(QStringList, written);
        QFETCH(QByteArray, onDisk);
        QFETCH(QStringList, read);

        const QString path = m_dir->filePath("file.txt");
        if (written.isEmpty()) {
            writeBytes(path, onDisk);
        } else {
            writeBytes(path, "una riga piuttosto lunga\r\nseconda\r\nterza\r\n");
            QVERIFY(TextFile::replaceLines(path, written));
            QCOMPARE(readBytes(path, "<unreadable>"), onDisk);
            QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files | QDir::Hidden),
                     QStringList{"file.txt"});
        }
        QCOMPARE(TextFile::readLines(path), std::optional(read));
        QCOMPARE(TextFile::readFirstLine(path),
                 read.isEmpty() ? std::nullopt : std::optional(read.first()));
        QCOMPARE(TextFile::readLines(path, 2), std::optional(read.mid(0, 2)));
    }

    void unreadable() {
        QVERIFY(QDir(m_dir->path()).mkdir("cartella"));
        QVERIFY(!TextFile::readLines(m_dir->filePath("manca.txt")));
        QVERIFY(!TextFile::readFirstLine(m_dir->filePath("cartella")));
    }

    void failedReplaceKeepsOldFile_data() {
        QTest::addColumn<QString>("how");
        for (const char* how : {"read-only folder", "path is a folder"})
            QTest::newRow(how) << QString(how);
    }

    void failedReplaceKeepsOldFile() {
        QFETCH(QString, how);
        const QString target = m_dir->filePath("file");
        writeBytes(how == "path is a folder" ? target + "/dentro" : target, "vecchio\r\n");
        if (how == "read-only folder") {
            QVERIFY(QFile::setPermissions(m_dir->path(), QFile::ReadOwner | QFile::ExeOwner));
            if (QFile(m_dir->filePath("prova")).open(QIODevice::WriteOnly))
                QSKIP("folder permissions are not enforced for this user");
        }
        const auto before = snapshot(m_dir->path());
        QVERIFY(!TextFile::replaceLines(target, QStringList(1000, "nuovo contenuto")));
        QCOMPARE(snapshot(m_dir->path()), before);
    }

    void clockTexts() {
        Clock::setNowForTesting([] { return QDateTime(QDate(2024, 3, 5), QTime(21, 7, 2)); });
        QCOMPARE(Clock::nowText(), QString("05/03/2024 21:07:02"));
        QCOMPARE(Clock::todayText(), QString("05/03/2024"));
    }

    void choose_data() {
        QTest::addColumn<QStringList>("layout"); // files made before; "x/" an empty folder
        QTest::addColumn<bool>("useExplicit");   // the folder "altrove" given on the command line
        QTest::addColumn<QString>("defaultDir");
        QTest::addColumn<QString>("result"); // explicit, exe, user, created or part of the error

        // The executable is in bin/, the per-user folder is home/anna/Quillet. The program's
        // own runs pin the first run in an existing home.
        const QString noArchives = "non contiene gli archivi di Quillet (elenco.mdb)";
        const QString def = "share/default";
        const QStringList inUse{"home/anna/Quillet/elenco.mdb"};
        const auto row = [](const char* tag, const QStringList& layout, bool useExplicit,
                            const QString& defaultDir, const QString& result) {
            QTest::newRow(tag) << layout << useExplicit << defaultDir << result;
        };
        const QString none = "share/nessuna";
        row("explicit folder wins", QStringList{"altrove/elenco.mdb", "bin/elenco.mdb"} + inUse,
            true, def, "explicit");
        row("portable install", QStringList{"bin/elenco.mdb"} + inUse, false, def, "exe");
        row("user folder in use, default not needed", inUse, false, none, "user");
        row("first run, parent folders missing", {}, false, def, "created");
        row("empty user folder is filled", {"home/anna/Quillet/"}, false, def, "created");
        row("foreign user folder left alone", {"home/anna/Quillet/lettera.txt"}, false, def,
            noArchives);
        row("default folder missing", {}, false, none, "reinstallare il programma");
    }

    void choose() {
        QFETCH(QStringList, layout);
        QFETCH(bool, useExplicit);
        QFETCH(QString, defaultDir);
        QFETCH(QString, result);

        makeDefault();
        QVERIFY(QDir().mkpath(at("bin")));
        for (const QString& entry : layout)
            entry.endsWith('/') ? void(QDir().mkpath(at(entry)))
                                : writeBytes(at(entry), entry.toUtf8());
        const QString explicitDir = useExplicit ? at("altrove") : QString();
        const QString userDir = at("home/anna/Quillet");
        auto expected = snapshot(m_dir->path());

        const AppFolder::Choice choice =
            AppFolder::choose(explicitDir, at("bin"), userDir, at(defaultDir));

        const QMap<QString, QString> folders{
            {"explicit", explicitDir}, {"exe", at("bin")}, {"user", userDir}, {"created", userDir}};
        const bool chosen = folders.contains(result);
        QVERIFY2(chosen ? choice.error.isEmpty() : choice.error.contains(result),
                 qPrintable(choice.error));
        QCOMPARE(choice.folder, chosen ? QDir::cleanPath(folders.value(result)) : QString());
        QCOMPARE(choice.created, result == "created");
        // The only change allowed: a new user folder holding a writable copy of the default one.
        if (choice.created) {
            const auto copied = snapshot(at(defaultDir));
            for (auto it = copied.cbegin(); it != copied.cend(); ++it)
                expected.insert("home/anna/Quillet/" + it.key(), it.value());
            QVERIFY(QFile::permissions(userDir + "/elenco.mdb") & QFile::WriteOwner);
        }
        QCOMPARE(snapshot(m_dir->path()), expected);
    }

    void copyTree() {
        const QString from = makeDefault();
        const QString to = at("copia");
        writeBytes(to + "/elenco.mdb", "mio");
        writeBytes(to + "/rubriche/Principale", "mia principale");
        // The missing files are added; the user's own are never overwritten.
        auto expected = snapshot(from);
        expected.insert(snapshot(to));
        QVERIFY(AppFolder::copyTree(from, to));
        QCOMPARE(snapshot(to), expected);

        // Into itself or from a missing folder: refused, nothing changes.
        const auto before = snapshot(m_dir->path());
        QVERIFY(!AppFolder::copyTree(from, from + "/rubriche/x"));
        QVERIFY(!AppFolder::copyTree(at("manca"), at("copia")));
        QCOMPARE(snapshot(m_dir->path()), before);
    }

private:
    QString at(const QString& relative) const { return m_dir->filePath(relative); }

    // The installed default folder; its files may be read-only.
    QString makeDefault() const {
        const QString dir = at("share/default");
        writeBytes(dir + "/elenco.mdb", "elenco predefinito");
        writeBytes(dir + "/rubriche/Principale", "principale");
        writeBytes(dir + "/guida/indice.txt", "rubrica\tr.html\r\n");
        QFile::setPermissions(dir + "/elenco.mdb", QFile::ReadOwner | QFile::ReadGroup);
        return dir;
    }

    std::unique_ptr<QTemporaryDir> m_dir;
};

QTEST_GUILESS_MAIN(TestFiles)
#include "tst_files.moc"
