#pragma once
// An exception that leaves an event handler is shown in an error box captioned
// with the application title, and the program goes on waiting for input.
#include <QApplication>
#include <exception>
#include <type_traits>
#include <utility>

namespace fb {

void reportException(const std::exception& error);
void reportUnknownException();

// Runs f; an escaping exception is reported instead of unwinding into Qt.
template <class F> void guarded(F&& f) {
    try {
        std::forward<F>(f)();
    } catch (const std::exception& e) {
        reportException(e);
    } catch (...) {
        reportUnknownException();
    }
}

// Calls f with the signal's arguments when it takes them, else without. A
// function of its own, so that clang never checks the branch not taken.
template <class F, class... A> void callHandler(F& f, A&&... args) {
    if constexpr (std::is_invocable_v<F&, A...>)
        f(std::forward<A>(args)...);
    else
        f();
}

// Wraps a handler for connecting to a Qt signal.
template <class F> auto handler(F f) {
    return [f = std::move(f)](auto&&... args) mutable {
        guarded([&] { callHandler(f, std::forward<decltype(args)>(args)...); });
    };
}

// The application object: also catches what escapes any other event handler.
class Application : public QApplication {
public:
    Application(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;
};

} // namespace fb
