#pragma once

#include <QString>
#include <QUrl>

// Addresses on the SMS service's web server.
namespace service {

// The service of a folder without a `servizio` file: the local reference gateway.
inline constexpr auto defaultHost = "127.0.0.1:8765";

// "http://" host "/" pathAndQuery; the query is taken as it is, without encoding.
QUrl pageUrl(const QString& servizio, const QString& pathAndQuery);

// The affiliate query of the web pages: "affiliato=" A "&codeaff=" C; missing parts empty.
QString affiliateQuery(const QStringList& affiliazione);

} // namespace service
