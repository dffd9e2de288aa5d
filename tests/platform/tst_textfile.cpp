#include "platform/textfile.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using namespace platform;

namespace {

bool writeBytes(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QByteArray readBytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Root ignores folder permissions; then a read-only folder cannot be had.
bool folderIsReallyReadOnly(const QString& dir) {
    QFile probe(dir + QStringLiteral("/probe"));
    if (!probe.open(QIODevice::WriteOnly))
        return true;
    probe.close();
    probe.remove();
    return false;
}

} // namespace

class TestTextFile final : public QObject {
    Q_OBJECT

private slots:
    void init() { m_dir = std::make_unique<QTemporaryDir>(); }
    void cleanup() {
        QFile::setPermissions(m_dir->path(),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        m_dir.reset();
    }

    void roundTrip_data();
    void roundTrip();
    void everyByteDecodes();
    void reading_data();
    void reading();
    void unreadable();
    void failedReplaceKeepsOldFile_data();
    void failedReplaceKeepsOldFile();
    void appending_data();
    void appending();

private:
    QString path(const QString& name = QStringLiteral("file.txt")) const {
        return m_dir->filePath(name);
    }
    std::unique_ptr<QTemporaryDir> m_dir;
};

void TestTextFile::roundTrip_data() {
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<QByteArray>("onDisk");
    QTest::addColumn<QStringList>("readBack");

    const auto same = [](const char* name, const QStringList& lines, const QByteArray& bytes) {
        QTest::newRow(name) << lines << bytes << lines;
    };
    same("plain", {QStringLiteral("Principale")}, "Principale\r\n");
    same("accented letters", {QStringLiteral("perché così è più già"), QStringLiteral("ÀÈÉÌÒÙ")},
         "perch\xE9 cos\xEC \xE8 pi\xF9 gi\xE0\r\n\xC0\xC8\xC9\xCC\xD2\xD9\r\n");
    same("euro", {QStringLiteral("Credito: 12,50 €")}, "Credito: 12,50 \x80\r\n");
    same("typographic quotes and dashes", {QStringLiteral("“Offerta” – l’ultima… ™")},
         "\x93Offerta\x94 \x96 l\x92ultima\x85 \x99\r\n");
    same("empty lines kept", {QString(), QStringLiteral("a"), QString()}, "\r\na\r\n\r\n");
    same("no lines", {}, QByteArray());

    // Characters outside Windows-1252 become '?', one per character.
    QTest::newRow("unmappable") << QStringList{QStringLiteral("Ω 日本 😀"),
                                               QString(QChar(0x81)) + QChar(0xD800)}
                                << QByteArray("? ?? ?\r\n??\r\n")
                                << QStringList{QStringLiteral("? ?? ?"), QStringLiteral("??")};
}

void TestTextFile::roundTrip() {
    QFETCH(QStringList, lines);
    QFETCH(QByteArray, onDisk);
    QFETCH(QStringList, readBack);

    // An older, longer content must not survive the replace.
    QVERIFY(writeBytes(path(), QByteArray("una riga piuttosto lunga\r\nseconda\r\nterza\r\n")));
    QVERIFY(TextFile::replaceLines(path(), lines));
    QCOMPARE(readBytes(path()), onDisk);
    const auto read = TextFile::readLines(path());
    QVERIFY(read);
    QCOMPARE(*read, readBack);
    // Only the file itself is left in the folder, no temporary file.
    QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files | QDir::Hidden),
             QStringList{QStringLiteral("file.txt")});
}

void TestTextFile::everyByteDecodes() {
    const QList<int> undefined = {0x81, 0x8D, 0x8F, 0x90, 0x9D};
    for (int b = 0; b < 256; ++b) {
        const QByteArray byte(1, static_cast<char>(b));
        const QString text = TextFile::decode(byte);
        QCOMPARE(text.size(), 1);
        if (undefined.contains(b)) {
            QCOMPARE(static_cast<int>(text.at(0).unicode()), 0xFFFD);
        } else {
            QVERIFY2(TextFile::encode(text) == byte, qPrintable(QString::number(b, 16)));
            if (b < 0x80 || b >= 0xA0)
                QCOMPARE(static_cast<int>(text.at(0).unicode()), b);
        }
    }
    QCOMPARE(TextFile::decode("\x80\x8A\x9F"), QStringLiteral("€ŠŸ"));
}

void TestTextFile::reading_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QStringList>("lines");

    const QStringList two{QStringLiteral("prima"), QStringLiteral("seconda")};
    QTest::newRow("CR LF") << QByteArray("prima\r\nseconda\r\n") << two;
    QTest::newRow("LF only") << QByteArray("prima\nseconda\n") << two;
    QTest::newRow("last line unended") << QByteArray("prima\r\nseconda") << two;
    QTest::newRow("empty file") << QByteArray() << QStringList{};
    QTest::newRow("Windows-1252 accents")
        << QByteArray("Citt\xE0\r\n\x80 5\r\n")
        << QStringList{QStringLiteral("Città"), QStringLiteral("€ 5")};
    QTest::newRow("UTF-8 with BOM") << QByteArray("\xEF\xBB\xBF"
                                                  "Citt\xC3\xA0\r\n\xE2\x82\xAC 5\n")
                                    << QStringList{QStringLiteral("Città"), QStringLiteral("€ 5")};
    QTest::newRow("BOM only") << QByteArray("\xEF\xBB\xBF") << QStringList{};
    QTest::newRow("UTF-8 bytes without BOM are Windows-1252")
        << QByteArray("\xC3\xA0") << QStringList{QString(QChar(0xC3)) + QChar(0xA0)};
}

