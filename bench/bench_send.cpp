// One list send through the composer, from the send command until the window closes, against
// a running quillet-gateway (its own sendsms sink, or the Kannel it names as the channel):
//   bench-send HOST PORT USER PASSWORD [RECIPIENTS] [RUNS]   (1000 and 5 by default)
// Each run uses a fresh application folder and charges RECIPIENTS credits to the account.
// Beside the whole send: the time per recipient at the start and at the end of the list
// (medians over the first and the last 500 recipients, or a tenth of the list when it is
// shorter), the program's own processor time per recipient there (what the load of a shared
// machine does not change) and the resident memory at the first and at the last SMS, from the
// median run; then, as the baseline, the same sendsms requests to the same channel as plain
// GETs on one kept-alive QNetworkAccessManager, timed the same way.
#include "core/session.h"
#include "bench/measure.h"
#include "messaging/composer.h"
#include "messaging/gatewayrequests.h"
#include "messaging/inet.h"
#include "messaging/smssx.h"
#include "platform/dialogs.h"
#include "platform/textfile.h"
#include "store/archive.h"
#include "store/database.h"
#include "tests/support/answerof.h"
#include "tests/support/controls.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QLocale>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <vector>

namespace {

using measure::median;
using measure::msSince;

const QString completed = QStringLiteral("Messaggio/i  inviato correttamente");
// 60 characters, all in the SMS alphabet
const QString text = QStringLiteral("Offerta di primavera: sconto del 20% su tutto fino a sabato!");

int rows(const QString& appFolder, const QString& table) {
    auto db = store::Database::open(store::archive::addressBookPath(
        appFolder, QString::fromLatin1(store::archive::principale)));
    auto rs = db->openRecordset(table);
    int n = 0;
    for (; !rs->isEof(); rs->MoveNext())
        ++n;
    return n;
}

long residentKb() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLong();
    return -1;
}

double threadCpuMs() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
}

struct Run {
    double ms = 0;
    QString failure;              // empty when the send went through
    std::vector<double> steps;    // ms from one "Inviati N di M" to the next
    std::vector<double> cpuSteps; // the same in processor time of the program's thread
    long firstKb = 0, lastKb = 0; // resident memory at the first and at the last SMS
};

// The median time per recipient over `span` recipients from `from`.
double stepMedian(const std::vector<double>& steps, std::size_t from, std::size_t span) {
    if (from >= steps.size())
        return 0;
    const auto begin = steps.begin() + static_cast<std::ptrdiff_t>(from);
    return median(std::vector<double>(
        begin, begin + static_cast<std::ptrdiff_t>(std::min(span, steps.size() - from))));
}

Run sendOnce(const QString& servizio, const QString& account, const QStringList& numbers,
             platform::DialogScript& script) {
    Run run;
    QTemporaryDir dir;
    if (!dir.isValid()) {
        run.failure = QStringLiteral("cartella temporanea non creata");
        return run;
    }
    store::archive::createFolderDatabases(dir.path(),
                                          {QString::fromLatin1(store::archive::principale)});
    if (!platform::TextFile::replaceLines(
            QDir(dir.path()).filePath(QStringLiteral("registrazione")), {account})) {
        run.failure = QStringLiteral("registrazione non scritta");
        return run;
    }
    Session session;
    session.appFolder = dir.path();
    session.service = servizio;
    session.senderHeader = QStringLiteral("Quillet");
    script.clear();

    QString label;
    for (const QString& n : numbers)
        label += n + QLatin1Char(';');

    int progress = 0;
    {
        Composer::Request request;
        request.mode = Composer::Mode::List;
        request.number = label;
        request.recipients = numbers;
        request.searchable = false;
        request.sentBook = request.draftBook = QString::fromLatin1(store::archive::principale);
        Composer f(session, request);
        f.show();
        QCoreApplication::processEvents();
        f.prepareOnActivation();
        control<QPlainTextEdit>(&f, "Text1")->setPlainText(text);
        QCoreApplication::processEvents();

        bool finished = false;
        bool ended = false;
        int result = -1;
        QObject::connect(&f, &QDialog::finished, &f, [&](int r) {
            finished = true;
            result = r;
        });
        QObject::connect(&f, &Composer::sendFinished, &f, [&] { ended = true; });
        QElapsedTimer clock;
        qint64 last = -1;
        double lastCpu = 0;
        QObject::connect(&f, &Composer::statusChanged, &f, [&](const QString& status) {
            if (!status.startsWith(QLatin1String("Inviati ")))
                return;
            const qint64 now = clock.nsecsElapsed();
            const double cpu = threadCpuMs();
            if (last < 0) {
                run.firstKb = residentKb();
            } else {
                run.steps.push_back(static_cast<double>(now - last) / 1e6);
                run.cpuSteps.push_back(cpu - lastCpu);
            }
            last = now;
            lastCpu = cpu;
            if (run.steps.size() + 1 == static_cast<std::size_t>(numbers.size()))
                run.lastKb = residentKb();
        });
        clock.start();
        control<QPushButton>(&f, "Command1")->click();
        // checked only here, never inside the nested loops of a step
        while (!ended)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        run.ms = static_cast<double>(clock.nsecsElapsed()) / 1e6;
        progress = control<QProgressBar>(&f, "ProgressBar1")->value();
        if (!finished || result != QDialog::Accepted)
            run.failure = QStringLiteral("la finestra non si è chiusa con l'invio");
    }

    const QString last = script.messages().value(script.messages().size() - 1);
    if (last != completed)
        run.failure = QStringLiteral("ultimo messaggio: ") + last;
    else if (progress != numbers.size())
        run.failure =
            QStringLiteral("barra di avanzamento a %1 di %2").arg(progress).arg(numbers.size());
    if (run.failure.isEmpty()) {
        const int sent = rows(dir.path(), QStringLiteral("inviati"));
        if (sent != 1)
            run.failure = QStringLiteral("%1 righe in inviati invece di 1").arg(sent);
    }
    return run;
}

