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
// Newest first: `messages` the latest ones of the `kept`, of the `received` ever.
Reply sink(const QList<SinkMessage>& messages, qint64 kept, qint64 received);
// One line per message, in their order: FROM TO MCLASS TEXT.
QByteArray sinkText(const QList<SinkMessage>& messages);

// "\" "\n" "\r" written as \\ \n \r, so that one message stays on one line.
QString escapeLine(const QString& text);

} // namespace gateway::pages
