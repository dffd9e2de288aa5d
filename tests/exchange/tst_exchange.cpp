// Contact files: what the exports write, what the imports read back (encodings, column names,
// lines that stop it; vCards as phones and mail programs write them), and the menu commands as
// the user runs them.
#include "contacts/phonenumber.h"
#include "exchange/csvexport.h"
#include "exchange/csvimport.h"
#include "exchange/vcard.h"
#include "support/controls.h"
#include "support/mainwindowtest.h"
#include "support/shownwindow.h"

#include <QComboBox>
#include <QDialog>
#include <QFile>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>
#include <QtTest>

using csvimport::Outcome;
using namespace Qt::StringLiterals;
using platform::Icon;

namespace {

// The contacts of a book in stored order, "Nome|cognome|cellulare|email|icona".
QStringList contactsOf(const TestFolder& folder, const QString& book) {
    return tableRows(*folder.book(book), "rubrica",
                     {"Nome", "cognome", "cellulare", "email", "icona"});
}

// What an import skipped: "duplicates withoutNumber refused".
template <class Result> QString skipped(const Result& o) {
    return u"%1 %2 %3"_s.arg(o.duplicates).arg(o.withoutNumber).arg(o.refusedCount);
}

// One card of an export, its lines given without their line ends.
QByteArray card(const QByteArrayList& lines) {
    return "BEGIN:VCARD\r\nVERSION:3.0\r\n" + lines.join("\r\n") + "\r\nEND:VCARD\r\n";
}

// Numbers as people write them, one a contact (Cognome;Cellulare), and what the book keeps of
// them: one form, the same number once (C, D), nothing glued (I to K), none (L).
const QByteArray numbersAsWritten =
    "Cognome;Cellulare\r\nA;+39 333 123 4567\r\nB;347-765 4321\r\nC;0039 3331234567\r\n"
    "D;333 1234567\r\nE;+49 162 2433834\r\nF;+41 79 123 45 67\r\nG;+44 7911 123456\r\n"
    "H;+1 (202) 555-0143\r\nI;p1234p5678w9\r\nJ;333 ABC 4567\r\n"
    "K;+39 340 111 2222 ::: +39 340 333 4444\r\nL;\r\n";
const QStringList numbersKept = {" |A|3331234567| ",   " |B|3477654321| ",    " |E|+491622433834| ",
                                 " |F|+41791234567| ", " |G|+447911123456| ", " |H|+12025550143| "};

struct FileCommand {
    QString entry;        // of the File menu
    int node;             // in the tree: 1 the root, 2 Principale
    QList<int> ticked;    // rows of the list, in surname order
    bool cancel;          // the file dialog
    QByteArray in;        // the file an import reads
    QByteArray out;       // the file an export writes; empty: none
    int listed;           // contacts in Principale afterwards
    QStringList messages; // %in: the file read
};

} // namespace

Q_DECLARE_METATYPE(FileCommand)

class tst_exchange : public QObject, private MainWindowTest {
    Q_OBJECT
private slots:
    void cleanup() { stop(); }

