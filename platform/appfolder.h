#pragma once

#include <QString>

// Where the program finds its application folder.
namespace platform::AppFolder {

struct Choice {
    QString folder;       // the folder to use (absolute, cleaned); empty on failure
    QString error;        // Italian message when no folder could be had
    bool created = false; // true when the per-user folder was made from the default one
};

// In order: `explicitFolder` when given; the executable's folder when it holds elenco.mdb;
// else the per-user data folder, created on first run as a copy of `defaultFolder`.
Choice choose(const QString& explicitFolder, const QString& executableDir,
              const QString& userDataDir, const QString& defaultFolder);

// Copies a folder tree; never overwrites an existing file. False on any failure.
bool copyTree(const QString& from, const QString& to);

// The installed default folder next to an executable in <prefix>/bin.
QString installedDefaultFolder(const QString& executableDir);

} // namespace platform::AppFolder
