// The reference gateway, run as a real process on a free port of 127.0.0.1.

#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

#include <csignal>
#include <memory>
#include <thread>
#include <vector>

using namespace Qt::StringLiterals;

namespace {

const QByteArray sinkAuth = "username=prova&password=segreta&";

struct Answer {
    int status = 0; // 0: no answer
    QByteArray body;
};

struct CommandResult {
    int exitCode = -1;
    QString out;
};

CommandResult runGateway(const QStringList& args, const QString& workingDirectory = {}) {
    QProcess process;
    process.setWorkingDirectory(workingDirectory);
    process.start(QStringLiteral(QUILLET_GATEWAY_BIN), args);
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit)
        return {};
    return {process.exitCode(), QString::fromUtf8(process.readAllStandardOutput())};
}

QByteArray enc(const QString& value) {
    return QUrl::toPercentEncoding(value);
}

// One HTTP/1.1 connection that sends requests one after the other (keep-alive).
class RawConnection {
public:
    explicit RawConnection(quint16 port) {
        m_socket.connectToHost(u"127.0.0.1"_s, port);
        m_socket.waitForConnected(30000);
    }

    // Sends the bytes as they are and reads one answer.
    Answer exchange(const QByteArray& bytes) {
        if (m_socket.state() != QAbstractSocket::ConnectedState)
            return {};
        m_socket.write(bytes);
        m_socket.flush();
        QByteArray data;
        qsizetype headerEnd = -1;
        qsizetype length = 0;
        while (headerEnd < 0 || data.size() < headerEnd + 4 + length) {
            if (!m_socket.waitForReadyRead(30000) && m_socket.bytesAvailable() == 0)
                return {};
            data += m_socket.readAll();
            headerEnd = data.indexOf("\r\n\r\n");
            static const QRegularExpression contentLength(
                u"\r\ncontent-length:\\s*(\\d+)"_s, QRegularExpression::CaseInsensitiveOption);
            if (headerEnd >= 0)
                length = contentLength.match(QString::fromLatin1(data.left(headerEnd)))
                             .captured(1)
                             .toLongLong();
        }
        return {data.left(data.indexOf("\r\n")).split(' ').value(1).toInt(),
                data.mid(headerEnd + 4, length)};
    }

    Answer get(const QByteArray& target, bool keepAlive = true) {
        return exchange("GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\n" +
                        (keepAlive ? "" : "Connection: close\r\n") + "\r\n");
    }

private:
    QTcpSocket m_socket;
};

// `quillet-gateway serve` on a free port; killed by the destructor if still running.
class Gateway {
public:
    bool start(const QString& db, const QStringList& extra = {}) {
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_process.start(QStringLiteral(QUILLET_GATEWAY_BIN),
                        QStringList{u"serve"_s, u"--db"_s, db, u"--port"_s, u"0"_s} + extra);
        while (!m_process.canReadLine()) {
            if (!m_process.waitForReadyRead(30000))
                return false;
        }
        static const QRegularExpression ready(u"^In ascolto su 127\\.0\\.0\\.1:(\\d+)$"_s);
        m_port =
            ready.match(QString::fromUtf8(m_process.readLine()).trimmed()).captured(1).toUShort();
        return m_port != 0;
    }

    quint16 port() const { return m_port; }

    // The exit code after SIGTERM, or -1 after a crash or a hang.
    int stop() {
        ::kill(static_cast<pid_t>(m_process.processId()), SIGTERM);
        if (!m_process.waitForFinished(60000) || m_process.exitStatus() != QProcess::NormalExit)
            return -1;
        return m_process.exitCode();
    }

    ~Gateway() {
        m_process.kill();
        m_process.waitForFinished(30000);
    }

private:
    QProcess m_process;
    quint16 m_port = 0;
};

} // namespace

class TestGateway : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void credit_data();
    void credit();
    void channel_data();
    void channel();
    void check_data();
    void check();
    void chargeAndCorrect();
    void sink_data();
    void sink();
    void malformed_data();
    void malformed();
    void concurrentClients();
    void adminWhileServing();
    void commandLine_data();
    void commandLine();
    void fileNameLikeUri();

