#pragma once

#include <QByteArray>
#include <QString>

#include <exception>

namespace gateway {

// A failure of the gateway: an Italian one-line message for the operator or the log.
class GatewayError final : public std::exception {
public:
    explicit GatewayError(QString message)
        : m_message(std::move(message))
        , m_utf8(m_message.toUtf8()) {}
    const QString& message() const noexcept { return m_message; }
    const char* what() const noexcept override { return m_utf8.constData(); }

private:
    QString m_message;
    QByteArray m_utf8;
};

} // namespace gateway
