#pragma once

#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>

class QProcess;
class WaitDialog;

// At start, on a folder the earlier program left: counts its archives, asks whether to
// convert them, converts them under the wait box and shows the report. The work runs in a child
// process (`program --count-jet` / `--convert-jet`); its lines drive the box.
class JetConversion final : public QObject {
    Q_OBJECT
public:
    JetConversion(QString appFolder, QString program, QObject* parent = nullptr);
    void start();

signals:
    // folderReady: the folder holds the product's archives now (or the conversion left only
    // files that its report names); false when the user said No or the conversion failed.
    void finished(bool folderReady);

private:
    void startChild(const QString& command);
    void readProgress();
    void afterBox(std::function<void()> next);
    void counted();
    void ask(bool countRead);
    void converted();
    void report(bool normalExit, int status);
    void end(bool folderReady);

    QString m_appFolder;
    QString m_program;
    QProcess* m_child = nullptr;
    QPointer<WaitDialog> m_box;
    QString m_output;
};