private:
    Answer get(const QByteArray& target) {
        return RawConnection(m_gateway->port()).get(target, false);
    }
    QByteArray credit(const QByteArray& user, const QByteArray& pass) {
        return get("/cgi-bin/utenti/leggi.pl?utente=" + user + "&pass=" + pass).body;
    }
    QStringList sinkLines() {
        return QString::fromUtf8(get("/sink.txt").body).split(u'\n', Qt::SkipEmptyParts);
    }
    void createAccount(const QString& user, const QString& password, int credit,
                       const QStringList& options = {}) {
        QCOMPARE(runGateway(QStringList{u"account"_s, u"create"_s, u"--db"_s, m_db} + options +
                            QStringList{u"--"_s, user, password, QString::number(credit)})
                     .exitCode,
                 0);
    }

    QTemporaryDir m_dir;
    QString m_db;
    std::unique_ptr<Gateway> m_gateway;
};

void TestGateway::initTestCase() {
    QVERIFY(m_dir.isValid());
    m_db = m_dir.filePath(u"gateway.db"_s);
    createAccount(u"demo"_s, u"demo"_s, 25);
    createAccount(u"Caffè Rossi"_s, u"a&b=c d+è"_s, 7);
    createAccount(u"sconto"_s, u"50%zz"_s, 4);
    createAccount(u"cliente"_s, u"cliente"_s, 20);
    createAccount(u"carico"_s, u"carico"_s, 200);
    createAccount(u"Pasticceria.Rossi"_s, u"p"_s, 1);
    createAccount(u"bar"_s, u"b"_s, 1, {u"--sender"_s, u"Bar Sport"_s});
    m_gateway = std::make_unique<Gateway>();
    QVERIFY(m_gateway->start(m_db, {u"--sink-user"_s, u"prova"_s, u"--sink-pass"_s, u"segreta"_s}));
}

void TestGateway::cleanupTestCase() {
    if (m_gateway)
        QCOMPARE(m_gateway->stop(), 0);
}

static const QByteArray encodedAccount =
    "utente=" + enc(u"Caffè Rossi"_s) + "&pass=" + enc(u"a&b=c d+è"_s);

void TestGateway::credit_data() {
    QTest::addColumn<QByteArray>("query");
    QTest::addColumn<QByteArray>("body");
    const QByteArray invalid = "Account non valido";
    QTest::newRow("right account") << QByteArray("utente=demo&pass=demo&datatime=1") << "25"_ba;
    QTest::newRow("wrong password") << QByteArray("utente=demo&pass=demo2") << invalid;
    QTest::newRow("unknown user") << QByteArray("utente=nessuno&pass=demo") << invalid;
    QTest::newRow("& = blank + and accents") << encodedAccount << "7"_ba;
    QTest::newRow("accents as Latin-1 bytes")
        << QByteArray("utente=Caff%E8%20Rossi&pass=a%26b%3Dc%20d%2B%E8") << invalid;
    QTest::newRow("raw + is a plus")
        << QByteArray("utente=Caff%C3%A8%20Rossi&pass=a%26b%3Dc%20d+%C3%A8") << "7"_ba;
}

void TestGateway::credit() {
    QFETCH(QByteArray, query);
    QFETCH(QByteArray, body);
    const Answer answer = get("/cgi-bin/utenti/leggi.pl?" + query);
    QCOMPARE(answer.status, 200);
    QCOMPARE(answer.body, body);
}

void TestGateway::channel_data() {
    QTest::addColumn<QByteArray>("query");
    QTest::addColumn<QString>("account"); // the sendsms account handed out; empty: none
    QTest::newRow("right account")
        << QByteArray("utente=demo&pass=demo&datatime=1") << u"demo:demo"_s;
    QTest::newRow("encoded account") << encodedAccount << u"Caffè Rossi:a&b=c d+è"_s;
    QTest::newRow("wrong password") << QByteArray("utente=demo&pass=x") << QString();
    QTest::newRow("unknown user") << QByteArray("utente=x&pass=demo") << QString();
}

