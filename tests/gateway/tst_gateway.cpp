// The reference gateway, run as a real process on a free port of 127.0.0.1.

#include <QEventLoop>
#include <QFile>
#include <QNetworkAccessManager>
#include <QNetworkReply>
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

const QString sinkUser = u"prova"_s;
const QString sinkPass = u"segreta"_s;

struct Answer {
    int status = 0; // 0: no answer
    QByteArray body;
    QByteArray contentType;
};

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

// "k1=v1&k2=v2" with every value percent-encoded as UTF-8.
QByteArray query(const QList<QPair<QString, QString>>& items) {
    QByteArrayList parts;
    for (const auto& [key, value] : items)
        parts.append(key.toUtf8() + '=' + enc(value));
    return parts.join('&');
}

// One HTTP/1.1 connection that sends requests one after the other (keep-alive).
class RawConnection {
public:
    explicit RawConnection(quint16 port) {
        m_socket.connectToHost(u"127.0.0.1"_s, port);
        m_socket.waitForConnected(30000);
    }

    bool isOpen() const { return m_socket.state() == QAbstractSocket::ConnectedState; }

    // Sends the bytes as they are and reads one answer.
    Answer exchange(const QByteArray& bytes) {
        if (!isOpen())
            return {};
        m_socket.write(bytes);
        m_socket.flush();
        QByteArray data;
        qsizetype headerEnd = -1;
        qsizetype length = -1;
        while (true) {
            if (headerEnd < 0) {
                headerEnd = data.indexOf("\r\n\r\n");
                if (headerEnd >= 0) {
                    static const QRegularExpression contentLength(
                        u"\r\ncontent-length:\\s*(\\d+)"_s,
                        QRegularExpression::CaseInsensitiveOption);
                    const auto match =
                        contentLength.match(QString::fromLatin1(data.left(headerEnd)));
                    length = match.hasMatch() ? match.captured(1).toLongLong() : 0;
                }
            }
            if (headerEnd >= 0 && data.size() >= headerEnd + 4 + length)
                break;
            if (!m_socket.waitForReadyRead(30000) && m_socket.bytesAvailable() == 0)
                return {};
            data += m_socket.readAll();
        }
        Answer answer;
        const QList<QByteArray> statusLine = data.left(data.indexOf("\r\n")).split(' ');
        answer.status = statusLine.value(1).toInt();
        answer.body = data.mid(headerEnd + 4, length);
        return answer;
    }

    Answer get(const QByteArray& pathAndQuery, bool keepAlive = true) {
        return exchange("GET " + pathAndQuery + " HTTP/1.1\r\nHost: 127.0.0.1\r\n" +
                        (keepAlive ? QByteArray() : QByteArray("Connection: close\r\n")) + "\r\n");
    }

private:
    QTcpSocket m_socket;
};

// `quillet-gateway serve` on a free port; stopped by the destructor if still running.
class Gateway {
public:
    bool start(const QString& db, const QStringList& extra = {}) {
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_process.start(QStringLiteral(QUILLET_GATEWAY_BIN),
                        QStringList{u"serve"_s, u"--db"_s, db, u"--port"_s, u"0"_s} + extra);
        if (!m_process.waitForStarted(30000))
            return false;
        while (!m_process.canReadLine()) {
            if (!m_process.waitForReadyRead(30000))
                return false;
        }
        const QString line = QString::fromUtf8(m_process.readLine()).trimmed();
        static const QRegularExpression ready(u"^In ascolto su 127\\.0\\.0\\.1:(\\d+)$"_s);
        const auto match = ready.match(line);
        m_port = match.hasMatch() ? match.captured(1).toUShort() : 0;
        return m_port != 0;
    }

    quint16 port() const { return m_port; }

    // Sends the signal and waits; the exit code, or -1 after a crash or a hang.
    int stop(int signal = SIGTERM) {
        ::kill(static_cast<pid_t>(m_process.processId()), signal);
        if (!m_process.waitForFinished(60000) || m_process.exitStatus() != QProcess::NormalExit)
            return -1;
        return m_process.exitCode();
    }

    ~Gateway() {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished(30000);
        }
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
    void configuredChannel();
    void check_data();
    void check();
    void chargeAndCorrect();
    void sink_data();
    void sink();
    void sinkPage();
    void keepAlive();
    void malformed_data();
    void malformed();
    void concurrentClients();
    void pages_data();
    void pages();
    void creditAddedWhileServing();
    void stopKeepsData_data();
    void stopKeepsData();
    void commandLine_data();
    void commandLine();

private:
    Answer get(const QByteArray& pathAndQuery);
    QStringList sinkLines();
    void createAccount(const QString& user, const QString& password, int credit);

