// Contact files: what the export writes, what the import reads back (encodings, column names,
// lines that stop it), and the two menu commands as the user runs them.
#include "exchange/csvexport.h"
#include "exchange/csvimport.h"
#include "support/controls.h"
#include "support/mainwindowtest.h"

#include <QFile>
#include <QTreeWidget>
#include <QtTest>

using csvimport::Outcome;
using platform::Icon;

namespace {

// The contacts of a book in stored order, "Nome|cognome|cellulare|email|icona".
QStringList contactsOf(const TestFolder& folder, const QString& book) {
    QStringList out;
    auto db = folder.book(book);
    for (auto rs = db->openRecordset(QStringLiteral("rubrica")); !rs->isEof(); rs->MoveNext())
        out << QStringList{rs->value("Nome"), rs->value("cognome"), rs->value("cellulare"),
                           rs->value("email"), rs->value("icona")}
                   .join('|');
    return out;
}

// A literal with NUL bytes inside, all of it.
template <size_t N> QByteArray withNul(const char (&text)[N]) {
    return QByteArray(text, N - 1);
}

} // namespace

class tst_exchange : public QObject, private MainWindowTest {
    Q_OBJECT
private slots:
    void cleanup() { stop(); }

    void import_data() {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QStringList>("stored"); // Nome|cognome|cellulare|email
        QTest::addColumn<int>("status");
        QTest::addColumn<int>("stopLine");
        const QByteArray head = "Nome;Cognome;Cellulare;Posta elettronica";
        const QString anna = "Anna|Rossi|3391234567|anna@example.it";
        QTest::newRow("export format, Windows-1252")
            << head +
                   "\r\nAnna;Rossi;3391234567;anna@example.it\r\nNicol\xF2;Citt\xE0 \x80;347;\r\n"
            << QStringList{anna, "Nicolò|Città €|347|"} << int(Outcome::Done) << 0;
        QTest::newRow("LF, UTF-8 without BOM, no line end at the end")
            << head + "\nNicol\xC3\xB2;Citt\xC3\xA0;347;x@y.it"
            << QStringList{"Nicolò|Città|347|x@y.it"} << int(Outcome::Done) << 0;
        QTest::newRow("UTF-8 with BOM")
            << "\xEF\xBB\xBF" + head + "\r\n\xC5\x81ukasz;Zo\xC3\xAB;348;\r\n"
            << QStringList{"Łukasz|Zoë|348|"} << int(Outcome::Done) << 0;
        QTest::newRow("other order, more columns")
            << QByteArray("Note;Posta elettronica;Cellulare;Cognome;Nome;Citt\xE0\r\n"
                          "vip;anna@example.it;3391234567;Rossi;Anna;Roma\r\n")
            << QStringList{anna} << int(Outcome::Done) << 0;
        QTest::newRow("missing columns stored as one blank")
            << QByteArray("Cellulare;Nome\r\n3391234567;Anna\r\n")
            << QStringList{"Anna| |3391234567| "} << int(Outcome::Done) << 0;
        QTest::newRow("a line break in quotes is one blank, and a line of the file")
            << "\xEF\xBB\xBF" + head + "\r\n\"Maria\nGrazia\";\"Rossi\r\nBianchi\";339;\r\nD;E\r\n"
            << QStringList{"Maria Grazia|Rossi Bianchi|339|"} << int(Outcome::Stopped) << 5;
        QTest::newRow("quote never closed")
            << head + "\r\nAnna;Rossi;3391234567;anna@example.it\r\n\"Bob;C;1;\r\nD;E;2;\r\n"
            << QStringList{anna} << int(Outcome::Stopped) << 3;
        QTest::newRow("empty file")
            << QByteArray() << QStringList{} << int(Outcome::EmptyFile) << 0;
        // The export saved again by a spreadsheet that puts every text in quotes.
        QTest::newRow("saved again by Calc")
            << QByteArray("\"Nome\";\"Cognome\";\"Cellulare\";\"Posta elettronica\"\n"
                          "\"\"\"Bob\"\"; Anna\";\"Citt\xE0\";3391234567;\"\"\n")
            << QStringList{"\"Bob\"; Anna|Città|3391234567|"} << int(Outcome::Done) << 0;
        QTest::newRow("NUL byte")
            << head + withNul("\r\nAnna;Rossi;3391234567;anna@example.it\r\nB;C\0;1;\r\n")
            << QStringList{anna} << int(Outcome::Stopped) << 3;
        QByteArray big = head + "\r\n";
        QStringList bigStored;
        for (int i = 2; i < 12000; ++i) {
            big += QByteArray::number(i) + ";C;3;\r\n";
            bigStored << QString::number(i) + "|C|3|";
        }
        QTest::newRow("stopped past the first transactions: the lines before stay")
            << big + "troppo;corta\r\n1;C;3;\r\n"
            << bigStored << int(Outcome::Stopped) << 12000;
    }
    void import() {
        QFETCH(QByteArray, file);
        QFETCH(QStringList, stored);
        TestFolder folder;
        const QString path = folder.file("in.csv");
        writeBytes(path, file);
        const Outcome outcome = csvimport::importFile(path, *folder.book("Principale"));

        QTEST(int(outcome.status), "status");
        QTEST(int(outcome.line), "stopLine");
        QCOMPARE(outcome.imported, qint64(stored.size()));
        if (outcome.status == Outcome::Stopped)
            QVERIFY(!outcome.reason.isEmpty());
        for (QString& s : stored)
            s += "|4";
        QCOMPARE(contactsOf(folder, "Principale"), stored);
        QVERIFY(QFile::remove(path)); // the file was closed
    }

