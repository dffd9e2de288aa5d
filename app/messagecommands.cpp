#include "app/messagecommands.h"

#include "app/commandhost.h"
#include "browser/archivebrowser.h"
#include "core/archivetree.h"
#include "core/session.h"
#include "messaging/delivery.h"
#include "messaging/sendreportwindow.h"
#include "messaging/smslength.h"
#include "platform/dialogs.h"
#include "store/archive.h"
#include "windows/handler.h"

#include <optional>
#include <utility>

MessageCommands::MessageCommands(Session& session, CommandHost& host, QWidget* window)
    : QObject(window)
    , m_session(session)
    , m_host(host)
    , m_window(window) {}

// Sent messages go to the selected address book, or to Principale from any other node; a
// draft goes to the selected node's book.
Composer::Request MessageCommands::composerRequest() const {
    Composer::Request request;
    request.sentBook = archivetree::keyKind(m_host.selectedKey()) == store::ArchiveKind::Contacts
                           ? m_host.selectedText()
                           : QString::fromLatin1(store::archive::principale);
    request.draftBook = m_host.selectedText();
    return request;
}

void MessageCommands::openComposer(const Composer::Request& request) {
    std::optional<std::pair<QString, store::archive::MessageRow>> report;
    {
        Composer window(m_session, request, m_window);
        connect(&window, &Composer::sendArchived, m_host.browser(), &ArchiveBrowser::refreshList);
        connect(&window, &Composer::creditChanged, this, &MessageCommands::creditChanged);
        connect(&window, &Composer::searchRequested, this, &MessageCommands::searchRequested);
        connect(&window, &Composer::reportRequested, this,
                [&report](const QString& book, const store::archive::MessageRow& message) {
                    report.emplace(book, message);
                });
        m_host.showModal(window);
    }
    m_host.browser()->clearCurrentEntry(); // the entry was for this composer
    if (report)
        openSendReport(report->first, report->second);
}

void MessageCommands::openSendReport(const QString& book,
                                     const store::archive::MessageRow& message) {
    m_waiting = std::make_unique<platform::WaitCursor>();
    delivery::askForMessage(m_deliveryHttp, m_session,
                            store::archive::addressBookPath(m_session.appFolder, book), message,
                            [this, book, message](int) {
                                m_waiting.reset();
                                handler::run([&] { showSendReport(book, message); });
                            });
}

void MessageCommands::showSendReport(const QString& book,
                                     const store::archive::MessageRow& message) {
    std::optional<QStringList> resendTo;
    {
        SendReportWindow window(
            {store::archive::addressBookPath(m_session.appFolder, book), message}, m_window);
        if (!window.hasReport()) {
            platform::MsgBox(QStringLiteral("Per questo messaggio non c'è un esito: è stato "
                                            "inviato prima che Quillet registrasse l'esito di "
                                            "ogni invio."),
                             platform::Icon::Information);
            return;
        }
        connect(&window, &SendReportWindow::resendRequested, this,
                [&resendTo](const QStringList& numbers, const QString&) { resendTo = numbers; });
        m_host.showModal(window);
    }
    if (resendTo)
        resend(book, *resendTo, message.testo);
}

// The same text to the numbers that did not get it: a list send, or one number in single mode
// when the text needs more than the one SMS of a list send.
void MessageCommands::resend(const QString& book, const QStringList& numbers, const QString& text) {
    Composer::Request request;
    request.sentBook = request.draftBook = book;
    request.text = text;
    if (numbers.size() == 1 && !sms::fitsOne(text)) {
        request.number = numbers.first();
    } else {
        request.mode = Composer::Mode::List;
        request.recipients = numbers;
        for (const QString& number : numbers)
            request.number += number + QLatin1Char(';');
        request.searchable = false;
    }
    openComposer(request);
}

void MessageCommands::composeTo(const Entry& entry) {
    Composer::Request request = composerRequest();
    request.number = entry.number;
    request.surname = entry.surname;
    if (entry.archive ==
        store::ArchiveKind::Saved) { // a draft: its text, and its list if it had one
        request.text = entry.detail;
        if (entry.number.contains(QLatin1Char(';'))) {
            request.mode = Composer::Mode::List;
            request.recipients = entry.number.split(QLatin1Char(';'));
        }
    }
    openComposer(request);
}

// The last ticked entry wins; with none ticked, the row last clicked.
void MessageCommands::composeForTicked() {
    Entry entry = m_host.browser()->currentEntry();
    m_host.browser()->readTicked(ArchiveBrowser::tickedBatch,
                                 [&entry](const QList<Entry>& ticked) { entry = ticked.last(); });
    Composer::Request request = composerRequest();
    request.number = entry.number;
    request.surname = entry.surname;
    openComposer(request);
}

void MessageCommands::composeForArchive() {
    if (archivetree::keyKind(m_host.selectedKey()) != store::ArchiveKind::Contacts) {
        platform::MsgBox(QStringLiteral("selezionare un Archivio Valido"),
                         platform::Icon::Critical);
        return;
    }
    Composer::Request request = composerRequest();
    request.mode = Composer::Mode::List;
    m_host.browser()->readTicked(ArchiveBrowser::tickedBatch,
                                 [&request](const QList<Entry>& ticked) {
                                     for (const Entry& entry : ticked) {
                                         request.recipients.append(entry.number);
                                         request.number += entry.number + QLatin1Char(';');
                                     }
                                 });
    request.searchable = false;
    openComposer(request);
}
