#pragma once

#include "messaging/account.h"
#include "messaging/httpget.h"
#include "messaging/inet.h"
#include "platform/waitcursor.h"

#include <QObject>

#include <memory>

class CommandHost;
class QWidget;
struct Session;

// The account with the SMS service: its window and sender header, "Aggiorna Credito" with the
// delivery states it brings, and the service's web pages.
class AccountCommands final : public QObject {
    Q_OBJECT
public:
    AccountCommands(Session& session, CommandHost& host, QWidget* window);

    void openAccount();
    void openSenderHeader();
    // Refreshes the credit from the service.
    void updateCredit();
    void openBuyCreditPage();
    void openAffiliatePage();
    void openAffiliateProgram();

signals:
    // The credit as the service wrote it.
    void creditRead(const QString& credit);

private:
    void showRefresh(const account::Refresh& refresh);
    void openServicePage(const QString& pathAndQuery);

    Session& m_session;
    CommandHost& m_host;
    QWidget* m_window;
    // The service's answers, and the hourglass while one is awaited.
    Inet m_creditInet;
    HttpGet m_deliveryHttp;
    std::unique_ptr<platform::WaitCursor> m_waiting;
};