    void import_data() {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QStringList>("stored"); // Nome|cognome|cellulare|email
        QTest::addColumn<int>("status");
        QTest::addColumn<int>("stopLine");
        QTest::addColumn<QString>("skipped"); // duplicates, without a number, refused
        QTest::addColumn<QStringList>("unused");
        const QByteArray head = "Nome;Cognome;Cellulare;Posta elettronica";
        const QString anna = "Anna|Rossi|3391234567|anna@example.it";
        const auto row = [](const char* tag, const QByteArray& file, const QStringList& stored,
                            Outcome::Status status = Outcome::Done, int stopLine = 0,
                            const char* skipped = "0 0 0", const QStringList& unused = {}) {
            QTest::newRow(tag) << file << stored << int(status) << stopLine << QString(skipped)
                               << unused;
        };
        row("LF, UTF-8 without BOM, no line end at the end",
            head + "\nNicol\xC3\xB2;Citt\xC3\xA0;347 1234567;x@y.it",
            {"Nicolò|Città|3471234567|x@y.it"});
        row("UTF-8 with BOM, a byte that is not",
            "\xEF\xBB\xBF" + head + "\r\n\xC5\x81ukasz;Zo\xC3\xAB\xFF;3481234567;\r\n",
            {"Łukasz|Zoë\uFFFD|3481234567| "});
        row("other order, more columns: those with something in them are told",
            "Note;Posta elettronica;Cellulare;Cognome;Nome;Citt\xE0;Vuota\r\n"
            "vip;anna@example.it;3391234567;Rossi;Anna;Roma;\r\n",
            {anna}, Outcome::Done, 0, "0 0 0", {"Note", "Città"});
        row("missing columns stored as one blank", "Cellulare;Nome\r\n3391234567;Anna\r\n",
            {"Anna| |3391234567| "});
        row("a line break in quotes is one blank; a short line has no number",
            "\xEF\xBB\xBF" + head +
                "\r\n\"Maria\nGrazia\";\"Rossi\r\nBianchi\";339 1234567;\r\nD;E\r\n",
            {"Maria Grazia|Rossi Bianchi|3391234567| "}, Outcome::Done, 0, "0 1 0");
        row("a line of one blank between contacts",
            head + "\r\nAnna;Rossi;3391234567;anna@example.it\r\n \r\nB;C;347 1234567;\r\n",
            {anna, "B|C|3471234567| "});
        row("quote never closed",
            head + "\r\nAnna;Rossi;3391234567;anna@example.it\r\n\"Bob;C;1;\r\nD;E;2;\r\n", {anna},
            Outcome::Stopped, 3);
        row("empty file", QByteArray(), {}, Outcome::EmptyFile);
        // The export saved again by a spreadsheet that puts every text in quotes.
        row("saved again by Calc",
            "\"Nome\";\"Cognome\";\"Cellulare\";\"Posta elettronica\"\n"
            "\"\"\"Bob\"\"; Anna\";\"Citt\xE0\";3391234567;\"\"\n",
            {"\"Bob\"; Anna|Città|3391234567| "});
        row("NUL byte",
            head + "\r\nAnna;Rossi;3391234567;anna@example.it\r\nB;C\0;1;\r\n"_ba, // all of it
            {anna}, Outcome::Stopped, 3);
        QByteArray big = head + "\r\n";
        QStringList bigStored;
        for (int i = 2; i < 12000; ++i) {
            big += QByteArray::number(i) + ";C;33300" + QByteArray::number(10000 + i) + ";\r\n";
            bigStored << QString::number(i) + "|C|33300" + QString::number(10000 + i) + "| ";
        }
        row("stopped past the first transactions: the lines before stay",
            big + "B;C\0;1;\r\n1;C;3;\r\n"_ba, bigStored, Outcome::Stopped, 12000);

        row("numbers as written", numbersAsWritten, numbersKept, Outcome::Done, 0, "2 1 3");
        // Other programs' files.
        row("comma-separated, Italian names, E-mail",
            "Nome,Cognome,Telefono,E-mail\r\nAnna,Rossi,339 1234567,anna@example.it\r\n", {anna});
        row("tab-separated, Telefono cellulare, Indirizzo e-mail",
            "Cognome\tNome\tTelefono cellulare\tIndirizzo e-mail\r\n"
            "Rossi\tAnna\t3391234567\tanna@example.it\r\n",
            {anna});
        row("UTF-16 with its mark, tabs (a spreadsheet's Unicode text)",
            QByteArray("\xFF\xFE") +
                QStringEncoder(QStringConverter::Utf16LE)
                    .encode(u"Nome\tCognome\tCellulare\r\nNicolò\tCittà\t3331234567\r\n"_s),
            {"Nicolò|Città|3331234567| "});
        row("Google Contacts: typed phones, the mobile by its type, preferred e-mail",
            "Name,Given Name,Additional Name,Family Name,Group Membership,"
            "E-mail 1 - Type,E-mail 1 - Value,E-mail 2 - Type,E-mail 2 - Value,"
            "Phone 1 - Type,Phone 1 - Value,Phone 2 - Type,Phone 2 - Value\r\n"
            "Anna Rossi,Anna,,Rossi,* myContacts,Work,a@work.it,* Home,anna@example.it,"
            "Work,+39 06 1234 5678,Mobile,+39 339 123 4567\r\n"
            "Hans Weber,Hans,,Weber,* myContacts,,,,,Mobile,+49 162 2433834,,\r\n"
            "Gino,,,,* myContacts,,,,,* Mobile,+39 340 111 2222 ::: +39 340 333 4444,,\r\n"
            "Pizzeria,,,,* myContacts,,,,,Work,02 1234 5678,,\r\n",
            {anna, "Hans|Weber|+491622433834| ", " |Pizzeria|0212345678| "}, Outcome::Done, 0,
            "0 0 1", {"Group Membership", "E-mail 1 - Value"});
        row("Google Contacts in Italian",
            "Nome,Secondo nome,Cognome,Telefono 1 - Etichetta,Telefono 1 - Valore,"
            "E-mail 1 - Etichetta,E-mail 1 - Valore\r\n"
            "Anna,,Rossi,Cellulare,339 123 4567,Casa,anna@example.it\r\n",
            {anna});
        row("Outlook",
            "\"First Name\",\"Middle Name\",\"Last Name\",\"Business Phone\",\"Home Phone\","
            "\"Mobile Phone\",\"E-mail Address\",\"E-mail Display Name\"\r\n"
            "\"Anna\",\"\",\"Rossi\",\"+39 (06) 1234567\",\"\",\"+39 339 1234567\","
            "\"anna@example.it\",\"Anna Rossi (anna@example.it)\"\r\n",
            {anna}, Outcome::Done, 0, "0 0 0", {"Business Phone", "E-mail Display Name"});
        row("the column of the mobile cannot be told",
            "Cognome;Telefono casa;Telefono ufficio\r\nRossi;06 1234567;339 1234567\r\n", {},
            Outcome::NoNumberColumn);
    }
    void import() {
        QFETCH(QByteArray, file);
        QFETCH(QStringList, stored);
        TestFolder folder;
        const QString path = folder.file("in.csv");
        writeBytes(path, file);
        auto book = folder.book("Principale");
        const Outcome outcome = csvimport::importFile(path, *book);
        QVERIFY(hasRubricaIndexes(*book)); // made again after the contacts, not left for later

        QTEST(int(outcome.status), "status");
        QTEST(int(outcome.line), "stopLine");
        QCOMPARE(outcome.imported, qint64(stored.size()));
        QTEST(skipped(outcome), "skipped");
        QTEST(outcome.unusedColumns, "unused");
        if (outcome.status == Outcome::Stopped)
            QVERIFY(!outcome.reason.isEmpty());
        for (const exchange::Refusal& refusal : outcome.refused)
            QVERIFY(!refusal.reason.isEmpty() && refusal.place > 1);
        for (QString& s : stored)
            s += "|4";
        QCOMPARE(contactsOf(folder, "Principale"), stored);
    }

