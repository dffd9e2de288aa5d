#include "platform/controls.h"

#include <QIcon>
#include <QPushButton>

namespace platform {

QPushButton* iconButton(QWidget* parent, const char* objectName, const char* icon,
                        const QString& text) {
    auto* button = new QPushButton(QIcon(QStringLiteral(":/icons/%1.svg").arg(QLatin1String(icon))),
                                   text, parent);
    button->setObjectName(QLatin1String(objectName));
    return button;
}

void nameControls(std::initializer_list<std::pair<QObject*, const char*>> controls) {
    for (const auto& [control, name] : controls)
        control->setObjectName(QLatin1String(name));
}

} // namespace platform
