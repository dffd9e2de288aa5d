#include "exchange/contactfiles.h"

#include "app/session.h"
#include "browser/archivemodel.h"
#include "browser/storedrows.h"
#include "exchange/columnmatchwindow.h"
#include "exchange/csvexport.h"
#include "exchange/csvimport.h"
#include "exchange/vcard.h"
#include "platform/dialogs.h"
#include "store/archive.h"
#include "store/storeerror.h"
#include "windows/waitbox.h"

#include <QDir>
#include <QFileInfo>
#include <QLocale>

#include <utility>

namespace contactfiles {

namespace {

const QString csvFilter = QString::fromLatin1(csvexport::fileFilter);
const QString vcardFilter = QStringLiteral("vCard (*.vcf *.vcard);;Tutti i file (*)");

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

void unreadable(const QString& shown) {
    platform::MsgBox(
        QStringLiteral("Impossibile leggere il file %1: nessun contatto importato.").arg(shown),
        platform::Icon::Critical);
}

// What the import did, a count a line; the contacts refused one a line with the reason.
QString tallyText(const exchange::Tally& tally, const QString& book, const QString& place) {
    QString text = QStringLiteral("Contatti importati nella rubrica %1: %2.")
                       .arg(book, number(tally.imported));
    if (tally.duplicates > 0)
        text += QStringLiteral("\nSaltati perché il numero è già presente: %1.")
                    .arg(number(tally.duplicates));
    if (tally.withoutNumber > 0)
        text += QStringLiteral("\nSaltati perché senza numero di telefono: %1.")
                    .arg(number(tally.withoutNumber));
    if (tally.refusedCount > 0) {
        text += QStringLiteral("\nSaltati perché il numero non è un numero di telefono: %1.")
                    .arg(number(tally.refusedCount));
        for (const exchange::Refusal& refusal : tally.refused)
            text += QStringLiteral("\n    %1 %2, «%3»: %4")
                        .arg(place, number(refusal.place), refusal.number, refusal.reason);
        if (tally.refusedCount > tally.refused.size())
            text += QStringLiteral("\n    … e altri %1.")
                        .arg(number(tally.refusedCount - tally.refused.size()));
    }
    return text;
}

platform::Icon tallyIcon(const exchange::Tally& tally) {
    return tally.imported > 0 && tally.refusedCount == 0 ? platform::Icon::Information
                                                         : platform::Icon::Exclamation;
}

void report(const csvimport::Outcome& outcome, const QString& file, const QString& book) {
    using csvimport::Outcome;
    const QString shown = QDir::toNativeSeparators(file);
    QString unused;
    if (!outcome.unusedColumns.isEmpty())
        unused = QStringLiteral("\nColonne del file non importate: %1.")
                     .arg(outcome.unusedColumns.join(QStringLiteral(", ")));
    switch (outcome.status) {
    case Outcome::Unreadable:
        unreadable(shown);
        return;
    case Outcome::EmptyFile:
        platform::MsgBox(
            QStringLiteral("Il file %1 è vuoto: nessun contatto importato.").arg(shown),
            platform::Icon::Exclamation);
        return;
    case Outcome::NoNumberColumn:
        platform::MsgBox(
            QStringLiteral("Il file %1 non ha una colonna con il numero di cellulare: nessun "
                           "contatto importato.\n"
                           "La prima riga del file deve contenere i nomi delle colonne, separati "
                           "da punto e virgola, virgola o tabulazione: Cellulare (o Telefono) e, "
                           "se ci sono, Nome, Cognome e Posta elettronica.\n"
                           "I contatti in formato vCard (.vcf) si leggono con «Importa vCard».")
                .arg(shown),
            platform::Icon::Critical);
        return;
    case Outcome::Stopped:
        platform::MsgBox(QStringLiteral("Importazione interrotta alla riga %1: %2.\n")
                                 .arg(number(outcome.line), outcome.reason) +
                             tallyText(outcome, book, QStringLiteral("riga")) + unused,
                         platform::Icon::Exclamation);
        return;
    case Outcome::Done:
        if (outcome.imported + outcome.duplicates + outcome.withoutNumber + outcome.refusedCount ==
            0)
            platform::MsgBox(QStringLiteral("Il file %1 contiene solo la riga dei nomi delle "
                                            "colonne: nessun contatto importato.")
                                 .arg(shown),
                             platform::Icon::Exclamation);
        else
            platform::MsgBox(QStringLiteral("Importazione completata.\n") +
                                 tallyText(outcome, book, QStringLiteral("riga")) + unused,
                             tallyIcon(outcome));
        return;
    }
}

void report(const vcard::Outcome& outcome, const QString& file, const QString& book) {
    using vcard::Outcome;
    const QString shown = QDir::toNativeSeparators(file);
    switch (outcome.status) {
    case Outcome::Unreadable:
        unreadable(shown);
        return;
    case Outcome::NoCards:
        platform::MsgBox(QStringLiteral("Il file %1 non contiene contatti in formato vCard: "
                                        "nessun contatto importato.")
                             .arg(shown),
                         platform::Icon::Exclamation);
        return;
    case Outcome::Stopped:
        platform::MsgBox(QStringLiteral("Importazione interrotta: %1.\n").arg(outcome.reason) +
                             tallyText(outcome, book, QStringLiteral("scheda")),
                         platform::Icon::Exclamation);
        return;
    case Outcome::Done:
        platform::MsgBox(QStringLiteral("Importazione completata.\n") +
                             tallyText(outcome, book, QStringLiteral("scheda")),
                         tallyIcon(outcome));
        return;
    }
}

// Writes the ticked rows with `writer`, under the wait box; nothing ticked and nothing else
// to write (no header line): no file.
template <typename Writer>
void exportWith(Writer& writer, const ArchiveModel& model, const QString& title,
                const QString& filter, QWidget* parent) {
    const auto file = platform::saveFileName(title, {}, filter);
    if (!file || file->isEmpty())
        return;

    std::optional<QString> failure;
    {
        WaitBox wait(parent);
        const int rows = model.checkedCount();
        int done = 0;
        // All in one read: every contact ticked, it is one pass over the file.
        model.readTickedAsStored(rows, [&](const StoredRows& ticked) {
            for (qsizetype i = 0; i < ticked.size(); ++i) { // cellulare, Nome, cognome, email
                writer.addStored(ticked.field(i, 1), ticked.field(i, 2), ticked.field(i, 0),
                                 ticked.field(i, 3));
                if (++done % 4096 == 0)
                    wait.setProgress(done, rows);
            }
        });
        if (!writer.bytes().isEmpty())
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

// Reads the chosen file into `book` with `import(db, progress)`, under the wait box, and
// reports.
template <typename Import>
bool importWith(Import import, Session& session, const QString& book, const QString& file,
                QWidget* parent) {
    const QString bookPath = store::archive::addressBookPath(session.appFolder, book);
    decltype(import(std::declval<store::Database&>(), {})) outcome;
    try {
        WaitBox wait(parent);
        const auto db = store::Database::open(bookPath);
        outcome =
            import(*db, [&wait](qint64 done, qint64 total) { wait.setProgress(done, total); });
    } catch (const store::StoreError& e) {
        platform::MsgBox(QStringLiteral("Impossibile aprire la rubrica %1: %2\n"
                                        "Nessun contatto importato.")
                             .arg(book, e.message()),
                         platform::Icon::Critical);
        return false;
    }
    report(outcome, file, book);
    return outcome.imported > 0;
}

// The columns to import from, asked to the user; std::nullopt when the import is given up.
std::optional<csvimport::Columns> askColumns(const csvimport::Preview& preview, QWidget* parent) {
    ColumnMatchWindow window(preview, parent);
    if (window.exec() != QDialog::Accepted)
        return std::nullopt;
    return window.columns();
}

// A contact file: its head read first, its columns asked for when the names do not tell the
// mobile number.
bool importCsv(Session& session, const QString& book, const QString& file, QWidget* parent) {
    const csvimport::Preview preview = csvimport::preview(file);
    if (preview.failure.status != csvimport::Outcome::Done) {
        report(preview.failure, file, book);
        return false;
    }
    if (preview.names.size() == 1 &&
        preview.names[0].startsWith(QLatin1StringView("BEGIN:VCARD"), Qt::CaseInsensitive)) {
        platform::MsgBox(QStringLiteral("Il file %1 è in formato vCard: per leggerlo usare il "
                                        "comando «Importa vCard».")
                             .arg(QDir::toNativeSeparators(file)),
                         platform::Icon::Exclamation);
        return false;
    }
    std::optional<csvimport::Columns> chosen;
    if (preview.columns.cellulare < 0 && !preview.typedPhones) {
        chosen = askColumns(preview, parent);
        if (!chosen)
            return false;
    }
    return importWith(
        [&](store::Database& db, const csvimport::Progress& progress) {
            return chosen ? csvimport::importFile(file, *chosen, db, progress)
                          : csvimport::importFile(file, db, progress);
        },
        session, book, file, parent);
}

} // namespace

void exportTicked(const ArchiveModel& model, bool contacts, Format format, QWidget* parent) {
    if (!contacts) {
        invalidArchive();
        return;
    }
    if (format == Format::Csv) {
        csvexport::Writer writer;
        exportWith(writer, model, QStringLiteral("Esporta Contatti"), csvFilter, parent);
    } else {
        vcard::Writer writer;
        exportWith(writer, model, QStringLiteral("Esporta vCard"), vcardFilter, parent);
    }
}

bool importFile(Session& session, const QString& book, Format format, QWidget* parent) {
    const QString bookPath = store::archive::addressBookPath(session.appFolder, book);
    if (book.isEmpty() || !QFileInfo(bookPath).isFile()) {
        invalidArchive();
        return false;
    }
    const bool csv = format == Format::Csv;
    const auto file = platform::openFileName(csv ? QStringLiteral("Importa file csv")
                                                 : QStringLiteral("Importa vCard"),
                                             {}, csv ? csvFilter : vcardFilter);
    if (!file || file->isEmpty())
        return false;
    if (csv)
        return importCsv(session, book, *file, parent);
    return importWith(
        [&](store::Database& db, const vcard::Progress& progress) {
            return vcard::importFile(*file, db, progress);
        },
        session, book, *file, parent);
}

} // namespace contactfiles