void TestGateway::channel() {
    QFETCH(QByteArray, query);
    QFETCH(QString, account);
    const Answer answer = get("/cgi-bin/utenti/nosggi.pl?" + query);
    QCOMPARE(answer.status, 200);
    // The client splits it at "-": host, user:password for sendsms, port.
    QCOMPARE(QString::fromUtf8(answer.body),
             account.isEmpty() ? QString()
                               : u"127.0.0.1-%1-%2"_s.arg(account).arg(m_gateway->port()));
}

void TestGateway::check_data() {
    QTest::addColumn<QByteArray>("query");
    QTest::addColumn<QByteArray>("start");
    const QByteArray demo = "utente=demo&pass=demo&";
    QTest::newRow("credit covers the send") << demo + "numero=25&numerodet=25"
                                            << "OK"_ba;
    QTest::newRow("one too many") << demo + "numero=25&numerodet=26"
                                  << "KO"_ba;
    QTest::newRow("decimal comma") << demo + "numero=24,5&numerodet=3,0"
                                   << "OK"_ba;
    QTest::newRow("fractional count") << demo + "numero=25&numerodet=2,5"
                                      << "KO"_ba;
    QTest::newRow("wrong password")
        << QByteArray("utente=demo&pass=x&numero=25&numerodet=1") << "KO Account non valido"_ba;
}

void TestGateway::check() {
    QFETCH(QByteArray, query);
    QFETCH(QByteArray, start);
    const Answer answer = get("/cgi-bin/utenti/verifica.cgi?" + query + "&datatime=1");
    QVERIFY2(answer.body.startsWith(start), answer.body.constData());
    QCOMPARE(credit("demo", "demo"), "25"_ba); // verifica never charges
}

void TestGateway::chargeAndCorrect() {
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
        const QByteArray request = "/cgi-bin/utenti/verifica2.cgi?utente=cliente&pass=cliente"
                                   "&numero=" +
                                   QByteArray(step.numero) +
                                   "&numerodet=" + QByteArray::number(step.count);
        const QByteArray body = get(request).body;
        QVERIFY2(body.startsWith(step.answer), (request + " -> " + body).constData());
        QCOMPARE(credit("cliente", "cliente"), QByteArray::number(step.credit));
    }
    QCOMPARE(get("/cgi-bin/utenti/verifica2.cgi?utente=cliente&pass=x&numero=13&numerodet=1").body,
             "KO Account non valido"_ba);

    // The ledger holds every change (third column) with the credit after it (fourth).
    const auto ledger = runGateway({u"ledger"_s, u"--db"_s, m_db, u"cliente"_s});
    QCOMPARE(ledger.exitCode, 0);
    QStringList changes;
    for (const QString& line : ledger.out.split(u'\n', Qt::SkipEmptyParts).mid(1))
        changes.append(line.section(u'\t', 1, 3));
    QCOMPARE(changes,
             QStringList({u"cliente\t+20\t20"_s, u"cliente\t-5\t15"_s, u"cliente\t+2\t17"_s,
                          u"cliente\t-2\t15"_s, u"cliente\t+2\t17"_s, u"cliente\t-4\t13"_s,
                          u"cliente\t-1\t12"_s, u"cliente\t+1\t13"_s}));
}

