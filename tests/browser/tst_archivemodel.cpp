#include "browser/archivemodel.h"
#include "support/testfolder.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <QtTest>

class tst_archivemodel : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void surnameOrder_data();
    void surnameOrder();
    void sameSurnameNewestFirst();
    void messagesLayout();
    void nullFieldsReadEmpty();
    void checkBoxes();
    void clearRemovesColumns();
    void hundredThousandRows();

private:
    ArchiveModel& load(QChar kind, const QString& table);
    std::unique_ptr<TestFolder> m_folder;
    std::unique_ptr<store::Database> m_db;
    std::unique_ptr<ArchiveModel> m_model;
    std::unique_ptr<QAbstractItemModelTester> m_tester;
};

void tst_archivemodel::init() {
    m_folder = std::make_unique<TestFolder>();
    m_db = m_folder->book("Principale");
    m_model = std::make_unique<ArchiveModel>();
    m_tester = std::make_unique<QAbstractItemModelTester>(
        m_model.get(), QAbstractItemModelTester::FailureReportingMode::QtTest);
}

void tst_archivemodel::cleanup() {
    m_tester.reset();
    m_model.reset();
    m_db.reset();
    m_folder.reset();
}

ArchiveModel& tst_archivemodel::load(QChar kind, const QString& table) {
    auto rs = m_db->openRecordset(table);
    m_model->load(*rs, kind);
    return *m_model;
}

void tst_archivemodel::surnameOrder_data() {
    QTest::addColumn<QStringList>("stored");
    QTest::addColumn<QStringList>("listed");
    QTest::newRow("case does not split names")
        << QStringList{"rossi", "Bianchi", "ROSSA", "bianco"}
        << QStringList{"Bianchi", "bianco", "ROSSA", "rossi"};
    QTest::newRow("accented letters with their base letter")
        << QStringList{"Zeta", "Èrcoli", "Esposito", "Àlberti", "Amato"}
        << QStringList{"Àlberti", "Amato", "Èrcoli", "Esposito", "Zeta"};
    QTest::newRow("no surname first")
        << QStringList{"Conti", "", "Abate", ""} << QStringList{"", "", "Abate", "Conti"};
    QTest::newRow("apostrophes") << QStringList{"Dell'Orto", "Della Valle", "D'Amico", "Dani"}
                                 << QStringList{"D'Amico", "Dani", "Dell'Orto", "Della Valle"};
    QTest::newRow("digits before letters")
        << QStringList{"b2", "a10", "a1"} << QStringList{"a1", "a10", "b2"};
}

void tst_archivemodel::surnameOrder() {
    QFETCH(QStringList, stored);
    for (const QString& surname : stored)
        seed::addContact(*m_db, "Nome", surname, "333", " ");
    load('r', "rubrica");
    QStringList listed;
    for (int r = 0; r < m_model->rowCount(); ++r)
        listed << m_model->text(r, 3);
    QTEST(listed, "listed");
}

void tst_archivemodel::sameSurnameNewestFirst() {
    for (const char* n : {"1", "2", "3"})
        seed::addMessage(*m_db, "inviati", "Rossi", n, "01/12/2026 10:00:00", "t");
    load('i', "inviati");
    QCOMPARE(m_model->text(0, 1), QStringLiteral("3"));
    QCOMPARE(m_model->text(2, 1), QStringLiteral("1"));
}

