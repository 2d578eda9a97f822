#pragma once
// Window-manager hints that Qt cannot express on X11: which title-bar buttons
// and functions a window manager may offer. No-ops on other platforms.
#include <QWidget>

namespace fb {

enum class WindowFunctions {
    Standard,        // whatever the toolkit's window flags give
    MoveResizeOnly,  // no minimise, maximise or close
    MoveOnly,        // a fixed-size dialog without caption buttons
};

// Call after the native window exists and before it is mapped (or again after
// Qt rewrote the window's flags).
void applyWindowFunctions(QWidget& window, WindowFunctions functions);

} // namespace fb
