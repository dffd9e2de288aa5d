#pragma once

#include <QString>
#include <QStringList>

// The mobile prefixes offered by the contact editor: prefissi.txt in the application folder,
// one entry per line, in the order shown.
namespace contacts::prefixes {

// The prefix file of the folder. The name is matched without regard to case, so a file
// copied as "Prefissi.txt" is the same file; "prefissi.txt" when there is none yet.
QString path(const QString& appFolder);

// Every line, unchanged (an empty line is an empty entry). A missing or unreadable file is
// an empty list.
QStringList read(const QString& appFolder);

// Replaces the file with these entries, one line each; false when it could not be written
// (the old file is then left as it was).
bool write(const QString& appFolder, const QStringList& entries);

} // namespace contacts::prefixes
