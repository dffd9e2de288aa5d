// The send job as a process of its own, for the test that kills it: settles what an earlier
// run left (as the program's start does), then, given recipients, sends TEXT from Principale
// to that many numbers:
//   quillet-senddriver FOLDER [SERVICE RECIPIENTS TEXT]
#include "core/session.h"
#include "messaging/sendjob.h"
#include "messaging/sendjournal.h"

#include <QCoreApplication>
#include <QTimer>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    Session session;
    session.appFolder = args.value(1);
    session.service = args.value(2);
    SendJob::Message message;
    message.list = true;
    message.text = args.value(4);
    message.book = QStringLiteral("Principale");
    for (int i = 0; i < args.value(3).toInt(); ++i)
        message.recipients << QStringLiteral("333%1").arg(i, 7, 10, QLatin1Char('0'));
    SendJob job(session);
    QObject::connect(&job, &SendJob::finished, &app, [](const SendJob::Result& result) {
        QCoreApplication::exit(result.outcome == SendJob::Outcome::Completed ? 0 : 1);
    });
    QTimer::singleShot(0, &job, [&] {
        sendjournal::settleAll(session.appFolder, [&](const auto&) {
            if (message.recipients.isEmpty())
                QCoreApplication::exit(0);
            else
                job.start(message);
        });
    });
    return QCoreApplication::exec();
}
