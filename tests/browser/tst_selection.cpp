// placeholder: replaced by the real tests
#include <QtTest>
class tst_selection : public QObject {
    Q_OBJECT
};
QTEST_MAIN(tst_selection)
#include "tst_selection.moc"
