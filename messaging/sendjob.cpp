#include "messaging/sendjob.h"

#include "contacts/excludednumbers.h"
#include "contacts/phonenumber.h"

#include "core/session.h"
#include "core/settings.h"
#include "messaging/account.h"
#include "messaging/gatewayrequests.h"
#include "messaging/smslength.h"
#include "messaging/smssplitter.h"
#include "platform/clock.h"
#include "store/archive.h"
#include "store/database.h"
#include "store/sendreport.h"
#include "store/storeerror.h"

#include <QRandomGenerator>

#include <utility>

using gatewayrequests::ChannelSettings;

// Each step runs from the event loop and traps its own failures: nothing escapes to it, and
// nothing runs once the send has ended.
template <typename Step> auto SendJob::guarded(Step step) {
    return [this, step = std::move(step)](const auto&... answer) {
        if (!m_running)
            return;
        try {
            step(answer...);
        } catch (const store::StoreError& e) {
            m_result.failure = e.message();
            finish(Outcome::Failed);
        } catch (const std::exception& e) {
            m_result.failure = QString::fromLocal8Bit(e.what());
            finish(Outcome::Failed);
        }
    };
}

SendJob::SendJob(Session& state, QObject* parent)
    : QObject(parent)
    , m_state(state) {
    m_startTimer.setSingleShot(true);
    m_startTimer.setInterval(0);
    connect(&m_startTimer, &QTimer::timeout, this,
            [step = guarded([this] { askService(); })] { step(); });
    m_reportTimer.setSingleShot(true);
    m_reportTimer.setInterval(0);
    connect(&m_reportTimer, &QTimer::timeout, this,
            [step = guarded([this] { writeReport(); })] { step(); });
}

SendJob::~SendJob() {
    cancel();
}

double SendJob::remaining() const {
    return m_credit - m_count;
}

// The text of a reply; a transport failure counts as no reply, and is kept for the user.
QString SendJob::textOf(const Inet::Reply& reply) {
    if (reply.failed())
        m_result.failure = reply.failure;
    return reply.text;
}

void SendJob::start(const Message& message) {
    cancel();
    m_message = message;
    m_result = {};
    m_creditReply = QStringLiteral("-1");
    m_credit = -1;
    m_settingsReply.clear();
    const bool filledOne = !message.list && !message.texts.isEmpty();
    m_parts = sms::cut(filledOne ? message.texts.first() : message.text, message.atBlank);
    m_count = m_parts.size();
    m_running = true;
    if (m_parts.isEmpty())
        return finish(Outcome::EmptyText);
    if (m_parts.size() > sms::maxParts)
        return finish(Outcome::TooLong);
    if (message.list && !message.texts.isEmpty() &&
        message.texts.size() != message.recipients.size())
        return finish(Outcome::Failed);
    if (message.list) {
        leaveOutExcluded();
        if (m_message.recipients.isEmpty())
            return finish(Outcome::AllExcluded);
    }
    if (message.list && message.texts.isEmpty() && !sms::fitsOne(message.text))
        return finish(Outcome::TooLongForList);
    if (message.list) {
        for (qsizetype i = 0; i < m_message.texts.size(); ++i) {
            if (!sms::fitsOne(m_message.texts[i])) {
                m_result.tooLong = static_cast<int>(i);
                return finish(Outcome::TooLongForList);
            }
        }
    }
    emit statusChanged(QStringLiteral("Verifica Credito"));
    m_startTimer.start(); // once the window has shown the status
}

void SendJob::cancel() {
    m_startTimer.stop();
    m_reportTimer.stop();
    m_inet.cancel();
    m_sms.cancel();
    m_running = false;
    if (m_report) { // stopped between steps: what did not go is not sent
        m_report->finish();
        m_report.reset();
    }
    m_book.reset();
    if (m_journal) // nothing was charged or handed over yet
        m_journal->close();
    m_journal.reset();
}

void SendJob::finish(Outcome outcome) {
    if (!m_running)
        return;
    m_running = false;
    m_result.outcome = outcome;
    if (m_report) {
        m_report->finish();
        m_result.reportWritten = !m_report->failed();
        m_report.reset();
    }
    m_book.reset();
    if (m_journal && !std::exchange(m_keepJournal, false))
        m_journal->close();
    m_journal.reset();
    emit finished(m_result);
}

// A list skips the excluded numbers: they are neither charged nor handed over, and the report
// lists them after the others.
void SendJob::leaveOutExcluded() {
    m_excluded.clear();
    m_excludedTexts.clear();
    const excluded::List list = excluded::List::load(m_state.appFolder);
    if (list.numbers().isEmpty())
        return;
    QStringList kept, keptTexts;
    for (qsizetype i = 0; i < m_message.recipients.size(); ++i) {
        const QString& number = m_message.recipients[i];
        const bool skip = list.contains(number);
        (skip ? m_excluded : kept) << number;
        if (!m_message.texts.isEmpty())
            (skip ? m_excludedTexts : keptTexts) << m_message.texts[i];
    }
    m_message.recipients = kept;
    m_message.texts = keptTexts;
    m_result.excluded = static_cast<int>(m_excluded.size());
}

