// One send of many SMS through SMSSX, beside the same number of plain HTTP GETs on one
// kept-alive QNetworkAccessManager, against the same sendsms endpoint:
//   bench-smssx HOST PORT USER:PASSWORD [COUNT]      (COUNT 1000 by default)
// Every request sends a real SMS to the endpoint.
#include "messaging/smssx.h"
#include "tests/support/answerof.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>

#include <cstdio>
#include <cstdlib>

namespace {

QString number(int i) {
    return QStringLiteral("+39333%1").arg(i, 7, 10, QLatin1Char('0'));
}

QString text(int i) {
    return QStringLiteral("Messaggio di prova numero %1, città già è €").arg(i);
}

void report(const char* what, int count, int failed, qint64 ns) {
    const double ms = static_cast<double>(ns) / 1e6;
    std::printf("%-28s %d richieste in %.1f ms: %.3f ms l'una, %.0f al secondo, %d non accettate\n",
                what, count, ms, ms / count, count / (ms / 1000), failed);
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc < 4) {
        std::fputs("Uso: bench-smssx HOST PORTA UTENTE:PASSWORD [NUMERO]\n", stderr);
        return 2;
    }
    const int count = argc > 4 ? std::atoi(argv[4]) : 1000;
    if (count < 1) {
        std::fputs("NUMERO deve essere almeno 1\n", stderr);
        return 2;
    }

    SMSSX sms;
    sms.setHost(QString::fromLocal8Bit(argv[1]));
    sms.setPort(QString::fromLocal8Bit(argv[2]).toDouble());
    sms.setAccount(QString::fromLocal8Bit(argv[3]));
    sms.setSender(QStringLiteral("Quillet"));
    sms.setFlash(false);
    if (sms.requestUrl(number(0), text(0)).isEmpty()) {
        std::fputs("HOST o PORTA non validi\n", stderr);
        return 2;
    }

    // the same requests, built before the clock starts
    QList<QUrl> urls;
    for (int i = 0; i < count; ++i)
        urls.append(sms.requestUrl(number(i), text(i)));

    // one of each first, so both start on an open connection
    QNetworkAccessManager manager;
    int warm = sendSms(sms, number(0), text(0));
    if (warm != SMSSX::Accepted) {
        std::fprintf(stderr, "il primo SMS non è stato accettato (%d): %s\n", warm,
                     qPrintable(sms.lastError()));
        return 1;
    }
    auto get = [&manager](const QUrl& url) {
        QNetworkReply* reply = manager.get(QNetworkRequest(url));
        QEventLoop loop;
        QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
        if (!reply->isFinished())
            loop.exec(QEventLoop::ExcludeUserInputEvents);
        const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        reply->readAll();
        delete reply;
        return status;
    };
    get(urls[0]);

    QElapsedTimer clock;
    int failed = 0;
    clock.start();
    for (int i = 0; i < count; ++i) {
        if (sendSms(sms, number(i), text(i)) != SMSSX::Accepted)
            ++failed;
    }
    report("SMSSX::send", count, failed, clock.nsecsElapsed());

    failed = 0;
    clock.restart();
    for (const QUrl& url : urls) {
        if (get(url) != 202)
            ++failed;
    }
    report("GET su QNetworkAccessManager", count, failed, clock.nsecsElapsed());
    return 0;
}
