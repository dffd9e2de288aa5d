#include "exchange/hotelimport.h"

#include "app/appstate.h"
#include "app/maker.h"
#include "app/mdiform1.h"
#include "exchange/ericsoft.h"
#include "exchange/form12.h"
#include "exchange/form13.h"
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

void importa(MDIForm1& main) {
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
        Form12 wait(&main);
        wait.show();
        platform::WaitCursor cursor;
        outcome = ericsoft::importCustomers(
            state.appFolder, state.percorso,
            [&wait](qint64 done, qint64 total) { wait.setProgress(done, total); });
    }
    if (outcome.status != ericsoft::Outcome::Missing) {
        main.aggio();
        main.Form_Activate();
    }
    report(outcome);
}

void imposta(MDIForm1& main) {
    Form13 window(&main);
    main.showModal(window);
}

} // namespace hotelimport
