#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>

#include <functional>

namespace gateway {

// What the gateway answers to one request.
struct Reply {
    int status = 200;
    QByteArray contentType = QByteArrayLiteral("text/plain; charset=utf-8");
    QByteArray body;
    QList<QPair<QByteArray, QByteArray>> headers; // more headers: name, value
    // When set, the body is sent as it comes: each call gives the next piece, an empty one at
    // the end (a long listing never sits in memory whole).
    std::function<QByteArray()> stream;
};

} // namespace gateway
