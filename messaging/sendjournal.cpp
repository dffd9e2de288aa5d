#include "messaging/sendjournal.h"

#include "messaging/account.h"
#include "messaging/gatewayrequests.h"
#include "messaging/inet.h"
#include "messaging/smssx.h"
#include "store/archive.h"
#include "store/database.h"
#include "store/sendreport.h"

#include <QDir>
#include <QHash>

#include <exception>
#include <functional>
#include <memory>
#include <optional>

namespace sendjournal {

namespace {

const QString suffix = QStringLiteral(".invio");

// One field of a record: no tab or line break.
QString field(QString text) {
    for (QChar& c : text) {
        if (c == u'\t' || c == u'\n' || c == u'\r')
            c = u' ';
    }
    return text;
}

QString number(double value) {
    return QString::number(value, 'g', 17);
}

// A journal as read back: the last record may be cut short and is left out.
struct Contents {
    Header header;
    bool charged = false;
    QHash<int, std::pair<store::sendreport::Outcome, QString>> answers;
    int onItsWay = -1; // the SMS handed over without an answer
};

std::optional<Contents> read(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    QList<QByteArray> records = file.readAll().split('\n');
    records.removeLast(); // empty, or a record without its end
    Contents c;
    int handed = -1;
    for (const QByteArray& record : std::as_const(records)) {
        const QStringList f = QString::fromUtf8(record).split(u'\t');
        const QString& tag = f.first();
        const QString value = f.value(1);
        if (tag == u"libro")
            c.header.book = value;
        else if (tag == u"messaggio")
            c.header.messageKey = value;
        else if (tag == u"invio")
            c.header.sendId = value;
        else if (tag == u"servizio")
            c.header.service = value;
        else if (tag == u"utente")
            c.header.user = value;
        else if (tag == u"password")
            c.header.password = value;
        else if (tag == u"credito")
            c.header.credit = value.toDouble();
        else if (tag == u"canale")
            c.header.channel = value;
        else if (tag == u"sms")
            c.header.lines = value.toInt();
        else if (tag == u"addebito")
            c.charged = true;
        else if (tag == u">")
            handed = value.toInt();
        else if (tag.size() == 1 && QStringLiteral("ARN?").contains(tag))
            c.answers.insert(value.toInt(),
                             {store::sendreport::Outcome(tag.front().toLatin1()), f.value(2)});
    }
    if (handed >= 0 && !c.answers.contains(handed))
        c.onItsWay = handed;
    if (c.header.messageKey.isEmpty() || c.header.sendId.isEmpty())
        return std::nullopt;
    return c;
}

// Journals settled one after the other; the components of the one being settled.
struct Settling {
    QString appFolder;
    QStringList paths;
    QList<Settled> settled;
    std::function<void(const QList<Settled>&)> done;
    SMSSX sms;
    Inet inet;
};

void settleNext(const std::shared_ptr<Settling>& run);

// The book's report gets the answers; the journal goes, and the send counts as settled.
void closeJournal(const std::shared_ptr<Settling>& run, const QString& path, const Contents& c,
                  const Settled& settled) {
    const QString book = store::archive::addressBookPath(run->appFolder, c.header.book);
    try {
        if (QFile::exists(book))
            store::sendreport::settle(*store::Database::open(book), c.header.messageKey, c.answers);
        if (QFile::remove(path))
            run->settled.append(settled);
    } catch (const std::exception&) { // stays for next time
    }
    settleNext(run);
}

// verifica2 corrects the charge to the SMS that went out; a service that does not answer
// leaves the journal for next time.
void correctCharge(const std::shared_ptr<Settling>& run, const QString& path, const Contents& c,
                   Settled settled) {
    for (const auto& [outcome, answer] : std::as_const(c.answers))
        settled.sent += outcome == store::sendreport::Outcome::Accepted ||
                                outcome == store::sendreport::Outcome::Pending
                            ? 1
                            : 0;
    if (!c.charged)
        return closeJournal(run, path, c, settled);
    const QUrl url = gatewayrequests::verifica2Request(
        c.header.service, {c.header.user, c.header.password}, c.header.credit, settled.sent);
    run->inet.OpenURL(url, gatewayrequests::shortAnswerBytes,
                      [run, path, c, settled](const Inet::Reply& reply) {
                          if (reply.failed() || reply.text.trimmed().isEmpty())
                              return settleNext(run);
                          account::writeCreditCache(run->appFolder, c.header.credit - settled.sent);
                          closeJournal(run, path, c, settled);
                      });
}

// The SMS on its way, asked of the channel by its reference.
void askArrival(const std::shared_ptr<Settling>& run, const QString& path, Contents c,
                Settled settled) {
    const auto channel = gatewayrequests::parseChannelSettings(c.header.channel)
                             .value_or(gatewayrequests::ChannelSettings{});
    run->sms.setHost(channel.host);
    run->sms.setAccount(channel.account);
    run->sms.setPort(channel.port);
    run->sms.received(reference(c.header.sendId, c.onItsWay), [run, path, c,
                                                               settled](std::optional<bool>
                                                                            arrived) mutable {
        using Outcome = store::sendreport::Outcome;
        settled.uncertain = !arrived;
        // Not known: counted as sent, as the channel most likely took it; the report says
        // nobody knows.
        if (!arrived)
            c.answers.insert(c.onItsWay, {Outcome::Pending, store::sendreport::uncertainAnswer});
        else
            c.answers.insert(c.onItsWay,
                             {*arrived ? Outcome::Accepted : Outcome::NotSent,
                              *arrived ? QStringLiteral("Arrivato al canale; risposta persa "
                                                        "all'interruzione dell'invio")
                                       : QStringLiteral("Non arrivato al canale: invio "
                                                        "interrotto")});
        correctCharge(run, path, c, settled);
    });
}

void settleNext(const std::shared_ptr<Settling>& run) {
    if (run->paths.isEmpty()) {
        const auto done = std::exchange(run->done, nullptr);
        if (done)
            done(run->settled);
        return;
    }
    const QString path = run->paths.takeFirst();
    const auto contents = read(path);
    if (!contents) { // cut short in its header: nothing was archived, charged or sent
        QFile::remove(path);
        return settleNext(run);
    }
    Settled settled;
    settled.book = contents->header.book;
    settled.lines = contents->header.lines;
    if (contents->onItsWay >= 0)
        askArrival(run, path, *contents, settled);
    else
        correctCharge(run, path, *contents, settled);
}

} // namespace

QString reference(const QString& sendId, int index) {
    return sendId + u'.' + QString::number(index + 1);
}

Journal::Journal(const QString& path)
    : m_file(path) {}

Journal::~Journal() = default;

std::unique_ptr<Journal> Journal::create(const QString& appFolder, const Header& header) {
    std::unique_ptr<Journal> journal(
        new Journal(store::archive::addressBookPath(appFolder, header.book) + suffix));
    journal->m_sendId = header.sendId;
    if (!journal->m_file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered))
        return nullptr;
    QString text;
    const std::pair<const char*, QString> fields[] = {{"libro", header.book},
                                                      {"messaggio", header.messageKey},
                                                      {"invio", header.sendId},
                                                      {"servizio", header.service},
                                                      {"utente", header.user},
                                                      {"password", header.password},
                                                      {"credito", number(header.credit)},
                                                      {"canale", header.channel},
                                                      {"sms", QString::number(header.lines)}};
    for (const auto& [tag, value] : fields)
        text += QLatin1String(tag) + u'\t' + field(value) + u'\n';
    const QByteArray bytes = text.toUtf8();
    if (journal->m_file.write(bytes) != bytes.size()) {
        journal->close();
        return nullptr;
    }
    return journal;
}

void Journal::append(const QString& record) {
    m_file.write((record + u'\n').toUtf8());
}

void Journal::charging(double count) {
    append(QStringLiteral("addebito\t") + number(count));
}

void Journal::handing(int index) {
    append(QStringLiteral(">\t") + QString::number(index));
}

void Journal::answered(int index, char outcome, const QString& answer) {
    append(QString(QLatin1Char(outcome)) + u'\t' + QString::number(index) + u'\t' + field(answer));
}

void Journal::close() {
    m_file.close();
    m_file.remove();
}

void settleAll(const QString& appFolder, std::function<void(const QList<Settled>&)> done) {
    auto run = std::make_shared<Settling>();
    run->appFolder = appFolder;
    run->done = std::move(done);
    const QDir dir(store::archive::addressBookDir(appFolder));
    for (const QString& name : dir.entryList({u'*' + suffix}, QDir::Files))
        run->paths.append(dir.filePath(name));
    settleNext(run);
}

} // namespace sendjournal
