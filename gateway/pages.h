#pragma once

#include "gateway/query.h"
#include "gateway/reply.h"
#include "gateway/store.h"

#include <QList>

// The gateway's HTML pages (Italian) and the sink's plain-text listing.
namespace gateway::pages {

Reply index();
Reply buyCredit(const QueryString& query); // /cgi-bin/affiliate/giacli.pl
Reply programme(const QueryString& query); // /cgi-bin/affiliate/programma.pl
Reply affiliates();                        // /affiliate1/affiliati.htm
inline const QByteArray htmlType = QByteArrayLiteral("text/html; charset=utf-8");

// The page of the messages received, in pieces: the head says how many were `received` ever,
// how many are `kept` and how many are `shown`; the rows follow, newest first, then the foot.
QByteArray sinkHead(qint64 kept, qint64 received, qint64 shown);
QByteArray sinkRows(const QList<SinkMessage>& messages);
QByteArray sinkFoot(bool table);
// One line per message, in their order: FROM TO MCLASS TEXT.
QByteArray sinkText(const QList<SinkMessage>& messages);

// "\" "\n" "\r" written as \\ \n \r, so that one message stays on one line.
QString escapeLine(const QString& text);

} // namespace gateway::pages