void TestGateway::sink_data() {
    QTest::addColumn<QByteArray>("query");
    QTest::addColumn<int>("status");
    QTest::addColumn<QStringList>("received"); // the new lines of /sink.txt

    const QByteArray to = "&to=%2B393331234567";
    QTest::newRow("accents and euro")
        << sinkAuth + "from=Quillet" + to + "&text=" + enc(u"Caffè à è é ì ò ù €"_s) << 202
        << QStringList{u"Quillet +393331234567 -1 Caffè à è é ì ò ù €"_s};
    QTest::newRow("flash") << sinkAuth + "from=Q" + to + "&text=lampo&mclass=0" << 202
                           << QStringList{u"Q +393331234567 0 lampo"_s};
    QTest::newRow("UCS-2 with UTF-8 charset")
        << sinkAuth + "from=Q" + to + "&coding=2&charset=UTF-8&text=" + enc(u"łß😀 €"_s) << 202
        << QStringList{u"Q +393331234567 -1 łß😀 €"_s};
    QTest::newRow("windows-1252 charset")
        << sinkAuth + "from=Q" + to + "&charset=windows-1252&text=%80%E8" << 202
        << QStringList{u"Q +393331234567 -1 €è"_s};
    QTest::newRow("blanks separate receivers") << sinkAuth + "from=Q&to=333%20444&text=due" << 202
                                               << QStringList{u"Q 333 -1 due"_s, u"Q 444 -1 due"_s};
    QTest::newRow("a newline stays on one line")
        << sinkAuth + "from=Q" + to + "&text=riga1%0Ariga2" << 202
        << QStringList{u"Q +393331234567 -1 riga1\\nriga2"_s};
    QTest::newRow("wrong password")
        << "username=prova&password=x&from=Q&text=x" + to << 403 << QStringList();
    QTest::newRow("no receiver") << sinkAuth + "from=Q&text=x" << 400 << QStringList();
    QTest::newRow("letters in the receiver")
        << sinkAuth + "from=Q&to=333abc&text=x" << 400 << QStringList();
    QTest::newRow("no sender") << sinkAuth + "text=x" + to << 400 << QStringList();
    // An account sends as itself; without "from" its default sender goes out.
    const QByteArray caffe =
        "username=" + enc(u"Caffè Rossi"_s) + "&password=" + enc(u"a&b=c d+è"_s) + to + "&text=x";
    QTest::newRow("account: its name of 11")
        << caffe << 202 << QStringList{u"Caffè Rossi +393331234567 -1 x"_s};
    QTest::newRow("account: a longer name cut")
        << "username=Pasticceria.Rossi&password=p&text=x" + to << 202
        << QStringList{u"Pasticceria +393331234567 -1 x"_s};
    QTest::newRow("account: sender set at creation")
        << "username=bar&password=b&text=x" + to << 202
        << QStringList{u"Bar Sport +393331234567 -1 x"_s};
    QTest::newRow("account: from wins")
        << caffe + "&from=Q" << 202 << QStringList{u"Q +393331234567 -1 x"_s};
    QTest::newRow("account: wrong password")
        << "username=bar&password=x&text=x" + to << 403 << QStringList();
    QTest::newRow("class 4") << sinkAuth + "from=Q&mclass=4&text=x" + to << 400 << QStringList();
}

void TestGateway::sink() {
    QFETCH(QByteArray, query);
    QFETCH(int, status);
    QFETCH(QStringList, received);
    const qsizetype before = sinkLines().size();
    QCOMPARE(get("/cgi-bin/sendsms?" + query).status, status);
    QCOMPARE(sinkLines().mid(before), received);
}

