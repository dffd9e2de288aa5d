#include "messaging/sendsequencer.h"

#include "app/session.h"
#include "app/settings.h"
#include "messaging/account.h"
#include "messaging/gatewayrequests.h"
#include "messaging/smssplitter.h"
#include "platform/clock.h"
#include "store/archive.h"
#include "store/database.h"

SendSequencer::SendSequencer(Session& state)
    : m_state(state) {}

double SendSequencer::remaining() const {
    return m_state.credit - m_count;
}

// A request whose transfer failure counts as no reply; the failure is kept for the user.
QString SendSequencer::request(const QUrl& url) {
    try {
        return m_inet.OpenURL(url);
    } catch (const InetError& e) {
        m_failure = e.message();
        return {};
    }
}

SendSequencer::Command SendSequencer::command(const Message& message) {
    m_message = message;
    m_creditReply = QStringLiteral("-1");
    m_state.credit = -1;
    m_settingsReply.clear();
    m_failure.clear();
    m_sent = 0;
    m_refused = 0;
    m_firstRefusal.clear();
    m_cacheWritten = false;
    m_parts = sms::cut(message.text, message.atBlank);
    m_count = m_parts.size();
    m_rounds = 0;
    if (m_parts.isEmpty())
        return Command::EmptyText;
    if (m_parts.size() > sms::maxParts)
        return Command::TooLong;
    if (message.list && sms::length(message.text) > sms::partLength)
        return Command::TooLongForList;
    return Command::Ready;
}

SendSequencer::Ask SendSequencer::ask() {
    const auto fields = account::read(m_state.appFolder);
    if (!fields)
        return Ask::NoAccount;
    m_state.account = *fields;
    if (fields->size() < 2 || fields->at(0).isEmpty() || fields->at(1).isEmpty())
        return Ask::IncompleteAccount;
    m_user = fields->at(0);
    m_password = fields->at(1);

    using namespace gatewayrequests;
    const Account account{m_user, m_password};
    m_creditReply = stripLeadingBlank(request(creditQuery(m_state.service, account)));
    if (!m_creditReply.isEmpty())
        m_settingsReply =
            stripLeadingBlank(request(channelSettingsRequest(m_state.service, account)));
    return Ask::Asked;
}

SendSequencer::Check SendSequencer::creditCheck() {
    if (m_creditReply == QLatin1String("-1"))
        return Check::NoCredit;
    if (m_creditReply.isEmpty())
        return Check::ConnectionFailed;
    if (m_creditReply == QLatin1String("0"))
        return Check::CreditExhausted;
    if (m_message.list)
        m_count = m_message.recipients.size();
    const auto credit = settings::parseCredit(m_creditReply);
    if (!credit) {
        m_failure = QStringLiteral("Risposta del servizio: ") + m_creditReply;
        m_creditReply = QStringLiteral("-1");
        return Check::ConnectionFailed;
    }
    if (*credit < m_count)
        return Check::InsufficientCredit;
    if (!gatewayrequests::parseChannelSettings(m_settingsReply))
        return Check::NoChannel;
    m_state.credit = *credit;
    return Check::Proceed;
}

void SendSequencer::archive(const QString& bookPath) {
    m_inet.OpenURL(gatewayrequests::verificaRequest(m_state.service, {m_user, m_password},
                                                    m_state.credit, m_count));
    m_state.archive.open(bookPath);
    store::archive::addMessage(
        m_state.archive.openRecordset(QStringLiteral("inviati")),
        {m_message.surname, m_message.numberLabel, platform::Clock::nowText(), m_message.text});
}

SendSequencer::Sending SendSequencer::send(const Progress& progress) {
    using namespace gatewayrequests;
    const Account account{m_user, m_password};
    if (m_message.list)
        m_count = m_message.recipients.size();
    m_rounds = static_cast<int>(m_count);

    auto finish = [&](Sending outcome) {
        if (m_sent < m_rounds) // correct the charge to what went out
            request(verifica2Request(m_state.service, account, m_state.credit, m_count));
        m_cacheWritten = account::writeCreditCache(m_state.appFolder, remaining());
        return outcome;
    };

    try {
        m_inet.OpenURL(verifica2Request(m_state.service, account, m_state.credit, m_count));
        m_inet.OpenURL(verificaRequest(m_state.service, account, m_state.credit, m_count));
    } catch (const InetError& e) {
        m_failure = e.message();
        m_count = 0;
        return finish(Sending::Interrupted);
    }

    const auto channel = parseChannelSettings(m_settingsReply).value_or(ChannelSettings{});
    m_sms.setProperty(SMSSX::Host, channel.host);
    m_sms.setProperty(SMSSX::Account, channel.account);
    m_sms.setProperty(SMSSX::Port, channel.port);
    m_sms.setProperty(SMSSX::Flash, m_message.flash);
    m_sms.setProperty(SMSSX::Sender, m_message.sender);

    for (int round = 1; round <= m_rounds; ++round) {
        const QString number =
            m_message.list ? m_message.recipients.value(round - 1) : m_message.number;
        if (progress.before)
            progress.before(round, number);
        const QString& text = m_parts.value(m_message.list ? 0 : round - 1);
        const int result = m_sms.invoke(SMSSX::Send, QStringLiteral("+39") + number, text);
        if (progress.after)
            progress.after(round, m_count);
        if (result == SMSSX::Accepted) {
            ++m_sent;
        } else if (result < 0) {
            // Nobody to hand the rest to: stop, and charge only what went out.
            m_failure = m_sms.lastError();
            m_count = m_sent;
            return finish(Sending::Interrupted);
        } else {
            m_count -= 1;
            if (m_refused++ == 0)
                m_firstRefusal =
                    m_sms.lastRefusal().isEmpty() ? m_sms.lastError() : m_sms.lastRefusal();
        }
    }
    return finish(m_refused > 0 ? Sending::SomeRefused : Sending::Completed);
}
