#pragma once

#include <QDialog>
#include <QPointer>

class QLabel;
class QProgressBar;
class QTimer;

// The wait box shown while a long command runs. WaitBox shows it not modal, lets the work run
// and then starts its closing timer with an interval of 1 ms; the box closes itself at the
// first tick.
class WaitDialog final : public QDialog {
    Q_OBJECT
public:
    explicit WaitDialog(QWidget* parent = nullptr);

    // Shows the progress bar (hidden until the first call) at done of total, and lets the
    // program repaint its windows; user input waits until the work is over.
    void setProgress(qint64 done, qint64 total);
    void closeOnTimeout();

private:
    friend class WaitBox; // starts the closing timer when the work is over

    QLabel* m_messageLabel;
    QProgressBar* m_progressBar;
    QTimer* m_closeTimer;
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
