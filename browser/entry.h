#pragma once

#include "store/archivekind.h"

#include <QString>

// One row of an archive as the browser lists it: what a window opened on a row receives.
struct Entry {
    QString number;  // cellulare
    QString surname; // cognome
    QString date;    // messages: the Data text
    QString detail;  // a contact's e-mail, a message's text
    QString book;    // the address book whose archive lists it
    // The archive that lists it; None for none.
    store::ArchiveKind archive = store::ArchiveKind::None;

    bool isContact() const { return archive == store::ArchiveKind::Contacts; }
};
