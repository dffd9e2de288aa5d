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

// Settles one journal; false when the service did not answer, so it stays for next time.
bool settle(const QString& appFolder, const QString& path, Settled& settled) {
    const auto contents = read(path);
    if (!contents) // cut short in its header: nothing was archived, charged or sent
        return QFile::remove(path);
    Contents c = *contents;
    using Outcome = store::sendreport::Outcome;
    settled.book = c.header.book;
    settled.lines = c.header.lines;
    if (c.onItsWay >= 0) {
        SMSSX sms;
        if (const auto channel = gatewayrequests::parseChannelSettings(c.header.channel)) {
            sms.setHost(channel->host);
            sms.setAccount(channel->account);
            sms.setPort(channel->port);
        }
        const auto arrived = sms.received(reference(c.header.sendId, c.onItsWay));
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
    }
    for (const auto& [outcome, answer] : std::as_const(c.answers))
        settled.sent += outcome == Outcome::Accepted || outcome == Outcome::Pending ? 1 : 0;

    if (c.charged) {
        const QUrl url = gatewayrequests::verifica2Request(
            c.header.service, {c.header.user, c.header.password}, c.header.credit, settled.sent);
        try {
            if (Inet().OpenURL(url, gatewayrequests::shortAnswerBytes).trimmed().isEmpty())
                return false;
        } catch (const InetError&) {
            return false;
        }
        account::writeCreditCache(appFolder, c.header.credit - settled.sent);
    }
    const QString book = store::archive::addressBookPath(appFolder, c.header.book);
    if (QFile::exists(book)) {
        try {
            const auto db = store::Database::open(book);
            store::sendreport::settle(*db, c.header.messageKey, c.answers);
        } catch (const std::exception&) {
            return false;
        }
    }
    return QFile::remove(path);
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

QList<Settled> settleAll(const QString& appFolder) {
    QList<Settled> done;
    const QDir dir(store::archive::addressBookDir(appFolder));
    for (const QString& name : dir.entryList({u'*' + suffix}, QDir::Files)) {
        Settled settled;
        if (settle(appFolder, dir.filePath(name), settled))
            done.append(settled);
    }
    return done;
}

} // namespace sendjournal
