// placeholder: replaced by the real tests
#include <QtTest>
class tst_editor : public QObject {
    Q_OBJECT
};
QTEST_MAIN(tst_editor)
#include "tst_editor.moc"
