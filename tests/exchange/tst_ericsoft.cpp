// The customers of the hotel program's table become contacts: market address books, the
// fields' rules, every number once; the failures the user is told about; the folder window.
#include "core/maker.h"
#include "exchange/ericsoft.h"
#include "exchange/hotelfolderwindow.h"
#include "exchange/importprogress.h"
#include "support/controls.h"
#include "support/mainwindowtest.h"
#include "tools/dbfwriter.h"

#include <QAction>
#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>
#include <QtTest>

namespace {

// RN_MER, COGNOME, NOME, POSTA, TELEFONO_3; std::nullopt is NULL.
using Customer = std::vector<std::optional<QString>>;

// Wide enough for a code that makes a book name one past the limit of 100 characters.
constexpr int codeWidth = 93;

void writeCustomers(const QString& path, const QList<Customer>& customers,
                    qsizetype cutAfter = -1) {
    using dbfwriter::Column;
    {
        dbfwriter::Writer writer(path, {{"CODICE", 'I', 4},
                                        {"RN_MER", 'C', codeWidth, 0, true},
                                        {"COGNOME", 'C', 20, 0, true},
                                        {"NOME", 'C', 15, 0, true},
                                        {"NOTE", 'M', 4},
                                        {"POSTA", 'C', 30, 0, true},
                                        {"TELEFONO_3", 'C', 20, 0, true}});
        int code = 0;
        for (const Customer& c : customers)
            writer.add({QString::number(++code), c[0], c[1], c[2], std::nullopt, c[3], c[4]},
                       c.size() > 5); // a sixth value marks the record deleted
        QVERIFY(writer.finish());
    }
    if (cutAfter >= 0) { // the file ends in the middle of the next record
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadWrite));
        const qint64 header = 32 + 8 * 32 + 1 + 263; // 7 fields and _NullFlags
        const qint64 record = 1 + 4 + codeWidth + 20 + 15 + 4 + 30 + 20 + 1;
        QVERIFY(file.resize(header + record * cutAfter + record / 2));
    }
}

// "Nome|cognome|email|cellulare" of every contact, per address book that has any; under ""
// the books listed without their file or with a name over the limit.
QMap<QString, QStringList> contactsByBook(const TestFolder& folder) {
    QMap<QString, QStringList> out;
    auto elenco = store::Database::open(store::archive::elencoPath(folder.path()));
    for (const QString& book : tableRows(*elenco, "elenco", {"Rubrica"})) {
        if (book.size() > 100 ||
            !QFileInfo::exists(store::archive::addressBookPath(folder.path(), book)))
            out[""] << book;
        else if (const QStringList rows = tableRows(*folder.book(book), "rubrica",
                                                    {"Nome", "cognome", "email", "cellulare"});
                 !rows.isEmpty())
            out[book] = rows;
    }
    return out;
}

} // namespace

class tst_ericsoft : public QObject, private MainWindowTest {
    Q_OBJECT
private slots:
    void init() {
        m_folder = std::make_unique<TestFolder>();
        m_folder->write("funzioni", {"ericsoft"});
        testdata::addContact(*m_folder->book("Principale"), "Già", "Presente", "3330000000", "");
        m_hotel = std::make_unique<QTemporaryDir>();
        start(1);
        session().hotelFolder = m_hotel->path();
    }
    void cleanup() {
        stop();
        m_hotel.reset();
    }

