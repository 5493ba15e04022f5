#pragma once
// The state of the keyboard's lock keys, for the status bar's CAP, NUM and SCRL indicators.

namespace yfx {

struct LockKeys {
    bool known = false; // false when the window system does not tell (no X server)
    bool caps = false;
    bool num = false;
    bool scroll = false;
};

// Asks the X server's keyboard extension; `known` is false elsewhere.
LockKeys QueryLockKeys();

} // namespace yfx
