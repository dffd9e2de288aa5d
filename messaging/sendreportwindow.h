#pragma once

#include "store/archive.h"

#include <QDialog>
#include <QStringList>

class QLabel;
class QLayout;
class QPushButton;
class QTreeView;
class SendReportModel;

// "Esito invio": what the service answered for each SMS of one sent message, with the counts
// on top; the lines go to a semicolon file, and the refused and unsent numbers back to the
// composer.
class SendReportWindow final : public QDialog {
    Q_OBJECT
public:
    struct Request {
        QString bookPath;                   // the address book file the message is archived in
        store::archive::MessageRow message; // as in inviati
    };

    // Reads the report; hasReport() tells whether the message has one.
    explicit SendReportWindow(const Request& request, QWidget* parent = nullptr);

    bool hasReport() const;
    void exportLines();
    void resend();

signals:
    // "Reinvia ai non riusciti": the window has closed; the same text to these numbers.
    void resendRequested(const QStringList& numbers, const QString& text);

private:
    void showMessage();
    void buildLineList();
    QLayout* buildButtons();
    void loadReport();

    QLabel* m_countsLabel;
    QLabel* m_messageLabel;
    QTreeView* m_lineList;
    QPushButton* m_exportButton;
    QPushButton* m_resendButton;
    QPushButton* m_closeButton;
    SendReportModel* m_model;
    Request m_request;
};
