#include "windows/waitbox.h"

#include "app/twips.h"
#include "platform/controls.h"
#include "windows/handler.h"

#include <QCoreApplication>
#include <QLabel>
#include <QProgressBar>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>

WaitDialog::WaitDialog(QWidget* parent)
    : QDialog(parent, Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint)
    , m_messageLabel(new QLabel(QStringLiteral("Attendere la fine delle elaborazioni..."), this))
    , m_progressBar(platform::progressBar(this))
    , m_closeTimer(new QTimer(this)) {
    setObjectName(QStringLiteral("Form10"));
    // It never takes the focus, so closing it does not count as another window handing the
    // focus back to the main window (which would refresh the list and drop its ticks).
    setAttribute(Qt::WA_ShowWithoutActivating);
    setWindowTitle(QStringLiteral("Quillet"));
    platform::nameControls(
        {{m_messageLabel, "Label1"}, {m_progressBar, "ProgressBar1"}, {m_closeTimer, "Timer1"}});

    m_messageLabel->setAlignment(Qt::AlignCenter);
    m_closeTimer->setInterval(0); // stopped until the caller starts it

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_messageLabel, 1);
    layout->addWidget(m_progressBar);
    resize(std::max(twips::toPixels(3690), sizeHint().width() + 40), twips::toPixels(1680));

    connect(m_closeTimer, &QTimer::timeout, this,
            [this] { handler::run([this] { closeOnTimeout(); }); });
}

void WaitDialog::setProgress(qint64 done, qint64 total) {
    platform::showProgress(m_progressBar, done, total);
}

void WaitDialog::closeOnTimeout() {
    m_closeTimer->stop();
    m_closeTimer->setInterval(0);
    close();
}

WaitBox::WaitBox(QWidget* parent)
    : m_dialog(new WaitDialog(parent)) {
    m_dialog->setAttribute(Qt::WA_DeleteOnClose);
    m_dialog->show();
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

WaitBox::~WaitBox() {
    if (m_dialog)
        m_dialog->m_closeTimer->start(1);
}

void WaitBox::setProgress(qint64 done, qint64 total) {
    if (m_dialog)
        m_dialog->setProgress(done, total);
}
