#pragma once

#include <functional>

// Runs one window handler: a failure the handler does not trap itself is shown to the user
// in a critical box (the engine's message for archive failures), the normal pointer comes
// back, and the handler is abandoned. Nothing escapes to the event loop.
namespace handler {
void run(const std::function<void()>& body);
}
