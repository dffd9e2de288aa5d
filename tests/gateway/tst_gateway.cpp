// The reference gateway, run as a real process on a free port of 127.0.0.1.

#include "gateway/loginthrottle.h"
#include "store/sqlite.h"
#include "support/kannelrig.h"
#include "support/testfolder.h"

#include <QCryptographicHash>
#include <QFile>
#include <QHostAddress>
#include <QMap>
#include <QProcess>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QSet>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <QUrl>
#include <QUrlQuery>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <future>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

using namespace Qt::StringLiterals;

namespace {

const QByteArray sinkAuth = "username=prova&password=segreta&";
// Takes a database of this version back to version 6.
const QByteArray toVersion6 =
    "DROP INDEX accounts_by_name; ALTER TABLE accounts DROP COLUMN name; DROP INDEX sink_pending; "
    "ALTER TABLE sink DROP COLUMN pending; ALTER TABLE sink DROP COLUMN key; "
    "ALTER TABLE sink DROP COLUMN owner; DROP TABLE senders; PRAGMA user_version = 6; ";

struct Answer {
    int status = 0; // 0: no answer
    QByteArray body;
    QByteArray head;
    // The keys of the SMS an accepted sendsms gave: its answer's second line.
    QStringList keys() const {
        const qsizetype line = body.indexOf('\n');
        return line < 0 ? QStringList() : QString::fromLatin1(body.mid(line + 1)).split(u',');
    }
};

// esiti.pl's answer with each report's arrival time written TIME.
QString withoutTimes(const QByteArray& body) {
    static const QRegularExpression time(u"\t\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\dZ\t"_s);
    return QString::fromUtf8(body).replace(time, u"\tTIME\t"_s);
}

struct CommandResult {
    int exitCode = -1;
    QString out;
    QString err;
};

CommandResult runGateway(const QStringList& args) {
    QProcess process;
    process.start(QStringLiteral(QUILLET_GATEWAY_BIN), args);
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit)
        return {};
    return {process.exitCode(), QString::fromUtf8(process.readAllStandardOutput()),
            QString::fromUtf8(process.readAllStandardError())};
}

QByteArray enc(const QString& value) {
    return QUrl::toPercentEncoding(value);
}

// `count` numbers from `first` on, as sendsms's "to".
QByteArray numbersFrom(qint64 first, int count) {
    QByteArrayList numbers;
    for (int i = 0; i < count; ++i)
        numbers << QByteArray::number(first + i);
    return numbers.join("%20");
}

// Bytes sent on a connection of their own (from `source` when given); all the gateway answers
// until it closes it.
QByteArray exchange(quint16 port, const QByteArray& bytes, const QString& source = {}) {
    QTcpSocket socket;
    if (!source.isEmpty())
        socket.bind(QHostAddress(source));
    socket.connectToHost(u"127.0.0.1"_s, port);
    if (!socket.waitForConnected(30000))
        return {};
    socket.write(bytes);
    while (socket.waitForReadyRead(30000)) {
    }
    return socket.readAll();
}

// One request; HTTP/1.0, so the answer never comes in chunks. `headers`: more lines, each with
// its CR LF.
Answer httpGet(quint16 port, const QByteArray& target, const QString& source = {},
               const QByteArray& headers = {}) {
    const QByteArray data = exchange(
        port, "GET " + target + " HTTP/1.0\r\nHost: 127.0.0.1\r\n" + headers + "\r\n", source);
    return {data.left(data.indexOf("\r\n")).split(' ').value(1).toInt(),
            data.mid(data.indexOf("\r\n\r\n") + 4), data.left(data.indexOf("\r\n\r\n") + 2)};
}

// A page of the sink, asked with the operator's login.
Answer sinkGet(quint16 port, const QByteArray& target, const QByteArray& login = "prova:segreta") {
    return httpGet(port, target, {}, "Authorization: Basic " + login.toBase64() + "\r\n");
}

// A Kannel smsbox that reads each request head and then misbehaves: drips its answer a byte
// at a time, answers `lateMs` late, closes without a word, or stays silent. Each connection on
// a thread of its own, until the object goes.
class FaultyKannel {
public:
    enum class Fault { Drip, Late, Close, Silent };
    explicit FaultyKannel(Fault fault, int lateMs = 2500)
        : m_fault(fault)
        , m_lateMs(lateMs) {
        m_listen = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t size = sizeof(address);
        ::bind(m_listen, reinterpret_cast<sockaddr*>(&address), size);
        ::listen(m_listen, 64);
        ::getsockname(m_listen, reinterpret_cast<sockaddr*>(&address), &size);
        m_port = ntohs(address.sin_port);
        m_acceptor = std::thread([this] {
            for (int fd; (fd = ::accept(m_listen, nullptr, nullptr)) >= 0;)
                m_handlers.emplace_back([this, fd] { serve(fd); });
        });
    }
    ~FaultyKannel() {
        m_stop = true;
        ::shutdown(m_listen, SHUT_RDWR);
        m_acceptor.join();
        for (auto& handler : m_handlers)
            handler.join();
        ::close(m_listen);
    }
    // The requests whose head came in.
    int requests() const { return m_requests; }
    QString forwardUrl() const {
        return u"http://127.0.0.1:%1/cgi-bin/sendsms?username=op&password=op"_s.arg(m_port);
    }

private:
    void serve(int fd) {
        QByteArray head;
        char c = 0;
        while (!head.endsWith("\r\n\r\n") && ::recv(fd, &c, 1, 0) == 1)
            head += c;
        ++m_requests;
        const QByteArray answer = "HTTP/1.1 202 Accepted\r\nContent-Length: 24\r\n\r\n"
                                  "0: Accepted for delivery";
        const auto wait = [this](int ms) {
            for (int waited = 0; waited < ms && !m_stop; waited += 50)
                QThread::msleep(50);
        };
        switch (m_fault) {
        case Fault::Drip: // a byte every 1.5 s: the whole answer would take 2 minutes
            for (qsizetype i = 0; i < answer.size() && !m_stop; ++i) {
                ::send(fd, answer.constData() + i, 1, MSG_NOSIGNAL);
                wait(1500);
            }
            break;
        case Fault::Late:
            wait(m_lateMs);
            ::send(fd, answer.constData(), static_cast<size_t>(answer.size()), MSG_NOSIGNAL);
            break;
        case Fault::Close:
            break;
        case Fault::Silent:
            wait(60000);
            break;
        }
        ::close(fd);
    }

    Fault m_fault;
    int m_lateMs;
    int m_listen = -1;
    quint16 m_port = 0;
    std::atomic<bool> m_stop{false};
    std::atomic<int> m_requests{0};
    std::thread m_acceptor;
    std::vector<std::thread> m_handlers; // touched by the acceptor only, until it is joined
};

// Connections from `source` that send a request head a line at a time, never ending it.
class SlowClients {
public:
    SlowClients(quint16 port, int count, const QString& source) {
        for (int i = 0; i < count; ++i) {
            auto& socket = *m_sockets.emplace_back(std::make_unique<QTcpSocket>());
            socket.bind(QHostAddress(source));
            socket.connectToHost(u"127.0.0.1"_s, port);
            socket.write("GET / HTTP/1.1\r\n");
        }
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            for (auto& socket : m_sockets)
                socket->write("X-Lento: 1\r\n");
        });
        m_timer.start(300);
    }
    int count(QAbstractSocket::SocketState state) const {
        return static_cast<int>(std::count_if(m_sockets.begin(), m_sockets.end(),
                                              [state](auto& s) { return s->state() == state; }));
    }
    QTcpSocket& at(int i) { return *m_sockets[static_cast<std::size_t>(i)]; }

private:
    std::vector<std::unique_ptr<QTcpSocket>> m_sockets;
    QTimer m_timer;
};

} // namespace

Q_DECLARE_METATYPE(FaultyKannel::Fault)

