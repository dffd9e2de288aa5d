// A list send through the composer, opened from the main window as the user does ("Invia SMS
// Multipli" on an address book whose contacts are all ticked), against a running
// quillet-gateway (its own sendsms sink, or the Kannel it names as the channel):
//   bench-send HOST PORT USER PASSWORD [RECIPIENTS] [RUNS]   (10000 and 1 by default)
// Each run uses a fresh application folder with RECIPIENTS contacts (no sender header: the SMS go
// as the account's own sender) and charges twice RECIPIENTS credits to the account. Each run
// prints:
// - the send from the click on "Invia" until the composer says it is done, per recipient, beside
//   its baseline: the same sendsms requests to the same channel as plain GETs on one kept-alive
//   QNetworkAccessManager, each started from the previous reply's finished signal, under the
//   same paints of the main window; and the ratio;
// - the gaps between the main window's paints during the send (a timer asks for a paint every
//   16 ms): the largest and the 99th percentile;
// - the time per recipient at the start and at the end of the list (medians over the first and
//   the last 500 recipients, or a tenth of the list when it is shorter), the program's own
//   processor time per recipient there and the resident memory at the first and the last SMS.
// Everything runs from the application's own event loop.
#include "app/mainwindow.h"
#include "bench/measure.h"
#include "browser/archivebrowser.h"
#include "browser/archivemodel.h"
#include "contacts/contactstore.h"
#include "core/session.h"
#include "messaging/composer.h"
#include "messaging/gatewayrequests.h"
#include "messaging/inet.h"
#include "messaging/sendjournal.h"
#include "messaging/smssx.h"
#include "platform/dialogs.h"
#include "platform/textfile.h"
#include "store/archive.h"
#include "store/database.h"
#include "tests/support/controls.h"
#include "tests/support/shownwindow.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLocale>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <memory>
#include <vector>

namespace {

using measure::median;
using measure::msSince;

const QString completed = QStringLiteral("Messaggio/i  inviato correttamente");
// 60 characters, all in the SMS alphabet
const QString text = QStringLiteral("Offerta di primavera: sconto del 20% su tutto fino a sabato!");

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

int rows(const QString& appFolder, const QString& table) {
    auto db = store::Database::open(store::archive::addressBookPath(
        appFolder, QString::fromLatin1(store::archive::principale)));
    int n = 0;
    for (auto rs = db->openRecordset(table); !rs->isEof(); rs->MoveNext())
        ++n;
    return n;
}

// The median of `span` values from `from`.
double spanMedian(const std::vector<double>& v, std::size_t from, std::size_t span) {
    if (from >= v.size())
        return 0;
    const auto begin = v.begin() + static_cast<std::ptrdiff_t>(from);
    return median(std::vector<double>(
        begin, begin + static_cast<std::ptrdiff_t>(std::min(span, v.size() - from))));
}

void printEnds(const char* what, const std::vector<double>& steps) {
    const std::size_t span = std::min<std::size_t>(500, steps.size() / 10);
    if (span == 0)
        return;
    const double first = spanMedian(steps, 0, span);
    const double end = spanMedian(steps, steps.size() - span, span);
    std::printf("  %s: primi %zu %.3f ms, ultimi %zu %.3f ms (%+.0f%%)\n", what, span, first, span,
                end, 100 * (end / first - 1));
}

// Counts the paints of a widget, as times on a clock.
class PaintClock final : public QObject {
public:
    PaintClock(QWidget* watched, const QElapsedTimer& clock)
        : m_clock(clock) {
        watched->installEventFilter(this);
    }
    std::vector<double> times; // ms on the clock

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint)
            times.push_back(msSince(m_clock));
        return QObject::eventFilter(watched, event);
    }

private:
    const QElapsedTimer& m_clock;
};

struct Run {
    double sendMs = 0, baseMs = 0;
    double sendCpu = 0, baseCpu = 0; // processor time of the program's thread, ms
    std::vector<double> steps;       // ms from one "Inviati N di M" to the next
    std::vector<double> cpuSteps;    // the same in processor time of the program's thread
    std::vector<double> baseSteps;
    long firstKb = 0, lastKb = 0; // resident memory at the first and at the last SMS
    std::vector<std::pair<double, QString>> statuses; // the composer's status lines, in ms
    int paints = 0;
    double largestGap = 0, gap99 = 0;
    double largestGapAt = 0; // ms from the click to the paint that opened the largest gap
};

