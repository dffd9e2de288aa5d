#pragma once

#include <QString>

#include <initializer_list>
#include <utility>

class QObject;
class QProgressBar;
class QPushButton;
class QWidget;

// Small pieces every window of the program builds the same way.
namespace platform {

// A push button with one of the program's pictures (resources/icons/<icon>.svg), named
// `objectName` so that tests find it.
QPushButton* iconButton(QWidget* parent, const char* objectName, const char* icon,
                        const QString& text);

// A progress bar in a wait window: hidden until the first call, then shown at done of total
// (per mille), its window grown to hold it.
QProgressBar* progressBar(QWidget* parent);
void showProgress(QProgressBar* bar, qint64 done, qint64 total);

// Gives each control its object name, as the product names it.
void nameControls(std::initializer_list<std::pair<QObject*, const char*>> controls);

} // namespace platform
