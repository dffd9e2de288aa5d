// "Importa da Ericsoft": a customer table of COUNT records (about 20 fields) into 20 market
// address books already holding 10,000 contacts each, beside a raw SQLite load of the same
// number of rows into copies of the same books (one transaction each, the archive's indexes
// and comparison) and a bare read of the table, in the same run; then 3,000 customers of 3,000
// markets each into an empty folder, with the memory the process reached:
//   bench-ericsoft [COUNT] [RUNS]
#include "bench/measure.h"
#include "exchange/dbf.h"
#include "exchange/ericsoft.h"
#include "store/archive.h"
#include "store/database.h"
#include "tools/dbfwriter.h"
#include "tools/testdata.h"

#include <QCoreApplication>
#include <QDir>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <sqlite3.h>

#include <cstdio>
#include <filesystem>

#include <sys/resource.h>

namespace {

using measure::median;
using measure::msSince;

constexpr int markets = 20;
constexpr int contactsPerBook = 10000;

QString marketCode(int i) {
    return QStringLiteral("%1").arg(i % markets + 1, 2, 10, QLatin1Char('0'));
}

QString mobile(int i) {
    return QStringLiteral("3%1").arg(300000000 + i);
}

// The application folder: 20 market books of 10,000 contacts (numbers 0 .. 199,999).
void makeFolder(const QString& folder) {
    store::archive::createFolderDatabases(folder,
                                          {QString::fromLatin1(store::archive::principale)});
    for (int m = 0; m < markets; ++m) {
        const QString book = ericsoft::marketBook(marketCode(m));
        testdata::addAddressBook(folder, book);
        auto db = store::Database::open(store::archive::addressBookPath(folder, book));
        db->transaction([&] {
            auto rs = db->openRecordset(QStringLiteral("rubrica"));
            for (int i = 0; i < contactsPerBook; ++i) {
                rs->AddNew();
                rs->setValue(QStringLiteral("Nome"), QStringLiteral("Ospite"));
                rs->setValue(QStringLiteral("cognome"), QStringLiteral("Esistente%1").arg(i));
                rs->setValue(QStringLiteral("cellulare"), mobile(m * contactsPerBook + i));
                rs->setValue(QStringLiteral("email"), QStringLiteral(" "));
                rs->setValue(QStringLiteral("icona"), QStringLiteral("4"));
                rs->Update();
            }
        });
    }
}

// Customers: one in ten already known, one in twenty without a mobile number.
void makeTable(const QString& path, int count) {
    using dbfwriter::Column;
    std::vector<Column> columns = {
        {QStringLiteral("CODICE"), 'I', 4},      {QStringLiteral("RN_MER"), 'C', 3},
        {QStringLiteral("COGNOME"), 'C', 40},    {QStringLiteral("NOME"), 'C', 30},
        {QStringLiteral("INDIRIZZO"), 'C', 50},  {QStringLiteral("CITTA"), 'C', 30},
        {QStringLiteral("CAP"), 'C', 5},         {QStringLiteral("PROV"), 'C', 2},
        {QStringLiteral("NAZIONE"), 'C', 20},    {QStringLiteral("TELEFONO_1"), 'C', 20},
        {QStringLiteral("TELEFONO_2"), 'C', 20}, {QStringLiteral("TELEFONO_3"), 'C', 20},
        {QStringLiteral("POSTA"), 'C', 60},      {QStringLiteral("NASCITA"), 'D', 8},
        {QStringLiteral("ULTIMO"), 'T', 8},      {QStringLiteral("SPESA"), 'Y', 8},
        {QStringLiteral("NOTTI"), 'N', 5},       {QStringLiteral("VIP"), 'L', 1},
        {QStringLiteral("NOTE"), 'M', 4},        {QStringLiteral("DOCUMENTO"), 'C', 30, 0, true},
    };
    dbfwriter::Writer writer(path, columns);
    QRandomGenerator random(11);
    for (int i = 0; i < count; ++i) {
        const int kind = random.bounded(20);
        const QString phone = kind == 0  ? QString()
                              : kind < 3 ? mobile(random.bounded(markets * contactsPerBook))
                                         : mobile(1000000 + i);
        writer.add(
            {QString::number(i + 1),
             marketCode(random.bounded(markets)),
             QStringLiteral("Cognome%1").arg(i),
             QStringLiteral("Nome%1").arg(i % 97),
             QStringLiteral("Via Roma %1").arg(i % 300),
             QStringLiteral("Rimini"),
             QStringLiteral("47921"),
             QStringLiteral("RN"),
             QStringLiteral("Italia"),
             QStringLiteral("0541 123456"),
             QString(),
             phone.isEmpty()
                 ? QString()
                 : QStringLiteral(" %1/%2-%3 ").arg(phone.left(3), phone.mid(3, 3), phone.mid(6)),
             QStringLiteral("ospite%1@example.it").arg(i),
             QStringLiteral("19800131"),
             QStringLiteral("20260801120000"),
             QStringLiteral("1234.50"),
             QStringLiteral("7"),
             QStringLiteral("F"),
             QString(),
             std::nullopt});
    }
    writer.finish();
}

void copyFolder(const QString& from, const QString& to) {
    namespace fs = std::filesystem;
    fs::remove_all(QFile::encodeName(to).toStdString());
    fs::copy(QFile::encodeName(from).toStdString(), QFile::encodeName(to).toStdString(),
             fs::copy_options::recursive);
}

// The same number of rows, spread over the 20 books, through the bare C API.
double rawLoad(const QString& folder, int rows) {
    QElapsedTimer t;
    t.start();
    for (int m = 0; m < markets; ++m) {
        const QString path =
            store::archive::addressBookPath(folder, ericsoft::marketBook(marketCode(m)));
        sqlite3* db = nullptr;
        sqlite3_open_v2(QFile::encodeName(path).constData(), &db, SQLITE_OPEN_READWRITE, nullptr);
        store::Database::addTextRules(db);
        sqlite3_exec(db, "PRAGMA synchronous=FULL; PRAGMA cache_size=-32768; BEGIN IMMEDIATE",
                     nullptr, nullptr, nullptr);
        sqlite3_stmt* st = nullptr;
        sqlite3_prepare_v2(db,
                           "INSERT INTO rubrica (Nome, cognome, email, cellulare, icona) "
                           "VALUES (?, ?, ?, ?, '4')",
                           -1, &st, nullptr);
        for (int i = m; i < rows; i += markets) {
            const QByteArray nome = QStringLiteral("Nome%1").arg(i % 97).toUtf8();
            const QByteArray cognome = QStringLiteral("Cognome%1").arg(i).toUtf8();
            const QByteArray email = QStringLiteral("ospite%1@example.it").arg(i).toUtf8();
            const QByteArray number = mobile(1000000 + i).toUtf8();
            sqlite3_bind_text(st, 1, nome.constData(), int(nome.size()), SQLITE_TRANSIENT);
            sqlite3_bind_text(st, 2, cognome.constData(), int(cognome.size()), SQLITE_TRANSIENT);
            sqlite3_bind_text(st, 3, email.constData(), int(email.size()), SQLITE_TRANSIENT);
            sqlite3_bind_text(st, 4, number.constData(), int(number.size()), SQLITE_TRANSIENT);
            sqlite3_step(st);
            sqlite3_reset(st);
        }
        sqlite3_finalize(st);
        sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
        sqlite3_close(db);
    }
    return msSince(t);
}

double readTable(const QString& path, qint64& rows) {
    QElapsedTimer t;
    t.start();
    dbf::Table table(path);
    const int fields[] = {table.fieldIndex(u"RN_MER"), table.fieldIndex(u"COGNOME"),
                          table.fieldIndex(u"NOME"), table.fieldIndex(u"POSTA"),
                          table.fieldIndex(u"TELEFONO_3")};
    rows = 0;
    qsizetype chars = 0;
    while (table.next()) {
        for (int f : fields)
            chars += table.text(f).value_or(QString()).size();
        ++rows;
    }
    return chars > 0 ? msSince(t) : msSince(t);
}

// One customer per market, every market new: a book made for each.
double manyMarkets(const QString& dir, int count, qint64& imported) {
    const QString folder = dir + QStringLiteral("/markets");
    const QString hotel = dir + QStringLiteral("/markets-hotel");
    QDir().mkpath(hotel);
    store::archive::createFolderDatabases(folder,
                                          {QString::fromLatin1(store::archive::principale)});
    {
        dbfwriter::Writer writer(hotel + QStringLiteral("/ANAGRAFICHE.DBF"),
                                 {{QStringLiteral("RN_MER"), 'C', 10},
                                  {QStringLiteral("COGNOME"), 'C', 40},
                                  {QStringLiteral("NOME"), 'C', 30},
                                  {QStringLiteral("POSTA"), 'C', 60},
                                  {QStringLiteral("TELEFONO_3"), 'C', 20}});
        for (int i = 0; i < count; ++i)
            writer.add({QStringLiteral("M%1").arg(i), QStringLiteral("Cognome%1").arg(i),
                        QStringLiteral("Nome"), QString(), mobile(2000000 + i)});
        writer.finish();
    }
    QElapsedTimer t;
    t.start();
    const ericsoft::Outcome outcome = ericsoft::importCustomers(folder, hotel);
    imported = outcome.status == ericsoft::Outcome::Done ? outcome.imported : -1;
    if (outcome.status != ericsoft::Outcome::Done)
        std::fprintf(stderr, "%s\n", outcome.detail.toLocal8Bit().constData());
    return msSince(t);
}

long peakKilobytes() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int count = measure::count(1, 100000);
    const int runs = measure::count(2, 5);

