#include "contacts/numbermigration.h"

#include "contacts/phonenumber.h"
#include "store/archive.h"
#include "store/database.h"
#include "store/sqlite.h"
#include "store/storeerror.h"

#include <QLocale>
#include <QStringList>

#include <map>

namespace numbermigration {

namespace {

using store::sqlite::Connection;
using store::sqlite::Statement;

// One contact in this many, or more, changing: the indexes that hold the number are made again.
constexpr qint64 rebuildShare = 8;

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

// Gives the contacts listed in temp.nuovi their new numbers, in rowid order. When many change,
// the indexes that hold the number are made again afterwards: quicker than keeping them row by
// row.
void rewrite(const Connection& connection, qint64 changes, qint64 rows) {
    QList<QByteArray> indexes;
    if (changes * rebuildShare >= rows) {
        Statement holding(connection,
                          "SELECT m.name, m.sql FROM sqlite_master AS m WHERE m.type = 'index' AND "
                          "m.tbl_name = 'rubrica' COLLATE NOCASE AND m.sql IS NOT NULL AND EXISTS "
                          "(SELECT 1 FROM pragma_index_info(m.name) AS i WHERE i.name = "
                          "'cellulare' COLLATE NOCASE)");
        QList<QByteArray> names;
        while (holding.step()) {
            names << '"' + holding.utf8(0).toByteArray().replace('"', "\"\"") + '"';
            indexes << holding.utf8(1).toByteArray();
        }
        holding = {};
        for (const QByteArray& name : std::as_const(names))
            Statement(connection, "DROP INDEX " + name).run();
    }
    Statement read(connection, "SELECT id, numero FROM temp.nuovi");
    Statement update(connection, "UPDATE rubrica SET cellulare = ?2 WHERE rowid = ?1");
    while (read.step())
        update.bind(1, read.integer(0)).bindText(2, read.utf8(1)).run();
    read = {};
    for (const QByteArray& index : std::as_const(indexes))
        Statement(connection, index).run();
}

// Leaves the numbers of temp.nuovi whose new form another contact has as it is, or an earlier
// contact of the list takes, as they are; returns how many.
qint64 leaveTaken(const Connection& connection, const QString& book, Result& done) {
    connection.exec("CREATE INDEX temp.nuovi_numero ON nuovi (numero)");
    std::map<qint64, qint64> taken; // a contact, and the one with its new number
    Statement has(connection, "SELECT n.id, h.rowid FROM main.rubrica AS h CROSS JOIN "
                              "temp.nuovi AS n WHERE n.numero = h.cellulare");
    while (has.step())
        taken.emplace(has.integer(0), has.integer(1));
    Statement takes(connection,
                    "SELECT n.id, g.first FROM (SELECT numero, min(id) AS first FROM temp.nuovi "
                    "GROUP BY numero HAVING count(*) > 1) AS g JOIN temp.nuovi AS n ON n.numero = "
                    "g.numero WHERE n.id <> g.first");
    while (takes.step())
        taken.emplace(takes.integer(0), takes.integer(1));
    has = {};
    takes = {};
    Statement contact(connection, "SELECT cellulare, cognome, Nome FROM rubrica WHERE rowid = ?1");
    Statement keep(connection, "DELETE FROM temp.nuovi WHERE id = ?1");
    for (const auto& [id, holder] : taken) {
        keep.bind(1, id).run();
        if (done.left.size() == Result::listed) {
            ++done.notListed;
            continue;
        }
        contact.bind(1, holder);
        const QString other = contact.step() ? nameOf(contact, 1, 2) : QString();
        contact.reset();
        contact.bind(1, id);
        contact.step();
        done.leave({book, nameOf(contact, 1, 2), contact.text(0),
                    other.isEmpty() ? QStringLiteral("è già il numero di un altro contatto")
                                    : QStringLiteral("è già il numero di %1").arg(other)});
        contact.reset();
    }
    return static_cast<qint64>(taken.size());
}

// Reads every contact and notes the numbers whose stored form differs (temp.nuovi, in memory),
// then rewrites those no other contact has or takes.
void migrateContacts(const Connection& connection, const QString& book, Result& done) {
    connection.exec("PRAGMA temp_store = MEMORY");
    connection.exec("CREATE TEMP TABLE nuovi (id INTEGER PRIMARY KEY, numero TEXT NOT NULL)");
    Statement read(connection, "SELECT rowid, cellulare, cognome, Nome FROM rubrica");
    Statement note(connection, "INSERT INTO temp.nuovi (id, numero) VALUES (?1, ?2)");
    qint64 rows = 0;
    qint64 noted = 0;
    while (read.step()) {
        ++rows;
        const QByteArrayView utf8 = read.utf8(1);
        if (utf8.trimmed().isEmpty())
            continue; // no number
        const QString number = QString::fromUtf8(utf8);
        const phone::Reading reading = phone::read(number);
        if (!reading.number) {
            done.leave({book, nameOf(read, 2, 3), number, reading.problem});
        } else if (reading.number->stored != number) {
            note.bind(1, read.integer(0)).bind(2, reading.number->stored).run();
            ++noted;
        }
    }
    read = {};
    if (noted > 0)
        done.rewritten = noted - leaveTaken(connection, book, done);
    if (done.rewritten > 0)
        rewrite(connection, done.rewritten, rows);
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
                                "comune (solo cifre, con il + per i numeri esteri e senza +39 "
                                "per gli italiani).");
    else if (result.rewritten > 1)
        lines << QStringLiteral("%1 numeri di cellulare delle rubriche sono stati portati alla "
                                "forma comune (solo cifre, con il + per i numeri esteri e senza "
                                "+39 per gli italiani).")
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
