#include "contacts/numbermigration.h"

#include "contacts/phonenumber.h"
#include "store/archive.h"
#include "store/database.h"
#include "store/sqlite.h"
#include "store/storeerror.h"

#include <QLocale>
#include <QStringList>

namespace numbermigration {

namespace {

using store::sqlite::Connection;
using store::sqlite::Statement;

[[noreturn]] void raise(const store::sqlite::Error& error) {
    throw error;
}

int version(const Connection& connection) {
    Statement pragma(connection, "PRAGMA user_version");
    return pragma.step() ? static_cast<int>(pragma.integer(0)) : 0;
}

// The surname, or the first name when the surname is blank.
QString nameOf(const Statement& row, int surname, int name) {
    const QString text = row.text(surname).trimmed();
    return text.isEmpty() ? row.text(name).trimmed() : text;
}

struct Change {
    qint64 rowid;
    QString stored;
    QString number;
    QString surname;
};

// Reads the contacts a slice at a time, in rowid order, and writes the slice's changes once it
// is read: a number goes to its stored form unless another contact has that form already.
void migrateContacts(const Connection& connection, const QString& book, Result& done) {
    Statement read(connection, QByteArray("SELECT rowid, cellulare, cognome, Nome FROM rubrica "
                                          "WHERE rowid > ?1 ORDER BY rowid LIMIT ") +
                                   QByteArray::number(rowsPerRead));
    Statement holder(connection, QByteArray("SELECT cognome, Nome FROM rubrica WHERE cellulare = "
                                            "?1 COLLATE ") +
                                     store::Database::textCollation() + " LIMIT 1");
    Statement update(connection, "UPDATE rubrica SET cellulare = ?1 WHERE rowid = ?2");
    qint64 last = 0;
    int rows = rowsPerRead;
    while (rows == rowsPerRead) {
        rows = 0;
        QList<Change> changes;
        read.bind(1, last);
        while (read.step()) {
            ++rows;
            last = read.integer(0);
            const QByteArrayView utf8 = read.utf8(1);
            if (utf8.trimmed().isEmpty())
                continue; // no number
            const QString number = QString::fromUtf8(utf8);
            const phone::Reading reading = phone::read(number);
            if (!reading.number)
                done.leave({book, nameOf(read, 2, 3), number, reading.problem});
            else if (reading.number->stored != number)
                changes.append({last, reading.number->stored, number, nameOf(read, 2, 3)});
        }
        read.reset();
        for (const Change& change : std::as_const(changes)) {
            holder.bind(1, change.stored);
            if (holder.step()) {
                const QString other = nameOf(holder, 0, 1);
                done.leave({book, change.surname, change.number,
                            other.isEmpty() ? QStringLiteral("è già il numero di un altro contatto")
                                            : QStringLiteral("è già il numero di %1").arg(other)});
                holder.reset();
                continue;
            }
            holder.reset();
            update.bind(1, change.stored).bind(2, change.rowid).run();
            ++done.rewritten;
        }
    }
}

} // namespace

void Result::leave(Left number) {
    if (left.size() < listed)
        left.append(std::move(number));
    else
        ++notListed;
}

bool migrateBook(const QString& path, const QString& book, Result& result) {
    try {
        {
            const Connection check(path, Connection::Mode::OpenExisting, 0, raise);
            if (version(check) >= numbersVersion)
                return true;
        }
        const auto db = store::Database::open(path);
        const Connection& connection = *db->connection();
        if (connection.readOnly())
            return false;
        connection.setBusyTimeout(0); // another writer holds it: the next start
        store::sqlite::Transaction transaction(connection);
        if (version(connection) >= numbersVersion)
            return true; // another copy of the program was quicker
        Result done;
        if (db->hasTable(QStringLiteral("rubrica")))
            migrateContacts(connection, book, done);
        connection.exec((QByteArray("PRAGMA user_version = ") + QByteArray::number(numbersVersion))
                            .constData());
        transaction.commit();
        result.rewritten += done.rewritten;
        for (Left& left : done.left)
            result.leave(std::move(left));
        result.notListed += done.notListed;
        return true;
    } catch (const store::StoreError&) {
        return false;
    } catch (const store::sqlite::Error&) {
        return false;
    }
}

Result migrateFolder(const QString& appFolder) {
    QStringList books;
    try {
        auto elenco = store::Database::open(store::archive::elencoPath(appFolder));
        for (auto rs = elenco->openRecordset(QStringLiteral("elenco")); !rs->isEof();
             rs->MoveNext())
            books.append(rs->value(QStringLiteral("Rubrica")));
    } catch (const store::StoreError&) {
        return {};
    }
    Result result;
    for (const QString& book : std::as_const(books))
        migrateBook(store::archive::addressBookPath(appFolder, book), book, result);
    return result;
}

QString message(const Result& result) {
    const qint64 left = result.left.size() + result.notListed;
    if (result.rewritten == 0 && left == 0)
        return {};
    const QLocale locale;
    QStringList lines;
    if (result.rewritten == 1)
        lines << QStringLiteral("1 numero di cellulare delle rubriche è stato portato alla forma "
                                "comune (solo cifre; i numeri italiani senza +39).");
    else if (result.rewritten > 1)
        lines << QStringLiteral("%1 numeri di cellulare delle rubriche sono stati portati alla "
                                "forma comune (solo cifre; i numeri italiani senza +39).")
                     .arg(locale.toString(result.rewritten));
    if (left > 0) {
        if (!lines.isEmpty())
            lines << QString();
        lines << (left == 1 ? QStringLiteral("Questo numero è rimasto com'era, da correggere a "
                                             "mano:")
                            : QStringLiteral("Questi numeri sono rimasti come erano, da "
                                             "correggere a mano:"));
        for (const Left& number : result.left)
            lines << QStringLiteral("%1, %2: «%3» (%4)")
                         .arg(number.book, number.surname, number.number, number.reason);
        if (result.notListed > 0)
            lines << QStringLiteral("… e altri %1.").arg(locale.toString(result.notListed));
    }
    return lines.join(u'\n');
}

} // namespace numbermigration