    // A file whose names do not tell the mobile: its head, for the window that asks.
    void headOfAnUnclearFile() {
        TestFolder folder;
        const QString path = folder.file("in.csv");
        writeBytes(path, "Cognome,Telefono casa,Telefono ufficio\r\n"
                         "Rossi,06 1234567,339 1234567\r\n\r\nBianchi,,347 1234567\r\n");
        const csvimport::Preview preview = csvimport::preview(path);
        QCOMPARE(preview.names, (QStringList{"Cognome", "Telefono casa", "Telefono ufficio"}));
        QCOMPARE(preview.rows, (QList<QStringList>{{"Rossi", "06 1234567", "339 1234567"},
                                                   {"Bianchi", "", "347 1234567"}}));
        QCOMPARE(preview.columns.cognome, 0);
        QCOMPARE(preview.columns.cellulare, -1);
        QVERIFY(!preview.typedPhones);
    }

    void exportFile_data() {
        QTest::addColumn<bool>("vCard");
        // nome, cognome, cellulare, email as stored, four a contact
        QTest::addColumn<QStringList>("contacts");
        QTest::addColumn<QByteArray>("bytes");
        const QByteArray head = "Nome;Cognome;Cellulare;Posta elettronica\r\n";
        QTest::newRow("Windows-1252") << false << QStringList{"Nicolò €", "R", "3331234567", ""}
                                      << head + "Nicol\xF2 \x80;R;3331234567;\r\n";
        QTest::newRow("UTF-8 from the second contact on: the first one's too")
            << false
            << QStringList{"Nicolò €", "R", "3331234567", "", "Łukasz", "B", "+491622433834", ""}
            << "\xEF\xBB\xBF" + head +
                   "Nicol\xC3\xB2 \xE2\x82\xAC;R;3331234567;\r\n\xC5\x81ukasz;B;+491622433834;\r\n";
        QTest::newRow("blank first name and e-mail as the editor stores them")
            << false << QStringList{" ", "Rossi", "3391234567", " "}
            << head + ";Rossi;3391234567;\r\n";
        QTest::newRow("quotes and semicolon, before and after an accent")
            << false << QStringList{"\"Bob\"; Anna", "R", "3331234567", "",  "Nicolò",     "\"R\"",
                                    "3331234568",    "",  "A;B",        "R", "3331234569", " "}
            << head +
                   "\"\"\"Bob\"\"; Anna\";R;3331234567;\r\nNicol\xF2;\"\"\"R\"\"\";3331234568;\r\n"
                   "\"A;B\";R;3331234569;\r\n";
        QTest::newRow("vCard: accents and escapes")
            << true
            << QStringList{"Nicolò", "Dell'Acqua; Rossi, Bianchi", "3331234567", "n@example.it"}
            << card({"N:Dell'Acqua\\; Rossi\\, Bianchi;Nicol\xC3\xB2;;;",
                     "FN:Nicol\xC3\xB2 Dell'Acqua\\; Rossi\\, Bianchi", "TEL;TYPE=CELL:3331234567",
                     "EMAIL:n@example.it"});
        QTest::newRow("vCard: blank first name and e-mail as the editor stores them")
            << true << QStringList{" ", "Rossi", "3391234567", " "}
            << card({"N:Rossi;;;;", "FN:Rossi", "TEL;TYPE=CELL:3391234567"});
        QTest::newRow("vCard: a line of exactly 75 octets stays whole, one of 76 is folded")
            << true
            << QStringList{"Ugo", QString(67, 'b'), "3331234567", QString(63, 'c') + "@ex.it"}
            << card({"N:" + QByteArray(67, 'b') + ";Ugo;;", " ;", "FN:Ugo " + QByteArray(67, 'b'),
                     "TEL;TYPE=CELL:3331234567", "EMAIL:" + QByteArray(63, 'c') + "@ex.it"});
        QTest::newRow("vCard: an accented letter is not cut at the fold")
            << true << QStringList{"Ugo", QString(72, 'b') + "è", "3331234567", " "}
            << card({"N:" + QByteArray(72, 'b'), " \xC3\xA8;Ugo;;;",
                     "FN:Ugo " + QByteArray(68, 'b'), " " + QByteArray(4, 'b') + "\xC3\xA8",
                     "TEL;TYPE=CELL:3331234567"});
    }
    // The file holds what was written, and comes back equal into another address book.
    void exportFile() {
        QFETCH(bool, vCard);
        QFETCH(QStringList, contacts);
        TestFolder folder({"Principale", "Altra"});
        const QString path = folder.file("out");
        const auto save = [&](auto writer) {
            for (qsizetype i = 0; i < contacts.size(); i += 4) // as the export reads them
                writer.addStored(contacts[i].toUtf8(), contacts[i + 1].toUtf8(),
                                 contacts[i + 2].toUtf8(), contacts[i + 3].toUtf8());
            // The count tells the File menu's message.
            return writer.contacts() == contacts.size() / 4 ? writer.save(path)
                                                            : std::optional<QString>("count");
        };
        QCOMPARE(vCard ? save(vcard::Writer()) : save(csvexport::Writer()), std::nullopt);
        QTEST(readBytes(path), "bytes");
        vCard ? void(vcard::importFile(path, *folder.book("Altra")))
              : void(csvimport::importFile(path, *folder.book("Altra")));
        // An empty field comes back as the editor keeps it: one blank.
        contacts.replaceInStrings(QRegularExpression("^$"), " ");
        QStringList stored;
        for (qsizetype i = 0; i < contacts.size(); i += 4)
            stored << contacts.mid(i, 4).join('|') + "|4";
        QCOMPARE(contactsOf(folder, "Altra"), stored);
    }

