#pragma once

#include <QString>

#include <initializer_list>
#include <utility>

class QObject;
class QPushButton;
class QWidget;

// Small pieces every window of the program builds the same way.
namespace platform {

// A push button with one of the program's pictures (resources/icons/<icon>.svg), named
// `objectName` so that tests find it.
QPushButton* iconButton(QWidget* parent, const char* objectName, const char* icon,
                        const QString& text);

// Gives each control the name of its member.
void nameControls(std::initializer_list<std::pair<QObject*, const char*>> controls);

} // namespace platform
