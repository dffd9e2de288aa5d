#pragma once

#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

// Runs tests/kannel/kannel-rig (KANNEL_RIG) with these arguments: its standard output, or its
// error output when it fails. `exitCode` receives the exit code, -1 when it crashed.
inline QString
kannelRig(const QStringList& args, int* exitCode = nullptr,
          const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment()) {
    QProcess process;
    process.setProcessEnvironment(env);
    process.start(QStringLiteral(KANNEL_RIG), args);
    if (!process.waitForFinished(60000))
        process.kill();
    process.waitForFinished();
    if (exitCode)
        *exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    return QString::fromUtf8(process.exitCode() == 0 ? process.readAllStandardOutput()
                                                     : process.readAllStandardError());
}