    // A file that cannot be written leaves nothing behind.
    void exportFailure() {
        TestFolder folder;
        csvexport::Writer writer;
        writer.add({.nome = "Anna", .cognome = "Rossi", .cellulare = "3", .email = ""});
        const auto failure = writer.save(folder.file("manca/out.csv"));
        QVERIFY(failure && failure->contains("manca"));
        QVERIFY(!QFile::exists(folder.file("manca")));
    }

    // Cards as phones and mail programs write them, as the address book keeps them.
    void readCards_data() {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QStringList>("cards"); // nome|cognome|cellulare|email
        QTest::newRow("Android 2.1: quoted-printable UTF-8 with a soft break, home number first")
            << QByteArray("BEGIN:VCARD\r\nVERSION:2.1\r\n"
                          "N;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:Citt=C3=A0=\r\n"
                          ";Nicol=C3=B2;;;\r\n"
                          "FN;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:Nicol=C3=B2=20Citt=C3=A0\r\n"
                          "TEL;HOME:06 1234567\r\nTEL;CELL:+39 333 1234567\r\n"
                          "EMAIL;HOME:nicolo@example.it\r\n"
                          "PHOTO;ENCODING=BASE64;JPEG:/9j/4AAQSkZJRgABAQAAAQABAAD\r\n"
                          "  /2wBDAAgGBgcGBQgHBwcJCQgKDBQNDAsLDBkSEw8UHRofHh0aHBwgJC4nICIs\r\n"
                          "\r\nEND:VCARD\r\n")
            << QStringList{"Nicolò|Città|3331234567|nicolo@example.it"};
        QTest::newRow("iPhone 3.0: item groups, the mobile by its label, a folded photo")
            << QByteArray("BEGIN:VCARD\r\nVERSION:3.0\r\nPRODID:-//Telefono//IT\r\n"
                          "N:Dell'Acqua;Maria Grazia;;;\r\nFN:Maria Grazia Dell'Acqua\r\n"
                          "ORG:Caff\\, Bar\\; Ristorante;\r\n"
                          "item1.TEL;type=pref:+39 02 1234 5678\r\n"
                          "item1.X-ABLabel:_$!<Work>!$_\r\n"
                          "item2.TEL:+39 347 765 4321\r\nitem2.X-ABLabel:cellulare\r\n"
                          "item3.EMAIL;type=INTERNET;type=pref:maria@example.it\r\n"
                          "PHOTO;ENCODING=b;TYPE=JPEG:/9j/4AAQ\r\n SkZJRgAB\r\nEND:VCARD\r\n")
            << QStringList{"Maria Grazia|Dell'Acqua|3477654321|maria@example.it"};
        QTest::newRow("4.0: a tel URI, a quoted type list, a folded line, the preferred e-mail")
            << QByteArray("BEGIN:VCARD\r\nVERSION:4.0\r\nN:Rossi;Anna;;;\r\nFN:Anna Rossi\r\n"
                          "EMAIL:ufficio@example.it\r\nEMAIL;PREF=1:anna.rossi@exam\r\n ple.it\r\n"
                          "TEL;TYPE=work;VALUE=text:06 555 1234\r\n"
                          "TEL;TYPE=\"cell,voice\";VALUE=uri:tel:+39-339-123-4567;ext=2\r\n"
                          "END:VCARD\r\n")
            << QStringList{"Anna|Rossi|3391234567|anna.rossi@example.it"};
        QTest::newRow("Outlook 2.1: Windows-1252, 0039")
            << QByteArray("BEGIN:VCARD\r\nVERSION:2.1\r\n"
                          "N;LANGUAGE=it;CHARSET=Windows-1252:Citt\xE0;Nicol\xF2\r\n"
                          "FN;CHARSET=Windows-1252;ENCODING=QUOTED-PRINTABLE:Nicol=F2 Citt=E0\r\n"
                          "TEL;CELL;VOICE:0039 333 7654321\r\nEMAIL;PREF;INTERNET:n@example.it\r\n"
                          "END:VCARD\r\n")
            << QStringList{"Nicolò|Città|3337654321|n@example.it"};
        QTest::newRow("3.0 escapes, LF, lower case; a card with no number; FN alone")
            << QByteArray(
                   "begin:vcard\nversion:3.0\n"
                   "n:Rossi\\, Bianchi;Anna\\;Maria\\nGrazia;;;\ntel;type=cell:(333) 111-2222\n"
                   "end:vcard\nbegin:vcard\nversion:3.0\nfn:Pizzeria Da Gino\n"
                   "email:gino@example.it\nend:vcard\n")
            << QStringList{"Anna;Maria Grazia|Rossi, Bianchi|3331112222|",
                           "|Pizzeria Da Gino||gino@example.it"};
        QTest::newRow("2.1: folding keeps its blank, 8-bit text, a nested AGENT card")
            << QByteArray("BEGIN:VCARD\r\nVERSION:2.1\r\nN:Bianch\xEC;Luca\r\n Maria\r\n"
                          "TEL;WORK:02 1111111\r\nAGENT:\r\nBEGIN:VCARD\r\nVERSION:2.1\r\n"
                          "N:Segretaria;Sara\r\nTEL;CELL:3330000000\r\nEND:VCARD\r\n"
                          "END:VCARD\r\n")
            << QStringList{"Luca Maria|Bianchì|021111111|"};
    }
    void readCards() {
        QFETCH(QByteArray, file);
        vcard::Reader reader(file);
        QStringList cards;
        // The number as the import keeps it.
        while (const auto read = reader.next())
            cards
                << QStringList{read->nome, read->cognome,
                               phone::read(read->cellulare).number.value_or(phone::Number{}).stored,
                               read->email}
                       .join('|');
        QTEST(cards, "cards");
    }

