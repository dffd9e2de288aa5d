#include "exchange/ericsoft.h"

#include "contacts/addressbooks.h"
#include "contacts/phonenumber.h"
#include "exchange/contactload.h"
#include "exchange/dbf.h"
#include "store/archive.h"
#include "store/database.h"

#include <QFileInfo>
#include <QHash>

#include <algorithm>
#include <map>
#include <memory>

namespace ericsoft {

namespace {

constexpr qint64 recordsPerProgress = 1000;
// Address books kept open at once; the one used least recently is committed and closed.
constexpr std::size_t openTargets = 48;

// An address book taking contacts: open, inside a transaction.
struct Target {
    std::unique_ptr<store::Database> db;
    std::unique_ptr<store::Database::Transaction> transaction;
    std::unique_ptr<exchange::ContactInsert> insert;
    qint64 added = 0;
    qint64 lastUse = 0;
};

using OpenBooks = std::map<QString, std::unique_ptr<store::Database>>;

// Every mobile number the address books listed in elenco hold. The first books read stay open
// in `open`, their pages at hand, for the import to write into.
exchange::NumberSet knownNumbers(store::Database& elenco, const QString& appFolder,
                                 OpenBooks& open) {
    exchange::NumberSet numbers;
    auto books = elenco.openRecordset(QStringLiteral("elenco"));
    for (; !books->isEof(); books->MoveNext()) {
        const QString book = books->value(QStringLiteral("Rubrica"));
        const QString path = store::archive::addressBookPath(appFolder, book);
        if (!QFileInfo(path).isFile())
            continue; // a listed book without its file holds no number
        auto db = store::Database::open(path);
        store::sqlite::Statement read(*db->connection(),
                                      "SELECT cellulare FROM rubrica WHERE cellulare IS NOT NULL");
        while (read.step())
            numbers.insert(read.utf8(0));
        read = {};
        if (open.size() < openTargets)
            open.emplace(book, std::move(db));
    }
    return numbers;
}

int requiredField(const dbf::Table& table, const char* name) {
    const int index = table.fieldIndex(QLatin1String(name));
    if (index < 0)
        throw dbf::Error(
            dbf::Error::Damaged,
            QStringLiteral("la tabella Anagrafiche non ha il campo %1").arg(QLatin1String(name)));
    return index;
}

// The market code of the current record in UTF-8; a character field loses the blanks that pad
// it. Most codes are plain ASCII and are never decoded.
QByteArray marketCode(const dbf::Table& table, int field) {
    const auto ascii = table.asciiText(field);
    QByteArray code = ascii ? ascii->toByteArray() : table.text(field).value_or(QString()).toUtf8();
    if (table.fields()[static_cast<std::size_t>(field)].type == 'C') {
        qsizetype end = code.size();
        while (end > 0 && code.at(end - 1) == ' ')
            --end;
        code.truncate(end);
    }
    return code;
}

// The first name, surname and e-mail as stored, in UTF-8: trimmed; a null, empty or blank value
// gives a single blank.
QByteArray nameField(const dbf::Table& table, int field) {
    QByteArray text;
    if (const auto ascii = table.asciiText(field))
        text = ascii->trimmed().toByteArray();
    else
        text = table.text(field).value_or(QString()).trimmed().toUtf8();
    return text.isEmpty() ? QByteArrayLiteral(" ") : text;
}

// The mobile number as address books keep it (phone::read's stored form), in UTF-8; empty for a
// null or blank field, and for one the rule reads as no number (then `refused`).
QByteArray mobileNumber(const dbf::Table& table, int field, bool& refused) {
    refused = false;
    const auto ascii = table.asciiText(field);
    const QString typed =
        ascii ? QString::fromLatin1(*ascii) : table.text(field).value_or(QString());
    if (typed.trimmed().isEmpty())
        return {};
    const phone::Reading reading = phone::read(typed);
    if (!reading.number) {
        refused = true;
        return {};
    }
    return reading.number->stored.toUtf8();
}

} // namespace

QString marketBook(const QString& code) {
    QString name = QStringLiteral("Mercato-") + code;
    for (QChar& c : name) {
        const char16_t u = c.unicode();
        if (u == u'/')
            c = u'\u2215';
        else if (u == u'\\')
            c = u'\u2216';
        else if (u < 0x20)
            c = QChar(0x2400 + u);
        else if (u == 0x7F)
            c = u'\u2421';
        else if (u >= 0x80 && u < 0xA0) // no table decodes a byte to these
            c = u'\uFFFD';
    }
    return name;
}

QString ensureMarketBook(store::Database& elenco, const QString& appFolder, const QString& code) {
    return addressbooks::ensure(elenco, appFolder, marketBook(code));
}

Outcome importCustomers(const QString& appFolder, const QString& folder, const Progress& progress) {
    Outcome outcome;
    const QString path = dbf::Table::find(folder, QStringLiteral("Anagrafiche"));
    if (path.isEmpty()) {
        outcome.status = Outcome::Missing;
        return outcome;
    }
    std::map<QString, Target> targets;
    auto close = [&](std::map<QString, Target>::iterator it) {
        Target& target = it->second;
        target.insert.reset();
        target.transaction->commit();
        outcome.imported += target.added;
        targets.erase(it);
    };
    // Whatever ends the import, what was added so far is kept.
    auto commitAll = [&] {
        while (!targets.empty())
            close(targets.begin());
    };
    try {
        dbf::Table table(path);
        const int mercato = requiredField(table, "RN_MER");
        const int cognome = requiredField(table, "cognome");
        const int nome = requiredField(table, "Nome");
        const int posta = requiredField(table, "posta");
        const int telefono = requiredField(table, "telefono_3");

        auto elenco = store::Database::open(store::archive::elencoPath(appFolder));
        OpenBooks open;
        exchange::NumberSet numbers = knownNumbers(*elenco, appFolder, open);
        QHash<QByteArray, QString> books; // market code -> address book, as listed
        QString principale;               // made sure of at the first customer without a market

        qint64 uses = 0;
        auto targetFor = [&](const QString& book) -> Target& {
            ++uses;
            auto found = targets.find(book);
            if (found != targets.end()) {
                found->second.lastUse = uses;
                return found->second;
            }
            if (targets.size() >= openTargets)
                close(std::min_element(targets.begin(), targets.end(),
                                       [](const auto& a, const auto& b) {
                                           return a.second.lastUse < b.second.lastUse;
                                       }));
            Target target;
            target.lastUse = uses;
            if (auto known = open.extract(book))
                target.db = std::move(known.mapped());
            else
                target.db = store::Database::open(store::archive::addressBookPath(appFolder, book));
            target.transaction = std::make_unique<store::Database::Transaction>(*target.db);
            target.insert = std::make_unique<exchange::ContactInsert>(*target.db);
            return targets.emplace(book, std::move(target)).first->second;
        };

        qint64 read = 0;
        try {
            while (table.next()) {
                if (progress && ++read % recordsPerProgress == 0)
                    progress(table.recordNumber(), table.recordCount());
                const QByteArray code = marketCode(table, mercato);
                auto book = books.find(code);
                if (book == books.end())
                    book = books.insert(
                        code, ensureMarketBook(*elenco, appFolder, QString::fromUtf8(code)));
                bool refused = false;
                const QByteArray number = mobileNumber(table, telefono, refused);
                outcome.refused += refused ? 1 : 0;
                if (number.isEmpty() || numbers.contains(number))
                    continue;
                if (code.isEmpty() && principale.isEmpty())
                    principale = addressbooks::ensure(
                        *elenco, appFolder, QString::fromLatin1(store::archive::principale));
                const QString& targetBook = code.isEmpty() ? principale : book.value();
                Target& target = targetFor(targetBook);
                target.insert->add(nameField(table, nome), nameField(table, cognome), number,
                                   nameField(table, posta));
                ++target.added;
                numbers.insert(number);
            }
        } catch (...) {
            commitAll();
            throw;
        }
        commitAll();
        if (progress)
            progress(table.recordCount(), table.recordCount());
    } catch (const dbf::Error& e) {
        outcome.status = e.kind() == dbf::Error::Missing      ? Outcome::Missing
                         : e.kind() == dbf::Error::Unreadable ? Outcome::Unreadable
                                                              : Outcome::Damaged;
        outcome.detail = e.message();
    } catch (const store::StoreError& e) {
        outcome.status = Outcome::Failed;
        outcome.detail = e.message();
    }
    return outcome;
}

} // namespace ericsoft
