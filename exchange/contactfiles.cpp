#include "exchange/contactfiles.h"

#include "app/session.h"
#include "browser/archivemodel.h"
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

void report(const csvimport::Outcome& outcome, const QString& file, const QString& book) {
    using csvimport::Outcome;
    const QString shown = QDir::toNativeSeparators(file);
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
        platform::MsgBox(QStringLiteral("Importazione interrotta: %1.\n"
                                        "Contatti importati nella rubrica %2: %3.")
                             .arg(outcome.reason, book, number(outcome.imported)),
                         platform::Icon::Exclamation);
        return;
    case Outcome::Done:
        platform::MsgBox(QStringLiteral("Importazione completata nella rubrica %1.\n"
                                        "Contatti importati: %2.\n"
                                        "Saltati perché il numero è già presente: %3.\n"
                                        "Saltati perché senza numero di telefono: %4.")
                             .arg(book, number(outcome.imported), number(outcome.duplicates),
                                  number(outcome.withoutNumber)),
                         outcome.imported > 0 ? platform::Icon::Information
                                              : platform::Icon::Exclamation);
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
        model.readTicked(4096, [&](const QList<QStringList>& ticked) {
            for (const QStringList& texts : ticked) // cellulare, Nome, cognome, email
                writer.add(texts[1], texts[2], texts[0], texts[3]);
            done += static_cast<int>(ticked.size());
            wait.setProgress(done, rows);
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

// Reads the chosen file into `book` with `import`, under the wait box, and reports.
template <typename Import>
bool importWith(Import import, Session& session, const QString& book, const QString& title,
                const QString& filter, QWidget* parent) {
    const QString bookPath = store::archive::addressBookPath(session.appFolder, book);
    if (book.isEmpty() || !QFileInfo(bookPath).isFile()) {
        invalidArchive();
        return false;
    }
    const auto file = platform::openFileName(title, {}, filter);
    if (!file || file->isEmpty())
        return false;

    decltype(import(QString(), std::declval<store::Database&>(), {})) outcome;
    try {
        WaitBox wait(parent);
        store::Database& db = session.archive.open(bookPath);
        outcome = import(*file, db,
                         [&wait](qint64 done, qint64 total) { wait.setProgress(done, total); });
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
    if (format == Format::Csv)
        return importWith(&csvimport::importFile, session, book, QStringLiteral("Importa file csv"),
                          csvFilter, parent);
    return importWith(&vcard::importFile, session, book, QStringLiteral("Importa vCard"),
                      vcardFilter, parent);
}

} // namespace contactfiles
