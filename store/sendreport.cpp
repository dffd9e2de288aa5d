#include "store/sendreport.h"

#include "store/database.h"
#include "store/sqlite.h"

#include <QCryptographicHash>
#include <QHash>

#include <algorithm>
#include <exception>
#include <optional>

namespace store::sendreport {

namespace {

// Outcomes pile up in memory for this long before they are written: a handful of commits a
// second whatever the pace of the send.
constexpr qint64 batchMs = 250;

Outcome outcomeOf(QByteArrayView code) {
    switch (code.isEmpty() ? '?' : code.front()) {
    case 'A':
        return Outcome::Accepted;
    case 'R':
        return Outcome::Refused;
    case 'N':
        return Outcome::NotSent;
    case 'E':
        return Outcome::Excluded;
    default:
        return Outcome::Pending;
    }
}

QString code(Outcome outcome) {
    return QString(QLatin1Char(static_cast<char>(outcome)));
}

// The surname the address book has for a number, or the name of a contact without one: one
// statement through the number's index, asked once for each number.
class Surnames final {
public:
    explicit Surnames(Database& db) {
        if (!db.hasTable(archive::rubricaTable().name))
            return;
        m_lookup.emplace(*db.connection(),
                         QStringLiteral("SELECT cognome, Nome FROM rubrica WHERE cellulare = ?1 "
                                        "COLLATE %1 LIMIT 1")
                             .arg(QLatin1String(Database::textCollation()))
                             .toUtf8());
    }
    QString of(const QString& number) {
        if (!m_lookup || number.isEmpty())
            return {};
        auto known = m_found.constFind(number);
        if (known != m_found.cend())
            return *known;
        QString name;
        m_lookup->bind(1, number);
        if (m_lookup->step()) {
            name = m_lookup->text(0).trimmed();
            if (name.isEmpty())
                name = m_lookup->text(1).trimmed();
        }
        m_lookup->reset();
        m_found.insert(number, name);
        return name;
    }

private:
    std::optional<sqlite::Statement> m_lookup;
    QHash<QString, QString> m_found;
};

// Whether the file's esiti has the delivery columns (a read-only file made before them may
// lack them).
bool hasColumn(Database& db, const QString& column) {
    if (!db.hasTable(QLatin1String(archive::reportTable)))
        return false;
    sqlite::Statement columns(*db.connection(),
                              "SELECT 1 FROM pragma_table_info('esiti') WHERE name = ?1");
    columns.bind(1, column);
    return columns.step();
}

bool keepsDelivery(Database& db) {
    return hasColumn(db, QStringLiteral("chiave"));
}

// Whether the file's esiti keeps each recipient's text.
bool keepsTexts(Database& db) {
    return hasColumn(db, QStringLiteral("testo"));
}

// The final states as an SQL list.
QString finalStates() {
    return QStringLiteral("(%1, %2, %3)").arg(Delivered).arg(NotDelivered).arg(CentreRefused);
}

QStringList keysOf(sqlite::Statement& select) {
    QStringList keys;
    while (select.step())
        keys.append(select.text(0));
    select.reset();
    return keys;
}

QString unsettledSql() {
    return QStringLiteral("SELECT chiave FROM esiti WHERE messaggio = ?1 AND chiave > '' AND "
                          "ifnull(stato, 0) NOT IN %1 ORDER BY ordine")
        .arg(finalStates());
}

} // namespace

QString cutStateText(const QString& text) {
    qsizetype end = 0;
    for (int characters = 0; end < text.size() && characters < maxStateText; ++characters)
        end += text[end].isHighSurrogate() && end + 1 < text.size() ? 2 : 1;
    return end < text.size() ? text.left(end) : text;
}

QString messageKey(const archive::MessageRow& message) {
    const QByteArray fields =
        (message.cellulare + QChar(0x1f) + message.data + QChar(0x1f) + message.testo).toUtf8();
    return QString::fromLatin1(QCryptographicHash::hash(fields, QCryptographicHash::Sha1).toHex());
}

Writer::Writer(Database& db, const archive::MessageRow& message, QList<Line> lines)
    : Writer(db, message, std::move(lines), false) {}

std::unique_ptr<Writer> Writer::deferred(Database& db, const archive::MessageRow& message,
                                         QList<Line> lines) {
    return std::unique_ptr<Writer>(new Writer(db, message, std::move(lines), true));
}

Writer::Writer(Database& db, const archive::MessageRow& message, QList<Line> lines, bool deferred)
    : m_db(db)
    , m_connection(db.connection())
    , m_key(messageKey(message))
    , m_lines(std::move(lines))
    , m_pending(m_lines.size(), true) {
    for (qsizetype i = 0; i < m_lines.size(); ++i)
        m_pending[i] = m_lines[i].outcome == Outcome::Pending;
    m_sinceFlush.start();
    guarded([&] {
        m_keys = keepsDelivery(db);
        m_texts = keepsTexts(db);
    });
    if (!deferred)
        writeLines(m_lines.size());
}

bool Writer::writeLines(qsizetype most) {
    guarded([&] {
        if (m_written >= m_lines.size())
            return;
        Surnames surnames(m_db);
        sqlite::Transaction transaction(*m_connection);
        sqlite::Statement insert(*m_connection,
                                 m_texts ? "INSERT INTO esiti (messaggio, ordine, numero, cognome, "
                                           "parte, esito, risposta, testo) VALUES (?1, ?2, ?3, "
                                           "?4, ?5, ?6, ?7, ?8)"
                                         : "INSERT INTO esiti (messaggio, ordine, numero, cognome, "
                                           "parte, esito, risposta) VALUES (?1, ?2, ?3, ?4, ?5, "
                                           "?6, ?7)");
        insert.bind(1, m_key);
        const qsizetype end = std::min(m_lines.size(), m_written + most);
        for (qsizetype i = m_written; i < end; ++i) {
            const Line& line = m_lines[i];
            insert.bind(2, qint64{i + 1})
                .bind(3, line.number)
                .bind(4, line.surname.trimmed().isEmpty() ? surnames.of(line.number) : line.surname)
                .bind(5, line.part)
                .bind(6, code(line.outcome))
                .bind(7, QStringLiteral(""));
            if (m_texts)
                insert.bind(8, line.text.isEmpty() ? QString() : line.text);
            insert.run();
        }
        transaction.commit();
        m_written = end;
    });
    return m_failed || m_written >= m_lines.size();
}

Writer::~Writer() = default;

template <typename Fn> void Writer::guarded(Fn&& fn) {
    if (m_failed)
        return;
    try {
        fn();
    } catch (const std::exception&) {
        m_failed = true;
    }
}

void Writer::record(int index, Outcome outcome, const QString& answer, const QString& key) {
    if (index < 0 || index >= m_pending.size())
        return;
    m_pending[index] = false;
    m_changes.append({index, outcome, answer, key});
    if (m_sinceFlush.elapsed() >= batchMs)
        flush();
}

void Writer::finish() {
    for (qsizetype i = 0; i < m_pending.size(); ++i) {
        if (m_pending[i])
            record(static_cast<int>(i), Outcome::NotSent);
    }
    flush();
}

void Writer::flush() {
    m_sinceFlush.restart();
    if (m_changes.isEmpty())
        return;
    guarded([&] {
        sqlite::Transaction transaction(*m_connection);
        // A file without the delivery columns keeps the outcomes only.
        sqlite::Statement update(
            *m_connection, m_keys ? "UPDATE esiti SET esito = ?1, risposta = ?2, "
                                    "chiave = iif(?5 > '', ?5, chiave), stato = iif(?5 > '', 0, "
                                    "stato) WHERE messaggio = ?3 AND ordine = ?4"
                                  : "UPDATE esiti SET esito = ?1, risposta = ?2 "
                                    "WHERE messaggio = ?3 AND ordine = ?4");
        update.bind(3, m_key);
        for (const Change& change : std::as_const(m_changes)) {
            update.bind(1, code(change.outcome))
                .bind(2, change.answer.isNull() ? QStringLiteral("") : change.answer)
                .bind(4, qint64{change.index + 1});
            if (m_keys)
                update.bind(5, change.key.isNull() ? QStringLiteral("") : change.key);
            update.run();
        }
        transaction.commit();
    });
    m_changes.clear();
}

QList<Line> read(Database& db, const archive::MessageRow& message) {
    QList<Line> lines;
    if (!db.hasTable(QLatin1String(archive::reportTable)))
        return lines;
    const auto connection = db.connection();
    const QString sql =
        QStringLiteral("SELECT numero, cognome, parte, esito, risposta, %1, %2 FROM esiti "
                       "WHERE messaggio = ?1 ORDER BY ordine")
            .arg(keepsDelivery(db) ? QStringLiteral("ifnull(chiave, ''), ifnull(stato, 0), "
                                                    "ifnull(statoora, ''), ifnull(statotesto, '')")
                                   : QStringLiteral("'', 0, '', ''"),
                 keepsTexts(db) ? QStringLiteral("ifnull(testo, '')") : QStringLiteral("''"));
    sqlite::Statement select(*connection, sql.toUtf8());
    select.bind(1, messageKey(message));
    while (select.step())
        lines.append({select.text(0), select.text(1), static_cast<int>(select.integer(2)),
                      outcomeOf(select.utf8(3)), select.text(4), select.text(5),
                      static_cast<int>(select.integer(6)), select.text(7), select.text(8),
                      select.text(9)});
    return lines;
}

QStringList unsettledKeys(Database& db, const archive::MessageRow& message) {
    if (!keepsDelivery(db))
        return {};
    sqlite::Statement select(*db.connection(), unsettledSql().toUtf8());
    select.bind(1, messageKey(message));
    return keysOf(select);
}

QStringList unsettledKeys(Database& db, const QDateTime& since) {
    if (!keepsDelivery(db) || !db.hasTable(QStringLiteral("inviati")))
        return {};
    const auto connection = db.connection();
    // Data is dd/MM/yyyy HH:mm:ss: compared as yyyyMMddHH:mm:ss.
    sqlite::Statement sent(*connection,
                           "SELECT cognome, cellulare, Data, Testo FROM inviati WHERE "
                           "substr(Data, 7, 4) || substr(Data, 4, 2) || substr(Data, 1, 2) || "
                           "substr(Data, 12, 8) >= ?1");
    sent.bind(1, since.toString(QStringLiteral("yyyyMMddHH:mm:ss")));
    QStringList messages;
    while (sent.step())
        messages.append(messageKey({sent.text(0), sent.text(1), sent.text(2), sent.text(3)}));
    sent.reset();
    QStringList keys;
    sqlite::Statement select(*connection, unsettledSql().toUtf8());
    for (const QString& message : std::as_const(messages)) {
        select.bind(1, message);
        keys += keysOf(select);
    }
    return keys;
}

int recordStates(Database& db, const QList<State>& states) {
    if (!keepsDelivery(db))
        return 0;
    const auto connection = db.connection();
    sqlite::Transaction transaction(*connection);
    sqlite::Statement update(
        *connection, QStringLiteral("UPDATE esiti SET stato = ?2, statoora = ?3, statotesto = ?4 "
                                    "WHERE chiave = ?1 AND (?2 IN %1 OR ifnull(stato, 0) NOT IN "
                                    "%1) AND (ifnull(stato, 0) <> ?2 OR ifnull(statoora, '') <> "
                                    "?3 OR ifnull(statotesto, '') <> ?4)")
                         .arg(finalStates())
                         .toUtf8());
    int changed = 0;
    for (const State& state : states) {
        if (state.key.isEmpty() || state.state == NoReport)
            continue;
        update.bind(1, state.key)
            .bind(2, state.state)
            .bind(3, state.time.isNull() ? QStringLiteral("") : state.time)
            .bind(4, cutStateText(state.text.isNull() ? QStringLiteral("") : state.text));
        update.run();
        changed += static_cast<int>(connection->changes());
    }
    transaction.commit();
    return changed;
}

Summaries::Summaries(Database& db) {
    if (!keepsDelivery(db))
        return;
    // Lines, delivered, certainly not arrived, with a key, accepted and waiting for a final state.
    m_sum.emplace(
        *db.connection(),
        QStringLiteral(
            "SELECT ifnull(sum(esito <> 'E'), 0), ifnull(sum(esito = 'A' AND stato = %1), 0), "
            "ifnull(sum(esito IN ('R', 'N') OR (esito = 'A' AND stato IN "
            "%2 AND stato <> %1)), 0), ifnull(sum(chiave > ''), 0), "
            "ifnull(sum(esito = 'A' AND chiave > '' AND ifnull(stato, 0) NOT "
            "IN %2), 0) FROM esiti WHERE messaggio = ?1")
            .arg(Delivered)
            .arg(finalStates())
            .toUtf8(),
        sqlite::Statement::Use::Kept);
}

Summaries::~Summaries() = default;

Summary Summaries::of(const QString& key) {
    Summary summary;
    if (!m_sum)
        return summary;
    m_sum->bind(1, key);
    if (m_sum->step())
        summary = {static_cast<int>(m_sum->integer(0)), static_cast<int>(m_sum->integer(1)),
                   static_cast<int>(m_sum->integer(2)), m_sum->integer(3) > 0,
                   static_cast<int>(m_sum->integer(4))};
    m_sum->reset();
    return summary;
}

void settle(Database& db, const QString& key,
            const QHash<int, std::pair<Outcome, QString>>& lines) {
    if (!db.hasTable(QLatin1String(archive::reportTable)))
        return;
    const auto connection = db.connection();
    sqlite::Transaction transaction(*connection);
    sqlite::Statement update(*connection, "UPDATE esiti SET esito = ?1, risposta = ?2 "
                                          "WHERE messaggio = ?3 AND ordine = ?4");
    update.bind(3, key);
    qint64 unknown = -1;
    for (auto line = lines.cbegin(); line != lines.cend(); ++line) {
        const auto& [outcome, answer] = line.value();
        if (outcome == Outcome::Pending)
            unknown = line.key() + 1;
        update.bind(1, code(outcome))
            .bind(2, answer.isNull() ? QStringLiteral("") : answer)
            .bind(4, qint64{line.key() + 1});
        update.run();
    }
    sqlite::Statement rest(*connection, "UPDATE esiti SET esito = ?1, risposta = '' WHERE "
                                        "messaggio = ?2 AND esito = ?3 AND ordine <> ?4");
    rest.bind(1, code(Outcome::NotSent))
        .bind(2, key)
        .bind(3, code(Outcome::Pending))
        .bind(4, unknown)
        .run();
    transaction.commit();
}

void forget(Database& db, const archive::MessageRow& message) {
    if (!db.hasTable(QLatin1String(archive::reportTable)))
        return;
    sqlite::Statement(*db.connection(), "DELETE FROM esiti WHERE messaggio = ?1")
        .bind(1, messageKey(message))
        .run();
}

} // namespace store::sendreport
