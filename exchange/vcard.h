#pragma once

#include "contacts/contactstore.h"
#include "exchange/contactload.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <functional>
#include <optional>

namespace store {
class Database;
}

// Contacts as vCards, the files phones and mail programs exchange.
namespace vcard {

// Collects the cards of one export file: vCard 3.0, UTF-8, CR LF, lines folded at 75 octets;
// each card holds N, FN, TEL;TYPE=CELL and EMAIL (the last two when there is a value).
class Writer final {
public:
    void add(const contacts::Contact& contact); // its icon is not written
    // The same from the fields as an address book stores them (UTF-8).
    void addStored(QByteArrayView nome, QByteArrayView cognome, QByteArrayView cellulare,
                   QByteArrayView email);
    qsizetype contacts() const { return m_contacts; }
    const QByteArray& bytes() const { return m_bytes; }
    // Written whole or not at all; the reason on failure.
    std::optional<QString> save(const QString& path) const;

private:
    void line(const char* start, const QString& value);
    void escape(const QString& value);
    void fold();

    QByteArray m_bytes;
    QByteArray m_line; // the line being written
    qsizetype m_contacts = 0;
};

// Reads the cards of a text one after the other, vCard 2.1, 3.0 and 4.0 alike: folded lines,
// quoted-printable values and CHARSET= (2.1), the escapes \, \; \n, groups ("item1.TEL").
// The number is the first mobile TEL (TYPE=CELL, a 2.1 CELL, or an "item" labelled mobile)
// that is a phone number (phone::read), else the first TEL that is; when none is, the first
// mobile or TEL written. The e-mail is the first EMAIL marked preferred (TYPE=PREF, PREF=1),
// else the first EMAIL; the names come from N, else the surname from FN. Other properties (photos
// among them) are passed over.
class Reader final {
public:
    explicit Reader(QByteArrayView text)
        : m_text(text) {}
    // The next card's contact, its number as the card writes it; std::nullopt at the end of
    // the text.
    std::optional<contacts::Contact> next();
    qint64 position() const { return m_pos; }

private:
    QByteArrayView nextLine();
    QByteArrayView physicalLine();
    bool continues() const;

    QByteArrayView m_text;
    qsizetype m_pos = 0;
    bool m_v21 = false;  // the card read is a 2.1 one: folding keeps its blank
    QByteArray m_line;   // a folded line, unfolded
    QByteArray m_joined; // a quoted-printable value with its soft line breaks undone
};

struct Outcome : exchange::Tally {
    enum Status {
        Done,       // every card read
        NoCards,    // the file holds no card
        Stopped,    // the address book refused to store: the contacts before are stored
        Unreadable, // the file could not be opened or read
    } status = Done;
    QString reason; // Stopped: why, in Italian
};

// Called now and then with the bytes read so far and the file's size.
using Progress = std::function<void(qint64 done, qint64 total)>;

// Adds one contact (icona "4") per card to table rubrica of `db`, its number kept as
// phone::read makes it, in transactions of a few thousand cards. A card whose number is
// already in the book, or in an earlier card, is skipped; so is one without a number, and one
// whose number is no phone number (counted, with the reason). An empty first name, surname or
// e-mail is stored as one blank, as the contact editor stores it; a line end inside a value as one
// blank.
Outcome importFile(const QString& path, store::Database& db, const Progress& progress = {});

} // namespace vcard
