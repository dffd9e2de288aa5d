#include "migration/jetconversion.h"

#include "migration/commands.h"
#include "migration/folderconversion.h"
#include "platform/dialogs.h"
#include "windows/waitbox.h"

#include <QProcess>

JetConversion::JetConversion(QString appFolder, QString program, QObject* parent)
    : QObject(parent)
    , m_appFolder(std::move(appFolder))
    , m_program(std::move(program)) {}

void JetConversion::start() {
    startChild(QStringLiteral("--count-jet"));
    connect(m_child, &QProcess::finished, this, &JetConversion::counted);
}

void JetConversion::startChild(const QString& command) {
    m_output.clear();
    m_box = new WaitDialog;
    m_child = new QProcess(this);
    m_child->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    connect(m_child, &QProcess::readyReadStandardOutput, this, &JetConversion::readProgress);
    connect(m_child, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            emit m_child->finished(-1, QProcess::CrashExit);
    });
    m_box->show();
    m_child->start(m_program, {command, m_appFolder});
}

// "# done total" lines move the bar; the rest is the child's answer.
void JetConversion::readProgress() {
    while (m_child->canReadLine()) {
        const QString line = QString::fromUtf8(m_child->readLine());
        if (!line.startsWith(QLatin1String("# "))) {
            m_output += line;
            continue;
        }
        const QStringList numbers = line.mid(2).trimmed().split(u' ');
        if (m_box && numbers.size() == 2)
            m_box->setProgress(numbers[0].toLongLong(), numbers[1].toLongLong());
    }
}

// The next box comes once the wait box is gone (it could be the message box's parent) and
// from a fresh event (the process that just ended is not on the stack when it is deleted).
void JetConversion::afterBox(std::function<void()> next) {
    m_child->deleteLater();
    connect(m_box, &QObject::destroyed, this, std::move(next), Qt::QueuedConnection);
    m_box->workDone();
}

void JetConversion::counted() {
    readProgress();
    afterBox([this, normal = m_child->exitStatus() == QProcess::NormalExit] { ask(normal); });
}

void JetConversion::ask(bool normal) {
    const QStringList count = m_output.section(u'\n', 0, 0).split(u'\t');
    if (!normal || count.size() != 4 || count[0] != QLatin1String(migration::countTag)) {
        platform::MsgBox(QStringLiteral("Impossibile leggere gli archivi del programma "
                                        "precedente in %1.\n%2")
                             .arg(m_appFolder, m_output.trimmed()),
                         platform::Icon::Critical);
        end(false);
        return;
    }
    const migration::Totals totals{count[1].toInt(), count[2].toLongLong(), count[3].toLongLong()};
    if (platform::MsgBox(migration::question(totals), platform::Icon::Question,
                         platform::Buttons::YesNo) != platform::Answer::Yes) {
        end(false);
        return;
    }
    startChild(QStringLiteral("--convert-jet"));
    connect(m_child, &QProcess::finished, this, &JetConversion::converted);
}

void JetConversion::converted() {
    readProgress();
    const bool normal = m_child->exitStatus() == QProcess::NormalExit;
    afterBox([this, normal, code = m_child->exitCode()] {
        report(normal, normal ? code : int(migration::NotConverted));
    });
}

void JetConversion::report(bool normal, int status) {
    QString report = m_output.trimmed();
    if (!normal)
        report = QStringLiteral("La conversione si è interrotta: al prossimo avvio Quillet la "
                                "completa o la propone di nuovo.\n") +
                 report;
    platform::MsgBox(report, status == migration::Converted         ? platform::Icon::Information
                             : status == migration::PartlyConverted ? platform::Icon::Exclamation
                                                                    : platform::Icon::Critical);
    end(status != migration::NotConverted);
}

void JetConversion::end(bool folderReady) {
    emit finished(folderReady);
}
