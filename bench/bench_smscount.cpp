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
#include "tests/support/answerof.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QMap>
#include <QProcess>
#include <QStringDecoder>
#include <QTemporaryDir>
#include <QThread>

#include <cstdio>

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

Received received(const QString& rig, const QStringList& numbers) {
    QProcess process;
    process.start(QStringLiteral(KANNEL_RIG), {QStringLiteral("received"), rig});
    process.waitForFinished(30000);
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
    for (const QString& line :
         QString::fromUtf8(process.readAllStandardOutput()).split(QLatin1Char('\n'))) {
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

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc < 5) {
        std::fputs("Uso: bench-smscount HOST:PORTA UTENTE PASSWORD CARTELLA_KANNEL\n", stderr);
        return 2;
    }
    const QString servizio = QString::fromLocal8Bit(argv[1]);
    const QString user = QString::fromLocal8Bit(argv[2]);
    const QString password = QString::fromLocal8Bit(argv[3]);
    const QString rig = QString::fromLocal8Bit(argv[4]);
    QTemporaryDir dir;
    const QString book = QString::fromLatin1(store::archive::principale);
    store::archive::createFolderDatabases(dir.path(), {book});
    platform::TextFile::replaceLines(QDir(dir.path()).filePath(QStringLiteral("registrazione")),
                                     {user + QLatin1Char('-') + password});
    Session session;
    session.appFolder = dir.path();
    session.service = servizio;
    Inet inet;
    const auto credit = [&] {
        return openUrl(inet, gatewayrequests::creditQuery(servizio, {user, password}),
                       gatewayrequests::creditAnswerBytes)
            .text.toInt();
    };

    const QStringList all = texts();
    const QStringList ways{QStringLiteral("ogni SMS pieno"), QStringLiteral("allo spazio"),
                           QStringLiteral("a lista di 2")};
    QMap<QString, Totals> totals;
    // numbers of this run's own: the rig keeps what earlier runs sent
    int next = static_cast<int>(QDateTime::currentSecsSinceEpoch() % 1000) * 1000;
    QElapsedTimer clock;
    clock.start();
    for (const QString& text : all) {
        for (const QString& way : ways) {
            const bool list = way == ways[2];
            QStringList numbers;
            for (int i = 0; i < (list ? 2 : 1); ++i)
                numbers << QStringLiteral("335%1").arg(next++, 7, 10, QLatin1Char('0'));
            SendJob::Message message;
            message.text = text;
            message.list = list;
            message.recipients = numbers;
            message.number = message.numberLabel = numbers.first();
            message.atBlank = way == ways[1];
            message.sender = QStringLiteral("Quillet");
            message.book = book;
            const int before = credit();
            SendJob job(session);
            bool done = false;
            SendJob::Outcome outcome{};
            QObject::connect(&job, &SendJob::finished, [&](const SendJob::Result& r) {
                done = true;
                outcome = r.outcome;
            });
            job.start(message);
            while (!done)
                QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
            Totals& t = totals[way];
            ++t.sends;
            const int charged = before - credit();
            t.charged += charged;
            if (outcome != SendJob::Outcome::Completed) {
                ++t.refused;
                continue;
            }
            QStringList international;
            for (const QString& n : numbers)
                international << QStringLiteral("+39") + n;
            // what the centre received, once nothing more comes
            Received got;
            for (int count = -1, wait = 0; wait < 40; ++wait) {
                QThread::msleep(50);
                got = received(rig, international);
                if (got.sms == count && got.sms >= charged)
                    break;
                count = got.sms;
            }
            const int sms = got.sms;
            bool whole = got.texts.size() == numbers.size();
            for (const QString& arrived : got.texts)
                whole = whole && arrived == text;
            if (!whole)
                std::fprintf(stderr, "non intero (%s): %s\n", qPrintable(way), qPrintable(text));
            t.received += sms;
            t.notWhole += whole ? 0 : 1;
        }
    }
    Totals sum;
    std::printf("%-16s %6s %9s %9s %9s %10s\n", "modo", "invii", "rifiutati", "addebitati",
                "ricevuti", "non interi");
    for (const QString& way : ways) {
        const Totals& t = totals[way];
        std::printf("%-16s %6d %9d %9d %9d %10d\n", qPrintable(way), t.sends, t.refused, t.charged,
                    t.received, t.notWhole);
        sum.sends += t.sends;
        sum.refused += t.refused;
        sum.charged += t.charged;
        sum.received += t.received;
        sum.notWhole += t.notWhole;
    }
    std::printf("%-16s %6d %9d %9d %9d %10d   (%d testi, %.0f s)\n", "in tutto", sum.sends,
                sum.refused, sum.charged, sum.received, sum.notWhole, static_cast<int>(all.size()),
                static_cast<double>(clock.elapsed()) / 1000);
    return 0;
}