// The baseline: the send's sendsms requests to the channel the service names, as plain GETs on
// one kept-alive connection; ms per request.
std::vector<double> plainLoop(const QString& servizio, const QString& user, const QString& password,
                              const QStringList& numbers) {
    Inet inet;
    const auto channel = gatewayrequests::parseChannelSettings(
        openUrl(inet, gatewayrequests::channelSettingsRequest(servizio, {user, password}),
                gatewayrequests::shortAnswerBytes)
            .text);
    if (!channel)
        return {};
    // The gateway's sink takes only SMS that a charge paid for, as the program makes.
    const gatewayrequests::Account account{user, password};
    const double credit = openUrl(inet, gatewayrequests::creditQuery(servizio, account),
                                  gatewayrequests::creditAnswerBytes)
                              .text.trimmed()
                              .toDouble();
    openUrl(inet,
            gatewayrequests::verifica2Request(servizio, account, credit,
                                              static_cast<double>(numbers.size())),
            gatewayrequests::shortAnswerBytes);
    SMSSX sms;
    sms.setHost(channel->host);
    sms.setAccount(channel->account);
    sms.setPort(channel->port);
    sms.setSender(QStringLiteral("Quillet"));
    QNetworkAccessManager manager;
    std::vector<double> steps;
    QElapsedTimer clock;
    for (const QString& number : numbers) {
        clock.start();
        QNetworkReply* reply =
            manager.get(QNetworkRequest(sms.requestUrl(QStringLiteral("+39") + number, text)));
        QEventLoop loop;
        QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
        if (!reply->isFinished())
            loop.exec(QEventLoop::ExcludeUserInputEvents);
        const bool accepted =
            reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt() == 202;
        delete reply;
        if (!accepted)
            return {};
        steps.push_back(msSince(clock));
    }
    return steps;
}

void printEnds(const char* what, const std::vector<double>& steps) {
    const std::size_t span = std::min<std::size_t>(500, steps.size() / 10);
    const double first = stepMedian(steps, 0, span);
    const double end = stepMedian(steps, steps.size() - span, span);
    std::printf("  %s: primi %zu %.3f ms, ultimi %zu %.3f ms (%+.0f%%)\n", what, span, first, span,
                end, 100 * (end / first - 1));
}

} // namespace

int main(int argc, char** argv) {
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QLocale::setDefault(QLocale(QLocale::Italian, QLocale::Italy));
    if (argc < 5) {
        std::fputs("Uso: bench-send HOST PORTA UTENTE PASSWORD [DESTINATARI] [PROVE]\n", stderr);
        return 2;
    }
    const int count = argc > 5 ? std::atoi(argv[5]) : 1000;
    const int runs = argc > 6 ? std::atoi(argv[6]) : 5;
    if (count < 1 || runs < 1) {
        std::fputs("DESTINATARI e PROVE devono essere almeno 1\n", stderr);
        return 2;
    }
    const QString servizio =
        QString::fromLocal8Bit(argv[1]) + QLatin1Char(':') + QString::fromLocal8Bit(argv[2]);
    const QString account =
        QString::fromLocal8Bit(argv[3]) + QLatin1Char('-') + QString::fromLocal8Bit(argv[4]);

    QStringList numbers;
    for (int i = 0; i < count; ++i)
        numbers.append(QStringLiteral("333%1").arg(i, 7, 10, QLatin1Char('0')));

    platform::DialogScript script; // answers every message box of every run
    std::vector<double> times;
    std::vector<Run> done;
    QString all;
    for (int i = 0; i < runs; ++i) {
        const Run run = sendOnce(servizio, account, numbers, script);
        if (!run.failure.isEmpty()) {
            std::fprintf(stderr, "invio %d non riuscito: %s\n", i + 1, qPrintable(run.failure));
            return 1;
        }
        times.push_back(run.ms);
        done.push_back(run);
        all += (all.isEmpty() ? QString() : QStringLiteral(", ")) + QString::number(run.ms, 'f', 0);
    }
    const double m = median(times);
    std::printf("invio a %d destinatari: mediana %.0f ms, %.2f ms a destinatario (prove: %s)\n",
                count, m, m / count, qPrintable(all));
    const Run& middle =
        *std::find_if(done.begin(), done.end(), [m](const Run& r) { return r.ms == m; });
    if (middle.steps.size() < 20)
        return 0;
    printEnds("tempo per destinatario", middle.steps);
    printEnds("CPU del programma per destinatario", middle.cpuSteps);
    std::printf("  memoria residente %ld MB al primo SMS, %ld MB all'ultimo\n",
                middle.firstKb / 1024, middle.lastKb / 1024);
    const auto plain = plainLoop(servizio, QString::fromLocal8Bit(argv[3]),
                                 QString::fromLocal8Bit(argv[4]), numbers);
    if (plain.empty()) {
        std::fputs("base: il canale non ha accettato le richieste\n", stderr);
        return 1;
    }
    double total = 0;
    for (double step : plain)
        total += step;
    std::printf("  base, GET sendsms diretti sullo stesso canale: %.0f ms, %.2f ms l'uno\n", total,
                total / count);
    printEnds("base per richiesta", plain);
    return 0;
}