    // The same numbers as cards: the vCard import keeps, skips and refuses the same ones.
    void numbersInCards() {
        QByteArray cards;
        for (const QByteArray& line : numbersAsWritten.trimmed().split('\n').mid(1)) {
            const QByteArrayList fields = line.trimmed().split(';');
            cards += card({"N:" + fields[0] + ";;;;", "TEL;TYPE=CELL:" + fields.mid(1).join(';')});
        }
        TestFolder folder({"Principale"});
        writeBytes(folder.file("c.vcf"), cards);
        const vcard::Outcome outcome =
            vcard::importFile(folder.file("c.vcf"), *folder.book("Principale"));
        QCOMPARE(skipped(outcome), "2 1 3");
        QCOMPARE(contactsOf(folder, "Principale"),
                 QStringList(numbersKept).replaceInStrings(QRegularExpression("$"), "|4"));
    }

    // A card saved in UTF-16 without its byte-order mark, either byte order.
    void unmarkedUtf16() {
        for (const auto order : {QStringConverter::Utf16LE, QStringConverter::Utf16BE}) {
            TestFolder folder({"Principale"});
            writeBytes(folder.file("c.vcf"),
                       QStringEncoder(order).encode(QString::fromUtf8(card(
                           {"N:Citt\xC3\xA0;Nicol\xC3\xB2;;;", "TEL;TYPE=CELL:+39 333 1234567"}))));
            vcard::importFile(folder.file("c.vcf"), *folder.book("Principale"));
            QCOMPARE(contactsOf(folder, "Principale"), QStringList{"Nicolò|Città|3331234567| |4"});
        }
    }

