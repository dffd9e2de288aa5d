#include "app/accountcommands.h"

#include "app/commandhost.h"
#include "browser/archivebrowser.h"
#include "core/session.h"
#include "messaging/accountwindow.h"
#include "messaging/delivery.h"
#include "messaging/senderheaderwindow.h"
#include "messaging/service.h"
#include "platform/dialogs.h"
#include "store/archive.h"
#include "windows/handler.h"

AccountCommands::AccountCommands(Session& session, CommandHost& host, QWidget* window)
    : QObject(window)
    , m_session(session)
    , m_host(host)
    , m_window(window) {}

void AccountCommands::openAccount() {
    AccountWindow window(m_session, m_window);
    m_host.showModal(window);
}

void AccountCommands::openSenderHeader() {
    SenderHeaderWindow window(m_session, m_window);
    m_host.showModal(window);
}

void AccountCommands::updateCredit() {
    m_waiting = std::make_unique<platform::WaitCursor>();
    account::refreshCredit(m_session, m_creditInet, [this](const account::Refresh& refresh) {
        m_waiting.reset();
        handler::run([&] { showRefresh(refresh); });
    });
}

void AccountCommands::showRefresh(const account::Refresh& refresh) {
    switch (refresh.outcome) {
    case account::Refresh::NoAccountFile:
        break;
    case account::Refresh::IncompleteAccount:
        platform::MsgBox(QStringLiteral("Account incompleto: inserire Nome Utente e Password"),
                         platform::Icon::Critical);
        break;
    case account::Refresh::NoConnection:
        platform::MsgBox(QStringLiteral("Connessione non Riuscita \nVerificare la Connessione ad "
                                        "Internet e ritentare"),
                         platform::Icon::Exclamation);
        break;
    case account::Refresh::TransportFailed:
        platform::MsgBox(refresh.reply, platform::Icon::Critical);
        break;
    case account::Refresh::InvalidReply:
        platform::MsgBox(QStringLiteral("Risposta del servizio non valida: ") + refresh.reply,
                         platform::Icon::Critical);
        break;
    case account::Refresh::CannotWrite:
        platform::MsgBox(QStringLiteral("Impossibile scrivere il file residui.txt."),
                         platform::Icon::Critical);
        break;
    case account::Refresh::Updated: {
        emit creditRead(refresh.reply);
        const auto updated = [this](int changed) {
            m_waiting.reset();
            if (changed > 0)
                handler::run([this] { m_host.browser()->refreshList(); });
            platform::MsgBox(QStringLiteral("Credito Aggiornato"), platform::Icon::Information);
        };
        const QString book = m_host.listedBook();
        if (book.isEmpty())
            return updated(0);
        m_waiting = std::make_unique<platform::WaitCursor>();
        delivery::askForRecent(m_deliveryHttp, m_session,
                               store::archive::addressBookPath(m_session.appFolder, book), updated);
        break;
    }
    }
}

void AccountCommands::openBuyCreditPage() {
    openServicePage(QStringLiteral("cgi-bin/affiliate/giacli.pl?") +
                    service::affiliateQuery(m_session.affiliate));
}

void AccountCommands::openAffiliatePage() {
    openServicePage(QStringLiteral("affiliate1/affiliati.htm"));
}

void AccountCommands::openAffiliateProgram() {
    openServicePage(QStringLiteral("cgi-bin/affiliate/programma.pl?") +
                    service::affiliateQuery(m_session.affiliate));
}

void AccountCommands::openServicePage(const QString& pathAndQuery) {
    platform::openUrl(service::pageUrl(m_session.service, pathAndQuery));
}
