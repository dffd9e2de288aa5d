#include "messaging/service.h"

#include <QStringList>

namespace service {

QUrl pageUrl(const QString& servizio, const QString& pathAndQuery) {
    const QString host =
        servizio.trimmed().isEmpty() ? QString::fromLatin1(defaultHost) : servizio.trimmed();
    return QUrl(QStringLiteral("http://") + host + QLatin1Char('/') + pathAndQuery,
                QUrl::TolerantMode);
}

QString affiliateQuery(const QStringList& affiliazione) {
    return QStringLiteral("affiliato=") + affiliazione.value(0) + QStringLiteral("&codeaff=") +
           affiliazione.value(1);
}

} // namespace service
