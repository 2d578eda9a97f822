#include "platform/error_report.h"

#include "platform/dialogs.h"

namespace fb {

void reportException(const std::exception& error) {
    try {
        dialogs().messageBox(applicationTitle(), error.what(), BoxIcon::Error, BoxButtons::Ok);
    } catch (...) {
        // A failing report must not take the program down with it.
    }
}

void reportUnknownException() {
    try {
        dialogs().messageBox(applicationTitle(), "Unknown error", BoxIcon::Error, BoxButtons::Ok);
    } catch (...) {
    }
}

Application::Application(int& argc, char** argv) : QApplication(argc, argv) {}

bool Application::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& e) {
        reportException(e);
    } catch (...) {
        reportUnknownException();
    }
    return false;
}

} // namespace fb
