#pragma once

#include <QString>

// A few fictional contacts and messages, so a new user sees the program at work.
namespace demodata {
// Adds the address book "Fornitori", fills both address books of `appFolder` and enters
// the demo account of the local gateway (demo / demo).
void write(const QString& appFolder);
} // namespace demodata
