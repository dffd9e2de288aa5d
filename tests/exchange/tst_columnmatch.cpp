// The window that asks which column of a contact file holds which field: what it offers,
// what it returns, and a file as wide as a mail program's export.
#include "exchange/columnmatchwindow.h"
#include "platform/dialogs.h"
#include "support/controls.h"

#include <QComboBox>
#include <QPushButton>
#include <QTableView>
#include <QtTest>

namespace {

const char* const combos[] = {"cmbNome", "cmbCognome", "cmbCellulare", "cmbEmail"};

// Five lines of `fields` fields under `names`.
csvimport::Preview preview(const QStringList& names, const QList<int>& guess, int fields) {
    QStringList row;
    for (int c = 1; c <= fields; ++c)
        row << QStringLiteral("campo %1").arg(c);
    csvimport::Preview preview;
    preview.names = names;
    preview.rows = QList<QStringList>(5, row);
    preview.columns = {guess[0], guess[1], guess[2], guess[3]};
    return preview;
}

} // namespace

class tst_columnmatch : public QObject {
    Q_OBJECT
private slots:
    // A file whose second column has no name and whose lines have a field more than the names:
    // the guess preselected, the fields picked, Importa pressed; the columns returned, or the
    // window kept open with the message shown.
    void choices_data() {
        QTest::addColumn<QList<int>>("guess");
        QTest::addColumn<QStringList>("preselected");
        QTest::addColumn<QStringList>("picks");         // per field; empty: left as it is
        QTest::addColumn<QList<qsizetype>>("returned"); // empty: not accepted
        QTest::addColumn<QString>("message");
        const QList<int> guess = {0, -1, -1, 3};
        const QStringList guessed = {"Nome", "(nessuna)", "(nessuna)", "E-mail"};
        QTest::newRow("nameless, and past the names")
            << guess << guessed << QStringList{"", "Colonna 2", "Colonna 5"}
            << QList<qsizetype>{0, 1, 4, 3} << "";
        QTest::newRow("mobile dropped")
            << QList<int>{-1, -1, 2, -1}
            << QStringList{"(nessuna)", "(nessuna)", "Tel", "(nessuna)"}
            << QStringList{"Nome", "", "(nessuna)"} << QList<qsizetype>() << "";
        QTest::newRow("one column twice")
            << guess << guessed << QStringList{"", "", "E-mail"} << QList<qsizetype>()
            << "La colonna \"E-mail\" è scelta per più di un dato.";
    }
    void choices() {
        QFETCH(QList<int>, guess);
        QFETCH(QStringList, preselected);
        QFETCH(QStringList, picks);
        QFETCH(QList<qsizetype>, returned);
        QFETCH(QString, message);
        platform::DialogScript script;
        ColumnMatchWindow window(preview({"Nome", " ", "Tel", "E-mail"}, guess, 5));
        window.show();
        for (int field = 0; field < 4; ++field) {
            auto* combo = control<QComboBox>(&window, combos[field]);
            QCOMPARE(combo->currentText(), preselected[field]);
            if (!picks.value(field).isEmpty())
                combo->setCurrentText(picks[field]);
        }
        const csvimport::Columns c = window.columns();
        auto* import = control<QPushButton>(&window, "Command1");
        QCOMPARE(import->isEnabled(), c.cellulare >= 0);
        QTest::mouseClick(import, Qt::LeftButton);
        QCOMPARE(window.isVisible(), returned.isEmpty());
        QCOMPARE(window.result() == QDialog::Accepted, !returned.isEmpty());
        if (!returned.isEmpty())
            QCOMPARE((QList<qsizetype>{c.nome, c.cognome, c.cellulare, c.email}), returned);
        QCOMPARE(script.messages(), message.isEmpty() ? QStringList() : QStringList{message});
    }

    // Thirty columns, the first with a long name: the combos keep the width they have for four
    // short names; the preview scrolls to the column picked, its header widened, and marks it.
    void wideFile() {
        QStringList names;
        for (int c = 1; c <= 30; ++c)
            names << QStringLiteral("Phone %1 - Value").arg(c).repeated(c == 1 ? 4 : 1);
        ColumnMatchWindow wide(preview(names, {-1, -1, -1, -1}, 30));
        ColumnMatchWindow narrow(preview({"A", "B", "C", "D"}, {-1, -1, -1, -1}, 4));
        wide.show();
        auto* combo = control<QComboBox>(&wide, "cmbCellulare");
        QCOMPARE(combo->sizeHint(), control<QComboBox>(&narrow, "cmbCellulare")->sizeHint());
        combo->setCurrentIndex(30);
        auto* table = control<QTableView>(&wide, "lvwAnteprima");
        QVERIFY(
            table->viewport()->rect().contains(table->visualRect(table->model()->index(0, 29))));
        QCOMPARE(table->model()->headerData(29, Qt::Horizontal).toString(),
                 "Cellulare ← " + names.last());
    }
};

QTEST_MAIN(tst_columnmatch)
#include "tst_columnmatch.moc"
