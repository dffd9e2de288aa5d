#pragma once

#include "windows/handler.h"

#include <QDialog>
#include <QPointer>

#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <type_traits>

class QLabel;
class QProgressBar;
class QThread;
class QTimer;

// A box shown while work runs on a thread of its own (runUnder): modal over the whole program,
// so that no other command starts meanwhile; it never takes the focus (closing it does not
// count as another window handing the focus back to the main window, which would refresh the
// list and drop its ticks), Esc does not close it, and it shows the work's progress.
class WorkBox : public QDialog {
    Q_OBJECT
public:
    // Shows the progress bar (hidden until the first call) at done of total.
    void setProgress(qint64 done, qint64 total);
    // The work is over: the box closes (and goes).
    void workDone();

protected:
    explicit WorkBox(QWidget* parent);
    QProgressBar* progressBar() const { return m_progressBar; }
    // How the box closes when the work is over: at once, unless a box says otherwise.
    virtual void closeWhenDone();
    void reject() override;

private:
    QProgressBar* m_progressBar;
    bool m_working = true;
};

// The wait box shown while a long command runs. When the work is over it starts its closing
// timer with an interval of 1 ms; the box closes itself at the first tick.
class WaitDialog final : public WorkBox {
    Q_OBJECT
public:
    explicit WaitDialog(QWidget* parent = nullptr);
    void closeOnTimeout();

protected:
    void closeWhenDone() override;

private:
    QLabel* m_messageLabel;
    QTimer* m_closeTimer;
};

// Work run on a thread of its own; its progress and its end come to the GUI thread as queued
// signals. It belongs to its parent, and goes by itself after finished().
class BackgroundWork final : public QObject {
    Q_OBJECT
public:
    using Progress = std::function<void(qint64 done, qint64 total)>;
    using Work = std::function<void(const Progress&)>;

    BackgroundWork(Work work, QObject* parent);
    // The parent goes while the work runs: waits for its end.
    ~BackgroundWork() override;
    void start();
    // What the work threw, if anything.
    std::exception_ptr failure() const { return m_failure; }

signals:
    // A few times a second at most, and at the end.
    void progress(qint64 done, qint64 total);
    void finished();

private:
    Work m_work;
    std::exception_ptr m_failure;
    QThread* m_thread = nullptr;
};

// Shows `box` and runs `work(progress)` on a thread of its own; the box shows the progress.
// When the work ends, on the GUI thread, the box closes and `done` is handed the result as a
// handler (what the work threw is thrown there). The caller returns at once. `work` owns what
// it uses: it opens its own databases.
template <typename Work, typename Done> void runUnder(WorkBox* box, Work work, Done done) {
    using Result = std::invoke_result_t<Work&, const BackgroundWork::Progress&>;
    auto result = std::make_shared<std::optional<Result>>();
    auto* job = new BackgroundWork(
        [work = std::move(work), result](const BackgroundWork::Progress& progress) mutable {
            result->emplace(work(progress));
        },
        box->parent());
    QObject::connect(job, &BackgroundWork::progress, box, &WorkBox::setProgress);
    QObject::connect(job, &BackgroundWork::finished, job,
                     [job, box = QPointer<WorkBox>(box), result, done = std::move(done)]() mutable {
                         if (box)
                             box->workDone();
                         handler::run([&] {
                             if (job->failure())
                                 std::rethrow_exception(job->failure());
                             done(std::move(**result));
                         });
                     });
    box->show();
    job->start();
}