void TestGateway::malformed_data() {
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("body");
    auto getLine = [](const QByteArray& target) {
        return "GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n";
    };
    const QByteArray invalid = "Account non valido";
    QTest::newRow("bad percent escapes")
        << getLine("/cgi-bin/utenti/leggi.pl?utente=%zz&pass=%&datatime=%%") << 200 << invalid;
    QTest::newRow("invalid UTF-8")
        << getLine("/cgi-bin/utenti/leggi.pl?utente=%C3&pass=%FF%FE") << 200 << invalid;
    QTest::newRow("a stray % in a password is kept")
        << getLine("/cgi-bin/utenti/leggi.pl?utente=sconto&pass=50%zz") << 200 << "4"_ba;
    QTest::newRow("bad escapes in the sink")
        << getLine("/cgi-bin/sendsms?username=%zz&password=%G1&to=%&from=%") << 403 << QByteArray();
    QTest::newRow("missing password")
        << getLine("/cgi-bin/utenti/leggi.pl?utente=demo") << 400 << "Parametro mancante: pass"_ba;
    QTest::newRow("no query") << getLine("/cgi-bin/utenti/nosggi.pl") << 400
                              << "Parametri mancanti: utente, pass"_ba;
    QTest::newRow("huge query") << getLine("/cgi-bin/utenti/leggi.pl?utente=demo&pass=" +
                                           QByteArray(100000, 'x'))
                                << 414 << QByteArray();
    QTest::newRow("unknown path") << getLine("/cgi-bin/utenti/cancella.pl?utente=demo") << 404
                                  << QByteArray();
    QTest::newRow("path outside the root") << getLine("/../../etc/passwd") << 404 << QByteArray();
    QTest::newRow("not a request line") << "GARBAGE\r\n\r\n"_ba << 400 << QByteArray();
    QTest::newRow("request cut off")
        << "GET /cgi-bin/utenti/leggi.pl?utente=demo"_ba << 0 << QByteArray();
}

void TestGateway::malformed() {
    QFETCH(QByteArray, request);
    QFETCH(int, status);
    QFETCH(QByteArray, body);
    const Answer answer = RawConnection(m_gateway->port()).exchange(request);
    QCOMPARE(answer.status, status);
    if (!body.isEmpty())
        QCOMPARE(answer.body, body);
    QCOMPARE(credit("demo", "demo"), "25"_ba); // the gateway still serves
}

void TestGateway::concurrentClients() {
    // 8 clients at once on kept-alive connections: 4 read the credit, 2 write to the sink,
    // 2 charge sends of their own to one account.
    const int clients = 8;
    const int requests = 50;
    const qsizetype sinkBefore = sinkLines().size();
    std::vector<QStringList> errors(clients);
    std::vector<std::thread> threads;
    for (int c = 0; c < clients; ++c) {
        threads.emplace_back([&, c] {
            RawConnection connection(m_gateway->port());
            for (int i = 0; i < requests; ++i) {
                const QByteArray n = QByteArray::number(c * 1000 + i);
                Answer answer;
                bool ok = false;
                if (c < 4) {
                    answer = connection.get("/cgi-bin/utenti/leggi.pl?utente=demo&pass=demo");
                    ok = answer.body == "25";
                } else if (c < 6) {
                    answer =
                        connection.get("/cgi-bin/sendsms?" + sinkAuth + "from=W&to=3&text=" + n);
                    ok = answer.status == 202;
                } else {
                    answer = connection.get(
                        "/cgi-bin/utenti/verifica2.cgi?utente=carico&pass=carico&numerodet=1"
                        "&numero=" +
                        n);
                    ok = answer.body.startsWith("OK");
                }
                if (!ok)
                    errors[c].append(u"%1/%2: %3 %4"_s.arg(c)
                                         .arg(i)
                                         .arg(answer.status)
                                         .arg(QString::fromUtf8(answer.body)));
            }
        });
    }
    for (auto& thread : threads)
        thread.join();
    QStringList all;
    for (const auto& list : errors)
        all += list;
    QVERIFY2(all.isEmpty(), qPrintable(all.mid(0, 10).join(u"; "_s)));
    QCOMPARE(sinkLines().size(), sinkBefore + 2 * requests);
    QCOMPARE(credit("carico", "carico"), QByteArray::number(200 - 2 * requests));
}

