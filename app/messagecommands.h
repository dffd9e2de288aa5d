#pragma once

#include "browser/entry.h"
#include "messaging/composer.h"
#include "messaging/httpget.h"
#include "platform/waitcursor.h"

#include <QObject>

#include <memory>

class CommandHost;
class QWidget;
struct Session;

// The SMS menu's composers and the report of a send ("Esito invio") with its resend.
class MessageCommands final : public QObject {
    Q_OBJECT
public:
    MessageCommands(Session& session, CommandHost& host, QWidget* window);

    // The composer for the entry last ticked, or for every ticked contact.
    void composeForTicked();
    void composeForArchive();
    // The composer on a row of the browser or on a contact found by the search.
    void composeTo(const Entry& entry);
    // "Esito invio" of a message sent from `book`, once the service told the latest delivery
    // states; its "Reinvia ai non riusciti" opens the composer.
    void openSendReport(const QString& book, const store::archive::MessageRow& message);

signals:
    void creditChanged(double credit);
    // The composer's search button: the search opens beside it.
    void searchRequested();

private:
    Composer::Request composerRequest() const;
    void openComposer(const Composer::Request& request);
    void showSendReport(const QString& book, const store::archive::MessageRow& message);
    void resend(const QString& book, const QStringList& numbers, const QString& text);

    Session& m_session;
    CommandHost& m_host;
    QWidget* m_window;
    HttpGet m_deliveryHttp;
    std::unique_ptr<platform::WaitCursor> m_waiting; // while the delivery states are awaited
};
