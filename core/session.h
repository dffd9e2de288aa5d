#pragma once

#include <QString>
#include <QStringList>

// What one run of the program knows and shares: made in main and handed by reference to the
// windows and jobs that need it.
struct Session {
    QString appFolder;     // the application folder, without trailing separator
    QString helpFile;      // index of the help pages
    QString hotelFolder;   // folder of the hotel program's archives (persorso)
    QString senderHeader;  // intestazione
    QStringList affiliate; // progra split at "-": identifier, code
    double credit = 0;     // the credit known at start (residui.txt)
    QString service;       // host[:port] of the SMS service (servizio)
    QString currentUser;   // who logged in; empty without a login
    // The composer's over-length notice shows once each time a text stops fitting one SMS.
    bool lengthNotice = false;
};
