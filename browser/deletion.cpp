#include "browser/deletion.h"

#include "store/archive.h"
#include "store/database.h"
#include "store/sendreport.h"

#include <QHash>

#include <algorithm>
#include <functional>
#include <memory>
#include <utility>

namespace deletion {

using store::ArchiveKind;
using store::archive::MessageRow;

namespace {

// Up to this many entries, each is looked up by a query (an index serves it when there is
// one); more are matched in one pass over the table.
constexpr qsizetype fewEntries = 32;

const QString cellulareField = QStringLiteral("cellulare");
const QString cognomeField = QStringLiteral("cognome");
const QString dataField = QStringLiteral("Data");
const QString testoField = QStringLiteral("Testo");
const QString emailField = QStringLiteral("email");

bool isContacts(ArchiveKind kind) {
    return kind == ArchiveKind::Contacts;
}

// A listed text as a value to compare or store: an empty cell is the empty text, never null.
QString text(const QString& value) {
    return value.isNull() ? QStringLiteral("") : value;
}

// What the list showed of the entry, and the same texts of a row: equal for the row the user
// saw, which is the one to remove when rows share the number (and date). A contact's texts are
// those cancellati keeps of it: no date, its e-mail as the text.
MessageRow shown(ArchiveKind kind, const Entry& e) {
    return {.cognome = text(e.surname),
            .cellulare = text(e.number),
            .data = isContacts(kind) ? QStringLiteral("") : text(e.date),
            .testo = text(e.detail)};
}

MessageRow shown(ArchiveKind kind, const store::Recordset& rs) {
    const bool contact = isContacts(kind);
    return {.cognome = rs.value(cognomeField),
            .cellulare = rs.value(cellulareField),
            .data = contact ? QStringLiteral("") : rs.value(dataField),
            .testo = rs.value(contact ? emailField : testoField)};
}

// The text with each character folded as the archive's "=" folds it, so that two texts are
// equal for the archive exactly when their folded forms are equal.
QString folded(QStringView value) {
    QString out;
    out.reserve(value.size());
    for (qsizetype i = 0; i < value.size(); ++i) {
        char32_t c = value[i].unicode();
        if (QChar::isHighSurrogate(c) && i + 1 < value.size() && value[i + 1].isLowSurrogate()) {
            c = QChar::surrogateToUcs4(value[i], value[i + 1]);
            ++i;
        }
        if (c < 0x80)
            c = (c >= 'A' && c <= 'Z') ? c + 32 : c;
        else
            c = QChar::toCaseFolded(c);
        if (QChar::requiresSurrogates(c)) {
            out.append(QChar(QChar::highSurrogate(c)));
            out.append(QChar(QChar::lowSurrogate(c)));
        } else {
            out.append(QChar(static_cast<char16_t>(c)));
        }
    }
    return out;
}

using Key = std::pair<QString, QString>; // folded number, folded date (empty for contacts)

store::Query matching(const QString& table, ArchiveKind kind, const Entry& entry) {
    store::Query query(table);
    query.whereEqual(cellulareField, text(entry.number));
    if (!isContacts(kind))
        query.whereEqual(dataField, text(entry.date));
    return query;
}

// Puts `rs` (the rows with the entry's number and date) on the row with the entry's texts,
// or on the first row when none has them. False when there is no row.
bool seek(store::Recordset& rs, ArchiveKind kind, const Entry& entry) {
    if (rs.RecordCount() == 0)
        return false;
    const MessageRow wanted = shown(kind, entry);
    for (; !rs.isEof(); rs.MoveNext()) {
        if (shown(kind, rs) == wanted)
            return true;
    }
    rs.MoveFirst();
    return true;
}

// Removes the current row of `rs`; with a bin, the row goes there as it was, in the same
// savepoint: moved or left where it was, never lost.
void removeCurrent(store::Database& db, store::Recordset& rs, ArchiveKind kind,
                   std::unique_ptr<store::Recordset>* bin, const QString& binTable) {
    const MessageRow row = shown(kind, rs);
    if (!bin) { // gone for good, and a message's send report with it
        db.transaction([&] {
            rs.Delete();
            if (kind == ArchiveKind::Sent || kind == ArchiveKind::Deleted)
                store::sendreport::forget(db, row);
        });
        return;
    }
    db.transaction([&] {
        rs.Delete();
        if (!*bin)
            *bin = db.openRecordset(binTable);
        store::archive::addMessage(**bin, row);
    });
}

// One pass over the table in stored order: a row goes when a waiting entry has its texts.
// Returns the entries left without such a row, in list order.
QList<qsizetype> scan(store::Database& db, const QString& table, ArchiveKind kind,
                      const QList<Entry>& entries,
                      const std::function<void(store::Recordset&)>& remove) {
    const bool contacts = isContacts(kind);
    QHash<Key, qsizetype> keys;               // entries waiting, by number and date
    QHash<MessageRow, QList<qsizetype>> rows; // entries waiting, by their texts
    keys.reserve(entries.size());
    rows.reserve(entries.size());
    for (qsizetype i = 0; i < entries.size(); ++i) {
        const Entry& e = entries[i];
        ++keys[{folded(text(e.number)), contacts ? QString() : folded(text(e.date))}];
        rows[shown(kind, e)].append(i);
    }
    const auto rs = db.openRecordset(table);
    const int number = rs->fieldIndex(cellulareField);
    const int date = contacts ? -1 : rs->fieldIndex(dataField);
    for (qsizetype left = entries.size(); left > 0 && !rs->isEof(); rs->MoveNext()) {
        // Cheap test first; a null field equals nothing, not even the empty text.
        const QByteArrayView n = rs->rawText(number);
        const QByteArrayView d = contacts ? QByteArrayView("") : rs->rawText(date);
        if (n.isNull() || d.isNull())
            continue;
        const auto key = keys.find(
            {folded(QString::fromUtf8(n)), contacts ? QString() : folded(QString::fromUtf8(d))});
        if (key == keys.end() || *key == 0)
            continue;
        const auto row = rows.find(shown(kind, *rs));
        if (row == rows.end() || row->isEmpty())
            continue;
        row->removeFirst();
        --*key;
        --left;
        remove(*rs);
    }
    QList<qsizetype> unmatched;
    for (const QList<qsizetype>& waiting : std::as_const(rows))
        unmatched.append(waiting);
    std::sort(unmatched.begin(), unmatched.end());
    return unmatched;
}

} // namespace

bool removeEntry(store::Database& db, ArchiveKind kind, const Entry& entry) {
    const QString table = store::archive::tableForKind(kind);
    if (table.isEmpty())
        return false;
    const auto rs = db.openRecordset(matching(table, kind, entry));
    if (!seek(*rs, kind, entry))
        return false;
    removeCurrent(db, *rs, kind, nullptr, {});
    return true;
}

namespace {

// Removes the rows of the entries; with a bin table, each goes there as it was.
Outcome remove(store::Database& db, ArchiveKind kind, const QList<Entry>& entries,
               const QString& binTable) {
    const bool recycle = !binTable.isEmpty();
    Outcome outcome;
    const QString table = store::archive::tableForKind(kind);
    if (table.isEmpty() || entries.isEmpty())
        return outcome;
    try {
        db.transaction([&] {
            std::unique_ptr<store::Recordset> bin;
            auto remove = [&](store::Recordset& rs) {
                removeCurrent(db, rs, kind, recycle ? &bin : nullptr, binTable);
                ++outcome.deleted;
            };
            try {
                QList<qsizetype> oneByOne;
                if (entries.size() <= fewEntries) {
                    for (qsizetype i = 0; i < entries.size(); ++i)
                        oneByOne.append(i);
                } else {
                    oneByOne = scan(db, table, kind, entries, remove);
                }
                for (qsizetype i : std::as_const(oneByOne)) {
                    const auto rs = db.openRecordset(matching(table, kind, entries[i]));
                    if (seek(*rs, kind, entries[i]))
                        remove(*rs);
                }
            } catch (const store::StoreError& error) {
                outcome.failure = error; // the rows done so far are committed
            }
        });
    } catch (const store::StoreError& error) {
        // Nothing was committed; the first failure is the one that explains it.
        outcome.deleted = 0;
        if (!outcome.failure)
            outcome.failure = error;
    }
    return outcome;
}

} // namespace

Outcome removeEntries(store::Database& db, ArchiveKind kind, const QList<Entry>& entries,
                      bool recycle) {
    return remove(db, kind, entries, recycle ? QStringLiteral("cancellati") : QString());
}

Outcome removeContactsUpTo(store::Database& db, qint64 upTo) {
    Outcome outcome;
    try {
        db.transaction([&] {
            store::sqlite::Statement remove(*db.connection(),
                                            "DELETE FROM rubrica WHERE rowid <= ?1");
            remove.bind(1, upTo).run();
            outcome.deleted = static_cast<int>(db.connection()->changes());
        });
    } catch (const store::StoreError& error) {
        outcome.deleted = 0;
        outcome.failure = error;
    }
    return outcome;
}

Outcome restoreEntries(store::Database& db, const QList<Entry>& entries) {
    return remove(db, ArchiveKind::Deleted, entries, QStringLiteral("inviati"));
}

} // namespace deletion
