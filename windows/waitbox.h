#pragma once

#include <QDialog>
#include <QPointer>

class QLabel;
class QProgressBar;
class QTimer;

// The wait box shown while a long command runs. The caller shows it not modal, does its work
// and then starts Timer1 with an interval of 1 ms; the box closes itself at the first tick.
class WaitDialog final : public QDialog {
    Q_OBJECT
public:
    explicit WaitDialog(QWidget* parent = nullptr);

    // Shows the progress bar (hidden until the first call) at done of total, and lets the
    // program repaint its windows; user input waits until the work is over.
    void setProgress(qint64 done, qint64 total);
    void closeOnTimeout();

    QLabel* Label1;
    QProgressBar* ProgressBar1;
    QTimer* Timer1;
};

// The wait box for the life of the object: shown when made, closed through its timer at the
// end, whatever way the work ends.
class WaitBox final {
public:
    explicit WaitBox(QWidget* parent);
    ~WaitBox();
    WaitBox(const WaitBox&) = delete;
    WaitBox& operator=(const WaitBox&) = delete;

    void setProgress(qint64 done, qint64 total);
    WaitDialog* dialog() const { return m_dialog; }

private:
    QPointer<WaitDialog> m_dialog;
};
