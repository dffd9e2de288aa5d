#include "tools/demodata.h"

#include "messaging/account.h"
#include "platform/clock.h"
#include "store/archive.h"
#include "store/database.h"
#include "tools/testdata.h"

namespace demodata {

namespace {

struct Contact {
    const char* nome;
    const char* cognome;
    const char* cellulare;
    const char* email;
};

const Contact principale[] = {
    {"Giulia", "Bianchi", "3471234567", "giulia.bianchi@example.it"},
    {"Marco", "D'Amico", "3289876543", "marco.damico@example.it"},
    {"Chiara", "Esposito", "3351122334", " "},
    {"Luca", "Ricci", "3204455667", "luca.ricci@example.it"},
    {"Sofia", "Conti", "3391239876", " "},
    {"Niccolò", "Fabbri", "3487654321", "n.fabbri@example.it"},
    {"Elena", "Mancini", "3405566778", " "},
    {"Pizzeria Da Gino", "", "3357788990", "info@example.it"},
    {"Andrea", "Zanetti", "3296677889", " "},
    {"Nicola", "Dell'Orto", "3331472583", "nicola.dellorto@example.it"},
};

const Contact fornitori[] = {
    {"Ortofrutta", "Gallo", "3382233445", "ordini@example.it"},
    {"Lavanderia", "Moretti", "3469988776", " "},
    {"Paolo", "Ferrari", "3201122990", "paolo.ferrari@example.it"},
};

QString s(const char* utf8) {
    return QString::fromUtf8(utf8);
}

QString hoursAgo(int hours) {
    return platform::Clock::dataText(platform::Clock::now().addSecs(-3600LL * hours));
}

void addContacts(store::Database& db, const Contact* first, const Contact* last) {
    for (const Contact* c = first; c != last; ++c)
        testdata::addContact(db, s(c->nome), s(c->cognome), s(c->cellulare), s(c->email));
}

} // namespace

void write(const QString& appFolder) {
    using store::archive::addressBookPath;
    // The demo account of the local reference gateway.
    if (!account::save(appFolder, QStringLiteral("demo"), QStringLiteral("demo")))
        throw store::StoreError(store::EngineFailure,
                                QStringLiteral("Impossibile scrivere il file registrazione."));
    testdata::addAddressBook(appFolder, QStringLiteral("Fornitori"));

    auto db = store::Database::open(addressBookPath(appFolder, QStringLiteral("Principale")));
    db->transaction([&] {
        addContacts(*db, std::begin(principale), std::end(principale));
        const QString salvati = QStringLiteral("salvati");
        const QString inviati = QStringLiteral("inviati");
        testdata::addMessage(
            *db, salvati, s("Bianchi"), s("3471234567"), hoursAgo(3),
            s("Buongiorno Giulia, le confermo l'appuntamento di giovedì alle 10."));
        testdata::addMessage(*db, salvati, s("<lista>"), s("3204455667;3391239876;3405566778"),
                             hoursAgo(26),
                             s("Sabato il negozio resta aperto fino alle 20. Vi aspettiamo!"));
        testdata::addMessage(*db, inviati, s("D'Amico"), s("3289876543"), hoursAgo(50),
                             s("Gentile cliente, il suo ordine è pronto per il ritiro."));
        testdata::addMessage(
            *db, inviati, s("<lista>"), s("3471234567;3351122334;3487654321"), hoursAgo(74),
            s("Promozione di dicembre: sconto del 20% su tutti i servizi fino al 24."));
        testdata::addMessage(*db, inviati, s("Zanetti"), s("3296677889"), hoursAgo(98),
                             s("Grazie per la visita, a presto!"));
        testdata::addMessage(*db, QStringLiteral("cancellati"), s("Conti"), s("3391239876"),
                             hoursAgo(170), s("Promemoria: domani chiusura per inventario."));
    });

    auto second = store::Database::open(addressBookPath(appFolder, QStringLiteral("Fornitori")));
    second->transaction([&] {
        addContacts(*second, std::begin(fornitori), std::end(fornitori));
        testdata::addMessage(*second, QStringLiteral("inviati"), s("Gallo"), s("3382233445"),
                             hoursAgo(30), s("Per lunedì: 10 cassette di arance, grazie."));
    });
}

} // namespace demodata
