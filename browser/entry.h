#pragma once

#include <QChar>
#include <QString>

// One row of an archive as the browser lists it: what a window opened on a row receives.
struct Entry {
    QString number;  // cellulare
    QString surname; // cognome
    QString date;    // messages: the Data text
    QString detail;  // a contact's e-mail, a message's text
    QChar archive;   // 'r' contacts, 's' saved, 'i' sent, 'c' deleted; null for none
    QString book;    // the address book whose archive lists it

    bool isContact() const { return archive == QLatin1Char('r'); }
};