void tst_archivemodel::messagesLayout() {
    seed::addMessage(*m_db, "salvati", "<lista>", "3331;3332;3333", "05/12/2026 09:08:07",
                     "Prima riga\r\nseconda riga");
    load('s', "salvati");
    QCOMPARE(m_model->columnCount(), 5);
    const QStringList headers{"", "Cellulare", "Cognome", "Data", "Testo"};
    for (int c = 0; c < 5; ++c)
        QCOMPARE(m_model->headerData(c, Qt::Horizontal, Qt::DisplayRole).toString(), headers[c]);
    QCOMPARE(m_model->text(0, 1), QStringLiteral("3331;3332;3333"));
    QCOMPARE(m_model->text(0, 2), QStringLiteral("<lista>"));
    QCOMPARE(m_model->text(0, 3), QStringLiteral("05/12/2026 09:08:07"));
    // The whole text is kept; the list shows it on one line.
    QCOMPARE(m_model->text(0, 4), QStringLiteral("Prima riga\r\nseconda riga"));
    QCOMPARE(m_model->data(m_model->index(0, 4)).toString(),
             QStringLiteral("Prima riga seconda riga"));
    QVERIFY(!m_model->data(m_model->index(0, 0), Qt::DecorationRole).value<QIcon>().isNull());
    QCOMPARE(ArchiveModel::columnWidthTwips('s', 4), 3700);
    QCOMPARE(ArchiveModel::columnWidthTwips('r', 4), 1700);
}

void tst_archivemodel::nullFieldsReadEmpty() {
    auto rs = m_db->openRecordset("rubrica");
    rs->AddNew();
    rs->setValue("cellulare", "3470000000");
    rs->Update(); // Nome, cognome and email stay null
    load('r', "rubrica");
    QCOMPARE(m_model->rowCount(), 1);
    QCOMPARE(m_model->text(0, 1), QStringLiteral("3470000000"));
    QCOMPARE(m_model->text(0, 2), QString());
    QCOMPARE(m_model->data(m_model->index(0, 3)).toString(), QString());
}

void tst_archivemodel::checkBoxes() {
    for (const char* s : {"A", "B", "C"})
        seed::addContact(*m_db, "N", s, s, " ");
    load('r', "rubrica");
    QSignalSpy toggled(m_model.get(), &ArchiveModel::checkToggled);
    QVERIFY(m_model->setData(m_model->index(1, 0), Qt::Checked, Qt::CheckStateRole));
    QCOMPARE(m_model->checkedRows(), QList<int>{1});
    QCOMPARE(toggled.size(), 1);
    QVERIFY(m_model->flags(m_model->index(0, 0)) & Qt::ItemIsUserCheckable);
    QVERIFY(!(m_model->flags(m_model->index(0, 1)) & Qt::ItemIsUserCheckable));
    m_model->setAllChecked(true);
    QCOMPARE(m_model->checkedRows(), (QList<int>{0, 1, 2}));
    m_model->setAllChecked(false);
    QVERIFY(m_model->checkedRows().isEmpty());
    // A reload starts unticked.
    m_model->setChecked(0, true);
    load('r', "rubrica");
    QVERIFY(m_model->checkedRows().isEmpty());
}

void tst_archivemodel::clearRemovesColumns() {
    seed::addContact(*m_db, "N", "S", "1", " ");
    load('r', "rubrica");
    QCOMPARE(m_model->columnCount(), 5);
    m_model->clear();
    QCOMPARE(m_model->rowCount(), 0);
    QCOMPARE(m_model->columnCount(), 0);
    QVERIFY(m_model->text(0, 1).isEmpty());
}

void tst_archivemodel::hundredThousandRows() {
    m_tester.reset(); // the tester walks every row; not needed for this size
    m_db->transaction([&] {
        auto rs = m_db->openRecordset("rubrica");
        for (int i = 0; i < 100000; ++i) {
            rs->AddNew();
            rs->setValue("cellulare", QString::number(3300000000LL + i));
            if (i % 7 != 0)
                rs->setValue("cognome",
                             QStringLiteral("Cognome%1").arg(99999 - i, 5, 10, QLatin1Char('0')));
            rs->Update();
        }
    });
    load('r', "rubrica");
    QCOMPARE(m_model->rowCount(), 100000);
    // Rows without surname (every seventh) come first, then ascending surnames.
    const int blanks = (100000 + 6) / 7;
    QVERIFY(m_model->text(blanks - 1, 3).isEmpty());
    QVERIFY(!m_model->text(blanks, 3).isEmpty());
    for (int r = blanks + 1; r < 100000; r += 997)
        QVERIFY(m_model->text(r - 1, 3) <= m_model->text(r, 3));
}

QTEST_MAIN(tst_archivemodel)
#include "tst_archivemodel.moc"
