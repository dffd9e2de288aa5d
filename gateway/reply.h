#pragma once

#include <QByteArray>

namespace gateway {

// What the gateway answers to one request.
struct Reply {
    int status = 200;
    QByteArray contentType = QByteArrayLiteral("text/plain; charset=utf-8");
    QByteArray body;
};

} // namespace gateway
