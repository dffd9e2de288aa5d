#include "gateway/pages.h"

#include <QLocale>

using namespace Qt::StringLiterals;

namespace gateway::pages {

namespace {

QByteArray htmlTop(const QString& title) {
    return QStringLiteral(
               "<!DOCTYPE html>\n<html lang=\"it\">\n<head>\n<meta charset=\"utf-8\">\n"
               "<title>%1</title>\n<style>\n"
               "body{font-family:sans-serif;margin:2em auto;max-width:60em;color:#222}\n"
               "h1{color:#1d4f91}table{border-collapse:collapse;width:100%}\n"
               "th,td{border:1px solid #bbb;padding:.3em .5em;text-align:left;"
               "vertical-align:top}\nth{background:#e8eef7}td.testo{white-space:pre-wrap}\n"
               "nav a{margin-right:1em}\n</style>\n</head>\n<body>\n"
               "<nav><a href=\"/\">Gateway</a><a href=\"/cgi-bin/affiliate/giacli.pl\">"
               "Acquista credito</a><a href=\"/cgi-bin/affiliate/programma.pl\">Programma di "
               "affiliazione</a><a href=\"/affiliate1/affiliati.htm\">Affiliati</a>"
               "<a href=\"/sink\">Messaggi ricevuti</a></nav>\n"
               "<h1>%1</h1>\n")
        .arg(title.toHtmlEscaped())
        .toUtf8();
}

const QByteArray htmlBottom = "</body>\n</html>\n";

Reply html(const QString& title, const QString& body) {
    Reply reply;
    reply.contentType = htmlType;
    reply.body = htmlTop(title) + body.toUtf8() + htmlBottom;
    return reply;
}

// The affiliate named in the query, as a paragraph; empty without one.
QString affiliateParagraph(const QueryString& query) {
    const QString affiliate = query.value(u"affiliato"_s).trimmed();
    const QString code = query.value(u"codeaff"_s).trimmed();
    if (affiliate.isEmpty() && code.isEmpty())
        return {};
    return u"<p>Affiliato: <b>%1</b>, codice affiliazione: <b>%2</b>.</p>\n"_s.arg(
        affiliate.toHtmlEscaped(), code.toHtmlEscaped());
}

QString mclassName(int mclass) {
    switch (mclass) {
    case -1:
        return u"normale"_s;
    case 0:
        return u"flash (0)"_s;
    default:
        return u"classe %1"_s.arg(mclass);
    }
}

} // namespace

QString escapeLine(const QString& text) {
    QString out;
    out.reserve(text.size());
    for (const QChar c : text) {
        if (c == u'\\')
            out += u"\\\\"_s;
        else if (c == u'\n')
            out += u"\\n"_s;
        else if (c == u'\r')
            out += u"\\r"_s;
        else
            out += c;
    }
    return out;
}

Reply index() {
    return html(
        u"Gateway SMS di riferimento"_s,
        u"<p>Questo è il gateway SMS di riferimento di Quillet: tiene gli account e il loro "
        "credito, risponde alle richieste del programma e riceve gli SMS al posto di un vero "
        "operatore.</p>\n<ul>\n"
        "<li><code>/cgi-bin/utenti/leggi.pl</code>: credito dell'account</li>\n"
        "<li><code>/cgi-bin/utenti/nosggi.pl</code>: impostazioni del canale di invio</li>\n"
        "<li><code>/cgi-bin/utenti/verifica.cgi</code>, <code>verifica2.cgi</code>: controllo e "
        "addebito di un invio</li>\n"
        "<li><code>/cgi-bin/utenti/esiti.pl</code>: esiti di consegna degli SMS inviati</li>\n"
        "<li><code>/cgi-bin/sendsms</code>: ricezione degli SMS (interfaccia sendsms di "
        "Kannel)</li>\n"
        "<li><a href=\"/sink\">/sink</a> e <a href=\"/sink.txt\">/sink.txt</a>: gli SMS "
        "ricevuti</li>\n</ul>\n"_s);
}

Reply buyCredit(const QueryString& query) {
    return html(u"Acquista credito SMS"_s,
                affiliateParagraph(query) +
                    u"<p>Il credito si acquista a pacchetti di SMS: ogni SMS inviato consuma un "
                    "credito. Pacchetti disponibili:</p>\n"
                    "<table>\n<tr><th>Pacchetto</th><th>SMS</th></tr>\n"
                    "<tr><td>Base</td><td>100</td></tr>\n"
                    "<tr><td>Negozio</td><td>500</td></tr>\n"
                    "<tr><td>Azienda</td><td>1.000</td></tr>\n"
                    "<tr><td>Grande azienda</td><td>5.000</td></tr>\n</table>\n"
                    "<p>Per l'acquisto rivolgiti al gestore del servizio indicando il tuo nome "
                    "utente: il credito viene caricato sul tuo account e lo vedi in Quillet con "
                    "<i>Aggiorna Credito</i>.</p>\n"_s);
}

Reply programme(const QueryString& query) {
    return html(u"Programma di affiliazione e richiesta account"_s,
                affiliateParagraph(query) +
                    u"<h2>Richiesta account</h2>\n"
                    "<p>Per ricevere nome utente e password scrivi al gestore del servizio "
                    "indicando la ragione sociale, la partita IVA e un recapito. Il nome utente e "
                    "la password non possono contenere il carattere \"-\".</p>\n"
                    "<h2>Programma di affiliazione</h2>\n"
                    "<p>Gli affiliati distribuiscono Quillet ai propri clienti: ogni copia porta "
                    "il codice dell'affiliato, e gli account richiesti da quella copia vengono "
                    "attribuiti all'affiliato.</p>\n"
                    "<p>L'elenco degli affiliati è nella pagina <a "
                    "href=\"/affiliate1/affiliati.htm\">Affiliati</a>.</p>\n"_s);
}

Reply affiliates() {
    return html(u"Affiliati"_s,
                u"<p>Area riservata agli affiliati del servizio SMS.</p>\n"
                "<p>Questo gateway di riferimento non ha affiliati registrati. Per diventare "
                "affiliato leggi il <a href=\"/cgi-bin/affiliate/programma.pl\">programma di "
                "affiliazione</a>.</p>\n"_s);
}

QByteArray sinkHead(qint64 kept, qint64 received, qint64 shown) {
    const QLocale italian(QLocale::Italian, QLocale::Italy);
    QString body = u"<p>SMS ricevuti dal gateway: %1"_s.arg(italian.toString(received));
    if (received > kept)
        body += u", di cui conservati gli ultimi %1"_s.arg(italian.toString(kept));
    if (kept > shown)
        body += u" (qui gli ultimi %1)"_s.arg(italian.toString(shown));
    body += u".</p>\n"_s;
    if (shown == 0)
        body += u"<p>Nessun messaggio.</p>\n"_s;
    else
        body += u"<table>\n<tr><th>Data</th><th>Mittente</th><th>Destinatario</th><th>Tipo</th>"
                "<th>Codifica</th><th>SMS</th><th>Testo</th></tr>\n"_s;
    return htmlTop(u"Messaggi ricevuti"_s) + body.toUtf8();
}

QByteArray sinkRows(const QList<SinkMessage>& messages) {
    QString rows;
    for (const SinkMessage& message : messages) {
        rows += u"<tr><td>%1</td><td>%2</td><td>%3</td><td>%4</td><td>%5</td><td>%6</td>"
                "<td class=\"testo\">%7</td></tr>\n"_s.arg(
                    message.time.toString(u"dd/MM/yyyy HH:mm:ss"_s), message.sender.toHtmlEscaped(),
                    message.receiver.toHtmlEscaped(), mclassName(message.mclass),
                    QString::number(message.coding), QString::number(message.parts),
                    message.text.toHtmlEscaped());
    }
    return rows.toUtf8();
}

QByteArray sinkFoot(bool table) {
    return (table ? QByteArray("</table>\n") : QByteArray()) + htmlBottom;
}

QByteArray sinkText(const QList<SinkMessage>& messages) {
    QString out;
    for (const SinkMessage& message : messages) {
        out += escapeLine(message.sender) + u' ' + escapeLine(message.receiver) + u' ' +
               QString::number(message.mclass) + u' ' + escapeLine(message.text) + u'\n';
    }
    return out.toUtf8();
}

} // namespace gateway::pages
