// Generates an application folder for benchmarks:
//   quillet-datagen DIR --contacts N [--books M] [--messages K]
// The first address book gets N contacts and K messages in each message table; the other
// address books 100 contacts each. Names are drawn from a fixed seed, so runs are comparable.
#include "platform/textfile.h"
#include "store/archive.h"
#include "store/database.h"
#include "tools/seed.h"

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

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() < 4 || args.size() % 2 != 0) {
        std::fputs("Uso: quillet-datagen CARTELLA --contacts N [--books M] [--messages K]\n",
                   stderr);
        return 2;
    }
    const QString folder = QDir::cleanPath(args[1]);
    int contacts = 0, books = 1, messages = 0;
    for (qsizetype i = 2; i + 1 < args.size(); i += 2) {
        const int value = args[i + 1].toInt();
        if (args[i] == QLatin1String("--contacts"))
            contacts = value;
        else if (args[i] == QLatin1String("--books"))
            books = std::max(1, value);
        else if (args[i] == QLatin1String("--messages"))
            messages = value;
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
        }
    } catch (const store::StoreError& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    std::printf("%s: %d contatti, %d rubriche, %d messaggi per archivio\n",
                folder.toLocal8Bit().constData(), contacts, books, messages);
    return 0;
}
