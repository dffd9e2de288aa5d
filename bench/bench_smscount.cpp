// What a send charges beside what the SMS centre sends, over a set of texts on and around the
// limits of an SMS (plain letters, the euro and brackets, letters outside the GSM alphabet,
// emoji, short words), each sent by the send job in its three ways: single with every SMS full,
// single cut at a blank, and to a list of two. Against a gateway in front of a real Kannel:
//   bench-smscount SERVIZIO USER PASSWORD KANNEL_RIG_DIR
// SERVIZIO is host:port of `quillet-gateway serve --forward` to the rig's smsbox; the account
// needs about 3,000 credits. Prints, for each way and in all: the sends, those refused before
// anything went, the credits charged, the SMS the fake SMS centre received, and the sends whose
// text did not arrive as typed (cut, or with anything added).
#include "core/session.h"
#include "messaging/gatewayrequests.h"
#include "messaging/inet.h"
#include "messaging/sendjob.h"
#include "platform/textfile.h"
#include "store/archive.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QMap>
#include <QProcess>
#include <QStringDecoder>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <functional>
#include <memory>

namespace {

struct Totals {
    int sends = 0;
    int refused = 0; // stopped before anything was charged or sent
    int charged = 0;
    int received = 0;
    int notWhole = 0; // sends whose text did not arrive as typed
};

// The texts: each family at lengths on and around the limits.
QStringList texts() {
    QStringList all;
    const auto fill = [](const QString& pattern, int length) {
        QString text = pattern.repeated(length / static_cast<int>(pattern.size()) + 1);
        // never end inside a surrogate pair
        if (text[length - 1].isHighSurrogate())
            ++length;
        return text.left(length);
    };
    const QList<int> gsmLengths{40,  150, 159, 160, 161, 200,  306,  307,  320, 321,
                                459, 460, 480, 640, 800, 1000, 1200, 1530, 1600};
    for (int n : gsmLengths)
        all << fill(QStringLiteral("Offerta di primavera, sconto del 20% su tutto. "), n);
    for (int n : {40, 79, 80, 81, 120, 159, 160, 161, 300, 480})
        all << fill(QStringLiteral("Prezzo 5 € [sconto] {valido} fino a ~sabato| "), n);
    for (int n : {80, 81, 100})
        all << fill(QStringLiteral("€"), n);
    for (int k : {1, 3, 6, 10})
        all << (QStringLiteral("x").repeated(79) + QLatin1Char('{')).repeated(k);
    for (int n : {40, 69, 70, 71, 100, 134, 135, 140, 159, 160, 161, 201, 202, 300, 600})
        all << fill(QStringLiteral("L’hotel è già pronto: È tutto incluso, ñ café. "), n);
    for (int n : {70, 71, 160})
        all << QStringLiteral("á") + QStringLiteral("x").repeated(n - 1);
    for (int n : {10, 35, 36, 50, 67, 68, 70, 101})
        all << QStringLiteral("😀").repeated(n);
    for (int n : {30, 68, 69, 70, 71, 140})
        all << fill(QStringLiteral("Auguri 🎄 e buone feste! "), n);
    for (int n : {150, 159, 160, 161, 320, 321, 800, 1590, 1600})
        all << fill(QStringLiteral("abcd "), n);
    for (int n : {160, 161, 480})
        all << fill(QStringLiteral("Ore 9\u00a030, sala B. "), n);
    all << QStringLiteral("È") + QStringLiteral("x").repeated(159);
    return all;
}

// What the fake SMS centre received for these numbers: the SMS (each part of a concatenated
// message one), and by number what the phone shows, the messages one after the other.
struct Received {
    int sms = 0;
    QMap<QString, QString> texts;
};

// Parses the rig's `received` output.
Received parseReceived(const QByteArray& output, const QStringList& numbers) {
    Received got;
    QMap<QString, QByteArray> pending; // parts of a concatenated message so far
    const auto unescape = [](QString data) {
        return QByteArray::fromPercentEncoding(
            data.replace(QLatin1Char('+'), QStringLiteral("%20")).toUtf8());
    };
    QStringDecoder utf16(QStringDecoder::Utf16BE);
    const auto ucs2 = [&utf16](const QByteArray& bytes) -> QString {
        utf16.resetState();
        return utf16.decode(bytes);
    };
    for (const QString& line : QString::fromUtf8(output).split(QLatin1Char('\n'))) {
        const QStringList f = line.split(QLatin1Char(' '));
        if (f.size() < 4 || !numbers.contains(f[1]))
            continue;
        ++got.sms;
        QString& text = got.texts[f[1]];
        if (f[2] == QLatin1String("text")) {
            text += line.section(QLatin1Char(' '), 3);
        } else if (f[2] == QLatin1String("ucs-2")) {
            text += ucs2(unescape(f[3]));
        } else if (f[2] == QLatin1String("udh")) { // udh HEADER data PAYLOAD
            const QByteArray header = unescape(f[3]);
            pending[f[1]] += unescape(f.value(5));
            if (header.size() < 6 || header[5] != header[4])
                continue;
            // The last part: UCS-2 has zero bytes or is no UTF-8, a GSM text comes as UTF-8.
            const QByteArray bytes = pending.take(f[1]);
            const QString utf8 = QString::fromUtf8(bytes);
            text += bytes.contains('\0') || utf8.contains(QChar::ReplacementCharacter) ? ucs2(bytes)
                                                                                       : utf8;
        } else {
            text += QStringLiteral("<8 bit>");
        }
    }
    return got;
}

// The sends one after the other, each step called back from the event loop: the credit, the
// send, the credit again, then what the SMS centre received, asked every 50 ms until it stays
// the same (at most 40 times).
class CountBench final : public QObject {
public:
    CountBench(Session& session, QString user, QString password, QString rig)
        : m_session(session)
        , m_user(std::move(user))
        , m_password(std::move(password))
        , m_rig(std::move(rig))
        , m_texts(texts()) {
        connect(&m_process, &QProcess::finished, this, [this] {
            took(parseReceived(m_process.readAllStandardOutput(), m_international));
        });
        m_clock.start();
    }

