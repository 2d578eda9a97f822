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

// Wraps a handler for connecting to a Qt signal.
template <class F> auto handler(F f) {
    return [f = std::move(f)](auto&&... args) mutable {
        guarded([&] {
            if constexpr (std::is_invocable_v<F&, decltype(args)...>)
                f(std::forward<decltype(args)>(args)...);
            else
                f();
        });
    };
}

// The application object: also catches what escapes any other event handler.
class Application : public QApplication {
public:
    Application(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;
};

} // namespace fb
