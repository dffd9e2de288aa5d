#pragma once

#include "messaging/sendjob.h"
#include "platform/waitcursor.h"

#include <QDialog>

#include <optional>

struct Session;

class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListView;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QStringListModel;

// The composer: one message to one number or to a list of recipients, sent by a SendJob or
// saved as a draft in salvati. Its opener shows it modal.
class Composer final : public QDialog {
    Q_OBJECT
public:
    enum class Mode { Single, List };
    struct Request {
        Mode mode = Mode::Single;
        QString number;         // as archived; in list mode the numbers, each ended by ";"
        QStringList recipients; // list mode
        QString surname;
        QString text;
        bool searchable = true; // the number's caption and the search button show
        QString sentBook;       // the address book a sent message is archived in
        QString draftBook;      // the address book a draft is saved in; may not exist
    };

    Composer(Session& session, const Request& request, QWidget* parent = nullptr);
    ~Composer() override;

    // List mode: one entry of List1 per number.
    void setRecipients(const QStringList& numbers);
    QStringList recipients() const;
    bool listMode() const;

    void prepareOnActivation();
    void send();
    void closeComposer();
    void saveDraft();
    void searchRecipient();
    // An emoticon label: its symbol, with one blank each side, at the end of the text.
    void emoticon(QLabel* label);

    QLabel* Label2; // surname
    QLabel* Label3; // "Cellulare"
    QLineEdit* Text2;
    QLabel* Label18; // the number as archived
    QLabel* Label23; // shows the mode: "1" list, "0" one number
    QListView* List1;
    QPlainTextEdit* Text1;
    QLabel* Label5;  // characters
    QLabel* Label24; // SMS, credit and alphabet of the text
    QComboBox* Combo1;
    QRadioButton* Option1;
    QRadioButton* Option2;
    QLabel *Label6, *Label7, *Label8, *Label9, *Label14, *Label16;     // double click
    QLabel *Label10, *Label11, *Label12, *Label13, *Label15, *Label17; // click
    QGroupBox* Frame1;                                                 // " Stato  Servizio"
    QLabel* Label21;
    QProgressBar* ProgressBar1;
    QPushButton* Command1;
    QPushButton* Command2;
    QPushButton* Command3;
    QPushButton* Command4;

signals:
    // Label21 changed: every status of a send, in order.
    void statusChanged(const QString& status);
    // The message of a send is now in inviati: the lists showing it refresh.
    void sendArchived();
    // The credit left once the SMS of a send went out.
    void creditChanged(double remaining);
    // A send ended and the user was told how; the window may have closed.
    void sendFinished();
    // The search button: the composer has closed and the contact search should open.
    void searchRequested();

protected:
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void done(int result) override;

private:
    void countText();
    void keepWithinLimit();
    void showTypedNumber();
    void chooseSmsType();
    void setStatus(const QString& text);
    void enableButtons(bool enabled);
    void describe();
    void showRecipient(int round, const QString& number);
    void showProgress(int round, int total);
    void finishSend(const SendJob::Result& result);
    void stopSend(const SendJob::Result& result);
    void abandon(const QString& message);
    void connectionFailed(const QString& detail);
    QString archiveBook() const;

    Session& m_session;
    Request m_request;
    bool m_flash = false; // "Flash" chosen in Combo1
    QStringListModel* m_recipients;
    SendJob m_job;
    bool m_busy = false;                        // a send is running: the window stays open
    std::optional<platform::WaitCursor> m_wait; // the hourglass while a send runs
    int m_maxLength = 0;                        // characters Text1 holds at most; 0 for no limit
    struct Edit {
        int position = 0;
        int added = 0;
    } m_lastEdit; // where the last change of Text1 put text, and how much
};
