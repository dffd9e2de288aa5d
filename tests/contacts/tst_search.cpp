// placeholder: replaced by the real tests
#include <QtTest>
class tst_search : public QObject {
    Q_OBJECT
};
QTEST_MAIN(tst_search)
#include "tst_search.moc"