// Reads the account afresh and asks for the credit and the channel settings.
void SendJob::askService() {
    const auto fields = account::read(m_state.appFolder);
    if (!fields)
        return finish(Outcome::NoAccount);
    const auto complete = account::complete(*fields);
    if (!complete)
        return finish(Outcome::NoAccount);
    m_user = complete->user;
    m_password = complete->password;

    using namespace gatewayrequests;
    m_inet.OpenURL(creditQuery(m_state.service, *complete), creditAnswerBytes,
                   guarded([this](const Inet::Reply& credit) {
                       m_creditReply = stripLeadingBlank(textOf(credit));
                       if (m_creditReply.isEmpty())
                           return checkCredit();
                       m_inet.OpenURL(channelSettingsRequest(m_state.service, {m_user, m_password}),
                                      shortAnswerBytes,
                                      guarded([this](const Inet::Reply& settings) {
                                          m_settingsReply = stripLeadingBlank(textOf(settings));
                                          checkCredit();
                                      }));
                   }));
}

// The credit check; then verifica before anything is archived.
void SendJob::checkCredit() {
    if (m_creditReply == QLatin1String("-1")) {
        emit statusChanged(QStringLiteral("Credito Esaurito"));
        return finish(Outcome::NoCredit);
    }
    if (m_creditReply.isEmpty())
        return finish(Outcome::ConnectionFailed);
    if (m_creditReply == QLatin1String("0"))
        return finish(Outcome::CreditExhausted);
    if (m_message.list)
        m_count = m_message.recipients.size();
    const auto credit = settings::parseCredit(m_creditReply);
    if (!credit) {
        m_result.failure = QStringLiteral("Risposta del servizio: ") + m_creditReply;
        return finish(Outcome::ConnectionFailed);
    }
    if (*credit < m_count)
        return finish(Outcome::InsufficientCredit);
    if (!gatewayrequests::parseChannelSettings(m_settingsReply))
        return finish(Outcome::NoChannel);
    m_credit = *credit;
    m_inet.OpenURL(
        gatewayrequests::verificaRequest(m_state.service, {m_user, m_password}, m_credit, m_count),
        gatewayrequests::shortAnswerBytes, guarded([this](const Inet::Reply& verifica) {
            if (verifica.failed())
                return finish(Outcome::NotArchived);
            archive();
        }));
}

// The report of the send and the one row in inviati, before anything is charged.
void SendJob::archive() {
    try {
        m_book = store::Database::open(
            store::archive::addressBookPath(m_state.appFolder, m_message.book));
        const store::archive::MessageRow row{m_message.surname, m_message.numberLabel,
                                             platform::Clock::nowText(), m_message.text};
        const auto lines = reportLines();
        m_journal = sendjournal::Journal::create(
            m_state.appFolder, {m_message.book, store::sendreport::messageKey(row),
                                QString::number(QRandomGenerator::system()->generate64(), 16),
                                m_state.service, m_user, m_password, m_credit, m_settingsReply,
                                static_cast<int>(lines.size() - m_excluded.size())});
        if (!m_journal)
            return finish(Outcome::NotArchived);
        store::archive::addMessage(*m_book->openRecordset(QStringLiteral("inviati")), row);
        m_result.archived = row;
        m_report = store::sendreport::Writer::deferred(*m_book, row, lines);
    } catch (const std::exception&) {
        return finish(Outcome::NotArchived);
    }
    m_reportTimer.start(); // once the window has painted
}

// The report's lines, a slice per turn of the event loop so the window paints between; then
// the charge.
void SendJob::writeReport() {
    if (!m_report->writeLines(reportSlice))
        return m_reportTimer.start();
    emit archived();
    emit statusChanged(QStringLiteral("Disponibilità OK"));
    charge();
}

// One line per SMS, all pending: each recipient in list mode, each part in single mode.
QList<store::sendreport::Line> SendJob::reportLines() const {
    QList<store::sendreport::Line> lines;
    store::sendreport::Line line;
    if (m_message.list) {
        for (qsizetype i = 0; i < m_message.recipients.size(); ++i) {
            line.number = m_message.recipients[i];
            line.text = m_message.texts.value(i);
            lines.append(line);
        }
        line.outcome = store::sendreport::Outcome::Excluded;
        for (qsizetype i = 0; i < m_excluded.size(); ++i) {
            line.number = m_excluded[i];
            line.text = m_excludedTexts.value(i);
            lines.append(line);
        }
    } else {
        line.number = m_message.number;
        line.surname = m_message.surname.trimmed();
        line.text = m_message.texts.value(0);
        for (int part = 1; part <= m_parts.size(); ++part) {
            line.part = part;
            lines.append(line);
        }
    }
    return lines;
}

