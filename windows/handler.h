#pragma once

#include <functional>

// Runs one window handler: a failure the handler does not trap itself is shown to the user
// in a critical box (the engine's message for archive failures), the normal pointer comes
// back, and the handler is abandoned. Nothing escapes to the event loop.
class QAbstractButton;

namespace handler {
void run(const std::function<void()>& body);
// Runs `body` as a handler each time the button is clicked.
void onClick(QAbstractButton* button, std::function<void()> body);
} // namespace handler
