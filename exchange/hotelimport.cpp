#include "exchange/hotelimport.h"

#include "core/maker.h"
#include "core/session.h"
#include "exchange/ericsoft.h"
#include "exchange/importprogress.h"
#include "platform/dialogs.h"
#include "platform/waitcursor.h"

#include <QLocale>

#include <memory>

namespace hotelimport {

namespace {

// The customers left out for a mobile field that holds no phone number; empty for none.
QString refusedLine(const ericsoft::Outcome& outcome) {
    if (outcome.refused == 0)
        return {};
    return outcome.refused == 1
               ? QStringLiteral("\n1 cliente non importato: il cellulare non è un numero di "
                                "telefono.")
               : QStringLiteral("\n%1 clienti non importati: il cellulare non è un numero di "
                                "telefono.")
                     .arg(QLocale().toString(outcome.refused));
}

void report(const ericsoft::Outcome& outcome) {
    using ericsoft::Outcome;
    switch (outcome.status) {
    case Outcome::Done:
        platform::MsgBox(QStringLiteral("Importazione Completata") + refusedLine(outcome));
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
                                 .arg(QLocale().toString(outcome.imported)) +
                             refusedLine(outcome),
                         platform::Icon::Critical);
        return;
    case Outcome::Failed:
        platform::MsgBox(QStringLiteral("Importazione interrotta: %1\nContatti importati: %2.")
                                 .arg(outcome.detail, QLocale().toString(outcome.imported)) +
                             refusedLine(outcome),
                         platform::Icon::Critical);
        return;
    }
}

} // namespace

void importCustomers(Session& state, QWidget* parent, const std::function<void(After)>& then) {
    if (state.hotelFolder.isEmpty()) {
        platform::MsgBox(QStringLiteral(
            "Impostare il percorso per gli archivi Ericsoft quindi ripetere il comando"));
        then(After::AskFolder);
        return;
    }
    auto cursor = std::make_shared<platform::WaitCursor>();
    runUnder(
        new ImportProgress(parent),
        [appFolder = state.appFolder,
         hotelFolder = state.hotelFolder](const BackgroundWork::Progress& progress) {
            return ericsoft::importCustomers(appFolder, hotelFolder, progress);
        },
        [cursor, then](const ericsoft::Outcome& outcome) mutable {
            cursor.reset();
            report(outcome);
            then(outcome.status != ericsoft::Outcome::Missing ? After::RebuildTree
                                                              : After::Nothing);
        });
}

} // namespace hotelimport