class TestGateway : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_db;
    QProcess m_server; // `quillet-gateway serve` on a free port; killed at the end if still up
    quint16 m_port = 0;
    QMap<QString, QString> m_keys; // of SMS sent for deliveryStates
    // serve --max-parts 3 --forward to a Kannel rig, on parts.db: see partsPort().
    QTemporaryDir m_rig;
    QMap<QString, QString> m_rigEnv;
    QProcess m_partsServer;
    quint16 m_partsPort = 0;
    int m_partsRows = 0;
    int m_loginRows = 0;

    Answer get(const QByteArray& target) { return httpGet(m_port, target); }
    QByteArray credit(const QByteArray& user, const QByteArray& pass) {
        return get("/cgi-bin/utenti/leggi.pl?utente=" + user + "&pass=" + pass).body;
    }
    QStringList sinkLines() {
        return QString::fromUtf8(sinkGet(m_port, "/sink.txt").body)
            .split(u'\n', Qt::SkipEmptyParts);
    }
    // Starts `quillet-gateway serve` on a free port; returns the port.
    quint16 startServer(QProcess& server, const QString& db, const QStringList& options) {
        server.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        server.start(QStringLiteral(QUILLET_GATEWAY_BIN),
                     QStringList{u"serve"_s, u"--db"_s, db, u"--port"_s, u"0"_s} + options);
        while (!server.canReadLine()) {
            if (!server.waitForReadyRead(30000))
                return 0;
        }
        static const QRegularExpression ready(u"^In ascolto su 127\\.0\\.0\\.1:(\\d+)$"_s);
        return ready.match(QString::fromUtf8(server.readLine()).trimmed()).captured(1).toUShort();
    }
    // verifica2.cgi's answer: `count` SMS of the send that found the credit at `numero`.
    static QByteArray verifica2(quint16 port, const QByteArray& auth, const QByteArray& numero,
                                qint64 count) {
        return httpGet(port, "/cgi-bin/utenti/verifica2.cgi?" + auth + "&numero=" + numero +
                                 "&numerodet=" + QByteArray::number(count))
            .body;
    }
    // Charges `count` SMS at the credit the account has now.
    QByteArray charge(const QByteArray& auth, int count) {
        return verifica2(m_port, auth, get("/cgi-bin/utenti/leggi.pl?" + auth).body, count);
    }
    // `user` (password "p") with `credit` on a database of m_dir, served with `options`.
    quint16 serveAccount(QProcess& server, const QString& db, const QByteArray& user, int credit,
                         const QStringList& options) {
        createAccount(QString::fromLatin1(user), u"p"_s, credit, {}, m_dir.filePath(db));
        return startServer(server, m_dir.filePath(db), options);
    }
    // Charges one SMS to the account (password "p") and sends it; its key.
    QString sendPaid(const QByteArray& user, const QByteArray& to) {
        charge("utente=" + user + "&pass=p", 1);
        return get("/cgi-bin/sendsms?username=" + user +
                   "&password=p&text=x&to=" + enc(QString::fromLatin1(to)))
            .keys()
            .value(0);
    }
    // Starts a Kannel rig in the folder: what it printed, by name; empty when it failed.
    static QMap<QString, QString> startRig(const QTemporaryDir& folder) {
        int code = 0;
        const QString out = kannelRig({u"start"_s, folder.path()}, &code);
        QMap<QString, QString> env;
        for (const QString& line : out.split(u'\n', Qt::SkipEmptyParts))
            env.insert(line.section(u'=', 0, 0), line.section(u'=', 1));
        if (code != 0)
            qWarning("kannel-rig start failed: %s", qPrintable(out));
        return code == 0 ? env : QMap<QString, QString>();
    }
    // --forward to the rig's smsbox with its account.
    static QString forwardTo(const QMap<QString, QString>& env) {
        return env[u"KANNEL_SENDSMS_URL"_s] + u"?username="_s + env[u"KANNEL_USER"_s] +
               u"&password="_s + env[u"KANNEL_PASS"_s];
    }
    // The port of the server in front of the rig; both started at the first call.
    quint16 partsPort() {
        if (m_partsPort == 0 && !(m_rigEnv = startRig(m_rig)).isEmpty())
            m_partsPort =
                startServer(m_partsServer, m_dir.filePath(u"parts.db"_s),
                            {u"--max-parts"_s, u"3"_s, u"--forward"_s, forwardTo(m_rigEnv)});
        return m_partsPort;
    }
    static bool stop(QProcess& server) {
        ::kill(static_cast<pid_t>(server.processId()), SIGTERM);
        return server.waitForFinished(60000);
    }
    // quillet-gateway with the blank-separated arguments of `line` (DB: the test's database,
    // PORT: the gateway's port), then `more`.
    CommandResult command(const QString& line, const QStringList& more = {}) {
        QStringList args = line.split(u' ', Qt::SkipEmptyParts);
        for (QString& arg : args)
            arg = arg == u"DB" ? m_db : arg == u"PORT" ? QString::number(m_port) : arg;
        return runGateway(args + more);
    }
    void createAccount(const QString& user, const QString& password, int credit,
                       const QStringList& options = {}, const QString& db = {}) {
        QCOMPARE(
            runGateway(QStringList{u"account"_s, u"create"_s, u"--db"_s, db.isEmpty() ? m_db : db} +
                       options + QStringList{u"--"_s, user, password, QString::number(credit)})
                .exitCode,
            0);
    }

