#include "exchange/hotelimport.h"

#include "app/appstate.h"
#include "app/mainwindow.h"
#include "app/maker.h"
#include "exchange/ericsoft.h"
#include "exchange/hotelfolderwindow.h"
#include "exchange/importprogress.h"
#include "platform/dialogs.h"
#include "platform/waitcursor.h"

#include <QLocale>

namespace hotelimport {

namespace {

void report(const ericsoft::Outcome& outcome) {
    using ericsoft::Outcome;
    switch (outcome.status) {
    case Outcome::Done:
        platform::MsgBox(QStringLiteral("Importazione Completata"));
        return;
    case Outcome::Missing:
        platform::MsgBox(QStringLiteral("Database non trovato"), platform::Icon::Critical);
        return;
    case Outcome::Unreadable:
        platform::MsgBox(QStringLiteral("Controllare che il software Ericsoft non sia in "
                                        "esecuzione\nSe l'errore persiste contattare "
                                        "l'assistenza su ") +
                             maker::web(),
                         platform::Icon::Critical);
        return;
    case Outcome::Damaged:
        platform::MsgBox(QStringLiteral("Archivio Ericsoft danneggiato: ") + outcome.detail +
                             QStringLiteral("\nContatti importati: %1.")
                                 .arg(QLocale().toString(outcome.imported)),
                         platform::Icon::Critical);
        return;
    case Outcome::Failed:
        platform::MsgBox(QStringLiteral("Importazione interrotta: %1\nContatti importati: %2.")
                             .arg(outcome.detail, QLocale().toString(outcome.imported)),
                         platform::Icon::Critical);
        return;
    }
}

} // namespace

void importa(MainWindow& main) {
    auto& state = appState();
    if (state.percorso.isEmpty()) {
        platform::MsgBox(QStringLiteral(
            "Impostare il percorso per gli archivi Ericsoft quindi ripetere il comando"));
        imposta(main);
        return;
    }
    ericsoft::Outcome outcome;
    {
        // The address books change under the shared database: release it first.
        state.corrente.rs.reset();
        state.corrente.db.reset();
        ImportProgress wait(&main);
        wait.show();
        platform::WaitCursor cursor;
        outcome = ericsoft::importCustomers(
            state.appFolder, state.percorso,
            [&wait](qint64 done, qint64 total) { wait.setProgress(done, total); });
    }
    if (outcome.status != ericsoft::Outcome::Missing) {
        main.rebuildTree();
        main.refreshOnActivation();
    }
    report(outcome);
}

void imposta(MainWindow& main) {
    HotelFolderWindow window(&main);
    main.showModal(window);
}

} // namespace hotelimport