    void exportEncoding_data() {
        QTest::addColumn<QString>("nome");
        QTest::addColumn<QByteArray>("bytes");
        const QByteArray head = "Nome;Cognome;Cellulare;Posta elettronica\r\n";
        QTest::newRow("Windows-1252") << "Nicolò €" << head + "Nicol\xF2 \x80;R;3;\r\n";
        QTest::newRow("UTF-8 for a Polish name")
            << "Łukasz"
            << "\xEF\xBB\xBF" + head + "\xC5\x81ukasz;R;3;\r\n";
        QTest::newRow("quotes and semicolon")
            << "\"Bob\"; Anna" << head + "\"\"\"Bob\"\"; Anna\";R;3;\r\n";
    }
    // The file holds what was written, and reads back the same.
    void exportEncoding() {
        QFETCH(QString, nome);
        TestFolder folder;
        csvexport::Writer writer;
        writer.add(nome, "R", "3", "");
        QCOMPARE(writer.save(folder.file("out.csv")), std::nullopt);
        QTEST(readBytes(folder.file("out.csv")), "bytes");
        csvimport::importFile(folder.file("out.csv"), *folder.book("Principale"));
        QCOMPARE(contactsOf(folder, "Principale"), QStringList{nome + "|R|3||4"});
    }

    // A file that cannot be written leaves nothing behind.
    void exportFailure() {
        TestFolder folder;
        csvexport::Writer writer;
        writer.add("Anna", "Rossi", "3", "");
        const auto failure = writer.save(folder.file("manca/out.csv"));
        QVERIFY(failure && failure->contains("manca"));
        QVERIFY(!QFile::exists(folder.file("manca")));
    }

