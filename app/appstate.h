#pragma once

#include "store/shareddatabase.h"

#include <QString>
#include <QStringList>

// What the windows share for the whole run. Plain data: the windows read and write it.
struct AppState {
    QString appFolder;        // the application folder, without trailing separator
    QString helpFile;         // index of the help pages
    QString percorso;         // folder of the hotel program's archives (persorso)
    QStringList account;      // registrazione split at "-"
    QString intestazioneSms;  // sender header (intestazione)
    QStringList affiliazione; // progra split at "-": identifier, code
    double credito = 0;       // last known credit (residui.txt)
    QString servizio;         // host[:port] of the SMS service (servizio)
    qint16 nodoScelto = 0;    // index from 1, in tree order, of the node selected last
    int avvisoLunghezza = 0;  // lets the composer's over-length notice show once per crossing

    store::SharedDatabase corrente;  // percorsoDb, db, rs
    store::SharedDatabase scansione; // second pair, for the scan of all address books

    QString numeroScelto; // the browser's current entry
    QString dettaglioScelto;
    QString cognomeScelto;
    QString dataScelta;

    int aggiorna = 0; // 1 lets the browser's refresh fill the list
    int modifica = 0; // 1: the contact editor opens the current contact for changes
    bool flash = false;
    QString utenteCorrente;
};

// The one instance of the process.
AppState& appState();
