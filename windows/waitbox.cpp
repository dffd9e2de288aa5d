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
    , Label1(new QLabel(QStringLiteral("Attendere la fine delle elaborazioni..."), this))
    , ProgressBar1(platform::progressBar(this))
    , Timer1(new QTimer(this)) {
    setObjectName(QStringLiteral("Form10"));
    // It never takes the focus, so closing it does not count as another window handing the
    // focus back to the main window (which would refresh the list and drop its ticks).
    setAttribute(Qt::WA_ShowWithoutActivating);
    setWindowTitle(QStringLiteral("Quillet"));
    platform::nameControls(
        {{Label1, "Label1"}, {ProgressBar1, "ProgressBar1"}, {Timer1, "Timer1"}});

    Label1->setAlignment(Qt::AlignCenter);
    Timer1->setInterval(0); // stopped until the caller starts it

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Label1, 1);
    layout->addWidget(ProgressBar1);
    resize(std::max(twips::toPixels(3690), sizeHint().width() + 40), twips::toPixels(1680));

    connect(Timer1, &QTimer::timeout, this, [this] { handler::run([this] { closeOnTimeout(); }); });
}

void WaitDialog::setProgress(qint64 done, qint64 total) {
    platform::showProgress(ProgressBar1, done, total);
}

void WaitDialog::closeOnTimeout() {
    Timer1->stop();
    Timer1->setInterval(0);
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
        m_dialog->Timer1->start(1);
}

void WaitBox::setProgress(qint64 done, qint64 total) {
    if (m_dialog)
        m_dialog->setProgress(done, total);
}
