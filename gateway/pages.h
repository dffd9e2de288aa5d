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
// Newest first; `total` is the number of messages stored, `messages` the latest ones.
Reply sink(const QList<SinkMessage>& messages, qint64 total);
// One line per message, oldest first: FROM TO MCLASS TEXT.
Reply sinkText(const QList<SinkMessage>& messages);

// "\" "\n" "\r" written as \\ \n \r, so that one message stays on one line.
QString escapeLine(const QString& text);

} // namespace gateway::pages