// Charges (verifica2, then verifica), configures the sending component and hands over the
// first SMS.
void SendJob::charge() {
    using namespace gatewayrequests;
    if (m_message.list)
        m_count = m_message.recipients.size();
    m_result.rounds = static_cast<int>(m_count);
    emit progress(0, m_result.rounds);
    m_journal->charging(m_count);
    const Account account{m_user, m_password};
    const auto failed = [this](const Inet::Reply& reply) {
        if (!reply.failed())
            return false;
        m_result.failure = reply.failure;
        m_count = 0;
        end(Outcome::Interrupted);
        return true;
    };
    m_inet.OpenURL(verifica2Request(m_state.service, account, m_credit, m_count), shortAnswerBytes,
                   guarded([this, account, failed](const Inet::Reply& verifica2) {
                       if (failed(verifica2))
                           return;
                       m_inet.OpenURL(verificaRequest(m_state.service, account, m_credit, m_count),
                                      shortAnswerBytes,
                                      guarded([this, failed](const Inet::Reply& verifica) {
                                          if (failed(verifica))
                                              return;
                                          configureChannel();
                                          handOver(1);
                                      }));
                   }));
}

void SendJob::configureChannel() {
    const auto channel =
        gatewayrequests::parseChannelSettings(m_settingsReply).value_or(ChannelSettings{});
    m_sms.setProperty(SMSSX::Host, channel.host);
    m_sms.setProperty(SMSSX::Account, channel.account);
    m_sms.setProperty(SMSSX::Port, channel.port);
    m_sms.setProperty(SMSSX::Flash, m_message.flash);
    m_sms.setProperty(SMSSX::Sender, m_message.sender);
}

// Hands SMS number `round` (from 1) to the sending component; its answer hands over the next.
void SendJob::handOver(int round) {
    if (round > m_result.rounds)
        return end(m_result.refused > 0 ? Outcome::SomeRefused : Outcome::Completed);
    const QString number =
        m_message.list ? m_message.recipients.value(round - 1) : m_message.number;
    emit recipientStarted(round, number);
    const QString& text = m_message.list ? listText(round) : m_parts.value(round - 1);
    m_sms.setReference(sendjournal::reference(m_journal->sendId(), round - 1));
    m_journal->handing(round - 1);
    // An Italian number is kept without its country code, a foreign one with it.
    const QString international = phone::international(number);
    m_sms.invoke(SMSSX::Send, international.isEmpty() ? number : international, text,
                 guarded([this, round](int result) { record(round, result); }));
}

// The SMS of recipient `round` (from 1) of a list: its own text when the message has fields.
const QString& SendJob::listText(int round) const {
    return m_message.texts.isEmpty() ? m_parts.constFirst() : m_message.texts.at(round - 1);
}

// What became of SMS number `round`; then the next, or the end.
void SendJob::record(int round, int result) {
    // The total as it stands before this SMS is counted out.
    emit statusChanged(QStringLiteral("Inviati %1 di %2").arg(round).arg(m_count));
    emit progress(round, m_result.rounds);
    using Sms = store::sendreport::Outcome;
    if (result == SMSSX::Accepted) {
        ++m_result.sent;
        m_journal->answered(round - 1, 'A', m_sms.lastAnswer());
        m_report->record(round - 1, Sms::Accepted, m_sms.lastAnswer(), m_sms.lastKey());
    } else if (result == SMSSX::Uncertain) {
        // Paid for and perhaps gone: never offered for resending; its report will tell.
        ++m_result.sent;
        m_journal->answered(round - 1, '?', store::sendreport::uncertainAnswer);
        m_report->record(round - 1, Sms::Pending, store::sendreport::uncertainAnswer,
                         m_sms.lastKey());
    } else if (result < 0) {
        // Nobody to hand the rest to: stop, and charge only what went out.
        m_result.failure = m_sms.lastError();
        m_count = m_result.sent;
        m_journal->answered(round - 1, 'N', m_sms.lastError());
        m_report->record(round - 1, Sms::NotSent, m_sms.lastError());
        return end(Outcome::Interrupted);
    } else {
        m_count -= 1;
        const QString answer =
            m_sms.lastRefusal().isEmpty() ? m_sms.lastError() : m_sms.lastRefusal();
        if (m_result.refused++ == 0)
            m_result.firstRefusal = answer;
        m_journal->answered(round - 1, 'R', answer);
        m_report->record(round - 1, Sms::Refused, answer);
    }
    handOver(round + 1);
}

// Corrects the charge to what went out, writes the credit cache and ends.
void SendJob::end(Outcome outcome) {
    const auto close = [this, outcome] {
        m_result.creditCacheWritten = account::writeCreditCache(m_state.appFolder, remaining());
        emit creditChanged(remaining());
        emit statusChanged(outcome == Outcome::Interrupted ? QStringLiteral("Invio interrotto")
                                                           : QStringLiteral("Invio Completato"));
        finish(outcome);
    };
    if (m_result.sent >= m_result.rounds)
        return close();
    m_inet.OpenURL(
        gatewayrequests::verifica2Request(m_state.service, {m_user, m_password}, m_credit, m_count),
        gatewayrequests::shortAnswerBytes, guarded([this, close](const Inet::Reply& correction) {
            m_keepJournal = textOf(correction).isEmpty();
            close();
        }));
}