void TestTextFile::reading() {
    QFETCH(QByteArray, bytes);
    QFETCH(QStringList, lines);

    QVERIFY(writeBytes(path(), bytes));
    const auto read = TextFile::readLines(path());
    QVERIFY(read);
    QCOMPARE(*read, lines);
    // An empty file has no first line.
    const auto first = TextFile::readFirstLine(path());
    QCOMPARE(first.has_value(), !lines.isEmpty());
    if (first)
        QCOMPARE(*first, lines.first());
}

void TestTextFile::unreadable() {
    QVERIFY(QDir(m_dir->path()).mkdir(QStringLiteral("cartella")));
    for (const QString& name : {QStringLiteral("manca.txt"), QStringLiteral("cartella")}) {
        QVERIFY2(!TextFile::readLines(path(name)), qPrintable(name));
        QVERIFY2(!TextFile::readFirstLine(path(name)), qPrintable(name));
    }
}

void TestTextFile::failedReplaceKeepsOldFile_data() {
    QTest::addColumn<QString>("how");
    QTest::newRow("read-only folder") << QStringLiteral("read-only folder");
    QTest::newRow("path is a folder") << QStringLiteral("path is a folder");
    QTest::newRow("folder missing") << QStringLiteral("folder missing");
}

void TestTextFile::failedReplaceKeepsOldFile() {
    QFETCH(QString, how);
    const QByteArray old("vecchio-contenuto\r\n");
    QString target = path(QStringLiteral("registrazione"));

    if (how == u"read-only folder") {
        QVERIFY(writeBytes(target, old));
        QVERIFY(QFile::setPermissions(m_dir->path(), QFile::ReadOwner | QFile::ExeOwner));
        if (!folderIsReallyReadOnly(m_dir->path()))
            QSKIP("folder permissions are not enforced for this user");
    } else if (how == u"path is a folder") {
        QVERIFY(QDir(m_dir->path()).mkdir(QStringLiteral("registrazione")));
        QVERIFY(writeBytes(target + QStringLiteral("/dentro"), old));
    } else {
        target = path(QStringLiteral("manca/registrazione"));
    }
    const QStringList before = QDir(m_dir->path()).entryList(QDir::AllEntries | QDir::Hidden);

    QVERIFY(!TextFile::replaceLines(target, {QStringLiteral("nuovo-contenuto")}));

    QCOMPARE(QDir(m_dir->path()).entryList(QDir::AllEntries | QDir::Hidden), before);
    if (how == u"read-only folder")
        QCOMPARE(readBytes(target), old);
    if (how == u"path is a folder") {
        QVERIFY(QFileInfo(target).isDir());
        QCOMPARE(readBytes(target + QStringLiteral("/dentro")), old);
    }
}

void TestTextFile::appending_data() {
    QTest::addColumn<bool>("exists");
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<QStringList>("added");
    QTest::addColumn<QByteArray>("after");
    QTest::addColumn<QStringList>("linesAfter");

    const QStringList added{QStringLiteral("Città"), QStringLiteral("€")};
    QTest::newRow("missing file is created")
        << false << QByteArray() << added << QByteArray("Citt\xE0\r\n\x80\r\n") << added;
    QTest::newRow("after ended lines")
        << true << QByteArray("uno\r\n") << added << QByteArray("uno\r\nCitt\xE0\r\n\x80\r\n")
        << QStringList{QStringLiteral("uno"), QStringLiteral("Città"), QStringLiteral("€")};
    QTest::newRow("after an unended line")
        << true << QByteArray("uno") << added << QByteArray("uno\r\nCitt\xE0\r\n\x80\r\n")
        << QStringList{QStringLiteral("uno"), QStringLiteral("Città"), QStringLiteral("€")};
    QTest::newRow("UTF-8 file stays UTF-8")
        << true << QByteArray("\xEF\xBB\xBFuno\n") << added
        << QByteArray("\xEF\xBB\xBFuno\nCitt\xC3\xA0\r\n\xE2\x82\xAC\r\n")
        << QStringList{QStringLiteral("uno"), QStringLiteral("Città"), QStringLiteral("€")};
}

void TestTextFile::appending() {
    QFETCH(bool, exists);
    QFETCH(QByteArray, before);
    QFETCH(QStringList, added);
    QFETCH(QByteArray, after);
    QFETCH(QStringList, linesAfter);

    if (exists)
        QVERIFY(writeBytes(path(), before));
    QVERIFY(TextFile::appendLines(path(), added));
    QCOMPARE(readBytes(path()), after);
    const auto read = TextFile::readLines(path());
    QVERIFY(read);
    QCOMPARE(*read, linesAfter);
}

QTEST_GUILESS_MAIN(TestTextFile)
#include "tst_textfile.moc"
