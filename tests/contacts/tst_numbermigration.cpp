// Numbers earlier versions stored as typed are brought to the stored form at the first start,
// once per book: what is rewritten, what is left and listed in the message.
#include "app/mainwindow.h"
#include "app/startup.h"
#include "contacts/numbermigration.h"
#include "platform/dialogs.h"
#include "support/foldertest.h"

#include <QRegularExpression>
#include <QtTest>

namespace {

// Adds contacts with these numbers to Fornitori, in this order, all Ugo Bruno.
void add(const TestFolder& folder, const QStringList& numbers) {
    auto db = folder.book("Fornitori");
    store::sqlite::Statement insert(*db->connection(),
                                    "INSERT INTO rubrica VALUES ('Ugo', 'Bruno', ?1, ' ', '4')");
    db->transaction([&] {
        for (const QString& number : numbers)
            insert.bind(1, number).run();
    });
}

} // namespace

class tst_numbermigration : public QObject, private FolderTest {
    Q_OBJECT
private slots:
    void init() {
        newFolder({"Principale", "Fornitori", "Senza file"}); // a book listed without its file
        QVERIFY(QFile::remove(store::archive::addressBookPath(m_folder->path(), "Senza file")));
    }
    void cleanup() { dropFolder(); }

    // Bruno's numbers as an earlier version stored them ("before>after" when the start rewrites
    // one), and what the first start says. One in eight or more to rewrite, and the indexes of
    // the number are made again rather than kept row by row.
    void startUp_data() {
        QTest::addColumn<QStringList>("numbers");
        QTest::addColumn<QString>("message");
        const QString one = "1 numero di cellulare delle rubriche è stato portato alla forma "
                            "comune (solo cifre, con il + per i numeri esteri e senza +39 per "
                            "gli italiani).";
        const QString twenty = "\n\nQuesti numeri sono rimasti come erano, da correggere a mano:" +
                               QString("\nFornitori, Bruno: «333 12» (non ha le cifre di un "
                                       "numero di telefono)")
                                   .repeated(numbermigration::Result::listed);
        const QStringList twentyLeft = QStringList(20, "333 12") << "0039 3331234567>3331234567";
        QTest::newRow("+39 and blanks") << QStringList{"+39 333 123 4567>3331234567"} << one;
        QTest::newRow("foreign") << QStringList{"+49 162 2433834>+491622433834"} << one;
        QTest::newRow("one in eight")
            << (QStringList(7, "3470000000") << "347-000 0001>3470000001") << one;
        QTest::newRow("one in nine")
            << (QStringList(8, "3470000000") << "347-000 0001>3470000001") << one;
        // A lost "+" leaves digits the rule reads as Italian: they stay.
        QTest::newRow("stored, lost plus, blank")
            << QStringList{"3331234567", "491622433834", " "} << "";
        QTest::newRow("both typed: the first wins")
            << QStringList{"+39 333 1234567>3331234567", "333-123-4567"}
            << one +
                   "\n\nQuesto numero è rimasto com'era, da correggere a mano:\nFornitori, Bruno: "
                   "«333-123-4567» (è già il numero di Bruno)";
        QTest::newRow("another contact's number")
            << QStringList{"3331234567", "+39 333 123 4567"}
            << "Questo numero è rimasto com'era, da correggere a mano:\nFornitori, Bruno: «+39 333 "
               "123 4567» (è già il numero di Bruno)";
        QTest::newRow("twenty left") << twentyLeft << one + twenty;
        QTest::newRow("twenty-one left")
            << QStringList{"333 12"} + twentyLeft << one + twenty + "\n… e altri 1.";
    }
    void startUp() {
        QFETCH(QStringList, numbers);
        QFETCH(QString, message);
        QStringList before, after;
        for (const QString& number : numbers) {
            before << number.section('>', 0, 0);
            after << number.section('>', -1);
        }
        add(*m_folder, before);
        for (int start = 1; start <= 2; ++start) {
            platform::DialogScript script;
            startup::FirstWindows windows(session(), [] {});
            QVERIFY(windows.open() == static_cast<QWidget*>(windows.mainWindow()));
            QTest::qWait(20);
            QCOMPARE(script.messages().value(0), start == 1 ? message : QString());
            QCOMPARE(script.shown().value(0).icon,
                     start == 2 || message.isEmpty() ? platform::Icon::None
                     : message.contains("rimast")    ? platform::Icon::Exclamation
                                                     : platform::Icon::Information);
            add(*m_folder, {"+39 347 000 0000"}); // typed after the first start: left alone
        }
        after << "+39 347 000 0000"
              << "+39 347 000 0000";
        QCOMPARE(tableRows(*m_folder->book("Fornitori"), "rubrica",
                           {"Nome", "cognome", "email", "icona", "cellulare"}),
                 after.replaceInStrings(QRegularExpression("^"), "Ugo|Bruno| |4|"));
    }
};

QTEST_MAIN(tst_numbermigration)
#include "tst_numbermigration.moc"