    QTemporaryDir dir;
    const QString master = dir.filePath(QStringLiteral("master"));
    const QString hotel = dir.filePath(QStringLiteral("hotel"));
    QDir().mkpath(hotel);
    makeFolder(master);
    makeTable(hotel + QStringLiteral("/ANAGRAFICHE.DBF"), count);

    std::vector<double> imported, raw, read;
    qint64 importedRows = 0, readRows = 0;
    const QString work = dir.filePath(QStringLiteral("work"));
    for (int r = 0; r < runs; ++r) {
        read.push_back(readTable(hotel + QStringLiteral("/ANAGRAFICHE.DBF"), readRows));
        copyFolder(master, work);
        QElapsedTimer t;
        t.start();
        const ericsoft::Outcome outcome = ericsoft::importCustomers(work, hotel);
        imported.push_back(msSince(t));
        importedRows = outcome.status == ericsoft::Outcome::Done ? outcome.imported : -1;
        if (outcome.status != ericsoft::Outcome::Done)
            std::fprintf(stderr, "%s\n", outcome.detail.toLocal8Bit().constData());
        copyFolder(master, work);
        raw.push_back(rawLoad(work, static_cast<int>(std::max<qint64>(importedRows, 0))));
    }
    std::printf("%d clienti in 20 rubriche con %d contatti, %d ripetizioni\n", count,
                markets * contactsPerBook, runs);
    std::printf("  lettura della tabella (5 campi)             mediana %8.1f ms (%lld record)\n",
                median(read), static_cast<long long>(readRows));
    std::printf("  Importa da Ericsoft                         mediana %8.1f ms (%lld contatti)\n",
                median(imported), static_cast<long long>(importedRows));
    std::printf("  SQLite puro: le stesse righe nelle 20 rubriche  mediana %8.1f ms (Importa da "
                "Ericsoft: %.2fx)\n",
                median(raw), median(imported) / median(raw));
    const long before = peakKilobytes();
    qint64 marketRows = 0;
    const double marketsMs = manyMarkets(dir.path(), 3000, marketRows);
    std::printf("  3000 clienti di 3000 mercati diversi        %8.1f ms (%lld contatti), "
                "memoria massima %ld MB (prima %ld MB)\n",
                marketsMs, static_cast<long long>(marketRows), peakKilobytes() / 1024,
                before / 1024);
    return importedRows > 0 && marketRows == 3000 ? 0 : 1;
}
