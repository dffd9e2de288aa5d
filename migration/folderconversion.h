#pragma once

#include "migration/jetcopy.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

// The conversion of an application folder left by the earlier program. Each file is read by a
// child process (`program --jet-file ...`), so a damaged file that brings libmdb down costs
// that file alone.
namespace migration {

// The earlier program's files in the folder (Jet or ACE, by their first bytes): elenco.mdb,
// rubrica_base.mdb and the address books of rubriche/, as paths relative to the folder.
QStringList engineFiles(const QString& appFolder);

struct FileResult {
    QString path; // relative to the application folder
    QList<TableCount> tables;
    QString problem; // why it stays as it is; empty when it was read (or converted)
};

struct Totals {
    int books = 0; // address books in rubriche/
    qint64 contacts = 0;
    qint64 messages = 0;
};
Totals totals(const QList<FileResult>& files);
// The question asked before converting.
QString question(const Totals& totals);

enum class Outcome { Nothing, Complete, Partial, Failed };

struct Conversion {
    Outcome outcome = Outcome::Nothing;
    QList<FileResult> files;
    QString report; // also written to conversione.txt when anything was converted
};

class FolderConversion final {
public:
    FolderConversion(QString appFolder, QString program);

    // The rows of each file, from the Jet catalogues.
    QList<FileResult> count() const;
    // Converts every readable file and swaps the new files in; `progress` gets the rows done
    // and the whole. Throws StoreError when the swap cannot be made (then the originals stay,
    // or the next start finishes the swap).
    Conversion convert(const std::function<void(qint64 done, qint64 total)>& progress = {}) const;

private:
    FileResult runChild(const QString& path, bool copy,
                        const std::function<void(qint64)>& rows) const;

    QString m_appFolder;
    QString m_program;
};

// A child of the conversion ends with the process that started it (SIGKILL when it goes), so
// nothing writes into the folder after its conversion stopped.
void endWithParent();

// The child's side: `--jet-file SOURCE elenco|rubrica [TARGET]` counts (or copies to TARGET)
// and prints one line per table; returns 0, or NotRead with an "errore" line.
inline constexpr int NotRead = 3;
int jetFileCommand(const QStringList& arguments);

} // namespace migration
