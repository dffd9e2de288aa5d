#include "platform/waitcursor.h"

#include <QCursor>
#include <QGuiApplication>
#include <QThread>

namespace platform {

namespace {

// Only a GUI application has a pointer, and only its own thread may change it.
bool hasPointer() {
    auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance());
    return app && QThread::currentThread() == app->thread();
}

} // namespace

WaitCursor::WaitCursor()
    : m_active(hasPointer()) {
    if (m_active)
        QGuiApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
}

WaitCursor::~WaitCursor() {
    if (m_active && hasPointer())
        QGuiApplication::restoreOverrideCursor();
}

} // namespace platform
