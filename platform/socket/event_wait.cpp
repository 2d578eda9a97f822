#include "platform/socket/event_wait.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QEvent>
#include <QObject>

namespace fb::sock {

#ifdef _WIN32
namespace {

// Notes whether any event reached any object of the application.
class EventWatch final : public QObject {
public:
    bool handled = false;

protected:
    bool eventFilter(QObject*, QEvent*) override {
        handled = true;
        return false;
    }
};

} // namespace

// Windows' dispatcher sends the posted events (precise timer ticks, queued
// calls, results from other threads) at the start of a pass and then still
// sleeps until the next window message: a wait whose own event came that way
// would sleep on after it. When anything was handled before the pass would
// block, the dispatcher is woken at once, so the pass ends as it does on the
// other systems.
void waitForEvents() {
    QCoreApplication* app = QCoreApplication::instance();
    QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance();
    if (!app || !dispatcher) {
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
        return;
    }
    EventWatch watch;
    app->installEventFilter(&watch);
    const QMetaObject::Connection blocking = QObject::connect(
        dispatcher, &QAbstractEventDispatcher::aboutToBlock, &watch,
        [&watch, dispatcher] {
            if (watch.handled)
                dispatcher->wakeUp();
        },
        Qt::DirectConnection);
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    QObject::disconnect(blocking);
    app->removeEventFilter(&watch);
}
#else
void waitForEvents() { QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents); }
#endif

} // namespace fb::sock
