#pragma once
// What the window system itself says about a window, read with xprop and
// xwininfo, and screenshots of the screen taken with ImageMagick's import.
// Sizes are device pixels.
#include <QRect>
#include <QWidget>
#include <string>
#include <vector>

namespace x11test {

bool haveDisplay();
// The text value of a property (UTF8_STRING or STRING), empty when missing.
std::string textProperty(WId window, const char* property);
// The numbers of a CARDINAL or INTEGER list property, or of WM_NORMAL_HINTS'
// minimum and maximum size lines (minWidth, minHeight, maxWidth, maxHeight).
std::vector<long> numbers(WId window, const char* property);
std::vector<long> sizeHints(WId window);
// Atom names of an ATOM list property.
std::vector<std::string> atoms(WId window, const char* property);
bool hasAtom(WId window, const char* property, const std::string& name);

// The client area on the screen, and the outer rectangle once the manager
// has reported its frame extents (left, right, top, bottom).
QRect clientRect(WId window);
QRect outerRect(WId window);
QSize screenSize();

// Waits until the manager has framed the window and the program has taken
// the frame up (its outer size settled).
bool waitFramed(QWidget& window, int timeoutMs = 10000);

// Saves the screen area of rect as <build>/screenshots/<name>.png.
bool screenshot(const QRect& rect, const std::string& name);
// Key strokes through the X server, as a keyboard would send them, to window
// after activating it.
bool pressKeys(WId window, const std::string& keys);

} // namespace x11test
