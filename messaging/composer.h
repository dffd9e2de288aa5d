#pragma once

#include "contacts/excludednumbers.h"
#include "messaging/sendjob.h"
#include "messaging/textfields.h"
#include "platform/waitcursor.h"

#include <QDialog>
#include <QElapsedTimer>
#include <QEvent>
#include <QHash>
#include <QTimer>

#include <optional>

struct Session;
class FieldsPanel;

class QComboBox;
class QGroupBox;
class QLabel;
class QLayout;
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

    // List mode: one entry of the recipient list per number.
    void setRecipients(const QStringList& numbers);
    QStringList recipients() const;
    bool listMode() const;

    void prepareOnActivation();
    void send();
    void closeComposer();
    void saveDraft();
    // "Salva come modello": the text, as written, among the ready-made texts.
    void saveTemplate();
    // "Modelli": the chosen ready-made text goes in at the caret.
    void openTemplates();
    void searchRecipient();
    // An emoticon label: its symbol, with one blank each side, at the end of the text.
    void emoticon(QLabel* label);

signals:
    // The status line changed: every status of a send, in order.
    void statusChanged(const QString& status);
    // The message of a send is now in inviati: the lists showing it refresh.
    void sendArchived();
    // The credit left once the SMS of a send went out.
    void creditChanged(double remaining);
    // A send ended and the user was told how; the window may have closed.
    void sendFinished();
    // The search button: the composer has closed and the contact search should open.
    void searchRequested();
    // "Mostra esito" after a send: the composer has closed; the report of this message.
    void reportRequested(const QString& book, const store::archive::MessageRow& message);

protected:
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    QGroupBox* buildRecipientBox();
    QLayout* buildTextBox();
    QLayout* buildSmsOptions();
    QGroupBox* buildEmoticons();
    void buildStatus();
    QLayout* buildButtons();
    void connectInput();
    void connectButtons();
    void connectJob();
    void showRequest();
    // The labels show these; they are only written from here.
    void setArchivedNumber(const QString& number);
    void setSurname(const QString& surname);
    void countText();
    void keepWithinLimit();
    void showTypedNumber();
    void chooseSmsType();
    void setStatus(const QString& text);
    void enableButtons(bool enabled);
    void describe();
    void showRecipient(int round, const QString& number);
    void showProgress(int round, int total);
    void scheduleSendView();
    void showSendView();
    void finishSend(const SendJob::Result& result);
    void stopSend(const SendJob::Result& result);
    void abandon(const QString& message);
    void connectionFailed(const QString& detail);
    QString archiveBook() const;
    // The text filled for each recipient, or for the number; nothing when it has no fields.
    QList<textfields::Filled> fillText();
    void insertField(const QString& field);

    QLabel* m_surnameLabel;       // shows m_surname
    QLabel* m_numberCaptionLabel; // "Cellulare"
    QLineEdit* m_numberEdit;
    QLabel* m_archivedNumberLabel; // shows m_archivedNumber
    QLabel* m_modeLabel;           // shows the mode: "1" list, "0" one number
    QListView* m_recipientList;
    QPlainTextEdit* m_textEdit;
    QLabel* m_lengthLabel;      // characters
    QLabel* m_descriptionLabel; // SMS, credit and alphabet of the text
    QComboBox* m_smsTypeCombo;
    QRadioButton* m_splitByLengthOption;
    QRadioButton* m_splitAtSpaceOption;
    // Emoticons: each symbol inserts on a double click, each name on a click.
    QLabel *m_happySymbolLabel, *m_sadSymbolLabel, *m_smilingSymbolLabel, *m_amazedSymbolLabel,
        *m_confusedSymbolLabel, *m_kissSymbolLabel;
    QLabel *m_happyNameLabel, *m_smilingNameLabel, *m_sadNameLabel, *m_amazedNameLabel,
        *m_confusedNameLabel, *m_kissNameLabel;
    QGroupBox* m_statusGroup; // " Stato  Servizio"
    QLabel* m_statusLabel;
    QProgressBar* m_progressBar;
    QPushButton* m_sendButton;
    QPushButton* m_closeButton;
    QPushButton* m_saveButton;
    QPushButton* m_searchButton;
    QPushButton* m_saveTemplateButton;
    QPushButton* m_templatesButton;

    Session& m_session;
    Request m_request;
    QString m_archivedNumber; // archived as cellulare: the request's, then what Text2 shows
    QString m_surname;        // archived as cognome; "<lista>" once a list shows
    bool m_flash = false;     // "Flash" chosen as the SMS type
    QStringListModel* m_recipients;
    SendJob m_job;
    bool m_busy = false; // a send is running: the window stays open
    struct SendView {
        QString status;
        int done = 0, total = 0; // SMS answered, of all
        int round = 0;           // the recipient being sent to, from 1
        QString number;
        int shownRound = 0;
    } m_sendView;                  // what a send last reported, shown by showSendView()
    QTimer m_sendViewTimer;        // shows m_sendView when it changed too soon after the last
    QElapsedTimer m_sendViewShown; // since the last showSendView()
    static constexpr int sendViewMs = 50;
    std::optional<platform::WaitCursor> m_wait; // the hourglass while a send runs
    bool m_oneSmsOnly = false;                  // list mode: m_textEdit holds one SMS at most
    struct Edit {
        int position = 0;
        int added = 0;
    } m_lastEdit; // where the last change of m_textEdit put text, and how much
    struct Emoticon {
        QString symbol;
        QEvent::Type insertsOn; // a symbol on a double click, a name on a click
    };
    QHash<const QObject*, Emoticon> m_emoticons; // by symbol and by name label
    FieldsPanel* m_fields;
    excluded::List m_excluded; // the numbers a list send skips, as the window opened
    // Recipients among them: counted once for the recipients shown (-1 until then).
    int excludedRecipients();
    int m_excludedCount = -1;
    QList<textfields::Filled> m_filled; // the text filled, as describe() or send() last made it
};
