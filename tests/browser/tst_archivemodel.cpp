#include "browser/archivemodel.h"
#include "store/sendreport.h"
#include "support/shownwindow.h"
#include "support/testfolder.h"

#include <QAbstractItemModelTester>
#include <QtTest>

class tst_archivemodel : public QObject {
    Q_OBJECT
private slots:
    void init() {
        m_folder = std::make_unique<TestFolder>();
        m_db = m_folder->book("Principale");
        m_model = std::make_unique<ArchiveModel>();
        m_tester = std::make_unique<QAbstractItemModelTester>(
            m_model.get(), QAbstractItemModelTester::FailureReportingMode::QtTest);
    }
    void cleanup() {
        m_tester.reset();
        m_model.reset();
        m_db.reset();
        m_folder.reset();
    }

    // The whole text is kept; the list shows it on one line.
    void multiLineText() {
        testdata::addMessage(*m_db, "salvati", "Rossi", "3331", "05/12/2026 09:08:07",
                             "Prima riga\r\nseconda riga");
        load(store::ArchiveKind::Saved);
        QCOMPARE(m_model->text(0, 4), "Prima riga\r\nseconda riga");
        QCOMPARE(m_model->data(m_model->index(0, 4)).toString(), "Prima riga seconda riga");
    }

    // More rows than the first read, and more contacts without a surname (listed first) than
    // that read takes: the rest follows in order (the surnames differ only past their first eight
    // bytes), each row once, the rows of one surname newest first even when added between others.
    void orderAcrossReads() {
        QStringList others, unnamed;
        m_db->transaction([&] {
            for (int i = 0; i < 900; ++i) {
                const QString number = QString::number(3330000000LL + i);
                const QString surname = i % 3 ? QString("Cognome%1").arg(i, 5, 10, QChar('0')) : "";
                testdata::addContact(*m_db, "N", surname, number, "");
                if (i % 3)
                    others << surname;
                else
                    unnamed.prepend(number);
            }
        });
        load(store::ArchiveKind::Contacts);
        QCOMPARE(column(*m_model, 3), QStringList(unnamed.size(), "") + others);
        QCOMPARE(column(*m_model, 1).mid(0, unnamed.size()), unnamed);
    }

    // Rows reached by the scroll bar long before the order has been read that far are the rows
    // the whole order puts there, and no order is read up to them: runs of one surname (written
    // in any case) cut by a screen, the big run of one surname (the last screens), the last row.
    void jumpAheadOfTheOrder() {
        m_db->transaction([&] {
            for (int i = 0; i < 40000; ++i) {
                const int n = i * 7919 % 600;
                const QString surname = i % 8 == 1    ? (i % 3 ? "Zanetti" : "ZANETTI")
                                        : i % 11 == 0 ? QString()
                                                      : QString("S%1").arg(n, 3, 10, QChar('0'));
                testdata::addContact(*m_db, "N", surname, QString::number(3330000000LL + i), "");
            }
        });
        load(store::ArchiveKind::Contacts);
        const QStringList inOrder = column(*m_model, 1); // read from the first row on
        QVERIFY(m_model->orderRead());
        load(store::ArchiveKind::Contacts);
        for (int r = m_model->rowCount() - 1; r >= 20000; --r)
            QCOMPARE(m_model->text(r, 1), inOrder[r]);
        QVERIFY2(!m_model->orderRead(), "a jump read the whole order");
    }

    // The ticked rows reach an export or a send whole, in list order, without the rows between
    // them: all (one pass), all but the ends of list and file, every third (by key), in batches.
    void tickedInListOrder_data() {
        QTest::addColumn<QString>("unticked");
        QTest::addColumn<int>("batch");
        QTest::newRow("all, one batch") << "" << 2000;
        QTest::newRow("all, in batches") << "" << 64;
        QTest::newRow("all but the ends") << "ends" << 2000;
        QTest::newRow("every third row") << "third" << 2000;
    }
    void tickedInListOrder() {
        QFETCH(QString, unticked);
        QFETCH(int, batch);
        m_db->transaction([&] {
            for (int i = 0; i <= 1000; ++i) // the list's order is not the file's
                testdata::addContact(*m_db, i % 7 ? "N" : " ",
                                     QString("C%1").arg((i * 389 + 500) % 1001, 4, 10, QChar('0')),
                                     QString::number(3330000000LL + i),
                                     i % 2 ? "" : "e@example.it");
        });
        load(store::ArchiveKind::Contacts);
        const int last = m_model->rowCount() - 1;
        m_model->setAllChecked(true);
        for (int r = 0; r <= last; ++r) {
            const QString number = m_model->text(r, 1);
            if ((unticked == "third" && r % 3) ||
                (unticked == "ends" &&
                 (r == 0 || r == last || number == "3330000000" || number == "3330001000")))
                m_model->setChecked(r, false);
        }
        QList<QStringList> expected, read;
        for (const int r : m_model->checkedRows())
            expected.append({m_model->text(r, 1), m_model->text(r, 2), m_model->text(r, 3),
                             m_model->text(r, 4)});
        m_model->readTicked(batch, [&](const QList<QStringList>& rows) {
            QVERIFY(rows.size() <= batch);
            read += rows;
        });
        QCOMPARE(read, expected);
    }

    // SMS Inviati's Consegna: delivered of all, then what did not arrive and what may still.
    void deliveryColumn_data() {
        QTest::addColumn<QList<int>>("counts"); // lines, delivered, failed, waiting
        QTest::addColumn<QString>("shown");
        QTest::newRow("all") << QList<int>{3, 3, 0, 0} << "3/3";
        QTest::newRow("one failed") << QList<int>{3, 2, 1, 0} << "2/3 (1 non consegnato)";
        QTest::newRow("both") << QList<int>{10, 6, 2, 2} << "6/10 (2 non consegnati, 2 in attesa)";
    }
    void deliveryColumn() {
        QFETCH(QList<int>, counts);
        QTEST(ArchiveModel::deliveryText({counts[0], counts[1], counts[2], true, counts[3]}),
              "shown");
    }

private:
    void load(store::ArchiveKind kind) { m_model->load(m_db->path(), kind); }

    std::unique_ptr<TestFolder> m_folder;
    std::unique_ptr<store::Database> m_db;
    std::unique_ptr<ArchiveModel> m_model;
    std::unique_ptr<QAbstractItemModelTester> m_tester;
};

QTEST_MAIN(tst_archivemodel)
#include "tst_archivemodel.moc"
