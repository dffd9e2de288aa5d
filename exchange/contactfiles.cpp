#include "exchange/contactfiles.h"

#include "browser/archivemodel.h"
#include "browser/storedrows.h"
#include "core/session.h"
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
#include <variant>
#include <vector>

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

// What an export wrote: the contacts, or why the file could not be written.
struct Exported {
    qsizetype contacts = 0;
    std::optional<QString> failure;
};

// Writes the ticked rows to a file of `Writer`'s kind, under the wait box: the list reads them
// through its own book, then a thread of their own turns them into the file. Nothing ticked
// and nothing else to write (no header line): no file.
template <typename Writer>
void exportWith(const ArchiveModel& model, const QString& title, const QString& filter,
                QWidget* parent) {
    const auto file = platform::saveFileName(title, {}, filter);
    if (!file || file->isEmpty())
        return;

    const int rows = model.checkedCount();
    // All in one read: every contact ticked, it is one pass over the file.
    std::vector<StoredRows> ticked;
    model.readTickedAsStored(rows, [&ticked](const StoredRows& read) { ticked.push_back(read); });
    runUnder(
        new WaitDialog(parent),
        [ticked = std::move(ticked), rows, path = *file](const BackgroundWork::Progress& progress) {
            Writer writer;
            int done = 0;
            using Field = ArchiveModel::ContactField;
            for (const StoredRows& read : ticked) {
                const auto field = [&read](qsizetype row, Field f) {
                    return read.field(row, ArchiveModel::position(f));
                };
                for (qsizetype i = 0; i < read.size(); ++i) {
                    writer.addStored(field(i, Field::Nome), field(i, Field::Cognome),
                                     field(i, Field::Cellulare), field(i, Field::Email));
                    if (++done % 4096 == 0)
                        progress(done, rows);
                }
            }
            Exported exported{writer.contacts(), {}};
            if (!writer.bytes().isEmpty())
                exported.failure = writer.save(path);
            return exported;
        },
        [path = *file](const Exported& exported) {
            if (exported.failure)
                platform::MsgBox(*exported.failure, platform::Icon::Critical);
            else if (exported.contacts == 0)
                platform::MsgBox(
                    QStringLiteral("Nessun Contatto esportato\n"
                                   "Selezionare i contatti quindi ripetere il comando"),
                    platform::Icon::Critical);
            else
                platform::MsgBox(
                    QStringLiteral("Esportati %1 nel file %2.")
                        .arg(contatti(exported.contacts), QDir::toNativeSeparators(path)),
                    platform::Icon::Information);
        });
}

// Reads the chosen file into `book` with `import(db, progress)` on a thread of its own, under
// the wait box, and reports; `imported` is called when contacts were added.
template <typename Import>
void importWith(Import import, Session& session, const QString& book, const QString& file,
                QWidget* parent, const std::function<void()>& imported) {
    using Outcome = decltype(import(std::declval<store::Database&>(), {}));
    runUnder(
        new WaitDialog(parent),
        [import = std::move(import),
         bookPath = store::archive::addressBookPath(session.appFolder, book)](
            const BackgroundWork::Progress& progress) -> std::variant<Outcome, QString> {
            try {
                const auto db = store::Database::open(bookPath);
                return import(*db, progress);
            } catch (const store::StoreError& e) {
                return e.message();
            }
        },
        [file, book, imported](const std::variant<Outcome, QString>& result) {
            if (const auto* failure = std::get_if<QString>(&result)) {
                platform::MsgBox(QStringLiteral("Impossibile aprire la rubrica %1: %2\n"
                                                "Nessun contatto importato.")
                                     .arg(book, *failure),
                                 platform::Icon::Critical);
                return;
            }
            const Outcome& outcome = std::get<Outcome>(result);
            report(outcome, file, book);
            if (outcome.imported > 0)
                imported();
        });
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
void importCsv(Session& session, const QString& book, const QString& file, QWidget* parent,
               const std::function<void()>& imported) {
    const csvimport::Preview preview = csvimport::preview(file);
    if (preview.failure.status != csvimport::Outcome::Done) {
        report(preview.failure, file, book);
        return;
    }
    if (preview.names.size() == 1 &&
        preview.names[0].startsWith(QLatin1StringView("BEGIN:VCARD"), Qt::CaseInsensitive)) {
        platform::MsgBox(QStringLiteral("Il file %1 è in formato vCard: per leggerlo usare il "
                                        "comando «Importa vCard».")
                             .arg(QDir::toNativeSeparators(file)),
                         platform::Icon::Exclamation);
        return;
    }
    std::optional<csvimport::Columns> chosen;
    if (preview.columns.cellulare < 0 && !preview.typedPhones) {
        chosen = askColumns(preview, parent);
        if (!chosen)
            return;
    }
    importWith(
        [file, chosen](store::Database& db, const csvimport::Progress& progress) {
            return chosen ? csvimport::importFile(file, *chosen, db, progress)
                          : csvimport::importFile(file, db, progress);
        },
        session, book, file, parent, imported);
}

} // namespace

void exportTicked(const ArchiveModel& model, bool contacts, Format format, QWidget* parent) {
    if (!contacts) {
        invalidArchive();
        return;
    }
    if (format == Format::Csv)
        exportWith<csvexport::Writer>(model, QStringLiteral("Esporta Contatti"), csvFilter, parent);
    else
        exportWith<vcard::Writer>(model, QStringLiteral("Esporta vCard"), vcardFilter, parent);
}

void importFile(Session& session, const QString& book, Format format, QWidget* parent,
                const std::function<void()>& imported) {
    const QString bookPath = store::archive::addressBookPath(session.appFolder, book);
    if (book.isEmpty() || !QFileInfo(bookPath).isFile()) {
        invalidArchive();
        return;
    }
    const bool csv = format == Format::Csv;
    const auto file = platform::openFileName(csv ? QStringLiteral("Importa file csv")
                                                 : QStringLiteral("Importa vCard"),
                                             {}, csv ? csvFilter : vcardFilter);
    if (!file || file->isEmpty())
        return;
    if (csv) {
        importCsv(session, book, *file, parent, imported);
        return;
    }
    importWith(
        [file = *file](store::Database& db, const vcard::Progress& progress) {
            return vcard::importFile(file, db, progress);
        },
        session, book, *file, parent, imported);
}

} // namespace contactfiles
