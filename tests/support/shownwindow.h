#pragma once

#include <QApplication>
#include <QWidget>

// The window of the program with this object name that is on screen, if any.
template <class Window> Window* shownWindow(const char* objectName) {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->objectName() == QLatin1String(objectName) && w->isVisible())
            if (auto* window = qobject_cast<Window*>(w))
                return window;
    return nullptr;
}
