// quillet-gateway: the reference SMS service (accounts, credit, channel settings, sendsms sink).

#include "gateway/gatewayerror.h"
#include "gateway/httpserver.h"
#include "gateway/service.h"
#include "gateway/store.h"

#include <QHostInfo>
#include <QMap>
#include <QRegularExpression>
#include <QSet>
#include <QStringList>
#include <QUrl>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <pthread.h>
#include <sodium.h>
#include <thread>

using namespace Qt::StringLiterals;
using gateway::GatewayError;
using gateway::Store;

namespace {

constexpr int exitFailure = 1;
constexpr int exitUsage = 2;
constexpr int defaultPort = 8765;

const char* const usageText = R"(Uso:
  quillet-gateway serve --db FILE [--listen INDIRIZZO] [--port PORTA]
                  [--channel HOST-UTENTE:PASSWORD-PORTA] [--sink-user UTENTE --sink-pass PASSWORD]
                  [--sink-keep N] [--max-parts N] [--forward URL [--dlr-base URL]]
                  [--dlr-allow INDIRIZZI] [--free-senders] [--demo]
      Avvia il gateway. Scrive "In ascolto su INDIRIZZO:PORTA" quando è pronto.
      --db        il database del gateway (creato se non esiste)
      --listen    l'indirizzo su cui ascoltare (predefinito 127.0.0.1)
      --port      la porta (predefinita 8765; 0 = una porta libera qualsiasi)
      --channel   le impostazioni del canale che il gateway dà ai client; senza, il canale è
                  il ricevitore sendsms del gateway stesso, su questo indirizzo e porta
      --sink-user, --sink-pass
                  l'account del gestore: invia al ricevitore sendsms senza addebito (non con
                  --forward) e vede i messaggi ricevuti (/sink, /sink.txt); senza, nessuno
                  li vede
      --sink-keep quanti SMS ricevuti conservare, i più recenti (predefinito 10000)
      --max-parts quante parti di un testo lungo il centro SMS invia (predefinito 3): va
                  posto uguale al max-messages dell'operatore in Kannel; un testo che ne
                  richiede di più è rifiutato senza addebito
      --forward   il sendsms di Kannel a cui inoltrare gli SMS degli account, con l'account
                  del gestore: http://HOST:PORTA/cgi-bin/sendsms?username=U&password=P
      --dlr-base  l'indirizzo http://HOST:PORTA a cui Kannel raggiunge il gateway per gli
                  esiti di consegna (predefinito quello su cui il gateway ascolta)
      --dlr-allow gli indirizzi IP, separati da virgole, da cui il gateway accetta gli esiti
                  di consegna (predefinito l'host di Kannel in --forward; senza --forward,
                  questo computer); gli altri ricevono 403
      --free-senders
                  gli account possono inviare con qualsiasi mittente valido; senza, solo con
                  il proprio mittente predefinito e quelli permessi da "account sender add"
      --demo      per le prove su questo computer: l'account del gestore è quillet / quillet
                  (salvo --sink-user), noto a tutti: mai su un gateway pubblico
      Dopo 5 accessi falliti in un minuto per un account o da un indirizzo, ogni accesso di
      quell'account o da quell'indirizzo riceve 429 (con Retry-After) finché il minuto passa.
      SIGTERM o SIGINT (Ctrl+C) lo fermano.

  quillet-gateway account create --db FILE UTENTE PASSWORD [CREDITO] [--sender MITTENTE]
                  [--if-missing]
      Crea un account con il credito indicato (predefinito 0). Il mittente (al massimo 11
      caratteri; predefinito il nome utente tagliato a 11 caratteri) vale per gli SMS che
      l'account invia senza mittente. Con --if-missing un account già esistente non è un
      errore (e non viene cambiato). Il nome utente vale in forma Unicode NFC ("josé" con
      l'accento composto o separato è lo stesso account) e non può mescolare alfabeti
      diversi; la password è conservata come hash argon2id.

  quillet-gateway account sender add|remove --db FILE UTENTE MITTENTE
  quillet-gateway account sender list --db FILE UTENTE
      Permette (o non più) all'account di inviare con quel mittente: un nome di al massimo 11
      caratteri dell'alfabeto GSM o un numero di al massimo 16 cifre. list mostra il mittente
      predefinito e gli altri permessi.

  quillet-gateway credit add --db FILE UTENTE N
      Aggiunge N crediti all'account (N negativo li toglie). Il credito resta fra 0 e
      1000000000.

  quillet-gateway ledger --db FILE [UTENTE]
      Elenca le variazioni di credito, di tutti gli account o di uno.

  quillet-gateway unreachable add|remove --db FILE NUMERO
  quillet-gateway unreachable list --db FILE
      Segna (o non più) un numero come non raggiungibile: il ricevitore sendsms dà "non
      consegnato" agli SMS per quel numero accettati da quel momento. Il numero si scrive come
      nel campo "to" (cifre, con un "+" iniziale facoltativo; gli spazi sono tolti); +39 e
      0039 sono numeri diversi.

  quillet-gateway --help | --version

Codici di uscita: 0 riuscito, 1 errore, 2 uso errato.
)";