    const QStringList ways{QStringLiteral("ogni SMS pieno"), QStringLiteral("allo spazio"),
                           QStringLiteral("a lista di 2")};
    QMap<QString, Totals> totals;
    int textCount() const { return static_cast<int>(m_texts.size()); }
    double seconds() const { return static_cast<double>(m_clock.elapsed()) / 1000; }

    void start() { next(); }

private:
    void credit(std::function<void(int)> then) {
        m_inet.OpenURL(gatewayrequests::creditQuery(m_session.service, {m_user, m_password}),
                       gatewayrequests::creditAnswerBytes,
                       [then](const Inet::Reply& reply) { then(reply.text.toInt()); });
    }

    void next() {
        m_job.reset();
        if (m_case == m_texts.size() * ways.size())
            return QCoreApplication::exit(0);
        const QString& text = m_texts[m_case / ways.size()];
        const QString& way = ways[m_case % ways.size()];
        ++m_case;
        const bool list = way == ways[2];
        m_numbers.clear();
        m_international.clear();
        for (int i = 0; i < (list ? 2 : 1); ++i) {
            m_numbers << QStringLiteral("335%1").arg(m_next++, 7, 10, QLatin1Char('0'));
            m_international << QStringLiteral("+39") + m_numbers.last();
        }
        m_message = SendJob::Message{};
        m_message.text = text;
        m_message.list = list;
        m_message.recipients = m_numbers;
        m_message.number = m_message.numberLabel = m_numbers.first();
        m_message.atBlank = way == ways[1];
        m_message.sender = QStringLiteral("Quillet");
        m_message.book = QString::fromLatin1(store::archive::principale);
        m_totals = &totals[way];
        credit([this](int before) {
            m_job = std::make_unique<SendJob>(m_session);
            connect(m_job.get(), &SendJob::finished, this,
                    [this, before](const SendJob::Result& r) {
                        const bool completed = r.outcome == SendJob::Outcome::Completed;
                        credit([this, before, completed](int after) {
                            sent(before - after, completed);
                        });
                    });
            m_job->start(m_message);
        });
    }

