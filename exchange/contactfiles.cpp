#include "exchange/contactfiles.h"

#include "app/session.h"
#include "browser/archivemodel.h"
#include "exchange/csvexport.h"
#include "exchange/csvimport.h"
#include "platform/dialogs.h"
#include "store/archive.h"
#include "store/storeerror.h"
#include "windows/waitbox.h"

#include <QDir>
#include <QFileInfo>
#include <QLocale>

namespace contactfiles {

namespace {

const QString fileFilter = QStringLiteral("File di testo (*.csv);;Tutti i file (*)");

// Counts as Italians write them: 1.234.567.
QString number(qint64 n) {
    return QLocale().toString(n);
}

QString contatti(qint64 n) {
    return n == 1 ? QStringLiteral("1 contatto") : QStringLiteral("%1 contatti").arg(number(n));
}

void invalidArchive() {
    platform::MsgBox(QStringLiteral("Selezionare un archivio valido"), platform::Icon::Critical);
}

void report(const csvimport::Outcome& outcome, const QString& file, const QString& book) {
    using csvimport::Outcome;
    const QString shown = QDir::toNativeSeparators(file);
    switch (outcome.status) {
    case Outcome::Unreadable:
        platform::MsgBox(QStringLiteral("Impossibile leggere il file %1: nessun contatto "
                                        "importato.")
                             .arg(shown),
                         platform::Icon::Critical);
        return;
    case Outcome::EmptyFile:
        platform::MsgBox(
            QStringLiteral("Il file %1 è vuoto: nessun contatto importato.").arg(shown),
            platform::Icon::Exclamation);
        return;
    case Outcome::NoNumberColumn:
        platform::MsgBox(
            QStringLiteral("Il file %1 non ha la colonna Cellulare: nessun contatto importato.\n"
                           "La prima riga del file deve contenere i nomi delle colonne, separati "
                           "da punto e virgola: Cellulare e, se ci sono, Nome, Cognome e Posta "
                           "elettronica.")
                .arg(shown),
            platform::Icon::Critical);
        return;
    case Outcome::Stopped:
        platform::MsgBox(
            QStringLiteral("Importazione interrotta alla riga %1: %2.\n"
                           "Contatti importati nella rubrica %3: %4.")
                .arg(number(outcome.line), outcome.reason, book, number(outcome.imported)),
            platform::Icon::Exclamation);
        return;
    case Outcome::Done:
        if (outcome.imported == 0)
            platform::MsgBox(QStringLiteral("Il file %1 contiene solo la riga dei nomi delle "
                                            "colonne: nessun contatto importato.")
                                 .arg(shown),
                             platform::Icon::Exclamation);
        else
            platform::MsgBox(QStringLiteral("Importazione completata: %1 nella rubrica %2.")
                                 .arg(contatti(outcome.imported), book),
                             platform::Icon::Information);
        return;
    }
}

} // namespace

void exportTicked(const ArchiveModel& model, bool contacts, QWidget* parent) {
    if (!contacts) {
        invalidArchive();
        return;
    }
    const auto file = platform::saveFileName(QStringLiteral("Esporta Contatti"), {}, fileFilter);
    if (!file || file->isEmpty())
        return;

    csvexport::Writer writer;
    std::optional<QString> failure;
    {
        WaitBox wait(parent);
        const int rows = model.rowCount();
        for (int row = 0; row < rows; ++row) {
            if (model.isChecked(row))
                writer.add(model.text(row, 2), model.text(row, 3), model.text(row, 1),
                           model.text(row, 4));
            if (row % 4096 == 0)
                wait.setProgress(row, rows);
        }
        failure = writer.save(*file);
    }
    if (failure)
        platform::MsgBox(*failure, platform::Icon::Critical);
    else if (writer.contacts() == 0)
        platform::MsgBox(QStringLiteral("Nessun Contatto esportato\n"
                                        "Selezionare i contatti quindi ripetere il comando"),
                         platform::Icon::Critical);
    else
        platform::MsgBox(QStringLiteral("Esportati %1 nel file %2.")
                             .arg(contatti(writer.contacts()), QDir::toNativeSeparators(*file)),
                         platform::Icon::Information);
}

bool importFile(Session& session, const QString& book, QWidget* parent) {
    const QString bookPath = store::archive::addressBookPath(session.appFolder, book);
    if (book.isEmpty() || !QFileInfo(bookPath).isFile()) {
        invalidArchive();
        return false;
    }
    const auto file =
        platform::openFileName(QStringLiteral("Esporta Indirizzi Da: per rubrica"), {}, fileFilter);
    if (!file || file->isEmpty())
        return false;

    csvimport::Outcome outcome;
    try {
        WaitBox wait(parent);
        store::Database& db = session.archive.open(bookPath);
        outcome = csvimport::importFile(
            *file, db, [&wait](qint64 done, qint64 total) { wait.setProgress(done, total); });
    } catch (const store::StoreError& e) {
        platform::MsgBox(QStringLiteral("Impossibile aprire la rubrica %1: %2\n"
                                        "Nessun contatto importato.")
                             .arg(book, e.message()),
                         platform::Icon::Critical);
        return false;
    }
    report(outcome, *file, book);
    return outcome.imported > 0;
}

} // namespace contactfiles
