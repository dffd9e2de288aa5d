#pragma once

#include <QString>
#include <QStringList>

// The converted files wait in a staging folder inside the application folder. A marker written
// last lists them; from then on the swap (originals into archivi-precedenti, new files into
// their place) is rolled forward by whoever finds the marker, so a stop at any moment leaves
// the old folder untouched or the new one complete.
namespace migration::staging {

inline constexpr char folderName[] = "conversione-in-corso";
inline constexpr char originalsName[] = "archivi-precedenti";
inline constexpr char reportName[] = "conversione.txt";

QString folder(const QString& appFolder);    // <folder>/conversione-in-corso
QString originals(const QString& appFolder); // <folder>/archivi-precedenti

// Flushes a file or folder to the disk; false on failure.
bool sync(const QString& path);

// Marks the staged files `relativePaths` (each under folder()) complete: after this the swap
// goes through. Throws StoreError when the marker cannot be written.
void markReady(const QString& appFolder, const QStringList& relativePaths);

// Run before anything opens the folder: an unmarked staging folder is removed (the originals
// were never touched), a marked one is swapped in. Nothing to do without one. Throws
// StoreError when a file cannot be moved (the next start tries again).
void settle(const QString& appFolder);

} // namespace migration::staging
