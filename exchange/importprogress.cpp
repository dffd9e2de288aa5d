#include "exchange/importprogress.h"

#include "platform/controls.h"

#include <QFrame>
#include <QLabel>
#include <QProgressBar>
#include <QVBoxLayout>

ImportProgress::ImportProgress(QWidget* parent)
    : QDialog(parent, Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint)
    , m_waitFrame(new QFrame(this))
    , m_waitLabel(new QLabel(QStringLiteral("Attendere Importazione in corso....."), m_waitFrame))
    , m_progressBar(platform::progressBar(m_waitFrame)) {
    setObjectName(QStringLiteral("Form12"));
    // Never takes the focus, as the other wait box.
    setAttribute(Qt::WA_ShowWithoutActivating);
    setWindowTitle(QStringLiteral("Importazione"));
    platform::nameControls(
        {{m_waitFrame, "Frame1"}, {m_waitLabel, "Label1"}, {m_progressBar, "ProgressBar1"}});
    m_waitFrame->setFrameShape(QFrame::StyledPanel);
    m_waitLabel->setAlignment(Qt::AlignCenter);
    auto* frame = new QVBoxLayout(m_waitFrame);
    frame->addWidget(m_waitLabel, 1);
    frame->addWidget(m_progressBar);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_waitFrame);
    resize(std::max(320, sizeHint().width() + 40), 120);
}

void ImportProgress::setProgress(qint64 done, qint64 total) {
    platform::showProgress(m_progressBar, done, total);
}