    // A File menu entry on a tree node with rows ticked, the dialog answered with the file:
    // the file an export writes, the contacts afterwards, the beginnings of the messages.
    void fileCommands_data() {
        QTest::addColumn<FileCommand>("c");
        const auto add = [](const char* tag, const FileCommand& c) {
            QTest::newRow(tag) << c;
        };
        const QByteArray head = "Nome;Cognome;Cellulare;Posta elettronica\r\n";
        const QByteArray twoCsv =
            head + "Luca;Bianchi;3471111111;\r\nAnna;Rossi;3391234567;anna@example.it\r\n";
        // Numbers of the book and of an earlier card, cards without a number.
        const QByteArray cards = card({"N:Rossi;Anna;;;", "TEL;TYPE=CELL:+39 339 123 4567"}) +
                                 card({"N:Neri;Eva;;;", "TEL;TYPE=CELL:347 123 4567"}) +
                                 card({"N:Neri;Eva;;;", "TEL;TYPE=CELL:0039 3471234567"}) +
                                 card({"N:Verdi;Ugo;;;", "EMAIL:u@example.it"}) +
                                 card({"N:Blu;Ada;;;", "TEL:+39"}) +
                                 card({"N:Gialli;Ivo;;;", "TEL;TYPE=CELL:p1234p5678w9"});
        const QString exported = "Esportati 2 contatti nel file ";
        const QString none = "Nessun Contatto esportato\nSelezionare i contatti";
        const QString invalid = "Selezionare un archivio valido";
        const QByteArray twoIn = head + "Ugo;Verdi;340 1234567;\r\nEva;Neri;+39 3402345678;\r\n";
        const QString twoDone =
            "Importazione completata.\nContatti importati nella rubrica Principale: 2.";
        const QString stopped = "Importazione interrotta alla riga 3: le virgolette aperte in "
                                "questa riga non vengono chiuse fino alla fine del file.\n"
                                "Contatti importati nella rubrica Principale: 1.";
        // The book has 3391234567; 21 numbers that are none: twenty told, the last counted.
        QByteArray refusedIn = head + "Anna;Rossi;+39 339 123 4567;\r\nUgo;Verdi;;\r\n";
        for (int i = 1; i <= 21; ++i)
            refusedIn += "X;Y;333 12345 int. " + QByteArray::number(i) + ";\r\n";
        QString refusedTold =
            "Importazione completata.\nContatti importati nella rubrica Principale: 0.\n"
            "Saltati perché il numero è già presente: 1.\n"
            "Saltati perché senza numero di telefono: 1.\n"
            "Saltati perché il numero non è un numero di telefono: 21.";
        for (int i = 1; i <= 20; ++i)
            refusedTold +=
                u"\n    riga %1, «333 12345 int. %2»: contiene lettere"_s.arg(i + 3).arg(i);
        refusedTold += "\n    … e altri 1.";
        const QString cardsDone =
            "Importazione completata.\nContatti importati nella rubrica Principale: 1.\n"
            "Saltati perché il numero è già presente: 2.\n"
            "Saltati perché senza numero di telefono: 1.\n"
            "Saltati perché il numero non è un numero di telefono: 2.\n"
            "    scheda 5, «+39»: non ha le cifre di un numero di telefono\n"
            "    scheda 6, «p1234p5678w9»: contiene pause o un interno";
        const QString vCardInCsv = "Il file %in è in formato vCard: per leggerlo usare";
        const QString noCards = "Il file %in non contiene contatti in formato vCard: nessun "
                                "contatto importato.";
        add("export, two ticked", {"exru", 2, {0, 2}, false, {}, twoCsv, 3, {exported}});
        add("export, none ticked", {"exru", 2, {}, false, {}, head, 3, {none}});
        add("export, dialog cancelled", {"exru", 2, {0}, true, {}, {}, 3, {}});
        add("vCard export, none ticked: no file", {"exvcf", 2, {}, false, {}, {}, 3, {none}});
        add("vCard export, root selected", {"exvcf", 1, {0}, false, {}, {}, 3, {invalid}});
        add("import, two contacts", {"impcvs", 2, {}, false, twoIn, {}, 5, {twoDone}});
        const QByteArray unclosed = head + "Ugo;Verdi;3401234567;\r\n\"Eva;Neri\r\n";
        add("import, stopped at line 3", {"impcvs", 2, {}, false, unclosed, {}, 4, {stopped}});
        add("import, duplicates, no number, numbers that are none",
            {"impcvs", 2, {}, false, refusedIn, {}, 3, {refusedTold}});
        add("import, a vCard file", {"impcvs", 2, {}, false, cards, {}, 3, {vCardInCsv}});
        add("import, root selected",
            {"impcvs", 1, {}, false, head + "Ugo;Verdi;3401234567;\r\n", {}, 3, {invalid}});
        add("vCard import: one new, two in the book or the file, one without a number, two none",
            {"impvcf", 2, {}, false, cards, {}, 4, {cardsDone}});
        add("vCard import, a semicolon file", {"impvcf", 2, {}, false, twoIn, {}, 3, {noCards}});
    }
    void fileCommands() {
        QFETCH(FileCommand, c);
        startWithContacts();
        for (int row : c.ticked)
            m_window->browser()->model()->setChecked(row, true);
        const QString in = m_folder->file("in"), out = m_folder->file("esportati");
        writeBytes(in, c.in);
        m_window->selectNode(c.node);
        const bool exports = c.entry.startsWith("ex");
        m_script->answerText(c.cancel ? std::nullopt : std::optional(exports ? out : in));
        control<QAction>(m_window.get(), qPrintable(c.entry))->trigger();
        QTRY_VERIFY(!QApplication::activeModalWidget()); // the wait box gone

        QCOMPARE(readBytes(out), c.out);
        QCOMPARE(m_window->browser()->model()->checkedRows(), c.ticked); // still ticked
        const QStringList shown = m_script->messages();
        QCOMPARE(shown.size(), c.messages.size());
        for (int i = 0; i < shown.size(); ++i)
            QVERIFY2(shown[i].startsWith(c.messages[i].replace("%in", in)), qPrintable(shown[i]));
        QCOMPARE(m_script->shown().first().kind, c.node == 1 ? platform::Shown::Kind::Message
                                                 : exports   ? platform::Shown::Kind::SaveFile
                                                             : platform::Shown::Kind::OpenFile);
        QCOMPARE(contactsOf(*m_folder, "Principale").size(), c.listed);
        if (c.node == 2)
            QTRY_COMPARE(m_window->browser()->model()->rowCount(), c.listed);
    }

