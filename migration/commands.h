#pragma once

#include <QString>

// The conversion as command-line commands; each returns the process's exit status.
namespace migration {

// Progress lines ("# done total") and the count line the program reads back from the commands.
inline constexpr char countTag[] = "conteggio";

// --convert-jet DIR: converts and prints the report. 0 when everything was converted (or
// there was nothing to convert), 1 when some files were left, 2 when nothing was changed.
int convertCommand(const QString& appFolder, const QString& program);
enum ExitStatus { Converted = 0, PartlyConverted = 1, NotConverted = 2 };

// --count-jet DIR: prints "conteggio<TAB>books<TAB>contacts<TAB>messages" and a line per file
// that cannot be read; 0, or 2 when the folder holds none of the earlier program's files.
int countCommand(const QString& appFolder, const QString& program);

} // namespace migration