struct UsageError {
    QString message;
};

struct Arguments {
    QMap<QString, QString> options;
    QSet<QString> flags;
    QStringList positional;
};

// Long options only ("--name value" or "--name=value"), so "-5" is a positional value.
// "--" ends the options.
Arguments parseArguments(const QStringList& args, const QSet<QString>& valueOptions,
                         const QSet<QString>& flagOptions) {
    Arguments parsed;
    bool optionsEnded = false;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& arg = args[i];
        if (optionsEnded || !arg.startsWith(u"--"_s)) {
            parsed.positional.append(arg);
            continue;
        }
        if (arg == u"--"_s) {
            optionsEnded = true;
            continue;
        }
        const qsizetype eq = arg.indexOf(u'=');
        const QString name = eq < 0 ? arg : arg.left(eq);
        if (flagOptions.contains(name) && eq < 0) {
            parsed.flags.insert(name);
        } else if (valueOptions.contains(name)) {
            if (eq >= 0) {
                parsed.options.insert(name, arg.mid(eq + 1));
            } else if (i + 1 < args.size()) {
                parsed.options.insert(name, args[++i]);
            } else {
                throw UsageError{u"Manca il valore di %1"_s.arg(name)};
            }
        } else {
            throw UsageError{u"Opzione sconosciuta: %1"_s.arg(name)};
        }
    }
    return parsed;
}

QString requiredOption(const Arguments& args, const QString& name) {
    const QString value = args.options.value(name);
    if (value.isEmpty())
        throw UsageError{u"Manca %1"_s.arg(name)};
    return value;
}

qint64 wholeNumber(const QString& text, const QString& what) {
    bool ok = false;
    const qint64 value = text.toLongLong(&ok);
    if (ok)
        return value;
    static const QRegularExpression digits(u"^[+-]?[0-9]+$"_s);
    if (digits.match(text).hasMatch())
        throw UsageError{u"%1 è fuori misura: %2"_s.arg(what, text)};
    throw UsageError{u"%1 non è un numero intero: %2"_s.arg(what, text)};
}

void printLine(std::FILE* stream, const QString& line) {
    std::fprintf(stream, "%s\n", line.toLocal8Bit().constData());
    std::fflush(stream);
}

// A field of the channel settings: the client splits them at "-".
void checkChannelField(const QString& value, const QString& what) {
    if (value.isEmpty() || value.contains(u'-'))
        throw UsageError{u"%1 non può essere vuoto né contenere \"-\""_s.arg(what)};
}