// One run after the other, each a chain of steps called back from the event loop.
class Bench final : public QObject {
public:
    Bench(QString servizio, QString user, QString password, int count, int runs)
        : m_servizio(std::move(servizio))
        , m_user(std::move(user))
        , m_password(std::move(password))
        , m_count(count)
        , m_runs(runs) {
        for (int i = 0; i < count; ++i)
            m_numbers.append(QStringLiteral("333%1").arg(i, 7, 10, QLatin1Char('0')));
        m_repaint.setInterval(16);
        connect(&m_repaint, &QTimer::timeout, this, [this] {
            if (m_window)
                m_window->update();
        });
    }

    void start() { nextRun(); }

private:
    void fail(const QString& why) {
        std::fprintf(stderr, "prova %d non riuscita: %s\n", static_cast<int>(m_done.size()) + 1,
                     qPrintable(why));
        QCoreApplication::exit(1);
    }

    // A fresh folder with a contact per recipient, and the main window on it.
    void nextRun() {
        m_run = Run{};
        m_window.reset();
        m_session.reset();
        m_dir = std::make_unique<QTemporaryDir>();
        const QString book = QString::fromLatin1(store::archive::principale);
        store::archive::createFolderDatabases(m_dir->path(), {book});
        {
            auto db = store::Database::open(store::archive::addressBookPath(m_dir->path(), book));
            db->transaction([&] {
                auto rs = db->openRecordset(QStringLiteral("rubrica"));
                for (int i = 0; i < m_count; ++i)
                    contacts::add(*rs, {QStringLiteral("Nome"),
                                        QStringLiteral("Cliente%1").arg(i, 6, 10, QLatin1Char('0')),
                                        m_numbers[i], QString()});
            });
        }
        const QDir dir(m_dir->path());
        namespace TextFile = platform::TextFile;
        if (!TextFile::replaceLines(dir.filePath(QStringLiteral("registrazione")),
                                    {m_user + QLatin1Char('-') + m_password}) ||
            !TextFile::replaceLines(dir.filePath(QStringLiteral("servizio")), {m_servizio}))
            return fail(QStringLiteral("file della cartella non scritti"));
        m_script.clear();
        m_session = std::make_unique<Session>();
        m_session->appFolder = m_dir->path();
        m_window = std::make_unique<MainWindow>(*m_session);
        m_window->load();
        m_window->show();
        m_window->onTreeNodeClicked();
        measure::whenReady(
            this, [this] { return m_window->browser()->model()->rowCount() == m_count; },
            [this] { openComposer(); });
    }

    // "Invia SMS Multipli" with every contact ticked; the composer shows modal, and the action
    // returns once it has closed.
    void openComposer() {
        m_window->browser()->model()->setAllChecked(true);
        measure::whenReady(
            this,
            [] {
                const Composer* f = shownWindow<Composer>("Form5");
                return f && f->isActiveWindow();
            },
            [this] { send(shownWindow<Composer>("Form5")); });
        QTimer::singleShot(0, this, [this] {
            control<QAction>(m_window.get(), "ismsm")->trigger();
            afterSend();
        });
    }

    void send(Composer* f) {
        if (!f)
            return fail(QStringLiteral("il composer non si è aperto"));
        if (f->recipients().size() != m_count)
            return fail(QStringLiteral("%1 destinatari nel composer").arg(f->recipients().size()));
        control<QPlainTextEdit>(f, "Text1")->setPlainText(text);
        m_paints = std::make_unique<PaintClock>(m_window.get(), m_clock);
        connect(f, &Composer::statusChanged, this, [this](const QString& status) {
            const double now = msSince(m_clock), cpu = threadCpuMs();
            m_run.statuses.emplace_back(now, status);
            if (!status.startsWith(QLatin1String("Inviati ")))
                return;
            if (m_lastStep < 0) {
                m_run.firstKb = residentKb();
            } else {
                m_run.steps.push_back(now - m_lastStep);
                m_run.cpuSteps.push_back(cpu - m_lastCpu);
            }
            m_lastStep = now;
            m_lastCpu = cpu;
            if (m_run.steps.size() + 1 == static_cast<std::size_t>(m_count))
                m_run.lastKb = residentKb();
        });
        connect(f, &Composer::sendFinished, this, [this, f] {
            m_run.sendMs = msSince(m_clock);
            m_run.sendCpu = threadCpuMs() - m_startCpu;
            m_repaint.stop();
            m_progress = control<QProgressBar>(f, "ProgressBar1")->value();
            paintGaps();
        });
        m_lastStep = -1;
        m_progress = -1;
        m_repaint.start();
        m_startCpu = threadCpuMs();
        m_clock.start();
        control<QPushButton>(f, "Command1")->click();
    }