    QTemporaryDir m_dir;
    QString m_db;
    std::unique_ptr<Gateway> m_gateway;
    std::unique_ptr<QNetworkAccessManager> m_nam;
};

void TestGateway::createAccount(const QString& user, const QString& password, int credit) {
    const auto result = runGateway({u"account"_s, u"create"_s, u"--db"_s, m_db, u"--"_s, user,
                                    password, QString::number(credit)});
    QVERIFY2(result.exitCode == 0, qPrintable(result.err));
}

Answer TestGateway::get(const QByteArray& pathAndQuery) {
    const QUrl url = QUrl::fromEncoded("http://127.0.0.1:" + QByteArray::number(m_gateway->port()) +
                                           pathAndQuery,
                                       QUrl::StrictMode);
    QNetworkRequest request(url);
    request.setTransferTimeout(60000);
    std::unique_ptr<QNetworkReply> reply(m_nam->get(request));
    if (!reply->isFinished()) {
        QEventLoop loop;
        connect(reply.get(), &QNetworkReply::finished, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return {reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(), reply->readAll(),
            reply->header(QNetworkRequest::ContentTypeHeader).toByteArray()};
}

QStringList TestGateway::sinkLines() {
    return QString::fromUtf8(get("/sink.txt").body).split(u'\n', Qt::SkipEmptyParts);
}

void TestGateway::initTestCase() {
    QVERIFY(m_dir.isValid());
    m_db = m_dir.filePath(u"gateway.db"_s);
    createAccount(u"demo"_s, u"demo"_s, 25);
    createAccount(u"Caffè Rossi"_s, u"a&b=c d+è"_s, 7);
    createAccount(u"piu"_s, u"x+y"_s, 3);
    createAccount(u"sconto"_s, u"50%zz"_s, 4);
    createAccount(u"cliente"_s, u"cliente"_s, 20);
    createAccount(u"carico"_s, u"carico"_s, 200);
    createAccount(u"ricarica"_s, u"ricarica"_s, 1);
    m_gateway = std::make_unique<Gateway>();
    QVERIFY(m_gateway->start(m_db, {u"--sink-user"_s, sinkUser, u"--sink-pass"_s, sinkPass}));
    m_nam = std::make_unique<QNetworkAccessManager>();
}

void TestGateway::cleanupTestCase() {
    m_nam.reset(); // closes its connections, so the gateway need not wait for them
    if (m_gateway)
        QCOMPARE(m_gateway->stop(), 0);
}

void TestGateway::credit_data() {
    QTest::addColumn<QByteArray>("query");
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("body");
    const QByteArray invalid = "Account non valido";
    QTest::newRow("right account")
        << QByteArray("utente=demo&pass=demo&datatime=5122024930") << 200 << QByteArray("25");
    QTest::newRow("wrong password")
        << QByteArray("utente=demo&pass=demo2&datatime=1") << 200 << invalid;
    QTest::newRow("password in another case")
        << QByteArray("utente=demo&pass=DEMO") << 200 << invalid;
    QTest::newRow("unknown user") << QByteArray("utente=nessuno&pass=demo") << 200 << invalid;
    QTest::newRow("empty password") << QByteArray("utente=demo&pass=&datatime=1") << 200 << invalid;
    QTest::newRow("& = blank + and accents, percent-encoded")
        << query({{u"utente"_s, u"Caffè Rossi"_s}, {u"pass"_s, u"a&b=c d+è"_s}}) << 200
        << QByteArray("7");
    QTest::newRow("accents as Latin-1 bytes do not match")
        << QByteArray("utente=Caff%E8%20Rossi&pass=a%26b%3Dc%20d%2B%E8") << 200 << invalid;
    QTest::newRow("raw + is a plus, not a blank")
        << QByteArray("utente=piu&pass=x+y") << 200 << QByteArray("3");
    QTest::newRow("blank for + does not match")
        << QByteArray("utente=piu&pass=x%20y") << 200 << invalid;
    QTest::newRow("missing password")
        << QByteArray("utente=demo&datatime=1") << 400 << QByteArray("Parametro mancante: pass");
    QTest::newRow("no query") << QByteArray() << 400
                              << QByteArray("Parametri mancanti: utente, pass");
}

void TestGateway::credit() {
    QFETCH(QByteArray, query);
    QFETCH(int, status);
    QFETCH(QByteArray, body);
    const Answer answer = get("/cgi-bin/utenti/leggi.pl?" + query);
    QCOMPARE(answer.status, status);
    QCOMPARE(answer.body, body);
    QVERIFY(answer.contentType.startsWith("text/plain"));
}

void TestGateway::channel_data() {
    QTest::addColumn<QByteArray>("query");
    QTest::addColumn<QString>("body");
    QTest::newRow("right account")
        << QByteArray("utente=demo&pass=demo&datatime=1")
        << u"127.0.0.1-%1:%2-%3"_s.arg(sinkUser, sinkPass).arg(m_gateway->port());
    QTest::newRow("encoded account")
        << query({{u"utente"_s, u"Caffè Rossi"_s}, {u"pass"_s, u"a&b=c d+è"_s}})
        << u"127.0.0.1-%1:%2-%3"_s.arg(sinkUser, sinkPass).arg(m_gateway->port());
    QTest::newRow("wrong password") << QByteArray("utente=demo&pass=x&datatime=1") << QString();
    QTest::newRow("unknown user") << QByteArray("utente=x&pass=demo&datatime=1") << QString();
}

void TestGateway::channel() {
    QFETCH(QByteArray, query);
    QFETCH(QString, body);
    const Answer answer = get("/cgi-bin/utenti/nosggi.pl?" + query);
    QCOMPARE(answer.status, 200);
    QCOMPARE(QString::fromUtf8(answer.body), body);
    if (!body.isEmpty()) {
        // What the client does with it: three fields at "-", the third a port.
        const QStringList fields = QString::fromUtf8(answer.body).split(u'-');
        QCOMPARE(fields.size(), 3);
        QCOMPARE(fields[2].toInt(), int(m_gateway->port()));
    }
}

void TestGateway::configuredChannel() {
    Gateway other;
    QVERIFY(other.start(m_dir.filePath(u"other.db"_s),
                        {u"--channel"_s, u"10.1.2.3-kannel:rig:secret-13013"_s}));
    QCOMPARE(runGateway({u"account"_s, u"create"_s, u"--db"_s, m_dir.filePath(u"other.db"_s),
                         u"demo"_s, u"demo"_s})
                 .exitCode,
             0);
    RawConnection connection(other.port());
    const Answer answer = connection.get("/cgi-bin/utenti/nosggi.pl?utente=demo&pass=demo");
    QCOMPARE(answer.status, 200);
    QCOMPARE(answer.body, QByteArray("10.1.2.3-kannel:rig:secret-13013"));
    QCOMPARE(connection.get("/cgi-bin/utenti/leggi.pl?utente=demo&pass=demo").body,
             QByteArray("0"));
}

void TestGateway::check_data() {
    QTest::addColumn<QByteArray>("query");
    QTest::addColumn<QByteArray>("start");
    const QByteArray demo = "utente=demo&pass=demo&";
    QTest::newRow("credit covers the send") << demo + "numero=25&numerodet=25" << QByteArray("OK");
    QTest::newRow("one too many") << demo + "numero=25&numerodet=26" << QByteArray("KO");
    QTest::newRow("decimal comma, whole count")
        << demo + "numero=25&numerodet=3,0" << QByteArray("OK");
    QTest::newRow("decimal comma credit") << demo + "numero=24,5&numerodet=1" << QByteArray("OK");
    QTest::newRow("fractional count") << demo + "numero=25&numerodet=2,5" << QByteArray("KO");
    QTest::newRow("negative count") << demo + "numero=25&numerodet=-1" << QByteArray("KO");
    QTest::newRow("credit not a number") << demo + "numero=abc&numerodet=1" << QByteArray("KO");
    QTest::newRow("wrong password") << QByteArray("utente=demo&pass=x&numero=25&numerodet=1")
                                    << QByteArray("KO Account non valido");
    QTest::newRow("missing count") << demo + "numero=25" << QByteArray("Parametro mancante");
}

void TestGateway::check() {
    QFETCH(QByteArray, query);
    QFETCH(QByteArray, start);
    const Answer answer = get("/cgi-bin/utenti/verifica.cgi?" + query + "&datatime=1");
    QVERIFY2(answer.body.startsWith(start), answer.body.constData());
    // verifica never changes the credit.
    QCOMPARE(get("/cgi-bin/utenti/leggi.pl?utente=demo&pass=demo").body, QByteArray("25"));
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
        const QByteArray request =
            "/cgi-bin/utenti/verifica2.cgi?utente=cliente&pass=cliente&numero=" +
            QByteArray(step.numero) + "&numerodet=" + QByteArray::number(step.count) +
            "&datatime=1";
        const Answer answer = get(request);
        QVERIFY2(answer.body.startsWith(step.answer), (request + " -> " + answer.body).constData());
        QCOMPARE(get("/cgi-bin/utenti/leggi.pl?utente=cliente&pass=cliente").body,
                 QByteArray::number(step.credit));
    }
    QCOMPARE(get("/cgi-bin/utenti/verifica2.cgi?utente=cliente&pass=sbagliata&numero=13&"
                 "numerodet=1")
                 .body,
             QByteArray("KO Account non valido"));

    // The ledger holds every change, with the credit after it.
    const auto ledger = runGateway({u"ledger"_s, u"--db"_s, m_db, u"cliente"_s});
    QCOMPARE(ledger.exitCode, 0);
    QStringList lines = ledger.out.split(u'\n', Qt::SkipEmptyParts);
    QVERIFY(!lines.isEmpty());
    lines.removeFirst(); // the header
    QStringList deltas;
    QStringList credits;
    for (const QString& line : lines) {
        const QStringList columns = line.split(u'\t');
        QCOMPARE(columns.size(), 5);
        QCOMPARE(columns[1], u"cliente"_s);
        deltas.append(columns[2]);
        credits.append(columns[3]);
    }
    QCOMPARE(deltas, QStringList({u"+20"_s, u"-5"_s, u"+2"_s, u"-2"_s, u"+2"_s, u"-4"_s, u"-1"_s,
                                  u"+1"_s}));
    QCOMPARE(credits,
             QStringList({u"20"_s, u"15"_s, u"17"_s, u"15"_s, u"17"_s, u"13"_s, u"12"_s, u"13"_s}));
}

void TestGateway::sink_data() {
    QTest::addColumn<QByteArray>("query");
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QStringList>("received"); // the new lines of /sink.txt

    const QByteArray auth = "username=" + enc(sinkUser) + "&password=" + enc(sinkPass) + '&';
    const QByteArray accepted = "0: Accepted for delivery";
    const QByteArray to = "&to=%2B393331234567";
    QTest::newRow("accents and euro")
        << auth + "from=Quillet" + to + "&text=" + enc(u"Caffè à è é ì ò ù €"_s) << 202 << accepted
        << QStringList{u"Quillet +393331234567 -1 Caffè à è é ì ò ù €"_s};
    QTest::newRow("user and pass keys")
        << "user=" + enc(sinkUser) + "&pass=" + enc(sinkPass) + "&from=Q" + to + "&text=ciao" << 202
        << accepted << QStringList{u"Q +393331234567 -1 ciao"_s};
    QTest::newRow("flash") << auth + "from=Q" + to + "&text=lampo&mclass=0" << 202 << accepted
                           << QStringList{u"Q +393331234567 0 lampo"_s};
    QTest::newRow("class 1 is not flash") << auth + "from=Q" + to + "&text=uno&mclass=1" << 202
                                          << accepted << QStringList{u"Q +393331234567 1 uno"_s};
    QTest::newRow("UCS-2 with UTF-8 charset")
        << auth + "from=Q" + to + "&coding=2&charset=UTF-8&text=" + enc(u"łß😀 €"_s) << 202
        << accepted << QStringList{u"Q +393331234567 -1 łß😀 €"_s};
    QTest::newRow("UCS-2 without charset takes the bytes as UCS-2")
        << auth + "from=Q" + to + "&coding=2&text=ab" << 202 << accepted
        << QStringList{u"Q +393331234567 -1 \u6162"_s};
    QTest::newRow("windows-1252 charset")
        << auth + "from=Q" + to + "&charset=windows-1252&text=%80%E8" << 202 << accepted
        << QStringList{u"Q +393331234567 -1 €è"_s};
    QTest::newRow("blanks separate receivers")
        << auth + "from=Q&to=333%20444&text=due" << 202 << accepted
        << QStringList{u"Q 333 -1 due"_s, u"Q 444 -1 due"_s};
    QTest::newRow("raw + in the number is a blank, as in Kannel")
        << auth + "from=Q&to=+393331234567&text=x" << 202 << accepted
        << QStringList{u"Q 393331234567 -1 x"_s};
    QTest::newRow("a newline stays on one line")
        << auth + "from=Q" + to + "&text=riga1%0Ariga2" << 202 << accepted
        << QStringList{u"Q +393331234567 -1 riga1\\nriga2"_s};
    QTest::newRow("no text is an empty SMS")
        << auth + "from=Q" + to << 202 << accepted << QStringList{u"Q +393331234567 -1 "_s};

    const QByteArray denied = "Authorization failed for sendsms";
    QTest::newRow("wrong password") << "username=" + enc(sinkUser) + "&password=x&from=Q" + to
                                    << 403 << denied << QStringList();
    QTest::newRow("no password") << "username=" + enc(sinkUser) + "&from=Q" + to << 403 << denied
                                 << QStringList();
    QTest::newRow("field names are case-sensitive")
        << "Username=" + enc(sinkUser) + "&password=" + enc(sinkPass) + "&from=Q" + to << 403
        << denied << QStringList();
    QTest::newRow("no receiver") << auth + "from=Q&text=x" << 400
                                 << QByteArray("Missing receiver number, rejected")
                                 << QStringList();
    QTest::newRow("empty receiver")
        << auth + "from=Q&to=&text=x" << 400
        << QByteArray("Empty receiver number not allowed, rejected") << QStringList();
    QTest::newRow("letters in the receiver")
        << auth + "from=Q&to=333abc&text=x" << 400
        << QByteArray("Number(s) has/have been denied by white- and/or black-lists.")
        << QStringList();
    QTest::newRow("no sender") << auth + "text=x" + to << 400
                               << QByteArray("Sender missing and no global set, rejected")
                               << QStringList();
    QTest::newRow("class 4") << auth + "from=Q&mclass=4" + to << 400
                             << QByteArray("MClass field misformed, rejected") << QStringList();
    QTest::newRow("coding 3") << auth + "from=Q&coding=3" + to << 400
                              << QByteArray("Coding field misformed, rejected") << QStringList();
    QTest::newRow("unknown charset")
        << auth + "from=Q&charset=nessuno&text=x" + to << 400
        << QByteArray("Charset or body misformed, rejected") << QStringList();
}

void TestGateway::sink() {
    QFETCH(QByteArray, query);
    QFETCH(int, status);
    QFETCH(QByteArray, body);
    QFETCH(QStringList, received);
    const QStringList before = sinkLines();
    const Answer answer = get("/cgi-bin/sendsms?" + query);
    QCOMPARE(answer.status, status);
    QCOMPARE(answer.body, body);
    QCOMPARE(sinkLines().mid(before.size()), received);
}

void TestGateway::sinkPage() {
    const QByteArray send = "/cgi-bin/sendsms?username=" + enc(sinkUser) +
                            "&password=" + enc(sinkPass) + "&from=Negozio&to=333&text=";
    QCOMPARE(get(send + "primo").status, 202);
    QCOMPARE(get(send + enc(u"<b>Saldi & sconti</b> più €"_s)).status, 202);
    const Answer page = get("/sink");
    QCOMPARE(page.status, 200);
    QVERIFY(page.contentType.startsWith("text/html"));
    const QString html = QString::fromUtf8(page.body);
    QVERIFY(html.contains(u"&lt;b&gt;Saldi &amp; sconti&lt;/b&gt; più €"_s));
    QVERIFY(!html.contains(u"<b>Saldi"_s));
    // Newest first.
    QVERIFY(html.indexOf(u"Saldi"_s) < html.indexOf(u"primo"_s));
}

void TestGateway::keepAlive() {
    // The client hands 1,000 SMS over one connection.
    const int count = 1000;
    const int before = sinkLines().size();
    RawConnection connection(m_gateway->port());
    QVERIFY(connection.isOpen());
    int accepted = 0;
    for (int i = 0; i < count; ++i) {
        const Answer answer =
            connection.get("/cgi-bin/sendsms?username=" + enc(sinkUser) +
                           "&password=" + enc(sinkPass) + "&from=Lista&to=%2B39333000" +
                           QByteArray::number(i) + "&text=Messaggio%20" + QByteArray::number(i));
        if (answer.status != 202)
            break;
        ++accepted;
    }
    QCOMPARE(accepted, count);
    QVERIFY(connection.isOpen());
    const QStringList lines = sinkLines();
    QCOMPARE(lines.size(), before + count);
    QCOMPARE(lines.last(), u"Lista +39333000999 -1 Messaggio 999"_s);
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
    QTest::newRow("NUL in the user name")
        << getLine("/cgi-bin/utenti/leggi.pl?utente=demo%00&pass=demo") << 200 << invalid;
    QTest::newRow("a stray % in a password is kept")
        << getLine("/cgi-bin/utenti/leggi.pl?utente=sconto&pass=50%zz") << 200 << QByteArray("4");
    QTest::newRow("bad escapes in the sink")
        << getLine("/cgi-bin/sendsms?username=%zz&password=%G1&to=%&from=%") << 403
        << QByteArray("Authorization failed for sendsms");
    QTest::newRow("huge query") << getLine("/cgi-bin/utenti/leggi.pl?utente=demo&pass=" +
                                           QByteArray(100000, 'x'))
                                << 414 << QByteArray();
    QTest::newRow("unknown path") << getLine("/cgi-bin/utenti/cancella.pl?utente=demo") << 404
                                  << QByteArray("Pagina non trovata");
    QTest::newRow("bad escape in the path") << getLine("/cgi-bin/%zz%") << 404 << QByteArray();
    QTest::newRow("path outside the root") << getLine("/../../etc/passwd") << 404 << QByteArray();
    QTest::newRow("not a request line") << QByteArray("GARBAGE\r\n\r\n") << 400 << QByteArray();
    QTest::newRow("binary junk") << QByteArray(
                                        "\x16\x03\x01\x02\x00\x01\x00\x01\xfc\x03\x03\r\n\r\n", 15)
                                 << 400 << QByteArray();
    QTest::newRow("unknown method")
        << QByteArray("BREW /cgi-bin/utenti/leggi.pl HTTP/1.1\r\nHost: x\r\n\r\n") << 400
        << QByteArray();
    QTest::newRow("request cut off")
        << QByteArray("GET /cgi-bin/utenti/leggi.pl?utente=demo") << 0 << QByteArray();
}

void TestGateway::malformed() {
    QFETCH(QByteArray, request);
    QFETCH(int, status);
    QFETCH(QByteArray, body);
    {
        RawConnection connection(m_gateway->port());
        QVERIFY(connection.isOpen());
        const Answer answer = connection.exchange(request);
        QCOMPARE(answer.status, status);
        if (!body.isEmpty())
            QCOMPARE(answer.body, body);
    }
    // The gateway still serves.
    QCOMPARE(get("/cgi-bin/utenti/leggi.pl?utente=demo&pass=demo").body, QByteArray("25"));
}

void TestGateway::concurrentClients() {
    // 8 clients read the credit (half on one kept-alive connection, half on a new connection
    // each time) while others write: the sink and the charges of another account.
    const int readers = 8;
    const int queries = 250;
    const int sinkWriters = 2;
    const int sinkMessages = 50;
    const int chargers = 2;
    const int charges = 25;
    const int sinkBefore = sinkLines().size();
    const quint16 port = m_gateway->port();

    std::vector<QStringList> errors(readers + sinkWriters + chargers);
    std::vector<std::thread> threads;
    for (int r = 0; r < readers; ++r) {
        threads.emplace_back([&, r] {
            std::unique_ptr<RawConnection> kept;
            for (int i = 0; i < queries; ++i) {
                const bool keepAlive = r % 2 == 0;
                if (!kept || !keepAlive)
                    kept = std::make_unique<RawConnection>(port);
                const Answer answer = kept->get(
                    "/cgi-bin/utenti/leggi.pl?utente=demo&pass=demo&datatime=1", keepAlive);
                if (answer.status != 200 || answer.body != "25")
                    errors[r].append(u"lettura %1: %2 %3"_s.arg(i)
                                         .arg(answer.status)
                                         .arg(QString::fromUtf8(answer.body)));
            }
        });
    }
    for (int w = 0; w < sinkWriters; ++w) {
        threads.emplace_back([&, w] {
            RawConnection connection(port);
            for (int i = 0; i < sinkMessages; ++i) {
                const Answer answer = connection.get(
                    "/cgi-bin/sendsms?username=" + enc(sinkUser) + "&password=" + enc(sinkPass) +
                    "&from=W" + QByteArray::number(w) + "&to=333&text=" + QByteArray::number(i));
                if (answer.status != 202)
                    errors[readers + w].append(u"invio %1: %2"_s.arg(i).arg(answer.status));
            }
        });
    }
    for (int c = 0; c < chargers; ++c) {
        threads.emplace_back([&, c] {
            RawConnection connection(port);
            for (int i = 0; i < charges; ++i) {
                // A numero of its own for every send: each charges 1.
                const QByteArray numero = QByteArray::number(100000 + c * 1000 + i);
                const Answer answer = connection.get(
                    "/cgi-bin/utenti/verifica2.cgi?utente=carico&pass=carico&numero=" + numero +
                    "&numerodet=1&datatime=1");
                if (!answer.body.startsWith("OK"))
                    errors[readers + sinkWriters + c].append(
                        u"addebito %1: %2"_s.arg(i).arg(QString::fromUtf8(answer.body)));
            }
        });
    }
    for (auto& thread : threads)
        thread.join();

    QStringList all;
    for (const auto& list : errors)
        all += list;
    QVERIFY2(all.isEmpty(), qPrintable(all.mid(0, 10).join(u"; "_s)));
    QCOMPARE(sinkLines().size(), sinkBefore + sinkWriters * sinkMessages);
    QCOMPARE(get("/cgi-bin/utenti/leggi.pl?utente=carico&pass=carico").body,
             QByteArray::number(200 - chargers * charges));
}

void TestGateway::pages_data() {
    QTest::addColumn<QByteArray>("target");
    QTest::addColumn<QStringList>("contains");
    QTest::addColumn<QStringList>("absent");
    QTest::newRow("buy credit")
        << QByteArray("/cgi-bin/affiliate/giacli.pl?affiliato=12&codeaff=ab")
        << QStringList{u"Acquista credito"_s, u"<b>12</b>"_s, u"<b>ab</b>"_s} << QStringList();
    QTest::newRow("buy credit escapes the affiliate")
        << "/cgi-bin/affiliate/giacli.pl?affiliato=" + enc(u"<script>alert(1)</script>"_s) +
               "&codeaff=" + enc(u"a&b\"c"_s)
        << QStringList{u"&lt;script&gt;alert(1)&lt;/script&gt;"_s, u"a&amp;b&quot;c"_s}
        << QStringList{u"<script>"_s};
    QTest::newRow("programme and account request")
        << "/cgi-bin/affiliate/programma.pl?affiliato=" + enc(u"Bar Sport"_s) + "&codeaff=7"
        << QStringList{u"Richiesta account"_s, u"Programma di affiliazione"_s, u"Bar Sport"_s}
        << QStringList();
    QTest::newRow("programme without affiliate")
        << QByteArray("/cgi-bin/affiliate/programma.pl") << QStringList{u"Richiesta account"_s}
        << QStringList{u"Affiliato:"_s};
    QTest::newRow("affiliates") << QByteArray("/affiliate1/affiliati.htm")
                                << QStringList{u"Affiliati"_s} << QStringList();
}

void TestGateway::pages() {
    QFETCH(QByteArray, target);
    QFETCH(QStringList, contains);
    QFETCH(QStringList, absent);
    const Answer answer = get(target);
    QCOMPARE(answer.status, 200);
    QCOMPARE(answer.contentType, QByteArray("text/html; charset=utf-8"));
    const QString html = QString::fromUtf8(answer.body);
    QVERIFY(html.startsWith(u"<!DOCTYPE html>"_s));
    for (const QString& text : contains)
        QVERIFY2(html.contains(text), qPrintable(text));
    for (const QString& text : absent)
        QVERIFY2(!html.contains(text), qPrintable(text));
}

void TestGateway::creditAddedWhileServing() {
    // The command line writes to the database the running gateway uses.
    const auto added = runGateway({u"credit"_s, u"add"_s, u"--db"_s, m_db, u"ricarica"_s, u"99"_s});
    QCOMPARE(added.exitCode, 0);
    QCOMPARE(get("/cgi-bin/utenti/leggi.pl?utente=ricarica&pass=ricarica").body, QByteArray("100"));
    const auto taken =
        runGateway({u"credit"_s, u"add"_s, u"--db"_s, m_db, u"ricarica"_s, u"-30"_s});
    QCOMPARE(taken.exitCode, 0);
    QCOMPARE(get("/cgi-bin/utenti/leggi.pl?utente=ricarica&pass=ricarica").body, QByteArray("70"));
    createAccount(u"nuovo"_s, u"nuovo"_s, 5);
    QCOMPARE(get("/cgi-bin/utenti/leggi.pl?utente=nuovo&pass=nuovo").body, QByteArray("5"));
}

void TestGateway::stopKeepsData_data() {
    QTest::addColumn<int>("signal");
    QTest::newRow("SIGTERM") << int(SIGTERM);
    QTest::newRow("SIGINT") << int(SIGINT);
}

void TestGateway::stopKeepsData() {
    QFETCH(int, signal);
    const QString db = m_dir.filePath(u"stop%1.db"_s.arg(signal));
    QCOMPARE(runGateway({u"account"_s, u"create"_s, u"--db"_s, db, u"demo"_s, u"demo"_s, u"10"_s})
                 .exitCode,
             0);
    const QByteArray sms =
        "/cgi-bin/sendsms?username=quillet&password=quillet&from=Q&to=333&text=" +
        enc(u"dopo il riavvio è qui"_s);
    {
        Gateway gateway;
        QVERIFY(gateway.start(db));
        RawConnection connection(gateway.port());
        QVERIFY(connection
                    .get("/cgi-bin/utenti/verifica2.cgi?utente=demo&pass=demo&numero=10&"
                         "numerodet=4")
                    .body.startsWith("OK"));
        QCOMPARE(connection.get(sms).status, 202);
        // A client still holds its kept-alive connection when the signal comes.
        QCOMPARE(gateway.stop(signal), 0);
    }
    Gateway again;
    QVERIFY(again.start(db));
    RawConnection connection(again.port());
    QCOMPARE(connection.get("/cgi-bin/utenti/leggi.pl?utente=demo&pass=demo").body,
             QByteArray("6"));
    QCOMPARE(connection.get("/sink.txt").body, u"Q 333 -1 dopo il riavvio è qui\n"_s.toUtf8());
    // The same send repeated after the restart is still not charged twice.
    QVERIFY(
        connection.get("/cgi-bin/utenti/verifica2.cgi?utente=demo&pass=demo&numero=10&numerodet=4")
            .body.startsWith("OK"));
    QCOMPARE(connection.get("/cgi-bin/utenti/leggi.pl?utente=demo&pass=demo").body,
             QByteArray("6"));
}

void TestGateway::commandLine_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("exitCode");
    const QString db = m_db;
    const QString missing = m_dir.filePath(u"nessuno.db"_s);
    const QString text = m_dir.filePath(u"testo.db"_s);
    QFile file(text);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("questo non è un database\n");
    file.close();

    QTest::newRow("help") << QStringList{u"--help"_s} << 0;
    QTest::newRow("no command") << QStringList() << 2;
    QTest::newRow("unknown command") << QStringList{u"avvia"_s} << 2;
    QTest::newRow("serve without database") << QStringList{u"serve"_s} << 2;
    QTest::newRow("port out of range")
        << QStringList{u"serve"_s, u"--db"_s, db, u"--port"_s, u"70000"_s} << 2;
    QTest::newRow("channel with two fields")
        << QStringList{u"serve"_s, u"--db"_s, db, u"--channel"_s, u"host-user:pass"_s} << 2;
    QTest::newRow("channel port not a number")
        << QStringList{u"serve"_s, u"--db"_s, db, u"--channel"_s, u"host-user:pass-porta"_s} << 2;
    QTest::newRow("sink user without password")
        << QStringList{u"serve"_s, u"--db"_s, db, u"--sink-user"_s, u"u"_s} << 2;
    QTest::newRow("unknown option") << QStringList{u"serve"_s, u"--db"_s, db, u"--verbose"_s} << 2;
    QTest::newRow("port in use") << QStringList{u"serve"_s, u"--db"_s, db, u"--port"_s,
                                                QString::number(m_gateway->port())}
                                 << 1;
    QTest::newRow("database is a text file") << QStringList{u"serve"_s, u"--db"_s, text} << 1;
    QTest::newRow("create without password")
        << QStringList{u"account"_s, u"create"_s, u"--db"_s, db, u"solo"_s} << 2;
    QTest::newRow("credit not a number")
        << QStringList{u"account"_s, u"create"_s, u"--db"_s, db, u"x"_s, u"y"_s, u"dieci"_s} << 2;
    QTest::newRow("password with -")
        << QStringList{u"account"_s, u"create"_s, u"--db"_s, db, u"x"_s, u"a-b"_s} << 1;
    QTest::newRow("account exists")
        << QStringList{u"account"_s, u"create"_s, u"--db"_s, db, u"demo"_s, u"altra"_s} << 1;
    QTest::newRow("account exists, if missing")
        << QStringList{u"account"_s, u"create"_s, u"--db"_s, db,
                       u"demo"_s,    u"altra"_s,  u"5"_s,    u"--if-missing"_s}
        << 0;
    QTest::newRow("credit for an unknown account")
        << QStringList{u"credit"_s, u"add"_s, u"--db"_s, db, u"nessuno"_s, u"5"_s} << 1;
    QTest::newRow("credit below zero")
        << QStringList{u"credit"_s, u"add"_s, u"--db"_s, db, u"demo"_s, u"-26"_s} << 1;
    QTest::newRow("credit add 0") << QStringList{u"credit"_s, u"add"_s,  u"--db"_s,
                                                 db,          u"demo"_s, u"0"_s}
                                  << 2;
    QTest::newRow("credit on a missing database")
        << QStringList{u"credit"_s, u"add"_s, u"--db"_s, missing, u"demo"_s, u"5"_s} << 1;
    QTest::newRow("ledger of an unknown account")
        << QStringList{u"ledger"_s, u"--db"_s, db, u"nessuno"_s} << 1;
    QTest::newRow("ledger of a missing database")
        << QStringList{u"ledger"_s, u"--db"_s, missing} << 1;
}

void TestGateway::commandLine() {
    QFETCH(QStringList, args);
    QFETCH(int, exitCode);
    const CommandResult result = runGateway(args);
    QCOMPARE(result.exitCode, exitCode);
    if (exitCode == 1) {
        // One Italian line that says why.
        QCOMPARE(result.err.count(u'\n'), 1);
        QVERIFY(result.err.startsWith(u"quillet-gateway: "_s));
    } else if (exitCode == 2) {
        QVERIFY(result.err.contains(u"--help"_s));
    } else {
        QVERIFY(result.err.isEmpty());
    }
    // Failed commands change nothing.
    QCOMPARE(get("/cgi-bin/utenti/leggi.pl?utente=demo&pass=demo").body, QByteArray("25"));
    QVERIFY(!QFile::exists(m_dir.filePath(u"nessuno.db"_s)));
}

QTEST_GUILESS_MAIN(TestGateway)
#include "tst_gateway.moc"
