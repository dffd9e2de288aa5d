#include "exchange/importprogress.h"

#include "platform/controls.h"

#include <QFrame>
#include <QLabel>
#include <QProgressBar>
#include <QVBoxLayout>

ImportProgress::ImportProgress(QWidget* parent)
    : WorkBox(parent)
    , m_waitFrame(new QFrame(this))
    , m_waitLabel(new QLabel(QStringLiteral("Attendere Importazione in corso....."), m_waitFrame)) {
    setObjectName(QStringLiteral("Form12"));
    setWindowTitle(QStringLiteral("Importazione"));
    platform::nameControls(
        {{m_waitFrame, "Frame1"}, {m_waitLabel, "Label1"}, {progressBar(), "ProgressBar1"}});
    m_waitFrame->setFrameShape(QFrame::StyledPanel);
    m_waitLabel->setAlignment(Qt::AlignCenter);
    auto* frame = new QVBoxLayout(m_waitFrame);
    frame->addWidget(m_waitLabel, 1);
    frame->addWidget(progressBar());
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_waitFrame);
    resize(std::max(320, sizeHint().width() + 40), 120);
}