// The Kannel sendsms of --forward, with the operator's login in its query.
gateway::ForwardTarget forwardTarget(const QString& text) {
    const QUrl url(text, QUrl::StrictMode);
    const auto login =
        gateway::QueryString::parse(url.query(QUrl::FullyEncoded).toUtf8(), gateway::Plus::Space);
    if (!url.isValid() || url.scheme() != u"http"_s || url.host().isEmpty() ||
        !login.has(u"username"_s) || !login.has(u"password"_s))
        throw UsageError{
            u"--forward vuole http://HOST:PORTA/cgi-bin/sendsms?username=U&password=P, non %1"_s
                .arg(text)};
    return {url.host(QUrl::FullyEncoded).toUtf8(), url.port(80),
            url.path(QUrl::FullyEncoded).toUtf8(), url.query(QUrl::FullyEncoded).toUtf8()};
}

// Who may call /cgi-bin/dlr: --dlr-allow's addresses; else Kannel's host from --forward, or this
// machine in sink mode (the operator's own tests).
QList<QHostAddress> reportSenders(const Arguments& args,
                                  const std::optional<gateway::ForwardTarget>& forward) {
    QList<QHostAddress> addresses;
    if (args.options.contains(u"--dlr-allow"_s)) {
        for (const QString& item : args.options.value(u"--dlr-allow"_s).split(u',')) {
            const QHostAddress address(item.trimmed());
            if (address.isNull())
                throw UsageError{
                    u"--dlr-allow vuole indirizzi IP separati da virgole, non %1"_s.arg(item)};
            addresses.append(address);
        }
    } else if (forward) {
        addresses = QHostInfo::fromName(QString::fromUtf8(forward->host)).addresses();
        if (addresses.isEmpty())
            throw UsageError{u"L'host di --forward non si risolve: indicare --dlr-allow"_s};
    } else {
        addresses = {QHostAddress(QHostAddress::LocalHost),
                     QHostAddress(QHostAddress::LocalHostIPv6)};
    }
    return addresses;
}

