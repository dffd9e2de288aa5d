#pragma once

#include <QObject>
#include <QtGlobal>

// A control of a window found by its object name, as users' scripts and accessibility tools
// find it. Stops the test run when the window has no such control.
template <class T> T* control(const QObject* window, const char* objectName) {
    T* found = window->findChild<T*>(QLatin1String(objectName));
    if (!found)
        qFatal("%s has no %s named %s", qPrintable(window->objectName()),
               T::staticMetaObject.className(), objectName);
    return found;
}
