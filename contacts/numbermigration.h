#pragma once

#include <QList>
#include <QString>

// Address books written by earlier versions keep mobile numbers as they were typed or imported
// ("+39 333 123 4567", "347-765 4321"). Once per book, at the start, each number the phone
// number rule reads is rewritten to the form the rule stores; the rest of the row stays.
namespace numbermigration {

// A book whose PRAGMA user_version is at least this has its numbers in the stored form.
inline constexpr int numbersVersion = 1;

// A number left as it was.
struct Left {
    QString book;
    QString surname; // the first name when the surname is blank
    QString number;  // as stored
    QString reason;  // the rule's, or the contact that has the number already
};

struct Result {
    static constexpr int listed = 20; // numbers left that the message lists one by one

    qint64 rewritten = 0;
    QList<Left> left;     // the first `listed` of them
    qint64 notListed = 0; // the others
    void leave(Left number);
};

// Every book listed in elenco whose numbers were never brought to the stored form, one
// transaction each. A book that cannot be opened, is read-only or held by another writer is
// skipped and tried at the next start.
Result migrateFolder(const QString& appFolder);

// One book (`book` names it in what is left); false when it was skipped. A book done before
// is opened only to read its version.
bool migrateBook(const QString& path, const QString& book, Result& result);

// What the user is told; empty when nothing was rewritten nor left.
QString message(const Result& result);

} // namespace numbermigration
