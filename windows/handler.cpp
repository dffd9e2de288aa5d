#include "windows/handler.h"

#include "platform/dialogs.h"
#include "store/storeerror.h"

#include <QAbstractButton>
#include <QGuiApplication>

namespace handler {

namespace {

void restorePointer() {
    while (QGuiApplication::overrideCursor())
        QGuiApplication::restoreOverrideCursor();
}

} // namespace

void run(const std::function<void()>& body) {
    try {
        body();
    } catch (const store::StoreError& e) {
        restorePointer();
        platform::MsgBox(e.message(), platform::Icon::Critical);
    } catch (const std::exception& e) {
        restorePointer();
        platform::MsgBox(QString::fromLocal8Bit(e.what()), platform::Icon::Critical);
    }
}

void onClick(QAbstractButton* button, std::function<void()> body) {
    QObject::connect(button, &QAbstractButton::clicked, button,
                     [body = std::move(body)] { run(body); });
}

} // namespace handler
