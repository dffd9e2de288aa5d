// One list send through the composer, from the send command until the window closes, against
// a running quillet-gateway whose channel is its own sendsms sink:
//   bench-send HOST PORT USER PASSWORD [RECIPIENTS] [RUNS]   (1000 and 5 by default)
// Each run uses a fresh application folder and charges RECIPIENTS credits to the account.
#include "app/session.h"
#include "bench/measure.h"
#include "messaging/composer.h"
#include "platform/dialogs.h"
#include "platform/textfile.h"
#include "store/archive.h"
#include "store/database.h"
#include "tests/support/controls.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QLabel>
#include <QLocale>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
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

struct Run {
    double ms = 0;
    QString failure; // empty when the send went through
};

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
    session.archive = {}; // closes the archive before the folder goes
    if (run.failure.isEmpty()) {
        const int sent = rows(dir.path(), QStringLiteral("inviati"));
        if (sent != 1)
            run.failure = QStringLiteral("%1 righe in inviati invece di 1").arg(sent);
    }
    return run;
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
    QString all;
    for (int i = 0; i < runs; ++i) {
        const Run run = sendOnce(servizio, account, numbers, script);
        if (!run.failure.isEmpty()) {
            std::fprintf(stderr, "invio %d non riuscito: %s\n", i + 1, qPrintable(run.failure));
            return 1;
        }
        times.push_back(run.ms);
        all += (all.isEmpty() ? QString() : QStringLiteral(", ")) + QString::number(run.ms, 'f', 0);
    }
    const double m = median(times);
    std::printf("invio a %d destinatari: mediana %.0f ms, %.2f ms a destinatario (prove: %s)\n",
                count, m, m / count, qPrintable(all));
    return 0;
}