    // A file whose names do not tell the mobile: the user is asked, imports with the column
    // chosen, or gives up.
    void askedColumns_data() {
        QTest::addColumn<bool>("chosen");
        QTest::newRow("Telefono ufficio chosen") << true;
        QTest::newRow("given up") << false;
    }
    void askedColumns() {
        QFETCH(bool, chosen);
        startWithContacts();
        const QString in = m_folder->file("in.csv");
        writeBytes(in,
                   "Cognome,Telefono casa,Telefono ufficio\r\nVerdi,06 1234567,340 1234567\r\n");
        m_window->selectNode(2);
        m_script->answerText(in);
        bool asked = false;
        QTimer::singleShot(0, this, [&] {
            auto* window = shownWindow<QDialog>("Colonne");
            if (!(asked = window != nullptr))
                return;
            auto* number = control<QComboBox>(window, "cmbCellulare");
            number->setCurrentIndex(number->findText("Telefono ufficio"));
            control<QPushButton>(window, chosen ? "Command1" : "Command2")->click();
        });
        control<QAction>(m_window.get(), "impcvs")->trigger();
        QVERIFY(asked);
        const QString done = "Importazione completata.\nContatti importati nella rubrica "
                             "Principale: 1.\nColonne del file non importate: Telefono casa.";
        QTRY_COMPARE(m_script->messages(), chosen ? QStringList{done} : QStringList{});
        QCOMPARE(contactsOf(*m_folder, "Principale").contains(" |Verdi|3401234567| |4"), chosen);
    }

