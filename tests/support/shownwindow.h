#pragma once

#include <QAbstractItemModel>
#include <QApplication>
#include <QStringList>
#include <QWidget>

// The window of the program with this object name that is on screen, if any.
template <class Window> Window* shownWindow(const char* objectName) {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->objectName() == QLatin1String(objectName) && w->isVisible())
            if (auto* window = qobject_cast<Window*>(w))
                return window;
    return nullptr;
}

// The texts of a list, a combo box or a list view, from the top.
inline QStringList texts(const QAbstractItemModel* model) {
    QStringList out;
    for (int i = 0; i < model->rowCount(); ++i)
        out << model->index(i, 0).data().toString();
    return out;
}
