#include "gateway/service.h"

#include "gateway/accountname.h"
#include "gateway/gatewayerror.h"
#include "gateway/pages.h"
#include "gateway/sender.h"
#include "messaging/smslength.h"

#include <QRandomGenerator>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QStringDecoder>
#include <QStringList>
#include <QUrl>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <memory>
#include <optional>
#include <variant>

using namespace Qt::StringLiterals;

namespace gateway {

namespace {

constexpr qint64 sinkPageLimit = 500;
constexpr qint64 sinkBlock = 100; // messages per piece of the streamed listing
constexpr qint64 pagesBlock = 50; // rows per piece of the streamed page
// What one sendsms request may store.
constexpr qsizetype maxReceivers = 100;
constexpr qsizetype maxTextCharacters = 1'600;
constexpr qint64 maxSendCount = 1'000'000;
// The client's reference of an SMS on sendsms, which Kannel ignores.
const QString referenceKey = u"quillet-id"_s;
constexpr std::chrono::seconds forwardTimeout{2}; // within the 3 s a stop waits for answers
// How long sendsms-status waits for a sendsms with its reference: beyond a forward's time-out.
constexpr std::chrono::seconds inFlightWait{3};
// Delivered, not delivered, at the SMS centre, refused by it: 1 + 2 + 8 + 16.
constexpr int dlrMask = 27;
constexpr qsizetype maxAskedKeys = 200;
constexpr int reportDays = 90;
constexpr qint64 dropIntervalMs = 3'600'000;
constexpr qsizetype minReceiverDigits = 3;
constexpr qsizetype maxReceiverDigits = 16;
// verifica2's numero: the credit the client read, as a decimal number.
constexpr qsizetype maxNumeroLength = 32;

Reply text(const QString& body, int status = 200) {
    Reply reply;
    reply.status = status;
    reply.body = body.toUtf8();
    return reply;
}

// Kannel labels its plain answers text/html.
Reply kannel(int status, const QString& body) {
    Reply reply;
    reply.status = status;
    reply.contentType = QByteArrayLiteral("text/html");
    reply.body = body.toUtf8();
    return reply;
}

Reply kannel(int status, const char* body) {
    return kannel(status, QString::fromUtf8(body));
}

// How the SMS centre sends a text: its coding, and the SMS each receiver gets. 8-bit data goes
// as given, 140 bytes an SMS, 134 a part; a text outside the GSM alphabet goes in UCS-2 whether
// or not the client asked for it (in 7 bits its letters would arrive as "?").
struct Encoding {
    int coding = 0;
    int parts = 1;
};

Encoding encodingOf(int coding, const QString& text, qsizetype bytes) {
    if (coding == 1)
        return {1, bytes <= 140 ? 1 : static_cast<int>((bytes + 133) / 134)};
    const sms::Alphabet alphabet = coding == 2 ? sms::Alphabet::Unicode : sms::alphabetOf(text);
    return {alphabet == sms::Alphabet::Unicode ? 2 : 0, sms::concatenatedParts(text, alphabet)};
}

// A login refused after too many failed ones.
Reply tooManyLogins(int seconds) {
    Reply reply = text(u"Troppi tentativi di accesso: riprovare tra %1"_s.arg(
                           seconds == 1 ? u"1 secondo"_s : u"%1 secondi"_s.arg(seconds)),
                       429);
    reply.headers.append({"Retry-After", QByteArray::number(seconds)});
    return reply;
}

// A user name as the log shows it: on one line, not too long.
QString logged(const QString& user) {
    return u'"' + pages::escapeLine(user.left(64)) + u'"';
}

// An SMS that no charge of the account covers.
Reply unpaid() {
    return kannel(402, "SMS non pagato: nessun credito addebitato per inviarlo, rifiutato");
}

// The keys that the query lacks, as an answer; nullopt when none is missing.
std::optional<Reply> missing(const QueryString& query, const QStringList& keys) {
    QStringList absent;
    for (const QString& key : keys) {
        if (!query.has(key))
            absent.append(key);
    }
    if (absent.isEmpty())
        return std::nullopt;
    return text((absent.size() == 1 ? u"Parametro mancante: "_s : u"Parametri mancanti: "_s) +
                    absent.join(u", "_s),
                400);
}

// The number of SMS of a request: a whole number from 0 up.
std::optional<qint64> sendCount(const QString& value) {
    const auto number = parseDecimal(value);
    if (!number || !number->whole() || *number->whole() < 0 || *number->whole() > maxSendCount)
        return std::nullopt;
    return number->whole();
}

// The numbers of a verifica request, or the answer that says what is missing or wrong.
struct SendNumbers {
    Decimal numero;
    qint64 count = 0;
};

std::variant<SendNumbers, Reply> sendNumbers(const QueryString& query) {
    if (auto answer = missing(query, {u"utente"_s, u"pass"_s, u"numero"_s, u"numerodet"_s}))
        return *answer;
    const QString numeroText = query.value(u"numero"_s);
    const auto numero =
        numeroText.size() <= maxNumeroLength ? parseDecimal(numeroText) : std::nullopt;
    if (!numero)
        return text(u"KO Valore non valido per numero"_s);
    const auto count = sendCount(query.value(u"numerodet"_s));
    if (!count)
        return text(u"KO Valore non valido per numerodet"_s);
    return SendNumbers{*numero, *count};
}

// A number of 3 to 16 digits with an optional "+".
bool isReceiver(const QString& number) {
    const qsizetype start = number.startsWith(u'+') ? 1 : 0;
    const qsizetype digits = number.size() - start;
    if (digits < minReceiverDigits || digits > maxReceiverDigits)
        return false;
    return std::all_of(number.begin() + start, number.end(),
                       [](QChar c) { return c >= u'0' && c <= u'9'; });
}

// A small whole number, or nullopt when the value is not one (Kannel then treats the field
// as not given).
std::optional<int> smallInteger(const QByteArray& value) {
    bool ok = false;
    const int number = value.trimmed().toInt(&ok);
    return ok ? std::optional<int>(number) : std::nullopt;
}

// 32 lowercase hex digits of a random 128-bit value.
QString newKey() {
    std::array<quint32, 4> words{};
    QRandomGenerator::system()->fillRange(words.data(), words.size());
    return QString::fromLatin1(
        QByteArray(reinterpret_cast<const char*>(words.data()), sizeof(words)).toHex());
}

bool isKey(const QString& key) {
    static const QRegularExpression pattern(u"^[0-9a-f]{32}$"_s);
    return pattern.match(key).hasMatch();
}

// The answer with the keys of the request's SMS, in the order of the receivers, as its second
// line (a header of 100 keys might not fit beside a long request head).
Reply withKeys(Reply reply, const QList<SinkMessage>& sms) {
    QStringList keys;
    for (const SinkMessage& message : sms)
        keys.append(message.key);
    reply.body += '\n' + keys.join(u',').toLatin1();
    return reply;
}

// The login of an HTTP Basic Authorization header; nullopt without a well-formed one.
std::optional<std::pair<QString, QString>> basicLogin(QByteArrayView authorization) {
    const QByteArray value = authorization.toByteArray().trimmed();
    if (value.left(6).compare("basic ", Qt::CaseInsensitive) != 0)
        return std::nullopt;
    const auto decoded = QByteArray::fromBase64Encoding(value.mid(6).trimmed(),
                                                        QByteArray::AbortOnBase64DecodingErrors);
    if (!decoded)
        return std::nullopt;
    const QByteArray login = *decoded;
    const qsizetype colon = login.indexOf(':');
    if (colon < 0)
        return std::nullopt;
    return std::pair{QString::fromUtf8(login.left(colon)), QString::fromUtf8(login.mid(colon + 1))};
}

qint64 steadyMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

} // namespace

void logLine(const QString& line) {
    std::fprintf(stderr, "%s\n", line.toLocal8Bit().constData());
    std::fflush(stderr);
}

Service::Service(Store& store, ServiceConfig config)
    : m_store(store)
    , m_config(std::move(config))
    , m_logins(store) {
    m_config.sinkUser = accountName(m_config.sinkUser);
}

void Service::dropOldReports() {
    m_nextDrop = steadyMs() + dropIntervalMs;
    // A failure here is no failure of the request that happened to come at the hour.
    try {
        const qint64 dropped =
            m_store.dropDeliveries(QDateTime::currentDateTimeUtc().addDays(-reportDays));
        if (dropped > 0)
            logLine(u"Eliminati gli esiti di %1 SMS più vecchi di %2 giorni"_s.arg(dropped).arg(
                reportDays));
    } catch (const std::exception& error) {
        logLine(u"Esiti vecchi non eliminati: %1"_s.arg(QString::fromUtf8(error.what())));
    }
}

Reply Service::handle(const QString& path, QByteArrayView rawQuery, const QHostAddress& client,
                      QByteArrayView authorization) {
    try {
        qint64 next = m_nextDrop;
        if (steadyMs() >= next && m_nextDrop.compare_exchange_strong(next, next + dropIntervalMs))
            dropOldReports();
        return dispatch(path, rawQuery, client, authorization);
    } catch (const GatewayError& error) {
        logLine(u"Errore su %1: %2"_s.arg(path, error.message()));
    } catch (const std::exception& error) {
        logLine(u"Errore su %1: %2"_s.arg(path, QString::fromLocal8Bit(error.what())));
    }
    return text(u"Errore interno del gateway"_s, 500);
}

Reply Service::dispatch(const QString& path, QByteArrayView rawQuery, const QHostAddress& client,
                        QByteArrayView authorization) {
    if (path == u"/cgi-bin/utenti/leggi.pl")
        return credit(rawQuery, client);
    if (path == u"/cgi-bin/utenti/nosggi.pl")
        return channel(rawQuery, client);
    if (path == u"/cgi-bin/utenti/verifica.cgi")
        return check(rawQuery, client);
    if (path == u"/cgi-bin/utenti/verifica2.cgi")
        return charge(rawQuery, client);
    if (path == u"/cgi-bin/sendsms")
        return sendSms(rawQuery, client);
    if (path == u"/cgi-bin/sendsms-status")
        return sendStatus(rawQuery, client);
    if (path == u"/cgi-bin/dlr")
        return deliveryReport(rawQuery, client);
    if (path == u"/cgi-bin/utenti/esiti.pl")
        return deliveryStates(rawQuery, client);
    if (path == u"/cgi-bin/affiliate/giacli.pl")
        return pages::buyCredit(QueryString::parse(rawQuery, Plus::Literal));
    if (path == u"/cgi-bin/affiliate/programma.pl")
        return pages::programme(QueryString::parse(rawQuery, Plus::Literal));
    if (path == u"/affiliate1/affiliati.htm")
        return pages::affiliates();
    if (path == u"/sink" || path == u"/sink.txt") {
        if (auto refusal = operatorRefusal(authorization, client))
            return *refusal;
        return path == u"/sink" ? sinkPage() : sinkListing();
    }
    if (path == u"/" || path == u"/index.html")
        return pages::index();
    return text(u"Pagina non trovata"_s, 404);
}

// Failed logins are counted, and refused beyond the limit, before the slow check of the password.
Service::Login Service::login(const QString& user, const QString& password,
                              const QHostAddress& client, SinkUser sinkUser) {
    const QString name = accountName(user);
    Login login;
    const auto refused = [&] {
        logLine(u"Accesso rifiutato a %1 da %2: troppi tentativi falliti, riprovare tra %3 s"_s
                    .arg(logged(user), client.toString())
                    .arg(login.retryAfter));
        return login;
    };
    if ((login.retryAfter = m_throttle.lockedFor(name, client)) > 0)
        return refused();
    if (sinkUser == SinkUser::Allowed && isSinkUser(name, password)) {
        login.sinkUser = true;
        return login;
    }
    // Only a check of the password counts: a login remembered right never waits on others.
    bool admitted = false;
    bool failed = false; // a failure of the database is none of the client's
    const auto settle = qScopeGuard([&] {
        if (admitted)
            m_throttle.settle(name, client, failed);
    });
    login.account = m_logins.verify(
        user, password,
        [&] {
            const int wait = m_throttle.admit(name, client);
            admitted = wait == 0;
            return wait;
        },
        login.retryAfter);
    if (login.retryAfter > 0)
        return refused();
    failed = !login.good();
    if (failed)
        logLine(u"Accesso non riuscito a %1 da %2"_s.arg(logged(user), client.toString()));
    return login;
}

Reply Service::credit(QByteArrayView rawQuery, const QHostAddress& client) {
    const auto query = QueryString::parse(rawQuery, Plus::Literal);
    if (auto answer = missing(query, {u"utente"_s, u"pass"_s}))
        return *answer;
    const Login login = this->login(query.value(u"utente"_s), query.value(u"pass"_s), client);
    if (login.retryAfter > 0)
        return tooManyLogins(login.retryAfter);
    if (!login.account)
        return text(u"Account non valido"_s);
    return text(QString::number(login.account->credit));
}

Reply Service::channel(QByteArrayView rawQuery, const QHostAddress& client) {
    const auto query = QueryString::parse(rawQuery, Plus::Literal);
    if (auto answer = missing(query, {u"utente"_s, u"pass"_s}))
        return *answer;
    // The client reads any text as settings: a wrong account gets an empty answer.
    const QString user = query.value(u"utente"_s);
    const QString pass = query.value(u"pass"_s);
    const Login login = this->login(user, pass, client);
    if (login.retryAfter > 0)
        return tooManyLogins(login.retryAfter);
    if (!login.account)
        return text(QString());
    if (!m_config.channel.isEmpty())
        return text(m_config.channel);
    // The sink knows each account as a sendsms user, with the account's default sender. A
    // name with ":" (from before it was refused) cannot be told from its password there: such
    // an account has no channel (the sink user's SMS are nobody's to pay).
    if (user.contains(u':'))
        return text(QString());
    return text(u"%1-%2:%3-%4"_s.arg(m_sinkHost, user, pass, QString::number(m_sinkPort)));
}

Reply Service::check(QByteArrayView rawQuery, const QHostAddress& client) {
    const auto query = QueryString::parse(rawQuery, Plus::Literal);
    const auto numbers = sendNumbers(query);
    if (const auto* answer = std::get_if<Reply>(&numbers))
        return *answer;
    const qint64 count = std::get<SendNumbers>(numbers).count;
    const Login login = this->login(query.value(u"utente"_s), query.value(u"pass"_s), client);
    if (login.retryAfter > 0)
        return tooManyLogins(login.retryAfter);
    if (!login.account)
        return text(u"KO Account non valido"_s);
    const qint64 credit = login.account->credit;
    if (credit < count)
        return text(
            u"KO Credito insufficiente: disponibili %1, richiesti %2"_s.arg(credit).arg(count));
    return text(u"OK"_s);
}

Reply Service::charge(QByteArrayView rawQuery, const QHostAddress& client) {
    using Outcome = ChargeResult::Outcome;
    const auto query = QueryString::parse(rawQuery, Plus::Literal);
    const auto numbers = sendNumbers(query);
    if (const auto* answer = std::get_if<Reply>(&numbers))
        return *answer;
    const auto& [numero, count] = std::get<SendNumbers>(numbers);
    const Login login = this->login(query.value(u"utente"_s), query.value(u"pass"_s), client);
    if (login.retryAfter > 0)
        return tooManyLogins(login.retryAfter);
    const ChargeResult result =
        login.account ? m_store.chargeSend(login.account->user, numero, count) : ChargeResult{};
    switch (result.outcome) {
    case Outcome::Charged:
        return text(u"OK addebitati %1, credito %2"_s.arg(result.amount).arg(result.balance));
    case Outcome::Corrected:
        return text(
            u"OK rettifica, restituiti %1, credito %2"_s.arg(result.amount).arg(result.balance));
    case Outcome::AlreadyCharged:
        return text(u"OK invio già addebitato, credito %1"_s.arg(result.balance));
    case Outcome::InsufficientCredit:
        return text(u"KO Credito insufficiente: disponibili %1, richiesti %2"_s.arg(result.balance)
                        .arg(count));
    case Outcome::InvalidAccount:
        break;
    }
    return text(u"KO Account non valido"_s);
}

// Who sends on sendsms: the sink user or an account (whose default sender goes out when the
// request has none, as a sendsms user's default-sender in Kannel).
Service::Login Service::sinkLogin(const QueryString& query, const QHostAddress& client) {
    const QString user =
        query.has(u"username"_s) ? query.value(u"username"_s) : query.value(u"user"_s);
    const QString pass =
        query.has(u"password"_s) ? query.value(u"password"_s) : query.value(u"pass"_s);
    if (user.isNull() || pass.isNull())
        return {};
    return login(user, pass, client, SinkUser::Allowed);
}

// Whether the SMS the client handed over with this reference reached the sink: "1" or "0".
class Service::InFlight {
public:
    InFlight(Service& service, QString reference)
        : m_service(service)
        , m_reference(std::move(reference)) {
        if (m_reference.isEmpty())
            return;
        const std::lock_guard lock(m_service.m_inFlightMutex);
        ++m_service.m_inFlight[m_reference];
    }
    ~InFlight() {
        if (m_reference.isEmpty())
            return;
        {
            const std::lock_guard lock(m_service.m_inFlightMutex);
            if (--m_service.m_inFlight[m_reference] == 0)
                m_service.m_inFlight.remove(m_reference);
        }
        m_service.m_inFlightDone.notify_all();
    }
    InFlight(const InFlight&) = delete;
    InFlight& operator=(const InFlight&) = delete;

private:
    Service& m_service;
    QString m_reference;
};

bool Service::isSinkUser(const QString& user, const QString& pass) const {
    return !m_config.sinkUser.isEmpty() && user == m_config.sinkUser && pass == m_config.sinkPass;
}

// The sink's pages are the operator's: nullopt for the sink user's login, the refusal otherwise.
std::optional<Reply> Service::operatorRefusal(QByteArrayView authorization,
                                              const QHostAddress& client) {
    if (m_config.sinkUser.isEmpty())
        return text(u"Messaggi ricevuti visibili solo al gestore: avviare il gateway con "
                    "--sink-user e --sink-pass"_s,
                    403);
    const auto basic = basicLogin(authorization);
    const Login login =
        basic ? this->login(basic->first, basic->second, client, SinkUser::Allowed) : Login{};
    if (login.retryAfter > 0)
        return tooManyLogins(login.retryAfter);
    if (login.sinkUser)
        return std::nullopt;
    Reply refusal = text(u"Messaggi ricevuti visibili solo al gestore: accedere con l'utente "
                         "del ricevitore"_s,
                         401);
    refusal.headers.append({QByteArray("WWW-Authenticate"),
                            QByteArray(R"(Basic realm="quillet-gateway", charset="UTF-8")")});
    return refusal;
}

Reply Service::sendStatus(QByteArrayView rawQuery, const QHostAddress& client) {
    const auto query = QueryString::parse(rawQuery, Plus::Space);
    const Login login = sinkLogin(query, client);
    if (login.retryAfter > 0)
        return tooManyLogins(login.retryAfter);
    if (!login.good())
        return kannel(403, "Authorization failed for sendsms");
    if (auto answer = missing(query, {referenceKey}))
        return *answer;
    const QString reference = query.value(referenceKey);
    {
        std::unique_lock lock(m_inFlightMutex);
        m_inFlightDone.wait_for(lock, inFlightWait,
                                [&] { return !m_inFlight.contains(reference); });
    }
    // Only the caller's own SMS; one handed to the SMS centre whose answer was lost is neither
    // sent nor not sent.
    const auto handed =
        m_store.smsWithReference(reference, login.account ? login.account->user : QString());
    return text(handed.pending ? u"Incerto"_s : QString::number(handed.sms));
}

Reply Service::sendSms(QByteArrayView rawQuery, const QHostAddress& client) {
    // What Kannel would read otherwise than the gateway is refused before anything is charged.
    if (const auto problem = unsoundQuery(rawQuery))
        return kannel(400, u"Richiesta non valida: %1, rifiutata"_s.arg(*problem));
    // Kannel decodes the query as an HTML form: a raw '+' is a blank.
    const auto query = QueryString::parse(rawQuery, Plus::Space);
    const InFlight handling(*this, query.value(referenceKey));
    const Login login = sinkLogin(query, client);
    if (login.retryAfter > 0)
        return tooManyLogins(login.retryAfter);
    // The sink user's SMS are paid by no account: they never go on to Kannel.
    if (!login.good() || (m_config.forward && login.sinkUser))
        return kannel(403, "Authorization failed for sendsms");
    const QString payer = login.account ? login.account->user : QString();

    if (!query.has(u"to"_s))
        return kannel(400, "Missing receiver number, rejected");
    const QStringList receivers = query.value(u"to"_s).split(u' ', Qt::SkipEmptyParts);
    if (receivers.isEmpty())
        return kannel(400, "Empty receiver number not allowed, rejected");
    if (receivers.size() > maxReceivers)
        return kannel(400, "Troppi destinatari: al massimo 100 per richiesta, rifiutato");
    for (const QString& receiver : receivers) {
        if (!isReceiver(receiver))
            return kannel(400, "Number(s) has/have been denied by white- and/or black-lists.");
    }
    QString sender = query.value(u"from"_s);
    if (sender.isEmpty() && login.account)
        sender = login.account->sender;
    if (sender.isEmpty())
        return kannel(400, "Sender missing and no global set, rejected");
    if (senderProblem(sender))
        return kannel(400, "Mittente non valido: un nome di al massimo 11 caratteri dell'alfabeto "
                           "GSM o un numero di al massimo 16 cifre, rifiutato");
    // The operator answers for who an account sends as (a bank's name is not anyone's).
    if (!m_config.freeSenders && login.account && sender != login.account->sender &&
        !m_store.mayUseSender(login.account->user, sender))
        return kannel(403, "Mittente non consentito a questo account dal gestore, rifiutato");

    const int mclass = smallInteger(query.bytes(u"mclass"_s)).value_or(-1);
    if (mclass > 3 || mclass < -1)
        return kannel(400, "MClass field misformed, rejected");
    const int coding = smallInteger(query.bytes(u"coding"_s)).value_or(0);
    if (coding < 0 || coding > 2)
        return kannel(400, "Coding field misformed, rejected");
    if (coding == 1 && m_config.forward) // a binary SMS goes to a phone's port, not to a reader
        return kannel(400, "Dati a 8 bit non inoltrati al centro SMS, rifiutato");

    const QByteArray charset = query.bytes(u"charset"_s).trimmed();
    const QByteArray bytes = query.bytes(u"text"_s);
    QString message;
    if (coding == 2 && charset.isEmpty()) {
        // As Kannel does: without a charset the bytes are taken as UCS-2 as they are.
        message = QStringDecoder(QStringConverter::Utf16BE).decode(bytes);
    } else {
        QStringDecoder decoder(charset.isEmpty() ? "UTF-8" : charset.constData());
        if (!decoder.isValid())
            return kannel(400, "Charset or body misformed, rejected");
        message = decoder.decode(bytes);
    }
    if (message.toUcs4().size() > maxTextCharacters)
        return kannel(400, "Testo troppo lungo: al massimo 1600 caratteri, rifiutato");
    const Encoding encoding = encodingOf(coding, message, bytes.size());
    // More parts than the SMS centre sends: it would cut the text and still say it went.
    if (encoding.parts > m_config.maxParts)
        return kannel(400, u"Testo troppo lungo: %1 SMS, al massimo %2 per messaggio, rifiutato"_s
                               .arg(encoding.parts)
                               .arg(m_config.maxParts));

    QList<SinkMessage> messages;
    for (const QString& receiver : receivers) {
        SinkMessage sms;
        sms.sender = sender;
        sms.receiver = receiver;
        sms.text = message;
        sms.mclass = mclass;
        sms.coding = encoding.coding;
        sms.parts = encoding.parts;
        sms.charset = QString::fromLatin1(charset);
        sms.ref = query.value(referenceKey);
        sms.key = newKey();
        messages.append(sms);
    }
    if (m_config.forward)
        return forward(payer, sender, messages);
    if (!m_store.addMessages(messages, m_config.sinkKeep, payer))
        return unpaid();
    return withKeys(kannel(202, "0: Accepted for delivery"), messages);
}

// A delivery report from Kannel for an SMS this gateway forwarded (or its operator's test).
Reply Service::deliveryReport(QByteArrayView rawQuery, const QHostAddress& client) {
    // Only Kannel knows the keys it was given; anyone else could flip a final state.
    const bool allowed = std::any_of(
        m_config.dlrAllow.begin(), m_config.dlrAllow.end(), [&](const QHostAddress& address) {
            return address.isEqual(client, QHostAddress::ConvertV4MappedToIPv4);
        });
    if (!allowed)
        return text(u"Esiti accettati solo dal centro SMS"_s, 403);
    const auto query = QueryString::parse(rawQuery, Plus::Space);
    if (auto answer = missing(query, {u"k"_s, u"st"_s}))
        return *answer;
    const QString key = query.value(u"k"_s);
    if (!isKey(key))
        return text(u"Parametro non valido: k"_s, 400);
    const auto state = smallInteger(query.bytes(u"st"_s));
    if (!state || !QList<int>{1, 2, 4, 8, 16}.contains(*state))
        return text(u"Parametro non valido: st"_s, 400);
    if (!m_store.addReport(key, query.value(u"to"_s), *state, query.value(u"a"_s)))
        return text(u"Esito sconosciuto"_s, 404);
    return text(u"OK"_s);
}

// The latest delivery state of the account's SMS asked for, a line each:
// KEY <tab> STATE <tab> TIME <tab> TEXT.
Reply Service::deliveryStates(QByteArrayView rawQuery, const QHostAddress& client) {
    const auto query = QueryString::parse(rawQuery, Plus::Literal);
    if (auto answer = missing(query, {u"utente"_s, u"pass"_s, u"sms"_s}))
        return *answer;
    const QStringList keys = query.value(u"sms"_s).split(u',', Qt::SkipEmptyParts);
    if (keys.size() > maxAskedKeys)
        return text(u"Troppe chiavi: al massimo 200 per richiesta"_s, 400);
    const Login login =
        this->login(query.value(u"utente"_s), query.value(u"pass"_s), client, SinkUser::Allowed);
    if (login.retryAfter > 0)
        return tooManyLogins(login.retryAfter);
    if (!login.good())
        return text(u"Account non valido"_s);
    const QString owner = login.account ? login.account->user : u""_s; // the sink user's: ""
    QStringList lines;
    for (const Delivery& delivery : m_store.deliveries(owner, keys)) {
        lines.append(delivery.key + u'\t' + QString::number(delivery.state) + u'\t' +
                     (delivery.time.isValid()
                          ? delivery.time.toUTC().toString(u"yyyy-MM-dd'T'HH:mm:ss'Z'"_s)
                          : QString()) +
                     u'\t' + pages::escapeLine(delivery.text).replace(u'\t', u"\\t"_s));
    }
    return text(lines.join(u'\n'));
}

// Hands the SMS on to Kannel as the operator, once the account's charges cover them, and
// answers with what Kannel answered. The sink keeps those Kannel accepted.
Reply Service::forward(const QString& payer, const QString& sender, const QList<SinkMessage>& sms) {
    // Kannel calls back with each report. One receiver: the URL carries the SMS's key; several:
    // a key of the request and the receiver, as Kannel gives the same URL to each SMS.
    const QString batch = sms.size() > 1 ? newKey() : QString();
    const auto taken = m_store.takeAllowances(payer, sms, m_config.sinkKeep, batch);
    if (!taken)
        return unpaid();
    // Rebuilt from what was checked and charged, never the client's fields: Kannel knows only
    // the operator's login, the sender resolved here, the receivers, the text in UTF-8 in the
    // coding it was counted in, the class, and the gateway's own report request.
    const SinkMessage& first = sms.first();
    QStringList receivers;
    for (const SinkMessage& message : sms)
        receivers.append(message.receiver);
    QByteArray fields = "from=" + QUrl::toPercentEncoding(sender) +
                        "&to=" + QUrl::toPercentEncoding(receivers.join(u' ')) +
                        "&text=" + QUrl::toPercentEncoding(first.text) + "&charset=UTF-8";
    if (first.coding != 0)
        fields += "&coding=" + QByteArray::number(first.coding);
    if (first.mclass >= 0)
        fields += "&mclass=" + QByteArray::number(first.mclass);
    const QString base = m_config.dlrBase.isEmpty()
                             ? u"http://%1:%2"_s.arg(m_sinkHost).arg(m_sinkPort)
                             : m_config.dlrBase;
    const QString dlrUrl = base + u"/cgi-bin/dlr?k="_s +
                           (batch.isEmpty() ? sms.first().key : batch + u"&to=%p"_s) +
                           u"&st=%d&ts=%T&a=%A"_s;
    fields +=
        "&dlr-mask=" + QByteArray::number(dlrMask) + "&dlr-url=" + QUrl::toPercentEncoding(dlrUrl);
    const ForwardReply reply = forwardGet(*m_config.forward, fields, forwardTimeout);
    using Outcome = ForwardReply::Outcome;
    Reply answer;
    answer.status = reply.status;
    answer.contentType = reply.contentType.isEmpty() ? answer.contentType : reply.contentType;
    answer.body = reply.body;
    const bool accepted = reply.outcome == Outcome::Answered && reply.status / 100 == 2;
    if (accepted) {
        m_store.confirmAllowances(*taken);
        return withKeys(answer, sms);
    }
    if (reply.outcome == Outcome::Unknown) {
        // It may have gone: it stays paid for and pending, until Kannel's report settles it.
        logLine(u"Esito dell'inoltro a Kannel incerto: %1"_s.arg(reply.error));
        return withKeys(text(u"Esito incerto: il centro SMS non ha risposto in tempo, l'SMS "
                             "potrebbe essere partito"_s,
                             504),
                        sms);
    }
    m_store.returnAllowances(*taken);
    if (reply.outcome == Outcome::Answered)
        return answer;
    logLine(u"Inoltro a Kannel non riuscito: %1"_s.arg(reply.error));
    return text(u"Centro SMS non raggiungibile, rifiutato"_s, 502);
}

Reply Service::sinkPage() {
    // The newest messages, newest first, read a block at a time as the client takes them.
    const qint64 received = m_store.receivedCount();
    const qint64 kept = m_store.messageCount();
    const qint64 shown = std::min(kept, sinkPageLimit);
    struct Progress {
        qint64 before; // the id the next block ends before
        qint64 left;   // rows still to give
        bool started = false;
        bool done = false;
    };
    auto at = std::make_shared<Progress>(Progress{received + 1, shown});
    Reply reply;
    reply.contentType = pages::htmlType;
    reply.stream = [this, at, kept, received, shown]() -> QByteArray {
        if (!at->started) {
            at->started = true;
            return pages::sinkHead(kept, received, shown);
        }
        if (at->done)
            return {};
        const QList<SinkMessage> block =
            at->left > 0 ? m_store.messagesBefore(at->before, std::min(at->left, pagesBlock))
                         : QList<SinkMessage>();
        if (block.isEmpty()) {
            at->done = true;
            return pages::sinkFoot(shown > 0);
        }
        at->left -= block.size();
        at->before = block.last().id;
        return pages::sinkRows(block);
    };
    return reply;
}

Reply Service::sinkListing() {
    // The messages up to the newest one now, read a block at a time as the client takes them.
    const qint64 newest = m_store.receivedCount();
    auto listed = std::make_shared<qint64>(0);
    Reply reply;
    reply.stream = [this, newest, listed]() -> QByteArray {
        QList<SinkMessage> block =
            *listed < newest ? m_store.messagesAfter(*listed, sinkBlock) : QList<SinkMessage>();
        block.removeIf([newest](const SinkMessage& message) { return message.id > newest; });
        if (block.isEmpty())
            return {};
        *listed = block.last().id;
        return pages::sinkText(block);
    };
    return reply;
}

} // namespace gateway