    // The gaps between paints from the click to the end of the send.
    void paintGaps() {
        std::vector<double> at = m_paints->times;
        m_paints.reset();
        at.erase(
            std::remove_if(at.begin(), at.end(), [this](double t) { return t > m_run.sendMs; }),
            at.end());
        m_run.paints = static_cast<int>(at.size());
        at.insert(at.begin(), 0);
        at.push_back(m_run.sendMs);
        std::vector<double> gaps;
        for (std::size_t i = 1; i < at.size(); ++i) {
            gaps.push_back(at[i] - at[i - 1]);
            if (gaps.back() > m_run.largestGap) {
                m_run.largestGap = gaps.back();
                m_run.largestGapAt = at[i - 1];
            }
        }
        std::sort(gaps.begin(), gaps.end());
        m_run.gap99 =
            gaps[static_cast<std::size_t>(std::ceil(0.99 * static_cast<double>(gaps.size()))) - 1];
    }

    void afterSend() {
        const QString last = m_script.messages().value(m_script.messages().size() - 1);
        if (m_progress < 0)
            return fail(QStringLiteral("il composer si è chiuso senza inviare: ") + last);
        if (last != completed)
            return fail(QStringLiteral("ultimo messaggio: ") + last);
        if (m_progress != m_count)
            return fail(
                QStringLiteral("barra di avanzamento a %1 di %2").arg(m_progress).arg(m_count));
        if (const int sent = rows(m_dir->path(), QStringLiteral("inviati")); sent != 1)
            return fail(QStringLiteral("%1 righe in inviati invece di 1").arg(sent));
        QTimer::singleShot(0, this, [this] { baseline(); });
    }

    // The channel and the charge the send's requests go with, as the program asks for them;
    // then the GETs.
    void baseline() {
        const gatewayrequests::Account account{m_user, m_password};
        m_inet.OpenURL(
            gatewayrequests::channelSettingsRequest(m_servizio, account),
            gatewayrequests::shortAnswerBytes, [this, account](const Inet::Reply& settings) {
                const auto channel = gatewayrequests::parseChannelSettings(settings.text);
                if (!channel)
                    return fail(QStringLiteral("base: impostazioni del canale: ") + settings.text);
                m_sms.setHost(channel->host);
                m_sms.setAccount(channel->account);
                m_sms.setPort(channel->port);
                // The gateway's sink takes only SMS that a charge paid for.
                m_inet.OpenURL(
                    gatewayrequests::creditQuery(m_servizio, account),
                    gatewayrequests::creditAnswerBytes, [this, account](const Inet::Reply& credit) {
                        m_inet.OpenURL(gatewayrequests::verifica2Request(
                                           m_servizio, account, credit.text.trimmed().toDouble(),
                                           static_cast<double>(m_count)),
                                       gatewayrequests::shortAnswerBytes,
                                       [this](const Inet::Reply&) { startGets(); });
                    });
            });
    }

    void startGets() {
        m_sendId = QString::number(QRandomGenerator::global()->generate64(), 16);
        m_next = 0;
        m_repaint.start(); // the same paints as during the send
        m_startCpu = threadCpuMs();
        m_clock.start();
        m_lastStep = 0;
        get();
    }

    // One request; the next from its finished signal.
    void get() {
        m_sms.setReference(sendjournal::reference(m_sendId, m_next));
        QNetworkReply* reply = m_manager.get(
            QNetworkRequest(m_sms.requestUrl(QStringLiteral("+39") + m_numbers[m_next], text)));
        connect(reply, &QNetworkReply::finished, this, [this, reply] {
            reply->deleteLater();
            if (reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt() !=
                gatewayrequests::acceptedStatus)
                return fail(QStringLiteral("base: il canale non ha accettato la richiesta %1: %2")
                                .arg(m_next + 1)
                                .arg(QString::fromUtf8(reply->readAll())));
            const double now = msSince(m_clock);
            m_run.baseSteps.push_back(now - m_lastStep);
            m_lastStep = now;
            if (++m_next < m_count)
                return get();
            m_run.baseMs = now;
            m_run.baseCpu = threadCpuMs() - m_startCpu;
            m_repaint.stop();
            report();
        });
    }

    // The status line shown at `ms` after the click.
    static QString statusAt(const Run& r, double ms) {
        QString shown;
        for (const auto& [at, status] : r.statuses)
            if (at <= ms)
                shown = status;
        return shown;
    }