void TestGateway::adminWhileServing() {
    // The command line writes to the database the running gateway uses.
    const auto add = [&](const QString& n) {
        return runGateway({u"credit"_s, u"add"_s, u"--db"_s, m_db, u"sconto"_s, n}).exitCode;
    };
    QCOMPARE(add(u"96"_s), 0);
    QCOMPARE(get("/cgi-bin/utenti/leggi.pl?utente=sconto&pass=50%25zz").body, "100"_ba);
    QCOMPARE(add(u"-30"_s), 0);
    QCOMPARE(add(u"-71"_s), 1); // never below 0
    QCOMPARE(get("/cgi-bin/utenti/leggi.pl?utente=sconto&pass=50%25zz").body, "70"_ba);
    createAccount(u"nuovo"_s, u"nuovo"_s, 5);
    QCOMPARE(credit("nuovo", "nuovo"), "5"_ba);
    const auto ledger = runGateway({u"ledger"_s, u"--db"_s, m_db, u"sconto"_s});
    QCOMPARE(ledger.exitCode, 0);
    QVERIFY2(ledger.out.contains(u"\tsconto\t-30\t70\t"_s), qPrintable(ledger.out));
}

void TestGateway::commandLine_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("exitCode");
    const QString db = m_db;
    const QString missing = m_dir.filePath(u"nessuno.db"_s);
    QTest::newRow("no command") << QStringList() << 2;
    QTest::newRow("unknown option") << QStringList{u"serve"_s, u"--db"_s, db, u"--verbose"_s} << 2;
    QTest::newRow("port in use") << QStringList{u"serve"_s, u"--db"_s, db, u"--port"_s,
                                                QString::number(m_gateway->port())}
                                 << 1;
    QTest::newRow("password with -")
        << QStringList{u"account"_s, u"create"_s, u"--db"_s, db, u"x"_s, u"a-b"_s} << 1;
    QTest::newRow("user with :") << QStringList{u"account"_s, u"create"_s, u"--db"_s,
                                                db,           u"x:y"_s,    u"p"_s}
                                 << 1;
    QTest::newRow("sender of 12") << QStringList{u"account"_s,  u"create"_s,
                                                 u"--db"_s,     db,
                                                 u"x"_s,        u"p"_s,
                                                 u"--sender"_s, u"ABCDEFGHIJKL"_s}
                                  << 1;
    QTest::newRow("empty sender") << QStringList{u"account"_s, u"create"_s, u"--db"_s,     db,
                                                 u"x"_s,       u"p"_s,      u"--sender="_s}
                                  << 1;
    QTest::newRow("account exists")
        << QStringList{u"account"_s, u"create"_s, u"--db"_s, db, u"demo"_s, u"altra"_s} << 1;
    QTest::newRow("account exists, if missing")
        << QStringList{u"account"_s, u"create"_s, u"--db"_s, db,
                       u"demo"_s,    u"altra"_s,  u"5"_s,    u"--if-missing"_s}
        << 0;
    QTest::newRow("credit for an unknown account")
        << QStringList{u"credit"_s, u"add"_s, u"--db"_s, db, u"nessuno"_s, u"5"_s} << 1;
    QTest::newRow("credit on a missing database")
        << QStringList{u"credit"_s, u"add"_s, u"--db"_s, missing, u"demo"_s, u"5"_s} << 1;
    QTest::newRow("ledger of an unknown account")
        << QStringList{u"ledger"_s, u"--db"_s, db, u"nessuno"_s} << 1;
}

void TestGateway::commandLine() {
    QFETCH(QStringList, args);
    QFETCH(int, exitCode);
    QCOMPARE(runGateway(args).exitCode, exitCode);
    // Failed commands change nothing.
    QCOMPARE(credit("demo", "demo"), "25"_ba);
    QVERIFY(!QFile::exists(m_dir.filePath(u"nessuno.db"_s)));
}

// A --db name that SQLite would take for a URI (here an in-memory database) is a file name:
// the account created is kept.
void TestGateway::fileNameLikeUri() {
    const QStringList db{u"--db"_s, u"file:conti.db?mode=memory"_s};
    QCOMPARE(runGateway(QStringList{u"account"_s, u"create"_s} + db + QStringList{u"x"_s, u"p"_s},
                        m_dir.path())
                 .exitCode,
             0);
    QCOMPARE(runGateway(QStringList{u"ledger"_s} + db + QStringList{u"x"_s}, m_dir.path()).exitCode,
             0);
}

QTEST_GUILESS_MAIN(TestGateway)
#include "tst_gateway.moc"