    void importRules() {
        writeCustomers(m_hotel->filePath("Anagrafiche.DBF"),
                       {{"IT", " Rossi ", "Anna", "anna@example.it", " 339/123-4567 "},
                        {"IT", "Bianchi", "Bea", "", "0039 339.123.4567"}, // Anna's number
                        {"DE", "Müller", "", std::nullopt, "+49 162 2433834"},
                        {"DE", "Schulz", "", "", "0049 1622433834"}, // Müller's number
                        {std::nullopt, "Verdi", "Ugo", "ugo@example.it", "+39 347 000 0002"},
                        {"FR", "Dupont", "Jean", "", "senza numero"},
                        {"FR", "Durand", "Luc", "", std::nullopt},
                        {"FR", "Dubois", "Léa", "", "   "},
                        {"IT", "Neri", "Eva", "", "333-0000000"},  // already in Principale
                        {"IT", "Zeri", "Zoe", "", "06 1234 5678"}, // a landline is a number too
                        {"IT", "Lettere", "Lia", "", "339 12A4567"},
                        {"D'", "Apostrofo", "Al", "", "3480000003"},
                        {"A/", "Barra", "Bo", "", "3480000004"},
                        {"IT", "Cancellato", "X", "", "3480000005", "deleted"},
                        {std::nullopt, std::nullopt, std::nullopt, std::nullopt, "3480000006"},
                        {"", "Spazi", "   ", "  ", "3480000009"}, // the code is all padding
                        {QString(92, 'L'), "Lungo", "Gi", "", "3480000012"}});
        control<QAction>(m_window.get(), "imph3")->trigger();

        QTRY_COMPARE(m_script->messages(),
                     QStringList{"Importazione Completata\n2 clienti non importati: il cellulare "
                                 "non è un numero di telefono."});
        const QMap<QString, QStringList> expected = {
            {"Principale",
             {"Già|Presente||3330000000", "Ugo|Verdi|ugo@example.it|3470000002", " | | |3480000006",
              " |Spazi| |3480000009"}},
            {"Mercato-IT", {"Anna|Rossi|anna@example.it|3391234567", "Zoe|Zeri| |0612345678"}},
            {"Mercato-DE", {" |Müller| |+491622433834"}},
            {"Mercato-D'", {"Al|Apostrofo| |3480000003"}},
            {"Mercato-A\u2215", {"Bo|Barra| |3480000004"}},
            {"Mercato-" + QString(92, 'L'), {"Gi|Lungo| |3480000012"}}};
        QCOMPARE(contactsByBook(*m_folder), expected);
        // Every market seen has its book, also without contacts and without a code.
        QCOMPARE(treeBooks(m_window.get()),
                 (QStringList{"Principale", "Mercato-IT", "Mercato-DE", "Mercato-", "Mercato-FR",
                              "Mercato-D'", "Mercato-A\u2215", "Mercato-" + QString(92, 'L')}));
    }

    void failures_data() {
        QTest::addColumn<QString>("table"); // what lies in the hotel folder
        QTest::addColumn<QString>("message");
        QTest::addColumn<int>("stored"); // contacts of Mercato-IT afterwards
        QTest::newRow("no table") << QString() << "Database non trovato" << 0;
        QTest::newRow("cannot be opened")
            << QString("folder")
            << "Controllare che il software Ericsoft non sia in esecuzione\nSe l'errore "
               "persiste contattare l'assistenza su " +
                   maker::web()
            << 0;
        QTest::newRow("cut short") << QString("cut") << "Archivio Ericsoft danneggiato: " << 2;
        QTest::newRow("book name over 100 characters")
            << QString("long code")
            << "Importazione interrotta: Il nome di rubrica 'Mercato-" + QString(32, 'L') +
                   "…' è lungo 101 caratteri: il massimo è 100.\nContatti importati: 1."
            << 1;
    }
    void failures() {
        QFETCH(QString, table);
        QFETCH(QString, message);
        const QString path = m_hotel->filePath("anagrafiche.dbf");
        QList<Customer> three = {{"IT", "A", "A", "", "3400000001"},
                                 {"IT", "B", "B", "", "3400000002"},
                                 {"IT", "C", "C", "", "3400000003"}};
        if (table == "folder")
            QVERIFY(QDir().mkdir(path));
        if (table == "cut")
            writeCustomers(path, three, 2);
        if (table == "long code") {
            three[1][0] = QString(codeWidth, 'L');
            writeCustomers(path, three);
        }
        control<QAction>(m_window.get(), "imph3")->trigger();

        QTRY_COMPARE(m_script->messages().size(), 1);
        QVERIFY2(m_script->messages().first().startsWith(message),
                 qPrintable(m_script->messages().first()));
        QVERIFY(!QApplication::overrideCursor());
        QVERIFY(!m_window->findChild<ImportProgress*>());
        const QMap<QString, QStringList> books = contactsByBook(*m_folder);
        QCOMPARE(books.value(""), QStringList());
        QTEST(int(books.value("Mercato-IT").size()), "stored");
    }

    void chooseFolder_data() {
        QTest::addColumn<QString>("chosen"); // empty: cancelled
        QTest::newRow("outside Windows-1252") << "/srv/Łódź Καλημέρα";
        QTest::newRow("cancelled") << "";
    }
    void chooseFolder() {
        QFETCH(QString, chosen);
        m_folder->write("persorso", {"/srv/vecchio"});
        HotelFolderWindow window(session(), m_window.get());
        auto* folder = control<QLineEdit>(&window, "Label2");
        m_script->answerText(chosen.isEmpty() ? std::nullopt : std::optional(chosen));
        control<QPushButton>(&window, "Command1")->click();

        const QString expected = chosen.isEmpty() ? "/srv/vecchio" : chosen;
        QCOMPARE(folder->text(), expected);
        session().hotelFolder.clear();
        const HotelFolderWindow reopened(session(), m_window.get());
        QCOMPARE(control<QLineEdit>(&reopened, "Label2")->text(), expected); // read back on opening
        QCOMPARE(session().hotelFolder, expected);
    }

private:
    std::unique_ptr<QTemporaryDir> m_hotel;
};

QTEST_MAIN(tst_ericsoft)
#include "tst_ericsoft.moc"
