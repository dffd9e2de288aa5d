#pragma once

#include <QString>

// A few fictional contacts and messages, so a new user sees the program at work.
namespace demodata {
// Adds the address book "Fornitori" and fills both address books of `appFolder`.
void write(const QString& appFolder);
} // namespace demodata
