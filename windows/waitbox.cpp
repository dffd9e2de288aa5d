#include "windows/waitbox.h"

#include "core/twips.h"
#include "platform/controls.h"

#include <QElapsedTimer>
#include <QLabel>
#include <QProgressBar>
#include <QThread>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>

WorkBox::WorkBox(QWidget* parent)
    : QDialog(parent, Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint)
    , m_progressBar(platform::progressBar(this)) {
    setAttribute(Qt::WA_ShowWithoutActivating);
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowModality(Qt::ApplicationModal);
}

void WorkBox::setProgress(qint64 done, qint64 total) {
    platform::showProgress(m_progressBar, done, total);
}

void WorkBox::workDone() {
    m_working = false;
    closeWhenDone();
}

void WorkBox::closeWhenDone() {
    close();
}

void WorkBox::reject() {
    if (!m_working)
        QDialog::reject();
}

WaitDialog::WaitDialog(QWidget* parent)
    : WorkBox(parent)
    , m_messageLabel(new QLabel(QStringLiteral("Attendere la fine delle elaborazioni..."), this))
    , m_closeTimer(new QTimer(this)) {
    setObjectName(QStringLiteral("Form10"));
    setWindowTitle(QStringLiteral("Quillet"));
    platform::nameControls(
        {{m_messageLabel, "Label1"}, {progressBar(), "ProgressBar1"}, {m_closeTimer, "Timer1"}});

    m_messageLabel->setAlignment(Qt::AlignCenter);
    m_closeTimer->setInterval(0); // stopped until the work is over

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_messageLabel, 1);
    layout->addWidget(progressBar());
    resize(std::max(twips::toPixels(3690), sizeHint().width() + 40), twips::toPixels(1680));

    connect(m_closeTimer, &QTimer::timeout, this,
            [this] { handler::run([this] { closeOnTimeout(); }); });
}

void WaitDialog::closeOnTimeout() {
    m_closeTimer->stop();
    m_closeTimer->setInterval(0);
    close();
}

void WaitDialog::closeWhenDone() {
    m_closeTimer->start(1);
}

BackgroundWork::BackgroundWork(Work work, QObject* parent)
    : QObject(parent)
    , m_work(std::move(work)) {}

BackgroundWork::~BackgroundWork() {
    if (m_thread)
        m_thread->wait();
}

void BackgroundWork::start() {
    m_thread = QThread::create([this] {
        constexpr qint64 progressEveryMs = 40;
        QElapsedTimer sinceShown;
        const Progress progress = [this, &sinceShown](qint64 done, qint64 total) {
            if (sinceShown.isValid() && sinceShown.elapsed() < progressEveryMs && done < total)
                return;
            sinceShown.start();
            emit this->progress(done, total);
        };
        try {
            m_work(progress);
        } catch (...) {
            m_failure = std::current_exception();
        }
    });
    m_thread->setParent(this);
    connect(m_thread, &QThread::finished, this, [this] {
        emit finished();
        deleteLater();
    });
    m_thread->start();
}