int serve(const QStringList& rest) {
    const Arguments args = parseArguments(
        rest,
        {u"--db"_s, u"--listen"_s, u"--port"_s, u"--channel"_s, u"--sink-user"_s, u"--sink-pass"_s,
         u"--sink-keep"_s, u"--max-parts"_s, u"--forward"_s, u"--dlr-base"_s, u"--dlr-allow"_s},
        {u"--free-senders"_s, u"--demo"_s});
    if (!args.positional.isEmpty())
        throw UsageError{u"Argomento inatteso: %1"_s.arg(args.positional.first())};
    const QString dbPath = requiredOption(args, u"--db"_s);
    const QString address = args.options.value(u"--listen"_s, u"127.0.0.1"_s);
    const qint64 port =
        wholeNumber(args.options.value(u"--port"_s, QString::number(defaultPort)), u"La porta"_s);
    if (port < 0 || port > 65535)
        throw UsageError{u"Porta non valida: %1"_s.arg(port)};

    gateway::ServiceConfig config;
    // The public demonstration login exists only when asked for.
    const QString demoLogin = args.flags.contains(u"--demo"_s) ? u"quillet"_s : QString();
    config.sinkUser = args.options.value(u"--sink-user"_s, demoLogin);
    config.sinkPass = args.options.value(u"--sink-pass"_s, demoLogin);
    if (args.options.contains(u"--sink-user"_s) != args.options.contains(u"--sink-pass"_s))
        throw UsageError{u"--sink-user e --sink-pass vanno indicati insieme"_s};
    if (!config.sinkUser.isEmpty()) {
        checkChannelField(config.sinkUser, u"L'utente del ricevitore"_s);
        checkChannelField(config.sinkPass, u"La password del ricevitore"_s);
        if (config.sinkUser.contains(u':'))
            throw UsageError{u"L'utente del ricevitore non può contenere \":\""_s};
    }
    config.freeSenders = args.flags.contains(u"--free-senders"_s);

    if (args.options.contains(u"--sink-keep"_s)) {
        config.sinkKeep = wholeNumber(args.options.value(u"--sink-keep"_s), u"--sink-keep"_s);
        if (config.sinkKeep < 1)
            throw UsageError{u"--sink-keep vuole almeno 1"_s};
    }
    if (args.options.contains(u"--max-parts"_s)) {
        const qint64 parts = wholeNumber(args.options.value(u"--max-parts"_s), u"--max-parts"_s);
        if (parts < 1 || parts > 255)
            throw UsageError{u"--max-parts vuole un numero da 1 a 255"_s};
        config.maxParts = static_cast<int>(parts);
    }

    config.channel = args.options.value(u"--channel"_s);
    const QString& channel = config.channel;
    if (!args.options.contains(u"--channel"_s) && address.contains(u'-'))
        throw UsageError{
            u"L'indirizzo %1 contiene \"-\": indicare il canale con --channel"_s.arg(address)};
    if (args.options.contains(u"--channel"_s)) {
        const QStringList fields = channel.split(u'-');
        const qint64 channelPort = fields.size() == 3 ? fields[2].toLongLong() : qint64{0};
        if (fields.size() != 3 || fields[0].isEmpty() || !fields[1].contains(u':') ||
            channelPort < 1 || channelPort > 65535)
            throw UsageError{u"--channel vuole HOST-UTENTE:PASSWORD-PORTA, non %1"_s.arg(channel)};
    }

    if (args.options.contains(u"--forward"_s)) {
        if (args.options.contains(u"--channel"_s))
            throw UsageError{u"--forward e --channel non vanno indicati insieme"_s};
        config.forward = forwardTarget(args.options.value(u"--forward"_s));
    }
    if (args.options.contains(u"--dlr-base"_s)) {
        if (!config.forward)
            throw UsageError{u"--dlr-base vale solo con --forward"_s};
        config.dlrBase = args.options.value(u"--dlr-base"_s);
        while (config.dlrBase.endsWith(u'/'))
            config.dlrBase.chop(1);
        const QUrl url(config.dlrBase, QUrl::StrictMode);
        if (!url.isValid() || url.scheme() != u"http"_s || url.host().isEmpty() || url.hasQuery() ||
            url.hasFragment())
            throw UsageError{u"--dlr-base vuole http://HOST:PORTA, non %1"_s.arg(config.dlrBase)};
    }
    config.dlrAllow = reportSenders(args, config.forward);

    Store store(dbPath, Store::Mode::CreateIfMissing);

    // SIGINT and SIGTERM are taken by one thread with sigwait; every other thread, the server's
    // workers included, inherits the blocked mask.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    gateway::Service service(store, config);
    gateway::HttpServer server(service);
    const int boundPort = server.listen(address, static_cast<int>(port));
    const bool anyAddress = address == u"0.0.0.0"_s || address == u"::"_s;
    service.setSink(anyAddress ? u"127.0.0.1"_s : address, boundPort);
    service.dropOldReports();

    std::atomic<bool> finished{false};
    std::thread waiter([&] {
        int signal = 0;
        sigwait(&stopSignals, &signal);
        // stop() is repeated until run() has returned: a signal may come before it listens.
        while (!finished) {
            server.stop();
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
    });

    printLine(stdout, u"In ascolto su %1:%2"_s.arg(address).arg(boundPort));
    server.run();
    finished = true;
    pthread_kill(waiter.native_handle(), SIGTERM);
    waiter.join();
    return 0;
}

int createAccount(const QStringList& rest) {
    const Arguments args = parseArguments(rest, {u"--db"_s, u"--sender"_s}, {u"--if-missing"_s});
    const QString dbPath = requiredOption(args, u"--db"_s);
    if (args.positional.size() < 2 || args.positional.size() > 3)
        throw UsageError{u"account create vuole UTENTE PASSWORD [CREDITO]"_s};
    const QString& user = args.positional[0];
    const QString& password = args.positional[1];
    const qint64 credit =
        args.positional.size() == 3 ? wholeNumber(args.positional[2], u"Il credito"_s) : 0;
    if (credit < 0)
        throw UsageError{u"Il credito non può essere negativo"_s};
    Store store(dbPath, Store::Mode::CreateIfMissing);
    // Null when not given: the store then makes it from the name; given empty, it is refused.
    QString sender;
    if (args.options.contains(u"--sender"_s))
        sender =
            args.options.value(u"--sender"_s).isNull() ? u""_s : args.options.value(u"--sender"_s);
    if (!store.createAccount(user, password, credit, sender)) {
        if (!args.flags.contains(u"--if-missing"_s))
            throw GatewayError(u"L'account %1 esiste già"_s.arg(user));
        printLine(stdout, u"L'account %1 esiste già: nessuna modifica"_s.arg(user));
        return 0;
    }
    printLine(stdout, u"Account %1 creato con %2 crediti"_s.arg(user).arg(credit));
    return 0;
}

int accountSenders(const QString& action, const QStringList& rest) {
    const Arguments args = parseArguments(rest, {u"--db"_s}, {});
    const QString dbPath = requiredOption(args, u"--db"_s);
    if (action == u"list"_s) {
        if (args.positional.size() != 1)
            throw UsageError{u"account sender list vuole UTENTE"_s};
        Store store(dbPath, Store::Mode::OpenExisting);
        for (const QString& sender : store.senders(args.positional[0]))
            printLine(stdout, sender);
        return 0;
    }
    if (action != u"add"_s && action != u"remove"_s)
        throw UsageError{u"Comando sconosciuto: account sender %1"_s.arg(action)};
    if (args.positional.size() != 2)
        throw UsageError{u"account sender %1 vuole UTENTE MITTENTE"_s.arg(action)};
    const QString& user = args.positional[0];
    const QString& sender = args.positional[1];
    Store store(dbPath, Store::Mode::OpenExisting);
    const bool add = action == u"add"_s;
    const bool changed = store.allowSender(user, sender, add);
    printLine(stdout, add ? (changed ? u"Mittente %1 permesso all'account %2"_s
                                     : u"Il mittente %1 era già permesso all'account %2"_s)
                                .arg(sender, user)
                          : (changed ? u"Mittente %1 non più permesso all'account %2"_s
                                     : u"Il mittente %1 non era permesso all'account %2"_s)
                                .arg(sender, user));
    return 0;
}

int addCredit(const QStringList& rest) {
    const Arguments args = parseArguments(rest, {u"--db"_s}, {});
    const QString dbPath = requiredOption(args, u"--db"_s);
    if (args.positional.size() != 2)
        throw UsageError{u"credit add vuole UTENTE N"_s};
    const qint64 delta = wholeNumber(args.positional[1], u"N"_s);
    if (delta == 0)
        throw UsageError{u"N non può essere 0"_s};
    Store store(dbPath, Store::Mode::OpenExisting);
    const qint64 balance = store.addCredit(args.positional[0], delta);
    printLine(stdout, u"Credito di %1: %2"_s.arg(args.positional[0]).arg(balance));
    return 0;
}

int showLedger(const QStringList& rest) {
    const Arguments args = parseArguments(rest, {u"--db"_s}, {});
    const QString dbPath = requiredOption(args, u"--db"_s);
    if (args.positional.size() > 1)
        throw UsageError{u"ledger vuole al più un UTENTE"_s};
    const QString user = args.positional.value(0);
    Store store(dbPath, Store::Mode::OpenExisting);
    if (!user.isEmpty() && !store.hasAccount(user))
        throw GatewayError(u"L'account %1 non esiste"_s.arg(user));
    printLine(stdout, u"Data\tUtente\tVariazione\tCredito\tCausale"_s);
    for (const gateway::LedgerEntry& entry : store.ledger(user)) {
        printLine(stdout, u"%1\t%2\t%3\t%4\t%5"_s.arg(
                              entry.time.toString(u"dd/MM/yyyy HH:mm:ss"_s), entry.user,
                              (entry.delta > 0 ? u"+"_s : QString()) + QString::number(entry.delta),
                              QString::number(entry.balance), entry.reason));
    }
    return 0;
}

// A number as the sink's receivers are compared: blanks taken out, "+" and the country code
// (internationalNumber).
int unreachable(const QString& action, const QStringList& rest) {
    const Arguments args = parseArguments(rest, {u"--db"_s}, {});
    const QString dbPath = requiredOption(args, u"--db"_s);
    if (action == u"list"_s) {
        if (!args.positional.isEmpty())
            throw UsageError{u"unreachable list non vuole argomenti"_s};
        Store store(dbPath, Store::Mode::OpenExisting);
        for (const QString& number : store.unreachableNumbers())
            printLine(stdout, number);
        return 0;
    }
    if (action != u"add"_s && action != u"remove"_s)
        throw UsageError{u"Comando sconosciuto: unreachable %1"_s.arg(action)};
    if (args.positional.size() != 1)
        throw UsageError{u"unreachable %1 vuole un NUMERO"_s.arg(action)};
    QString number = args.positional[0];
    number.remove(u' ');
    static const QRegularExpression valid(u"^\\+?[0-9]+$"_s);
    if (!valid.match(number).hasMatch())
        throw UsageError{u"Numero non valido: %1"_s.arg(args.positional[0])};
    number = gateway::internationalNumber(number);
    Store store(dbPath, Store::Mode::OpenExisting);
    const bool add = action == u"add"_s;
    if (store.setUnreachable(number, add))
        printLine(stdout, (add ? u"Numero %1 segnato come non raggiungibile"_s
                               : u"Numero %1 di nuovo raggiungibile"_s)
                              .arg(number));
    else
        printLine(stdout, (add ? u"Il numero %1 era già non raggiungibile"_s
                               : u"Il numero %1 non era segnato come non raggiungibile"_s)
                              .arg(number));
    return 0;
}

int run(const QStringList& args) {
    const QString first = args.value(0);
    const QString second = args.value(1);
    if (first == u"--help"_s || first == u"-h"_s || first == u"help"_s) {
        std::fputs(usageText, stdout);
        return 0;
    }
    if (first == u"--version"_s) {
        printLine(stdout, u"quillet-gateway "_s + QStringLiteral(QUILLET_VERSION));
        return 0;
    }
    if (first == u"serve"_s)
        return serve(args.mid(1));
    if (first == u"account"_s && second == u"create"_s)
        return createAccount(args.mid(2));
    if (first == u"account"_s && second == u"sender"_s)
        return accountSenders(args.value(2), args.mid(3));
    if (first == u"credit"_s && second == u"add"_s)
        return addCredit(args.mid(2));
    if (first == u"ledger"_s)
        return showLedger(args.mid(1));
    if (first == u"unreachable"_s)
        return unreachable(second, args.mid(2));
    if (first.isEmpty())
        throw UsageError{u"Manca il comando"_s};
    throw UsageError{u"Comando sconosciuto: %1"_s.arg((first + u' ' + second).trimmed())};
}

} // namespace

int main(int argc, char** argv) {
    if (sodium_init() < 0) {
        printLine(stderr, u"quillet-gateway: libsodium non si avvia"_s);
        return exitFailure;
    }
    QStringList args;
    for (int i = 1; i < argc; ++i)
        args.append(QString::fromLocal8Bit(argv[i]));
    try {
        return run(args);
    } catch (const UsageError& error) {
        printLine(stderr, u"quillet-gateway: "_s + error.message);
        printLine(stderr, u"Per l'uso: quillet-gateway --help"_s);
        return exitUsage;
    } catch (const GatewayError& error) {
        printLine(stderr, u"quillet-gateway: "_s + error.message());
        return exitFailure;
    } catch (const std::exception& error) {
        printLine(stderr,
                  u"quillet-gateway: errore imprevisto: "_s + QString::fromLocal8Bit(error.what()));
        return exitFailure;
    }
}