    // When the first and the last SMS were handed over; -1 when none was.
    static std::pair<double, double> smsSpan(const Run& r) {
        double first = -1, last = -1;
        for (const auto& [at, status] : r.statuses)
            if (status.startsWith(QLatin1String("Inviati "))) {
                if (first < 0)
                    first = at;
                last = at;
            }
        return {first, last};
    }

    void report() {
        const Run& r = m_run;
        const double send = r.sendMs / m_count, base = r.baseMs / m_count;
        std::printf("prova %d, %d destinatari: invio %.0f ms, %.3f ms a destinatario; base, GET "
                    "sendsms diretti: %.0f ms, %.3f ms l'uno; rapporto %.2f\n",
                    static_cast<int>(m_done.size()) + 1, m_count, r.sendMs, send, r.baseMs, base,
                    send / base);
        std::printf("  finestra principale durante l'invio: %d paint, intervallo massimo %.1f ms, "
                    "99° percentile %.1f ms\n",
                    r.paints, r.largestGap, r.gap99);
        std::printf("    il massimo da %.0f ms dopo il clic, nello stato \"%s\"\n", r.largestGapAt,
                    qPrintable(statusAt(r, r.largestGapAt)));
        QStringList before; // the status lines up to the first SMS, with their times
        for (const auto& [at, status] : r.statuses) {
            before << QStringLiteral("%1 ms \"%2\"").arg(at, 0, 'f', 0).arg(status);
            if (status.startsWith(QLatin1String("Inviati ")))
                break;
        }
        std::printf("  stati fino al primo SMS: %s\n",
                    qPrintable(before.join(QStringLiteral(", "))));
        if (const auto [first, last] = smsSpan(r); first >= 0)
            std::printf("  fasi dell'invio: fino al primo SMS %.0f ms, gli SMS %.0f ms (%.3f ms "
                        "l'uno), dall'ultimo SMS alla fine %.0f ms\n",
                        first, last - first, (last - first) / std::max(1, m_count - 1),
                        r.sendMs - last);
        std::printf("  CPU del programma: invio %.3f ms a destinatario, base %.3f ms a richiesta\n",
                    r.sendCpu / m_count, r.baseCpu / m_count);
        printEnds("tempo per destinatario", r.steps);
        printEnds("CPU del programma per destinatario", r.cpuSteps);
        printEnds("base per richiesta", r.baseSteps);
        std::printf("  memoria residente %ld MB al primo SMS, %ld MB all'ultimo\n",
                    r.firstKb / 1024, r.lastKb / 1024);
        std::fflush(stdout);
        m_done.push_back(r);
        if (static_cast<int>(m_done.size()) < m_runs)
            return nextRun();
        if (m_runs > 1) {
            std::vector<double> sends, bases, ratios, largest;
            for (const Run& d : m_done) {
                sends.push_back(d.sendMs / m_count);
                bases.push_back(d.baseMs / m_count);
                ratios.push_back(d.sendMs / d.baseMs);
                largest.push_back(d.largestGap);
            }
            std::printf("mediane di %d prove: invio %.3f ms a destinatario, base %.3f ms, rapporto "
                        "%.2f, intervallo massimo fra i paint %.1f ms\n",
                        m_runs, median(sends), median(bases), median(ratios), median(largest));
        }
        m_window.reset();
        QCoreApplication::exit(0);
    }

    const QString m_servizio, m_user, m_password;
    const int m_count, m_runs;
    QStringList m_numbers;
    platform::DialogScript m_script; // answers every message box
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<Session> m_session;
    std::unique_ptr<MainWindow> m_window;
    std::unique_ptr<PaintClock> m_paints;
    QTimer m_repaint;
    QElapsedTimer m_clock;
    double m_lastStep = -1, m_lastCpu = 0, m_startCpu = 0;
    int m_progress = -1;
    Run m_run;
    std::vector<Run> m_done;
    // the baseline
    Inet m_inet;
    SMSSX m_sms;
    QNetworkAccessManager m_manager;
    QString m_sendId;
    int m_next = 0;
};

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
    const int count = argc > 5 ? std::atoi(argv[5]) : 10000;
    const int runs = argc > 6 ? std::atoi(argv[6]) : 1;
    if (count < 1 || runs < 1) {
        std::fputs("DESTINATARI e PROVE devono essere almeno 1\n", stderr);
        return 2;
    }
    Bench bench(QString::fromLocal8Bit(argv[1]) + QLatin1Char(':') +
                    QString::fromLocal8Bit(argv[2]),
                QString::fromLocal8Bit(argv[3]), QString::fromLocal8Bit(argv[4]), count, runs);
    QTimer::singleShot(0, &bench, &Bench::start);
    return app.exec();
}