    void exportCommand_data() {
        QTest::addColumn<int>("node");          // tree position: 1 root, 2 Principale
        QTest::addColumn<QList<int>>("ticked"); // rows of the list, in surname order
        QTest::addColumn<bool>("cancel");
        QTest::addColumn<QByteArray>("file"); // empty: no file
        QTest::addColumn<QStringList>("messages");
        const QByteArray head = "Nome;Cognome;Cellulare;Posta elettronica\r\n";
        const QString exported = "Esportati 2 contatti nel file ";
        QTest::newRow("two ticked")
            << 2 << QList<int>{0, 2} << false
            << head + "Luca;Bianchi;3471111111;\r\nAnna;Rossi;3391234567;anna@example.it\r\n"
            << QStringList{exported};
        QTest::newRow("none ticked")
            << 2 << QList<int>{} << false << head
            << QStringList{"Nessun Contatto esportato\n"
                           "Selezionare i contatti quindi ripetere il comando"};
        QTest::newRow("dialog cancelled")
            << 2 << QList<int>{0} << true << QByteArray() << QStringList{};
    }
    void exportCommand() {
        QFETCH(int, node);
        QFETCH(QList<int>, ticked);
        QFETCH(bool, cancel);
        QFETCH(QStringList, messages);
        startWithContacts();
        for (int row : ticked)
            m_window->browser()->model()->setChecked(row, true);
        m_window->selectNode(node);
        const QString target = m_folder->file("esportati.csv");
        m_script->answerText(cancel ? std::nullopt : std::optional<QString>(target));
        control<QAction>(m_window.get(), "exru")->trigger();

        QTEST(readBytes(target), "file");
        QCOMPARE(m_window->browser()->model()->checkedRows(), ticked); // still ticked
        const QStringList shown = m_script->messages();
        QCOMPARE(shown.size(), messages.size());
        for (int i = 0; i < shown.size(); ++i)
            QVERIFY2(shown[i].startsWith(messages[i]), qPrintable(shown[i]));
        QCOMPARE(m_script->shown().first().kind == platform::Shown::Kind::SaveFile, node != 1);
    }

    void importCommand_data() {
        QTest::addColumn<int>("node");
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<int>("listed"); // rows the browser lists afterwards
        QTest::addColumn<QString>("message");
        const QByteArray head = "Nome;Cognome;Cellulare;Posta elettronica\r\n";
        QTest::newRow("two contacts")
            << 2 << head + "Ugo;Verdi;3401;\r\nEva;Neri;3402;\r\n"
            << 5 << "Importazione completata: 2 contatti nella rubrica Principale.";
        QTest::newRow("stopped at line 3")
            << 2 << head + "Ugo;Verdi;3401;\r\nEva;Neri\r\n"
            << 4
            << "Importazione interrotta alla riga 3: la riga ha 2 campi, ne servono almeno 4.\n"
               "Contatti importati nella rubrica Principale: 1.";
        QTest::newRow("no Cellulare column")
            << 2 << QByteArray("Nome;Cognome;Telefono\r\nUgo;Verdi;3401\r\n") << 3
            << "non ha la colonna Cellulare: nessun contatto importato.";
        QTest::newRow("root selected") << 1 << head + "Ugo;Verdi;3401;\r\n"
                                       << 3 << "Selezionare un archivio valido";
    }
    void importCommand() {
        QFETCH(int, node);
        QFETCH(QByteArray, file);
        QFETCH(int, listed);
        QFETCH(QString, message);
        startWithContacts();
        writeBytes(m_folder->file("in.csv"), file);
        m_window->selectNode(node);
        m_script->answerText(m_folder->file("in.csv"));
        control<QAction>(m_window.get(), "impcvs")->trigger();

        QCOMPARE(m_script->messages().size(), 1);
        QVERIFY2(m_script->messages().first().contains(message),
                 qPrintable(m_script->messages().first()));
        QCOMPARE(contactsOf(*m_folder, "Principale").size(), listed);
        if (node == 2)
            QTRY_COMPARE(m_window->browser()->model()->rowCount(), listed);
    }

private:
    // Three contacts in "Principale", listed in surname order: Bianchi, Conti, Rossi.
    void startWithContacts() {
        m_folder = std::make_unique<TestFolder>();
        auto db = m_folder->book("Principale");
        seed::addContact(*db, "Anna", "Rossi", "3391234567", "anna@example.it");
        seed::addContact(*db, "Luca", "Bianchi", "3471111111", "");
        seed::addContact(*db, "Marco", "Conti", "3482222222", "m@example.it");
        start(3);
    }
};

QTEST_MAIN(tst_exchange)
#include "tst_exchange.moc"
