#pragma once

#include "messaging/httpget.h"
#include "messaging/inet.h"
#include "messaging/smssx.h"

#include <QEventLoop>
#include <QTimer>

#include <optional>

// What an asynchronous call gives its callback, waited for in a local loop (tests only).
template <typename T, typename Start> T answerOf(Start start) {
    std::optional<T> value;
    QEventLoop loop;
    start([&](const T& given) {
        value = given;
        loop.quit();
    });
    if (!value) {
        QTimer::singleShot(180000, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return value.value_or(T{});
}

inline Inet::Reply openUrl(Inet& inet, const QUrl& url, qint64 maxBytes) {
    return answerOf<Inet::Reply>([&](auto done) { inet.OpenURL(url, maxBytes, done); });
}

inline Inet::Reply openUrl(const QUrl& url, qint64 maxBytes) {
    Inet inet;
    return openUrl(inet, url, maxBytes);
}

inline HttpAnswer httpAnswer(HttpGet& http, const QUrl& url, std::chrono::milliseconds timeout,
                             qint64 maxBytes) {
    return answerOf<HttpAnswer>([&](auto done) { http.get(url, timeout, maxBytes, done); });
}

inline int sendSms(SMSSX& sms, const QString& number, const QString& text) {
    return answerOf<int>([&](auto done) { sms.send(number, text, done); });
}
