// Generates an application folder for benchmarks:
//   quillet-datagen DIR --contacts N [--books M] [--messages K] [--reports 1]
// The first address book gets N contacts and K messages in each message table (with
// --reports, each sent message a report of three SMS with the gateway's keys and delivery
// states); the other address books 100 contacts each. Names are drawn from a fixed seed, so runs
// are comparable.
#include "platform/textfile.h"
#include "store/archive.h"
#include "store/database.h"
#include "store/sendreport.h"
#include "store/sqlite.h"
#include "tools/testdata.h"

#include <QCoreApplication>
#include <QDir>
#include <QRandomGenerator>

#include <cstdio>

namespace {

const char* const firstNames[] = {"Giulia", "Marco",  "Chiara",    "Luca",   "Sofia",  "Niccolò",
                                  "Elena",  "Andrea", "Francesca", "Matteo", "Aurora", "Lorenzo"};
const char* const surnames[] = {"Rossi",     "Bianchi", "D'Amico", "Esposito", "Ricci",
                                "Àlberti",   "Conti",   "Fabbri",  "Mancini",  "Zanetti",
                                "Dell'Orto", "Greco",   "Bruno",   "Gallo",    "Ferrari",
                                "Colombo",   "Romano",  "Marino",  "Costa",    "Giordano"};

template <size_t N> QString pick(QRandomGenerator& random, const char* const (&list)[N]) {
    return QString::fromUtf8(list[random.bounded(static_cast<quint32>(N))]);
}

QString number(QRandomGenerator& random) {
    return QStringLiteral("3%1%2")
        .arg(random.bounded(20, 99))
        .arg(random.bounded(1000000, 9999999));
}

void fillContacts(store::Database& db, int count, QRandomGenerator& random) {
    db.transaction([&] {
        auto rs = db.openRecordset(QStringLiteral("rubrica"));
        for (int i = 0; i < count; ++i) {
            rs->AddNew();
            rs->setValue(QStringLiteral("Nome"), pick(random, firstNames));
            // One contact in twenty has no surname; one in ten no e-mail (a null field).
            if (random.bounded(20) != 0)
                rs->setValue(QStringLiteral("cognome"),
                             pick(random, surnames) + QString::number(random.bounded(1000)));
            rs->setValue(QStringLiteral("cellulare"), number(random));
            if (random.bounded(10) != 0)
                rs->setValue(QStringLiteral("email"),
                             QStringLiteral("cliente%1@example.it").arg(i));
            rs->setValue(QStringLiteral("icona"), QStringLiteral("4"));
            rs->Update();
        }
    });
}

void fillMessages(store::Database& db, const QString& table, int count, QRandomGenerator& random) {
    db.transaction([&] {
        auto rs = db.openRecordset(table);
        for (int i = 0; i < count; ++i) {
            rs->AddNew();
            rs->setValue(QStringLiteral("cognome"), pick(random, surnames));
            rs->setValue(QStringLiteral("cellulare"), number(random));
            rs->setValue(QStringLiteral("Data"),
                         QStringLiteral("%1/11/2026 %2:%3:%4")
                             .arg(random.bounded(1, 29), 2, 10, QLatin1Char('0'))
                             .arg(random.bounded(24), 2, 10, QLatin1Char('0'))
                             .arg(random.bounded(60), 2, 10, QLatin1Char('0'))
                             .arg(random.bounded(60), 2, 10, QLatin1Char('0')));
            rs->setValue(
                QStringLiteral("Testo"),
                QStringLiteral("Messaggio di prova numero %1, con qualche parola in più.").arg(i));
            rs->Update();
        }
    });
}

// Three SMS per sent message, accepted with a key: delivered, at the SMS centre, and one in
// ten not delivered.
void fillReports(store::Database& db, QRandomGenerator& random) {
    using namespace store;
    const auto connection = db.connection();
    sqlite::Transaction transaction(*connection);
    sqlite::Statement sent(*connection, "SELECT cognome, cellulare, Data, Testo FROM inviati");
    QStringList keys;
    while (sent.step())
        keys.append(
            sendreport::messageKey({sent.text(0), sent.text(1), sent.text(2), sent.text(3)}));
    sent.reset();
    sqlite::Statement insert(*connection,
                             "INSERT INTO esiti (messaggio, ordine, numero, cognome, parte, esito, "
                             "risposta, chiave, stato, statoora, statotesto) VALUES (?1, ?2, ?3, "
                             "'', 1, 'A', '0: Accepted for delivery', ?4, ?5, "
                             "'2026-11-20T10:00:00Z', 'ACK/')");
    for (const QString& key : std::as_const(keys)) {
        for (int line = 1; line <= 3; ++line) {
            const int state = line == 1 ? 1 : line == 2 ? 8 : random.bounded(10) == 0 ? 2 : 1;
            insert.bind(1, key)
                .bind(2, line)
                .bind(3, number(random))
                .bind(4, QString::number(random.generate64(), 16).rightJustified(32, u'0'))
                .bind(5, state)
                .run();
        }
    }
    transaction.commit();
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() < 4 || args.size() % 2 != 0) {
        std::fputs("Uso: quillet-datagen CARTELLA --contacts N [--books M] [--messages K] "
                   "[--reports 1]\n",
                   stderr);
        return 2;
    }
    const QString folder = QDir::cleanPath(args[1]);
    int contacts = 0, books = 1, messages = 0;
    bool reports = false;
    for (qsizetype i = 2; i + 1 < args.size(); i += 2) {
        const int value = args[i + 1].toInt();
        if (args[i] == QLatin1String("--contacts"))
            contacts = value;
        else if (args[i] == QLatin1String("--books"))
            books = std::max(1, value);
        else if (args[i] == QLatin1String("--messages"))
            messages = value;
        else if (args[i] == QLatin1String("--reports"))
            reports = value != 0;
    }
    QRandomGenerator random(20261205);
    try {
        QDir().mkpath(folder);
        QStringList names{QStringLiteral("Principale")};
        for (int b = 2; b <= books; ++b)
            names.append(QStringLiteral("Rubrica %1").arg(b));
        store::archive::createFolderDatabases(folder, names);
        // A saved layout, so the first address book is listed at start-up.
        platform::TextFile::replaceLines(QDir(folder).filePath(QStringLiteral("tbta")),
                                         {QStringLiteral("1,2780")});
        for (int b = 0; b < names.size(); ++b) {
            auto db = store::Database::open(store::archive::addressBookPath(folder, names[b]));
            fillContacts(*db, b == 0 ? contacts : 100, random);
            if (b == 0)
                for (const char* table : {"salvati", "inviati", "cancellati"})
                    fillMessages(*db, QString::fromLatin1(table), messages, random);
            if (b == 0 && reports)
                fillReports(*db, random);
        }
    } catch (const store::StoreError& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    std::printf("%s: %d contatti, %d rubriche, %d messaggi per archivio\n",
                folder.toLocal8Bit().constData(), contacts, books, messages);
    return 0;
}
