#pragma once

#include <QFile>
#include <QList>
#include <QString>

#include <functional>

#include <memory>

// The journal of a send in progress, beside its address book (rubriche/BOOK.invio): what the
// program needs to settle a send that the program's end cut short. Each record is one write to
// the file, made before the step it announces (the charge, each hand-over) or right after the
// answer, so whatever stops the process, the file says which SMS were answered and which one,
// at most, was on its way. The journal goes when the send ends; one still there at the next
// start is settled: the SMS on its way is asked of the channel by its reference, the report
// gets its outcomes and verifica2 corrects the charge to the SMS that went out.
namespace sendjournal {

struct Header {
    QString book;       // the address book whose inviati holds the message
    QString messageKey; // the message's report key (store::sendreport::messageKey)
    QString sendId;     // the send's own key: each SMS's reference is sendId.LINE
    QString service;    // host[:port] of the service
    QString user;
    QString password;
    double credit = 0; // as the service gave it before the send: verifica2's numero
    QString channel;   // the channel settings reply
    int lines = 0;     // SMS of the send
};

// The reference SMS number `index` (from 0) of a send carries.
QString reference(const QString& sendId, int index);

class Journal final {
public:
    // Writes the header; nullptr when the file cannot be written.
    static std::unique_ptr<Journal> create(const QString& appFolder, const Header& header);
    ~Journal();
    Journal(const Journal&) = delete;
    Journal& operator=(const Journal&) = delete;

    QString sendId() const { return m_sendId; }
    // verifica2 is about to charge `count` SMS.
    void charging(double count);
    // SMS `index` (from 0) is about to be handed over.
    void handing(int index);
    // What the service answered for SMS `index`: 'A' accepted, 'R' refused, 'N' not sent, '?'
    // uncertain (handed on, its fate unknown).
    void answered(int index, char outcome, const QString& answer);
    // The send ended and its charge is right: the journal goes.
    void close();

private:
    explicit Journal(const QString& path);
    void append(const QString& record);

    QFile m_file;
    QString m_sendId;
};

// A send settled at start.
struct Settled {
    QString book;
    int sent = 0;           // SMS that went out (the one the channel could not tell counted in)
    int lines = 0;          // SMS of the send
    bool uncertain = false; // the channel could not say whether the SMS on its way arrived
};

// Settles every journal left in the folder, one after the other, and gives `done` the sends
// settled (at once when there is none; else from the event loop). A journal the service could
// not be asked for stays for the next start.
void settleAll(const QString& appFolder, std::function<void(const QList<Settled>&)> done);

} // namespace sendjournal
