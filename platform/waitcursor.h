#pragma once

// The hourglass pointer for the life of the object; restored even when a handler fails.
namespace platform {

class WaitCursor final {
public:
    WaitCursor();
    ~WaitCursor();
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;

private:
    bool m_active; // false without a GUI application: then nothing to restore
};

} // namespace platform