    // A long import runs beside the event loop: the main window waits under the wait box,
    // which shows the progress going on, and the program answers (its timer ticks) throughout.
    void longImportKeepsTheWindowAlive() {
        startWithContacts();
        QByteArray in = "Cognome;Cellulare\r\n";
        for (int i = 0; i < 100000; ++i)
            in += QByteArray::number(i) + ';' + QByteArray::number(3400000000LL + i) + "\r\n";
        writeBytes(m_folder->file("in.csv"), in);
        m_script->answerText(m_folder->file("in.csv"));
        qint64 longestPause = 0;
        QSet<int> shown; // the progress in the wait box, per mille
        QElapsedTimer sinceTick;
        QTimer ticks;
        connect(&ticks, &QTimer::timeout, this, [&] {
            longestPause = std::max(longestPause, sinceTick.restart());
            if (auto* bar = m_window->findChild<QProgressBar*>("ProgressBar1"))
                shown << bar->value();
        });
        sinceTick.start();
        ticks.start(10);
        control<QAction>(m_window.get(), "impcvs")->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(!QApplication::activeModalWidget(), 60000);
        QVERIFY(m_script->messages().value(0).endsWith(": " + QLocale().toString(100000) + '.'));
        QVERIFY2(longestPause <= 100, qPrintable(QString::number(longestPause)));
        QVERIFY((shown - QSet<int>{-1, 0, 1000}).size() >= 3); // hidden, start, end left out
    }

private:
    // Three contacts in "Principale", listed in surname order: Bianchi, Conti, Rossi.
    void startWithContacts() {
        m_folder = std::make_unique<TestFolder>();
        auto db = m_folder->book("Principale");
        testdata::addContact(*db, "Anna", "Rossi", "3391234567", "anna@example.it");
        testdata::addContact(*db, "Luca", "Bianchi", "3471111111", "");
        testdata::addContact(*db, "Marco", "Conti", "3482222222", "m@example.it");
        start(3);
    }
};

QTEST_MAIN(tst_exchange)
#include "tst_exchange.moc"
