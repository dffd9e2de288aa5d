#include "platform/controls.h"

#include <QIcon>
#include <QProgressBar>
#include <QPushButton>

#include <algorithm>

namespace platform {

QPushButton* iconButton(QWidget* parent, const char* objectName, const char* icon,
                        const QString& text) {
    auto* button = new QPushButton(QIcon(QStringLiteral(":/icons/%1.svg").arg(QLatin1String(icon))),
                                   text, parent);
    button->setObjectName(QLatin1String(objectName));
    return button;
}

namespace {
constexpr int progressSteps = 1000; // per mille: fine enough, and few repaints
}

QProgressBar* progressBar(QWidget* parent) {
    auto* bar = new QProgressBar(parent);
    bar->setRange(0, progressSteps);
    bar->hide();
    return bar;
}

void showProgress(QProgressBar* bar, qint64 done, qint64 total) {
    const int value =
        total > 0 ? static_cast<int>(static_cast<double>(std::clamp(done, qint64(0), total)) *
                                     progressSteps / static_cast<double>(total))
                  : 0;
    if (bar->isHidden()) {
        bar->show();
        QWidget* box = bar->window();
        box->resize(box->width(), std::max(box->height(), box->sizeHint().height()));
    }
    bar->setValue(value);
}

void nameControls(std::initializer_list<std::pair<QObject*, const char*>> controls) {
    for (const auto& [control, name] : controls)
        control->setObjectName(QLatin1String(name));
}

} // namespace platform
