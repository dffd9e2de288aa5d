#include "exchange/importprogress.h"

#include "platform/controls.h"

#include <QFrame>
#include <QLabel>
#include <QProgressBar>
#include <QVBoxLayout>

ImportProgress::ImportProgress(QWidget* parent)
    : QDialog(parent, Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint)
    , Frame1(new QFrame(this))
    , Label1(new QLabel(QStringLiteral("Attendere Importazione in corso....."), Frame1))
    , ProgressBar1(platform::progressBar(Frame1)) {
    setObjectName(QStringLiteral("Form12"));
    // Never takes the focus, as the other wait box.
    setAttribute(Qt::WA_ShowWithoutActivating);
    setWindowTitle(QStringLiteral("Importazione"));
    platform::nameControls(
        {{Frame1, "Frame1"}, {Label1, "Label1"}, {ProgressBar1, "ProgressBar1"}});
    Frame1->setFrameShape(QFrame::StyledPanel);
    Label1->setAlignment(Qt::AlignCenter);
    auto* frame = new QVBoxLayout(Frame1);
    frame->addWidget(Label1, 1);
    frame->addWidget(ProgressBar1);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Frame1);
    resize(std::max(320, sizeHint().width() + 40), 120);
}

void ImportProgress::setProgress(qint64 done, qint64 total) {
    platform::showProgress(ProgressBar1, done, total);
}
