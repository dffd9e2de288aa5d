// placeholder: replaced by the real tests
#include <QtTest>
class tst_addressbooks : public QObject {
    Q_OBJECT
};
QTEST_MAIN(tst_addressbooks)
#include "tst_addressbooks.moc"