    void sent(int charged, bool completed) {
        ++m_totals->sends;
        m_totals->charged += charged;
        m_charged = charged;
        if (!completed) {
            ++m_totals->refused;
            return next();
        }
        m_asked = 0;
        m_lastCount = -1;
        ask();
    }

    void ask() {
        QTimer::singleShot(50, this, [this] {
            m_process.start(QStringLiteral(KANNEL_RIG), {QStringLiteral("received"), m_rig});
        });
    }

    void took(const Received& got) {
        if (++m_asked < 40 && !(got.sms == m_lastCount && got.sms >= m_charged)) {
            m_lastCount = got.sms;
            return ask();
        }
        bool whole = got.texts.size() == m_numbers.size();
        for (const QString& arrived : got.texts)
            whole = whole && arrived == m_message.text;
        if (!whole)
            std::fprintf(stderr, "non intero (%s): %s\n",
                         qPrintable(ways[(m_case - 1) % ways.size()]), qPrintable(m_message.text));
        m_totals->received += got.sms;
        m_totals->notWhole += whole ? 0 : 1;
        next();
    }

    Session& m_session;
    const QString m_user, m_password, m_rig;
    const QStringList m_texts;
    qsizetype m_case = 0;
    // numbers of this run's own: the rig keeps what earlier runs sent
    int m_next = static_cast<int>(QDateTime::currentSecsSinceEpoch() % 1000) * 1000;
    QStringList m_numbers, m_international;
    SendJob::Message m_message;
    std::unique_ptr<SendJob> m_job;
    Totals* m_totals = nullptr;
    int m_charged = 0, m_asked = 0, m_lastCount = -1;
    Inet m_inet;
    QProcess m_process;
    QElapsedTimer m_clock;
};

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc < 5) {
        std::fputs("Uso: bench-smscount HOST:PORTA UTENTE PASSWORD CARTELLA_KANNEL\n", stderr);
        return 2;
    }
    const QString user = QString::fromLocal8Bit(argv[2]);
    const QString password = QString::fromLocal8Bit(argv[3]);
    QTemporaryDir dir;
    store::archive::createFolderDatabases(dir.path(),
                                          {QString::fromLatin1(store::archive::principale)});
    platform::TextFile::replaceLines(QDir(dir.path()).filePath(QStringLiteral("registrazione")),
                                     {user + QLatin1Char('-') + password});
    Session session;
    session.appFolder = dir.path();
    session.service = QString::fromLocal8Bit(argv[1]);
    CountBench bench(session, user, password, QString::fromLocal8Bit(argv[4]));
    QTimer::singleShot(0, &bench, &CountBench::start);
    app.exec();

    Totals sum;
    std::printf("%-16s %6s %9s %9s %9s %10s\n", "modo", "invii", "rifiutati", "addebitati",
                "ricevuti", "non interi");
    for (const QString& way : bench.ways) {
        const Totals& t = bench.totals[way];
        std::printf("%-16s %6d %9d %9d %9d %10d\n", qPrintable(way), t.sends, t.refused, t.charged,
                    t.received, t.notWhole);
        sum.sends += t.sends;
        sum.refused += t.refused;
        sum.charged += t.charged;
        sum.received += t.received;
        sum.notWhole += t.notWhole;
    }
    std::printf("%-16s %6d %9d %9d %9d %10d   (%d testi, %.0f s)\n", "in tutto", sum.sends,
                sum.refused, sum.charged, sum.received, sum.notWhole, bench.textCount(),
                bench.seconds());
    return 0;
}