private slots:
    void initTestCase() {
        QVERIFY(m_dir.isValid());
        m_db = m_dir.filePath(u"gateway.db"_s);
        createAccount(u"demo"_s, u"demo"_s, 25);
        createAccount(u"Caffè Rossi"_s, u"a&b=c d+è"_s, 7);
        createAccount(u"sconto"_s, u"50%zz"_s, 4);
        createAccount(u"cliente"_s, u"cliente"_s, 20);
        createAccount(u"Pasticceria.Rossi"_s, u"p"_s, 1);
        createAccount(u"bar"_s, u"b"_s, 1, {u"--sender"_s, u"Bar Sport"_s});
        createAccount(u"esiti"_s, u"p"_s, 2);
        createAccount(u"altro"_s, u"p"_s, 1);
        QCOMPARE(command(u"account sender add --db DB"_s, {u"Caffè Rossi"_s, u"Q"_s}).exitCode, 0);
        createAccount(u"josé"_s, u"p"_s, 3);
        m_port = startServer(m_server, m_db,
                             {u"--sink-user"_s, u"prova"_s, u"--sink-pass"_s, u"segreta"_s});
        QVERIFY(m_port != 0);
        QCOMPARE(get("/cgi-bin/sendsms?" + sinkAuth + "from=Q&to=%2B39333&text=x&quillet-id=9f3a.7")
                     .status,
                 202);
    }

    // SIGTERM stops the gateway cleanly, even while a client keeps sending a request head.
    void cleanupTestCase() {
        if (m_partsPort != 0) {
            stop(m_partsServer);
            kannelRig({u"stop"_s, m_rig.path()});
        }
        if (m_server.processId() <= 0)
            return;
        SlowClients slow(m_port, 1, u"127.0.0.1"_s);
        QTRY_COMPARE(slow.count(QAbstractSocket::ConnectedState), 1);
        ::kill(static_cast<pid_t>(m_server.processId()), SIGTERM);
        QTRY_COMPARE_WITH_TIMEOUT(m_server.state(), QProcess::NotRunning, 60000);
        QCOMPARE(m_server.exitStatus(), QProcess::NormalExit);
        QCOMPARE(m_server.exitCode(), 0);
    }

    void answers_data() {
        QTest::addColumn<QByteArray>("target");
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("body"); // "%port": the gateway's port
        const QByteArray leggi = "/cgi-bin/utenti/leggi.pl?";
        const QByteArray nosggi = "/cgi-bin/utenti/nosggi.pl?";
        const QByteArray verifica = "/cgi-bin/utenti/verifica.cgi?datatime=1&";
        const QByteArray demo = "utente=demo&pass=demo&";
        const QByteArray caffe = "utente=" + enc(u"Caffè Rossi"_s) + "&pass=" + enc(u"a&b=c d+è"_s);
        const QByteArray invalid = "Account non valido";

        const auto row = [](const char* tag, const QByteArray& target, int status,
                            const QByteArray& body) {
            QTest::newRow(tag) << target << status << body;
        };
        row("credit, wrong password", leggi + "utente=demo&pass=demo2", 200, invalid);
        row("credit, & = blank + and accents", leggi + caffe, 200, "7");
        // The client splits the channel at "-": host, user:password for sendsms, port.
        row("channel", nosggi + demo + "datatime=1", 200, "127.0.0.1-demo:demo-%port");
        row("channel, wrong password", nosggi + "utente=demo&pass=x", 200, "");
        row("check, credit covers the send", verifica + demo + "numero=25&numerodet=25", 200, "OK");
        row("check, one too many", verifica + demo + "numero=25&numerodet=26", 200,
            "KO Credito insufficiente: disponibili 25, richiesti 26");
        // Whether the SMS handed over with a reference (quillet-id, which Kannel ignores; 9f3a.7
        // at the start) reached the sink, asked by the sink user or an account.
        const QByteArray sent = "/cgi-bin/sendsms-status?";
        const QByteArray refused = "Authorization failed for sendsms";
        row("sent, arrived", sent + sinkAuth + "quillet-id=9f3a.7", 200, "1");
        row("sent, asked by another login", sent + "username=bar&password=b&quillet-id=9f3a.7", 200,
            "0");
        row("sent, never handed over", sent + sinkAuth + "quillet-id=9f3a.8", 200, "0");
        row("sent, wrong password", sent + "username=prova&password=x&quillet-id=9f3a.7", 403,
            refused);
        // The demonstration login exists only with --demo.
        row("the demo login",
            "/cgi-bin/sendsms?username=quillet&password=quillet&from=Q&to=3331234567&text=x", 403,
            refused);
        // numero is the credit the client read: 32 characters at most.
        const QByteArray verifica2 = "/cgi-bin/utenti/verifica2.cgi?utente=demo&pass=demo&numero=";
        row("numero of 32", verifica2 + "1." + QByteArray(30, '1') + "&numerodet=0", 200,
            "OK addebitati 0, credito 25");
        row("numero of 33", verifica2 + "1." + QByteArray(31, '1') + "&numerodet=0", 200,
            "KO Valore non valido per numero");
        // The sink's pages are the operator's (prova / segreta here: sink and
        // sinkKeepsTheNewest read them so).
        const QByteArray operatorOnly =
            "Messaggi ricevuti visibili solo al gestore: accedere con l'utente del ricevitore";
        for (const QByteArray& page : {"/sink"_ba, "/sink.txt"_ba}) {
            row((page + ", no login").constData(), page, 401, operatorOnly);
            row((page + ", an account's login").constData(), page + "#demo:demo", 401,
                operatorOnly);
        }
    }
    void answers() {
        QFETCH(QByteArray, target); // "#user:password": a sink page asked with that login
        QFETCH(QByteArray, body);
        // Its wrong logins from an address of their own: 5 failures there stop any login.
        const qsizetype login = target.indexOf('#');
        const Answer answer = login < 0
                                  ? httpGet(m_port, target, u"127.0.0.3"_s)
                                  : sinkGet(m_port, target.left(login), target.mid(login + 1));
        QTEST(answer.status, "status");
        QCOMPARE(answer.body, body.replace("%port", QByteArray::number(m_port)));
        if (answer.status == 401)
            QVERIFY(answer.head.contains("\r\nWWW-Authenticate: Basic realm=\"quillet-gateway\""));
        QCOMPARE(credit("demo", "demo"), "25"_ba); // never charged; the gateway still serves
    }

    void chargeAndCorrect() {
        struct Step {
            const char* numero;
            int count;
            const char* answer; // start of the answer
            int credit;         // afterwards
        };
        const Step steps[] = {
            {"20", 5, "OK", 15},    // the send is charged
            {"20", 5, "OK", 15},    // the same request again: no second charge
            {"20", 3, "OK", 17},    // two SMS failed: corrected, 2 refunded
            {"20", 3, "OK", 17},    // the correction again
            {"20", 4, "OK", 17},    // a higher count for the same send is not charged
            {"17", 2, "OK", 15},    // the next send
            {"17", 0, "OK", 17},    // every SMS failed
            {"17", 4, "OK", 13},    // a new send that found the credit at 17 again
            {"12,5", 1, "OK", 12},  // a credit with a decimal comma is a send of its own
            {"12.50", 0, "OK", 13}, // and the same numero written another way corrects it
            {"13", 14, "KO", 13},   // not enough credit: nothing charged
        };
        for (const Step& step : steps) {
            const QByteArray body =
                verifica2(m_port, "utente=cliente&pass=cliente", step.numero, step.count);
            QVERIFY2(body.startsWith(step.answer), (step.numero + (" -> " + body)).constData());
            QCOMPARE(credit("cliente", "cliente"), QByteArray::number(step.credit));
        }
        QCOMPARE(verifica2(m_port, "utente=cliente&pass=x", "13", 1), "KO Account non valido"_ba);

        // The ledger holds every change (third column) with the credit after it (fourth).
        const auto ledger = command(u"ledger --db DB cliente"_s);
        QCOMPARE(ledger.exitCode, 0);
        QStringList changes;
        for (const QString& line : ledger.out.split(u'\n', Qt::SkipEmptyParts).mid(1))
            changes.append(line.section(u'\t', 1, 3));
        QCOMPARE(changes,
                 QStringList({u"cliente\t+20\t20"_s, u"cliente\t-5\t15"_s, u"cliente\t+2\t17"_s,
                              u"cliente\t-2\t15"_s, u"cliente\t+2\t17"_s, u"cliente\t-4\t13"_s,
                              u"cliente\t-1\t12"_s, u"cliente\t+1\t13"_s}));
    }

    // 16 clients of one account with credit 10 send at once, each as the program does: read
    // the credit, charge, hand over its SMS, correct the charge to what went out. No SMS gets
    // through unpaid, the credit and the charges add up, every figure is the ledger's.
    void everySmsPaidFor() {
        for (int trial = 0; trial < 20; ++trial) {
            const QByteArray user = "folla" + QByteArray::number(trial);
            createAccount(QString::fromLatin1(user), u"p"_s, 10);
            std::atomic<int> accepted{0};
            std::mutex mutex;
            QList<qint64> figures;
            const auto ask = [&](const QByteArray& target) {
                static const QRegularExpression figure(
                    u"(?:^|credito |disponibili )(\\d+)(?:,|$)"_s);
                const QByteArray body = get(target).body;
                const std::lock_guard lock(mutex);
                figures.append(figure.match(QString::fromUtf8(body)).captured(1).toLongLong());
                return body;
            };
            std::vector<std::thread> clients;
            for (int c = 0; c < 16; ++c) {
                clients.emplace_back([&, c] {
                    const int count = 1 + c % 4;
                    const QByteArray auth = "utente=" + user + "&pass=p";
                    const QByteArray charge = "/cgi-bin/utenti/verifica2.cgi?" + auth +
                                              "&numero=" + ask("/cgi-bin/utenti/leggi.pl?" + auth) +
                                              "&numerodet=";
                    if (!ask(charge + QByteArray::number(count)).startsWith("OK"))
                        return;
                    int sent = 0;
                    for (int i = 0; i < count; ++i)
                        sent += get("/cgi-bin/sendsms?username=" + user +
                                    "&password=p&to=3331234567&text=x")
                                    .status == 202;
                    accepted += sent;
                    if (sent < count)
                        ask(charge + QByteArray::number(sent));
                });
            }
            for (auto& client : clients)
                client.join();

            const auto ledger =
                runGateway({u"ledger"_s, u"--db"_s, m_db, QString::fromLatin1(user)});
            QList<qint64> balances;
            qint64 charged = 0;
            for (const QString& line : ledger.out.split(u'\n', Qt::SkipEmptyParts).mid(2)) {
                charged -= line.section(u'\t', 2, 2).toLongLong();
                balances.append(line.section(u'\t', 3, 3).toLongLong());
            }
            const qint64 left = balances.isEmpty() ? 10 : balances.last();
            balances.append(10);
            const QString where = u"trial %1: %2 SMS accepted, %3 charged, credit %4"_s.arg(trial)
                                      .arg(accepted.load())
                                      .arg(charged)
                                      .arg(left);
            QVERIFY2(accepted <= charged, qPrintable(where));
            QCOMPARE(left + charged, 10);
            QCOMPARE(left, credit(user, "p").toLongLong());
            for (const qint64 figure : figures)
                QVERIFY2(balances.contains(figure),
                         qPrintable(where + u", figure %1"_s.arg(figure)));
        }
    }

    void sink_data() {
        QTest::addColumn<QByteArray>("query");
        QTest::addColumn<int>("status");
        QTest::addColumn<QStringList>("received"); // the new lines of /sink.txt
        QTest::addColumn<int>("paid"); // SMS the account charged (verifica2) just before

        const auto row = [](const char* tag, const QByteArray& query, int status,
                            const QStringList& received = {}, int paid = 0) {
            QTest::newRow(tag) << query << status << received << paid;
        };
        const auto x = [](const QString& sender) { // an SMS of "x" to +393331234567
            return QStringList{sender + u" +393331234567 -1 x"_s};
        };
        const QByteArray to = "&to=%2B393331234567";
        row("accents and euro",
            sinkAuth + "from=Quillet" + to + "&text=" + enc(u"Caffè à è é ì ò ù €"_s), 202,
            {u"Quillet +393331234567 -1 Caffè à è é ì ò ù €"_s});
        row("flash", sinkAuth + "from=Q" + to + "&text=lampo&mclass=0", 202,
            {u"Q +393331234567 0 lampo"_s});
        row("wrong password", "username=prova&password=x&from=Q&text=x" + to, 403);
        // An account sends as itself, each SMS paid for by a charge; without "from" its
        // default sender goes out.
        const QByteArray caffe = "username=" + enc(u"Caffè Rossi"_s) +
                                 "&password=" + enc(u"a&b=c d+è"_s) + to + "&text=x";
        row("account: its name of 11", caffe, 202, x(u"Caffè Rossi"_s), 2);
        row("account: a sender the operator allowed", caffe + "&from=Q", 202, x(u"Q"_s));
        row("account: a sender not allowed", caffe + "&from=INPS", 403);
        row("account: its charge spent", caffe, 402);
        row("account: a longer name cut", "username=Pasticceria.Rossi&password=p&text=x" + to, 202,
            x(u"Pasticceria"_s), 1);
        const QByteArray bar = "username=bar&password=b&text=x" + to;
        row("account: sender set at creation, 2 receivers and 1 paid", bar + "%20%2B393339999999",
            402, {}, 1);
        row("account: sender set at creation", bar, 202, x(u"Bar Sport"_s));

        // A sender is a name of 11 GSM characters or a number of 16 digits; a receiver has 3 to
        // 16 digits.
        const auto from = [&](const QString& sender) {
            return sinkAuth + "text=x" + to + "&from=" + enc(sender);
        };
        row("sender of 11", from(u"Hotel Roma1"_s), 202, x(u"Hotel Roma1"_s));
        row("sender of 12", from(u"Hotel Romano"_s), 400);
        row("sender of 16 digits", from(u"+1234567890123456"_s), 202, x(u"+1234567890123456"_s));
        row("sender of 17 digits", from(u"12345678901234567"_s), 400);
        row("sender with a euro", from(u"Caffè€"_s), 400);
        const QByteArray q = sinkAuth + "from=Q&text=x&to=";
        row("receivers of 3 and 16 digits", q + "112%20%2B1234567890123456", 202,
            {u"Q 112 -1 x"_s, u"Q +1234567890123456 -1 x"_s});
        row("receiver of 2 digits", q + "112%2011", 400);
        row("receiver of 17 digits", q + "%2B12345678901234567", 400);

        // What one request may store: 100 receivers.
        QStringList hundred;
        for (int i = 0; i < 100; ++i)
            hundred.append(u"Q %1 -1 x"_s.arg(3330000000 + i));
        row("100 receivers", q + numbersFrom(3330000000, 100), 202, hundred);
        row("101 receivers", q + numbersFrom(3330000000, 101), 400);
    }

    void sink() {
        QFETCH(QByteArray, query);
        QFETCH(int, paid);
        if (paid > 0) {
            const QUrlQuery fields(QString::fromUtf8(query));
            const auto field = [&](const QString& name) {
                return enc(fields.queryItemValue(name, QUrl::FullyDecoded));
            };
            QVERIFY(charge("utente=" + field(u"username"_s) + "&pass=" + field(u"password"_s), paid)
                        .startsWith("OK addebitati"));
        }
        const qsizetype before = sinkLines().size();
        const Answer answer = get("/cgi-bin/sendsms?" + query);
        QTEST(answer.status, "status");
        QTEST(sinkLines().mid(before), "received");
        // Each SMS stored has a key of its own, in the order of the receivers; a refusal none.
        const QStringList keys = answer.keys();
        QCOMPARE(keys.size(), sinkLines().size() - before);
        QCOMPARE(QSet<QString>(keys.begin(), keys.end()).size(), keys.size());
        static const QRegularExpression key(u"^[0-9a-f]{32}$"_s);
        for (const QString& k : keys)
            QVERIFY2(key.match(k).hasMatch(), qPrintable(k));
    }

    // A request is charged the SMS its text makes for each receiver, as the SMS centre counts
    // them (parts of 153 septets or 67 units), and a text of more parts than --max-parts (3, as
    // the rig's max-messages) is refused with nothing charged: in sink mode and in front of
    // Kannel alike, where the SMS centre receives exactly the SMS charged. sendsms-status
    // counts them too. Kannel gets a request rebuilt from what was checked: a query it would
    // read otherwise (a NUL or a bad '%' in a name, a field twice, bytes not URL-safe) is
    // refused, the client's own routing, header and report fields never reach it.
    void smsByParts_data() {
        QTest::addColumn<bool>("forward");
        QTest::addColumn<QByteArray>("fields"); // text, coding
        QTest::addColumn<int>("receivers");
        QTest::addColumn<int>("status");
        QTest::addColumn<int>("sms"); // charged, and received by Kannel's SMS centre
        // How the fake SMS centre got the first: in 7 bits, UCS-2, or parts with a header.
        QTest::addColumn<QString>("type");
        QTest::addColumn<QByteArray>("answer"); // of a refusal
        const QByteArray long4 = "Testo troppo lungo: 4 SMS, al massimo 3 per messaggio, rifiutato";
        const QString x = u"x"_s, acute = u"á"_s;
        const auto text = [](const QString& value) {
            return "text=" + enc(value);
        };
        for (const bool forward : {false, true}) {
            const auto row = [&](const char* name, const QByteArray& fields, int status, int sms,
                                 const QString& type = {}, const QByteArray& answer = {},
                                 int receivers = 1) {
                QTest::newRow(((forward ? "forward: "_ba : "sink: "_ba) + name).constData())
                    << forward << fields << receivers << status << sms << type << answer;
            };
            row("160 letters", text(x.repeated(160)), 202, 1, u"text"_s);
            row("161 letters", text(x.repeated(161)), 202, 2, u"udh"_s);
            row("3 parts of 153", text(x.repeated(459)), 202, 3, u"udh"_s);
            row("4 parts: refused", text(x.repeated(460)), 400, 0, {}, long4);
            row("81 euro", text(u"€"_s.repeated(81)), 202, 2, u"udh"_s);
            row("70 units", text(acute.repeated(70)), 202, 1, u"ucs-2"_s);
            row("71 units", text(acute.repeated(71)), 202, 2, u"udh"_s);
            row("3 parts of 67", text(acute.repeated(201)), 202, 3, u"udh"_s);
            row("202 units: refused", text(acute.repeated(202)), 400, 0, {}, long4);
            row("UCS-2 asked: 71 letters", text(x.repeated(71)) + "&coding=2&charset=UTF-8", 202, 2,
                u"udh"_s);
            row("two receivers, 161 letters", text(x.repeated(161)), 202, 4, u"udh"_s, {}, 2);
            const QByteArray bad = "Richiesta non valida: ";
            row("a NUL in a name", "to%00=%2B393330000001%20%2B393330000002&text=x", 400, 0, {},
                bad + "nome di campo non valido, rifiutata");
            row("a field twice", "text=x&text=y", 400, 0, {},
                bad + "campo ripetuto (text), rifiutata");
            row("a bad escape", "text=x&dlr-url%=http://x/", 400, 0, {},
                bad + "'%' senza due cifre esadecimali, rifiutata");
            row("an 8-bit byte", "text=caff\xe8", 400, 0, {},
                bad + "carattere non ammesso (e8), rifiutata");
            // Routing, a header and the client's report request stay with the gateway.
            row("smsc, udh and dlr fields dropped",
                "text=x&smsc=altro&udh=%05%00%03%01%02%01&dlr-mask=31&dlr-url=http%3A%2F%2Fx%2F",
                202, 1, u"text"_s);
            const QByteArray eightBit = "coding=1&text=" + QByteArray(141, 'b');
            if (forward)
                row("8-bit data not forwarded", eightBit, 400, 0, {},
                    "Dati a 8 bit non inoltrati al centro SMS, rifiutato");
            else
                row("8-bit, 141 bytes", eightBit, 202, 2);
        }
    }
    void smsByParts() {
        QFETCH(bool, forward);
        QFETCH(QByteArray, fields);
        QFETCH(int, receivers);
        QFETCH(int, status);
        QFETCH(int, sms);
        quint16 port = m_port;
        QString db = m_db;
        if (forward) {
            QVERIFY((port = partsPort()) != 0);
            db = m_dir.filePath(u"parts.db"_s);
        }
        const QByteArray user = "parti" + QByteArray::number(++m_partsRows);
        createAccount(QString::fromLatin1(user), u"p"_s, 10, {}, db);
        const QByteArray auth = "utente=" + user + "&pass=p";
        QCOMPARE(verifica2(port, auth, "10", 10), "OK addebitati 10, credito 0"_ba);
        QStringList numbers;
        for (int i = 0; i < receivers; ++i)
            numbers << u"+3933480%1%2"_s.arg(m_partsRows, 3, 10, QChar(u'0')).arg(i);
        const QByteArray login = "username=" + user + "&password=p&";
        const Answer answer = httpGet(port, "/cgi-bin/sendsms?" + login + "quillet-id=" + user +
                                                "&to=" + enc(numbers.join(u' ')) + '&' + fields);
        QTEST(answer.status, "status");
        if (status == 400)
            QTEST(answer.body, "answer");
        else
            QCOMPARE(httpGet(port, "/cgi-bin/sendsms-status?" + login + "quillet-id=" + user).body,
                     QByteArray::number(sms));
        // What the charge gets back when corrected to none sent: all but what was used.
        static const QRegularExpression back(u"restituiti (\\d+)"_s);
        const auto given = back.match(QString::fromUtf8(verifica2(port, auth, "10", 0)));
        QCOMPARE(10 - (given.hasMatch() ? given.captured(1).toInt() : 0), sms);
        if (!forward)
            return;
        QStringList types;
        const auto received = [&] {
            types.clear();
            for (const QString& line : kannelRig({u"received"_s, m_rig.path()}).split(u'\n'))
                if (numbers.contains(line.section(u' ', 1, 1)))
                    types << line.section(u' ', 2, 2);
            return types.size();
        };
        QTRY_COMPARE_WITH_TIMEOUT(received(), sms, 10000);
        QTest::qWait(200); // and no more
        QCOMPARE(received(), sms);
        QTEST(types.value(0), "type");
    }

    // esiti.pl answers the latest state of the account's own SMS, in the order asked: the
    // sink delivers, but to a number marked unreachable while the gateway runs.
    void deliveryStates_data() {
        QTest::addColumn<QByteArray>("query"); // K1 delivered, K2 unreachable, KB another's
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("body"); // TIME: the report's arrival
        const QByteArray esiti = "utente=esiti&pass=p&sms=";
        const QString delivered = u"K1\t1\tTIME\t"_s;
        const QString unreachable = u"K2\t2\tTIME\tNumero non raggiungibile"_s;
        const QByteArray unknown(32, '0');
        QByteArray keys = "K1";
        for (int i = 1; i < 200; ++i)
            keys += ',' + unknown;
        QTest::newRow("in the order asked, another account's and unknown keys left out")
            << esiti + "KB,K2," + unknown + ",K1" << 200 << unreachable + u'\n' + delivered;
        QTest::newRow("wrong password")
            << "utente=esiti&pass=x&sms=K1"_ba << 200 << u"Account non valido"_s;
        QTest::newRow("200 keys") << esiti + keys << 200 << delivered;
        QTest::newRow("201 keys") << esiti + keys + ',' + unknown << 400
                                  << u"Troppe chiavi: al massimo 200 per richiesta"_s;
        QTest::newRow("no sms") << "utente=esiti&pass=p"_ba << 400 << u"Parametro mancante: sms"_s;
    }
    void deliveryStates() {
        if (m_keys.isEmpty()) {
            m_keys["K1"] = sendPaid("esiti", "+393330000001");
            // Marked as the office writes it.
            QCOMPARE(command(u"unreachable add --db DB"_s, {u"333 0000002"_s}).exitCode, 0);
            m_keys["K2"] = sendPaid("esiti", "+393330000002");
            QCOMPARE(command(u"unreachable remove --db DB 00393330000002"_s).exitCode, 0);
            m_keys["KB"] = sendPaid("altro", "+393330000002");
        }
        QFETCH(QByteArray, query);
        QFETCH(QString, body);
        for (auto it = m_keys.cbegin(); it != m_keys.cend(); ++it) {
            query.replace(it.key().toLatin1(), it.value().toLatin1());
            body.replace(it.key(), it.value());
        }
        const Answer answer = get("/cgi-bin/utenti/esiti.pl?" + query + "&datatime=1");
        QTEST(answer.status, "status");
        QCOMPARE(withoutTimes(answer.body), body);
    }

    // Kannel's calls (blank-separated) with the reports of an SMS the sink delivered (K): a final
    // state stays against a later 8 (Kannel may call out of order), a later final state replaces
    // it; the text is kept to 200 characters. An unknown key is refused and changes nothing.
    void deliveryReport_data() {
        QTest::addColumn<QByteArray>("report");
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("state"); // K's STATE<tab>TEXT on esiti.pl afterwards
        QTest::addColumn<QString>("from");  // the caller's address, when not 127.0.0.1
        const QString text = u"Già\tletto\\\n"_s + QString(200, u'x');
        QTest::newRow("8 after the final 1")
            << "k=K&st=8&ts=1796547037&a=ACK%2F"_ba << 200 << "OK"_ba << u"1\t"_s << QString();
        QTest::newRow("8 after the final 16") << "k=K&st=16&a=Rifiutato k=K&st=8"_ba << 200
                                              << "OK"_ba << u"16\tRifiutato"_s << QString();
        QTest::newRow("2 from an address not Kannel's")
            << "k=K&st=2"_ba << 403 << "Esiti accettati solo dal centro SMS"_ba << u"1\t"_s
            << u"127.0.0.2"_s;
        QTest::newRow("2 replaces 1, text cut")
            << "k=K&st=2&ts=1796547037&a=" + enc(text) << 200 << "OK"_ba
            << u"2\tGià\\tletto\\\\\\n"_s + QString(200 - 11, u'x') << QString();
        QTest::newRow("unknown key") << "k=0123456789abcdef0123456789abcdef&st=2"_ba << 404
                                     << "Esito sconosciuto"_ba << u"1\t"_s << QString();
        QTest::newRow("state 3") << "k=K&st=3"_ba << 400 << "Parametro non valido: st"_ba
                                 << u"1\t"_s << QString();
    }
    void deliveryReport() {
        QFETCH(QByteArray, report);
        QFETCH(QString, from);
        const QStringList keys =
            get("/cgi-bin/sendsms?" + sinkAuth + "from=Q&to=%2B393331234567&text=x").keys();
        QCOMPARE(keys.size(), 1);
        Answer answer; // of the last call
        for (const QByteArray& call : report.replace("k=K", "k=" + keys[0].toLatin1()).split(' '))
            answer = httpGet(m_port, "/cgi-bin/dlr?" + call, from);
        QTEST(answer.status, "status");
        QTEST(answer.body, "body");
        const QString line = QString::fromUtf8(
            get("/cgi-bin/utenti/esiti.pl?utente=prova&pass=segreta&sms=" + keys[0].toLatin1())
                .body);
        QTEST(line.section(u'\t', 1, 1) + u'\t' + line.section(u'\t', 3), "state");
    }

    // Keys and reports older than 90 days are dropped when the gateway starts. A database from
    // before SMS were counted by parts opens, its SMS one each.
    void oldReportsDropped() {
        const QString db = m_dir.filePath(u"old.db"_s);
        QProcess server;
        quint16 port = startServer(server, db, {u"--demo"_s});
        const QStringList keys =
            httpGet(port, "/cgi-bin/sendsms?username=quillet&password=quillet&from=Q&to=301%20302"
                          "&quillet-id=v5&text=" +
                              QByteArray(300, 'x'))
                .keys();
        QCOMPARE(keys.size(), 2);
        // Charges that sent nothing: one of 90 days less a minute, one of 90 days and a minute.
        createAccount(u"vecchio"_s, u"p"_s, 2, {}, db);
        for (const QByteArray& numero : {"2"_ba, "1"_ba})
            verifica2(port, "utente=vecchio&pass=p", numero, 1);
        QVERIFY(stop(server));
        rawSql(db,
               "UPDATE sends SET last_time = strftime('%Y-%m-%dT%H:%M:%fZ', 'now', iif(numero "
               "= '2', '-129599 minutes', '-129601 minutes')); UPDATE deliveries SET accepted = "
               "strftime('%Y-%m-%dT%H:%M:%fZ', 'now', iif(key = '" +
                   keys[0].toLatin1() +
                   "', '-129599 minutes', '-129601 minutes')); ALTER TABLE sink DROP COLUMN "
                   "parts; " +
                   toVersion6 +
                   "ALTER TABLE deliveries DROP COLUMN parts; PRAGMA user_version = 5");
        port = startServer(server, db, {u"--demo"_s});
        const QByteArray asked = "/cgi-bin/utenti/esiti.pl?utente=quillet&pass=quillet&sms=";
        const QByteArray body = httpGet(port, asked + keys.join(u',').toLatin1()).body;
        QCOMPARE(body.left(body.indexOf('\t')), keys[0].toLatin1()); // 90 days less a minute
        QVERIFY(!body.contains(keys[1].toLatin1()));                 // 90 days and a minute
        QCOMPARE(verifica2(port, "utente=vecchio&pass=p", "2", 0),
                 "OK rettifica, restituiti 1, credito 1"_ba); // kept: still corrected
        store::sqlite::Connection check(db, store::sqlite::Connection::Mode::OpenExisting, 5000);
        store::sqlite::Statement sends(check, "SELECT group_concat(numero) FROM sends");
        QVERIFY(sends.step());
        QCOMPARE(sends.text(0), u"2"_s); // the other dropped
        QCOMPARE(httpGet(port, "/cgi-bin/sendsms-status?username=quillet&password=quillet"
                               "&quillet-id=v5")
                     .body,
                 "2"_ba); // two receivers of two parts, counted one each as before
        QVERIFY(stop(server));
    }

    // serve --forward in front of a real Kannel: the reports Kannel calls back with reach
    // esiti.pl for each SMS, one receiver or several to a request, within 5 seconds; Kannel is
    // asked for them by the gateway, never with the client's own dlr fields.
    void forwardedReports() {
        const quint16 port = partsPort();
        QVERIFY(port != 0);
        createAccount(u"inoltro"_s, u"p"_s, 3, {}, m_dir.filePath(u"parts.db"_s));
        QCOMPARE(verifica2(port, "utente=inoltro&pass=p", "3", 3), "OK addebitati 3, credito 0"_ba);
        const QByteArray send = "/cgi-bin/sendsms?username=inoltro&password=p&text=x"
                                "&dlr-mask=1&dlr-url=http%3A%2F%2F127.0.0.1%3A9%2Fx&to=";
        const QStringList keys = httpGet(port, send + "%2B393338800001%20%2B393338800002").keys() +
                                 httpGet(port, send + "3338800003").keys();
        QCOMPARE(keys.size(), 3);
        const QByteArray asked =
            "/cgi-bin/utenti/esiti.pl?utente=inoltro&pass=p&sms=" + keys.join(u',').toLatin1();
        QTRY_COMPARE_WITH_TIMEOUT(withoutTimes(httpGet(port, asked).body),
                                  keys.join(u"\t1\tTIME\t\n"_s) + u"\t1\tTIME\t"_s, 5000);
        // The access log's last flag is the DLR mask: delivered, not, at the centre, refused.
        QFile log(m_rigEnv[u"KANNEL_ACCESS_LOG"_s]);
        QVERIFY(log.open(QIODevice::ReadOnly));
        QCOMPARE(
            QString::fromUtf8(log.readAll())
                .count(QRegularExpression(
                    u"Sent SMS [^\n]*\\[to:[^\\]]*333880000\\d\\][^\n]*\\[flags:[^\\]]*:27\\]"_s)),
            3);
    }

    // A client killed while handing an SMS over asks at its next start whether it arrived: the
    // answer waits for a sendsms with that reference still on its way (Kannel answers it late).
    void statusOfAnSmsOnItsWay() {
        FaultyKannel kannel(FaultyKannel::Fault::Late, 800);
        QProcess server;
        const quint16 port = serveAccount(server, u"inflight.db"_s, "inviante", 1,
                                          {u"--forward"_s, kannel.forwardUrl()});
        QVERIFY(port != 0);
        QCOMPARE(verifica2(port, "utente=inviante&pass=p", "1", 1),
                 "OK addebitati 1, credito 0"_ba);
        const QByteArray auth = "username=inviante&password=p&quillet-id=volo.1";
        auto sent = std::async(std::launch::async, [&] {
            return httpGet(port, "/cgi-bin/sendsms?text=x&to=3331234567&" + auth).status;
        });
        QThread::msleep(300);
        QCOMPARE(httpGet(port, "/cgi-bin/sendsms-status?" + auth).body, "1"_ba);
        QCOMPARE(sent.get(), 202);
        QVERIFY(stop(server));
    }

    // A Kannel whose answer is late, cut or never comes, or the gateway killed while Kannel
    // has the SMS: it may have gone. It stays paid for, sendsms answers 504 with its keys,
    // sendsms-status "Incerto" (never "0", which the client would resend), until Kannel's
    // report settles it. Meanwhile, with every forward waiting on Kannel, the gateway answers
    // the other requests.
    void uncertainForward_data() {
        QTest::addColumn<FaultyKannel::Fault>("fault");
        QTest::addColumn<bool>("killed");
        QTest::newRow("drips a byte every 1.5 s") << FaultyKannel::Fault::Drip << false;
        QTest::newRow("answers after 2.5 s") << FaultyKannel::Fault::Late << false;
        QTest::newRow("closes without answering") << FaultyKannel::Fault::Close << false;
        QTest::newRow("silent") << FaultyKannel::Fault::Silent << false;
        QTest::newRow("silent, the gateway killed") << FaultyKannel::Fault::Silent << true;
    }
    void uncertainForward() {
        QFETCH(FaultyKannel::Fault, fault);
        QFETCH(bool, killed);
        FaultyKannel kannel(fault);
        const QString db = u"uncertain%1.db"_s.arg(QTest::currentDataTag());
        constexpr int senders = 20; // beyond the event loops: each forward would block one
        QProcess server;
        quint16 port =
            serveAccount(server, db, "incerto", senders, {u"--forward"_s, kannel.forwardUrl()});
        QVERIFY(port != 0);
        const auto stopServer = qScopeGuard([&] { stop(server); });
        const QByteArray count = QByteArray::number(senders);
        QCOMPARE(verifica2(port, "utente=incerto&pass=p", count, senders),
                 "OK addebitati " + count + ", credito 0");
        std::vector<std::future<Answer>> sends;
        for (int i = 0; i < senders; ++i) {
            sends.push_back(std::async(std::launch::async, [port, i] {
                return httpGet(port, "/cgi-bin/sendsms?username=incerto&password=p&text=x&to=" +
                                         QByteArray::number(3331000000 + i) + "&quillet-id=u." +
                                         QByteArray::number(i));
            }));
        }
        QTRY_COMPARE_WITH_TIMEOUT(kannel.requests(), senders, 30000); // all waiting on Kannel
        QCOMPARE(httpGet(port, "/cgi-bin/utenti/leggi.pl?utente=incerto&pass=p").body, "0"_ba);
        if (killed) {
            ::kill(static_cast<pid_t>(server.processId()), SIGKILL);
            QVERIFY(server.waitForFinished(30000));
            QVERIFY((port = startServer(server, m_dir.filePath(db),
                                        {u"--forward"_s, kannel.forwardUrl()})) != 0);
        }
        QStringList keys;
        for (auto& send : sends) {
            const Answer answer = send.get();
            QCOMPARE(answer.status, killed ? 0 : 504);
            keys += answer.keys();
        }
        QCOMPARE(keys.size(), killed ? 0 : senders);
        const QByteArray status =
            "/cgi-bin/sendsms-status?username=incerto&password=p&quillet-id=u.";
        QCOMPARE(httpGet(port, status + "0").body, "Incerto"_ba);
        // Nothing given back: they may have gone.
        QCOMPARE(verifica2(port, "utente=incerto&pass=p", count, 0),
                 "OK invio già addebitato, credito 0"_ba);
        if (killed)
            return;
        // Kannel's report settles the first: it went.
        QCOMPARE(httpGet(port, "/cgi-bin/dlr?k=" + keys[0].toLatin1() + "&st=8").status, 200);
        QCOMPARE(httpGet(port, status + "0").body, "1"_ba);
        QCOMPARE(httpGet(port, status + "1").body, "Incerto"_ba);
    }

    // 100 receivers beside a request head near its limit: the answer still carries every key.
    void hundredKeysBesideALongHead() {
        const Answer answer = httpGet(m_port,
                                      "/cgi-bin/sendsms?" + sinkAuth +
                                          "from=Q&text=x&to=" + numbersFrom(3335550000, 100),
                                      {}, "X-Riempitivo: " + QByteArray(29000, 'a') + "\r\n");
        QCOMPARE(answer.status, 202);
        QCOMPARE(answer.keys().size(), 100);
    }

    // The sink keeps the newest messages and counts them all.
    void sinkKeepsTheNewest() {
        QProcess server;
        const quint16 port = startServer(server, m_dir.filePath(u"keep.db"_s),
                                         {u"--sink-keep"_s, u"3"_s, u"--demo"_s});
        QVERIFY(port != 0);
        QCOMPARE(httpGet(port, "/cgi-bin/sendsms?username=quillet&password=quillet&from=Q&text=x"
                               "&to=301%20302%20303%20304")
                     .status,
                 202);
        QCOMPARE(QString::fromUtf8(sinkGet(port, "/sink.txt", "quillet:quillet").body),
                 u"Q 302 -1 x\nQ 303 -1 x\nQ 304 -1 x\n"_s);
        const QByteArray page = sinkGet(port, "/sink", "quillet:quillet").body;
        QVERIFY(page.contains("SMS ricevuti dal gateway: 4, di cui conservati gli ultimi 3."));
        QVERIFY(page.indexOf("<td>304</td>") < page.indexOf("<td>302</td>")); // newest first
        QVERIFY(stop(server));
    }

    // One address holds at most 128 connections; slow ones lock no one out, and a request
    // head not over within 5 seconds ends with 408.
    void slowClients() {
        SlowClients slow(m_port, 129, u"127.0.0.2"_s);
        QTRY_COMPARE(slow.count(QAbstractSocket::UnconnectedState), 1);
        QTRY_COMPARE(slow.count(QAbstractSocket::ConnectedState), 128);
        QTcpSocket normal;
        normal.connectToHost(u"127.0.0.1"_s, m_port);
        normal.write("GET /cgi-bin/utenti/leggi.pl?utente=demo&pass=demo HTTP/1.1\r\n"
                     "Host: 127.0.0.1\r\n\r\n");
        QByteArray answer;
        QTRY_VERIFY_WITH_TIMEOUT((answer += normal.readAll()).endsWith("\r\n\r\n25"), 30000);
        QTRY_COMPARE_WITH_TIMEOUT(slow.count(QAbstractSocket::ConnectedState), 0, 30000);
        QVERIFY(slow.at(0).readAll().startsWith("HTTP/1.1 408 "));
    }

    // Statuses of requests sent together on one connection, in the order of the answers.
    void rawRequests_data() {
        QTest::addColumn<QByteArray>("requests");
        QTest::addColumn<QList<int>>("statuses");
        const QByteArray credit = "GET /cgi-bin/utenti/leggi.pl?utente=demo&pass=demo HTTP/1.1\r\n"
                                  "Host: 127.0.0.1\r\n";
        const auto headers = [](int count) {
            QByteArray lines;
            for (int i = 0; i < count; ++i)
                lines += "X-" + QByteArray::number(i) + ": a\r\n";
            return lines;
        };
        const QByteArray last = "Connection: close\r\n\r\n";
        QTest::newRow("pipelined")
            << credit + "\r\n" + "GET /nessuna HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n" + credit + last
            << QList<int>{200, 404, 200};
        QTest::newRow("100 header lines") << credit + headers(98) + last << QList<int>{200};
        QTest::newRow("101 header lines, the rest unread")
            << credit + headers(99) + last + credit + last << QList<int>{431};
        QTest::newRow("a header of 40 KB")
            << credit + "X-Grande: " + QByteArray(40000, 'a') + "\r\n" + last << QList<int>{431};
        QTest::newRow("a request line of 40 KB")
            << "GET /" + QByteArray(40000, 'a') + " HTTP/1.1\r\n" + last << QList<int>{414};
        QTest::newRow("POST") << "POST / HTTP/1.1\r\nContent-Length: 5\r\n" + last + "12345"
                              << QList<int>{405};
        QTest::newRow("GET with content, the rest unread")
            << credit + "Content-Length: 5\r\n\r\n12345" + credit + last << QList<int>{413};
    }

    void rawRequests() {
        QFETCH(QByteArray, requests);
        QList<int> statuses;
        static const QRegularExpression status(u"HTTP/1\\.1 (\\d{3}) "_s);
        for (const auto& match :
             status.globalMatch(QString::fromLatin1(exchange(m_port, requests))))
            statuses.append(match.captured(1).toInt());
        QTEST(statuses, "statuses");
    }

    // At most 5 failed logins a minute for an account and for an address, on every request that
    // carries one: the 6th attempt gets 429, right or wrong, while others log in as always.
    void failedLogins_data() {
        QTest::addColumn<QByteArray>("target"); // U the user, P the password
        QTest::addColumn<bool>("perAccount");   // else per address
        const QList<QByteArray> targets =
            QByteArray("utenti/leggi.pl?utente=U&pass=P utenti/nosggi.pl?utente=U&pass=P utenti/"
                       "verifica.cgi?utente=U&pass=P&numero=1&numerodet=1 utenti/verifica2.cgi?"
                       "utente=U&pass=P&numero=1&numerodet=0 sendsms?username=U&password=P&to=1"
                       "&text=x utenti/esiti.pl?utente=U&pass=P&sms= sendsms-status?username=U"
                       "&password=P&quillet-id=r")
                .split(' ');
        for (int i = 0; i <= 7; ++i) // the first both ways
            QTest::newRow(targets[i % 7].left(targets[i % 7].indexOf('?')) + (i % 2 ? "/ip" : ""))
                << "/cgi-bin/" + targets[i % 7] << (i % 2 == 0);
    }
    void failedLogins() {
        QFETCH(QByteArray, target);
        QFETCH(bool, perAccount);
        const int row = ++m_loginRows;
        const QByteArray user = "tentativi" + QByteArray::number(row);
        createAccount(QString::fromLatin1(user), u"giusta"_s, 1);
        const auto ask = [&](const QByteArray& name, const QByteArray& password, int from) {
            return httpGet(m_port, QByteArray(target).replace("U", name).replace("P", password),
                           u"127.0.1.%1"_s.arg(row * 8 + from));
        };
        std::vector<std::future<Answer>> failures; // at once: attempts under way count too
        for (int i = 0; i < 5; ++i)
            failures.push_back(std::async(std::launch::async, ask,
                                          perAccount ? user : "ignoto" + QByteArray::number(i),
                                          "x"_ba, perAccount ? i : 0));
        for (auto& failed : failures)
            QCOMPARE_NE(failed.get().status, 429);
        const Answer refused = ask(user, "giusta", perAccount ? 5 : 0);
        QCOMPARE(refused.status, 429);
        const qsizetype at = refused.head.indexOf("\r\nRetry-After: ") + 15;
        const QByteArray seconds = refused.head.mid(at, refused.head.indexOf('\r', at) - at);
        QVERIFY2(seconds.toInt() >= 55 && seconds.toInt() <= 60, refused.head.constData());
        QCOMPARE(refused.body,
                 "Troppi tentativi di accesso: riprovare tra " + seconds + " secondi");
        const Answer other = httpGet(m_port, "/cgi-bin/utenti/leggi.pl?utente=demo&pass=demo",
                                     u"127.0.1.%1"_s.arg(row * 8 + 6)); // from elsewhere
        QCOMPARE(other.body, "25"_ba);
    }

    // The limit in time, on a clock of the test's own: at second N a failure (FN), a good login
    // (GN), an attempt left under way (PN), an attempt that must wait W seconds (?N=W), or a
    // failure of each of a thousand other names and addresses (MN), beyond what it keeps (100).
    void throttleClock_data() {
        QTest::addColumn<QString>("steps");
        QTest::newRow("5 failures: refused until the first is a minute old")
            << u"F0 F1 F2 F3 F4 ?4=56 ?59.5=1 ?60=0"_s;
        QTest::newRow("4 failures: the 5th attempt let in") << u"F0 F0 F0 F0 ?0=0 F0 ?0=60"_s;
        QTest::newRow("a failure after the minute counts to the next")
            << u"F0 F1 F2 F3 F4 F60 ?60=1 ?61=0"_s;
        QTest::newRow("good logins never count") << u"G0 G0 G0 G0 G0 G0 F1 F1 F1 F1 ?1=0"_s;
        QTest::newRow("an attempt under way counts") << u"F0 F0 F0 F0 P0 ?0=1"_s;
        QTest::newRow("many names: the latest kept") << u"M0 F1 F1 F1 F1 F1 ?1=60"_s;
    }
    void throttleClock() {
        QFETCH(QString, steps);
        std::chrono::steady_clock::time_point now;
        gateway::LoginThrottle throttle([&now] { return now; }, 100);
        for (const QString& step : steps.split(u' ')) {
            const QStringList time = step.mid(1).split(u'=');
            now = decltype(now)(std::chrono::milliseconds(qRound64(time[0].toDouble() * 1000)));
            for (quint32 i = 0; step[0] == u'M' && i < 1000; ++i) // others fail once each
                throttle.settle(u"%1"_s.arg(i), QHostAddress(i),
                                !throttle.admit(u"%1"_s.arg(i), QHostAddress(i)));
            const int wait = step[0] == u'M' ? 0 : throttle.admit(u"utente"_s, QHostAddress(~0u));
            if (wait == 0 && (step[0] == u'F' || step[0] == u'G' || step[0] == u'?'))
                throttle.settle(u"utente"_s, QHostAddress(~0u), step[0] == u'F');
            QCOMPARE(wait, time.value(1, u"0"_s).toInt());
        }
        QCOMPARE_LE(throttle.tracked(), 200);
    }

    // A database of version 6 opens: its SHA-256 hashes log in and become argon2id at the first
    // good login; its names in another Unicode form are found in either, and of two that
    // differ only in form each is found as written.
    void oldAccounts_data() {
        QTest::addColumn<QString>("login"); // user and password
        QTest::addColumn<QByteArray>("answer");
        QTest::addColumn<int>("argon2"); // accounts with an argon2id hash afterwards, "nuovo" too
        const QByteArray invalid = "Account non valido";
        QTest::newRow("old hash, wrong password") << u"vecchio x"_s << invalid << 1;
        QTest::newRow("old hash, right password") << u"vecchio a"_s << "5"_ba << 2;
        QTest::newRow("stored decomposed, asked precomposed") << u"renée d"_s << "8"_ba << 3;
        QTest::newRow("two forms: precomposed") << u"josé b"_s << "6"_ba << 4;
        QTest::newRow("two forms: decomposed") << u"jose\u0301 c"_s << "7"_ba << 5;
        QTest::newRow("old hash replaced: the new one logs in") << u"vecchio a"_s << "5"_ba << 5;
    }
    void oldAccounts() {
        const QString db = m_dir.filePath(u"v6.db"_s);
        using store::sqlite::Connection, store::sqlite::Statement;
        if (!QFile::exists(db)) {
            createAccount(u"nuovo"_s, u"n"_s, 1, {}, db);
            Connection old(db, Connection::Mode::OpenExisting, 5000);
            old.exec(toVersion6.constData());
            Statement insert(old, "INSERT INTO accounts VALUES(?1, x'0102', ?2, ?3, '', '')");
            for (const QString& account :
                 {u"vecchio a 5"_s, u"rene\u0301e d 8"_s, u"josé b 6"_s, u"jose\u0301 c 7"_s}) {
                const QStringList f = account.split(u' ');
                const auto hash = QCryptographicHash::hash("\x01\x02" + f[1].toUtf8(),
                                                           QCryptographicHash::Sha256);
                insert.bind(1, f[0]).bind(2, hash).bind(3, f[2].toLongLong()).run();
            }
        }
        QProcess server; // a new one each time: nothing remembered of the row before
        const quint16 port = startServer(server, db, {});
        QFETCH(QString, login);
        const QStringList field = login.split(u' ');
        const QByteArray target = "utente=" + enc(field[0]) + "&pass=" + field[1].toUtf8();
        QTEST(httpGet(port, "/cgi-bin/utenti/leggi.pl?" + target).body, "answer");
        QVERIFY(stop(server));
        const Connection now(db, Connection::Mode::OpenExisting, 5000);
        Statement count(now, "SELECT count(*) FROM accounts WHERE instr(hash, '$argon2id$') = 1");
        QVERIFY(count.step());
        QTEST(int(count.integer(0)), "argon2");
    }

    void adminWhileServing() {
        // A login remembered is checked again once its stored hash changes (an operator's reset).
        const QByteArray jose = "/cgi-bin/utenti/leggi.pl?utente=jos%C3%A9&pass=";
        QCOMPARE(get(jose + "p").body, "3"_ba);
        store::sqlite::Connection(m_db, store::sqlite::Connection::Mode::OpenExisting, 5000)
            .exec("UPDATE accounts SET hash = (SELECT hash FROM accounts WHERE user = 'demo') "
                  "WHERE user = 'josé'");
        QCOMPARE(httpGet(m_port, jose + "p", u"127.0.0.3"_s).body, "Account non valido"_ba);
        QCOMPARE(get(jose + "demo").body, "3"_ba);
        // The command line writes to the database the running gateway uses.
        QCOMPARE(command(u"credit add --db DB sconto 96"_s).exitCode, 0);
        QCOMPARE(credit("sconto", "50%25zz"), "100"_ba);
        QCOMPARE(command(u"credit add --db DB sconto -30"_s).exitCode, 0);
        QCOMPARE(command(u"credit add --db DB sconto -71"_s).exitCode, 1); // never below 0
        QCOMPARE(credit("sconto", "50%25zz"), "70"_ba);
    }

    void commandLine_data() {
        QTest::addColumn<QString>("args"); // DB: the database in use; PORT: in use
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("message"); // in the error
        const auto row = [](const char* tag, const QString& args, int exitCode,
                            const QString& message) {
            QTest::newRow(tag) << args << exitCode << message;
        };
        row("port in use", u"serve --db DB --port PORT"_s, 1,
            u"Impossibile mettersi in ascolto su 127.0.0.1:"_s);
        row("forward without the operator's login",
            u"serve --db DB --forward http://127.0.0.1:13013/cgi-bin/sendsms"_s, 2,
            u"--forward vuole"_s);
        row("dlr-allow not an address", u"serve --db DB --dlr-allow kannel.example"_s, 2,
            u"--dlr-allow vuole"_s);
        row("dlr-base without forward", u"serve --db DB --dlr-base http://10.0.0.1:8765"_s, 2,
            u"--dlr-base vale solo"_s);
        row("password with -", u"account create --db DB x a-b"_s, 1,
            u"La password non può contenere \"-\""_s);
        row("user with :", u"account create --db DB x:y p"_s, 1,
            u"Il nome utente non può contenere \":\""_s);
        row("user with a zero-width space", u"account create --db DB x\u200By p"_s, 1,
            u"caratteri invisibili"_s);
        row("user with a no-break space", u"account create --db DB x\u00A0y p"_s, 1,
            u"spazi speciali"_s);
        row("sender of 12", u"account create --db DB x p --sender ABCDEFGHIJKL"_s, 1,
            u"Il mittente ABCDEFGHIJKL ha più di 11 caratteri"_s);
        row("account exists in another Unicode form", u"account create --db DB jose\u0301 altra"_s,
            1, u"esiste già"_s);
        row("user mixing Latin and Cyrillic", u"account create --db DB p\u0430ypal p"_s, 1,
            u"alfabeti diversi"_s);
        row("credit for an unknown account", u"credit add --db DB nessuno 5"_s, 1,
            u"L'account nessuno non esiste"_s);
        row("credit over the maximum by one", u"credit add --db DB demo 999999976"_s, 1,
            u"non può superare 1000000000"_s);
        row("credit add of the largest number", u"credit add --db DB demo 9223372036854775807"_s, 1,
            u"non può superare 1000000000"_s);
        row("credit add of the smallest number", u"credit add --db DB demo -9223372036854775808"_s,
            1, u"Credito insufficiente"_s);
        row("credit add beyond 64 bits", u"credit add --db DB demo 99999999999999999999"_s, 2,
            u"fuori misura"_s);
    }

    void commandLine() {
        QFETCH(QString, args);
        QFETCH(QString, message);
        const CommandResult result = command(args);
        QTEST(result.exitCode, "exitCode");
        QVERIFY2(result.err.contains(message), qPrintable(result.err));
        // Failed commands change nothing.
        QCOMPARE(credit("demo", "demo"), "25"_ba);
    }
};

QTEST_GUILESS_MAIN(TestGateway)
#include "tst_gateway.moc"
