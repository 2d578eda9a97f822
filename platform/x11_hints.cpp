#include "platform/x11_hints.h"

#include <QGuiApplication>

#ifdef FB_HAVE_XCB
#include <QtGui/qguiapplication_platform.h>
#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>
#include <string>
#endif

namespace fb {

#ifdef FB_HAVE_XCB
namespace {

xcb_atom_t atom(xcb_connection_t* c, const char* name) {
    xcb_intern_atom_reply_t* r =
        xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, static_cast<uint16_t>(std::strlen(name)), name), nullptr);
    const xcb_atom_t a = r ? r->atom : xcb_atom_t(XCB_ATOM_NONE);
    std::free(r);
    return a;
}

std::string windowManagerName(xcb_connection_t* c, xcb_window_t root) {
    auto windowProperty = [c](xcb_window_t w, xcb_atom_t prop, xcb_atom_t type) {
        std::string value;
        xcb_get_property_reply_t* r =
            xcb_get_property_reply(c, xcb_get_property(c, 0, w, prop, type, 0, 256), nullptr);
        if (r && r->type == type)
            value.assign(static_cast<const char*>(xcb_get_property_value(r)),
                         static_cast<size_t>(xcb_get_property_value_length(r)));
        std::free(r);
        return value;
    };
    const std::string check = windowProperty(root, atom(c, "_NET_SUPPORTING_WM_CHECK"), XCB_ATOM_WINDOW);
    if (check.size() != sizeof(xcb_window_t))
        return {};
    xcb_window_t wm;
    std::memcpy(&wm, check.data(), sizeof wm);
    return windowProperty(wm, atom(c, "_NET_WM_NAME"), atom(c, "UTF8_STRING"));
}

// Motif hints: flags, functions, decorations, input mode, status.
constexpr uint32_t kHintFunctions = 1, kHintDecorations = 2;
constexpr uint32_t kFuncResize = 2, kFuncMove = 4;
constexpr uint32_t kDecorBorder = 2, kDecorResizeHandle = 4, kDecorTitle = 8;

} // namespace
#endif

void applyWindowFunctions(QWidget& window, WindowFunctions functions) {
#ifdef FB_HAVE_XCB
    if (functions == WindowFunctions::Standard || QGuiApplication::platformName() != "xcb")
        return;
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    if (!x11 || !x11->connection())
        return;
    xcb_connection_t* c = x11->connection();
    const auto w = static_cast<xcb_window_t>(window.winId());
    const bool fixed = functions == WindowFunctions::MoveOnly;
    const uint32_t hints[5] = {kHintFunctions | kHintDecorations, fixed ? kFuncMove : kFuncMove | kFuncResize,
                               fixed ? kDecorBorder | kDecorTitle : kDecorBorder | kDecorResizeHandle | kDecorTitle,
                               0, 0};
    const xcb_atom_t motif = atom(c, "_MOTIF_WM_HINTS");
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, w, motif, motif, 32, 5, hints);
    // Openbox ignores the Motif functions for minimise, maximise and close; it
    // drops the first two for toolbar-type windows, which keep their title bar
    // and take the focus when activated (Form activates every window it shows).
    // Its close action stays; the two windows ignore the request. Other
    // managers keep the plain type and honour the Motif functions.
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
    if (screen && windowManagerName(c, screen->root) == "Openbox") {
        const xcb_atom_t types[2] = {atom(c, "_NET_WM_WINDOW_TYPE_TOOLBAR"),
                                     atom(c, fixed ? "_NET_WM_WINDOW_TYPE_DIALOG" : "_NET_WM_WINDOW_TYPE_NORMAL")};
        xcb_change_property(c, XCB_PROP_MODE_REPLACE, w, atom(c, "_NET_WM_WINDOW_TYPE"), XCB_ATOM_ATOM, 32, 2, types);
    }
    xcb_flush(c);
#else
    (void)window;
    (void)functions;
#endif
}

} // namespace fb
