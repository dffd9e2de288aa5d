#pragma once

#include "platform/dialogs.h"

class QFileDialog;
class QInputDialog;
class QMessageBox;
class QWidget;

// How the dialogs of dialogs.h are built, apart from showing them (tests look at them).
namespace platform::detail {

enum class FileDialogKind { Save, Open, Folder };

void setupMessageBox(QMessageBox& box, const QString& text, Icon icon, Buttons buttons,
                     const QString& title);
// The answer of a closed message box; the safe answer when no button was pressed.
Answer answerOf(const QMessageBox& box, Buttons buttons);
Answer safeAnswer(Buttons buttons);

void setupInputDialog(QInputDialog& dialog, const QString& prompt, const QString& title,
                      const QString& defaultText);

void setupFileDialog(QFileDialog& dialog, FileDialogKind kind, const QString& title,
                     const QString& directory, const QString& filter);

// The question asked before a save replaces an existing file.
QString overwriteQuestion(const QString& path);

// The parent for a dialog shown now.
QWidget* dialogParent();

} // namespace platform::detail
