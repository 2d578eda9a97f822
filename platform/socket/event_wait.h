#pragma once
// The transport's wait: sleeps in the Qt event loop until at least one event
// has been handled (a socket notification, a timer tick, a result posted from
// another thread, a queued call), then returns so the caller can look at the
// state that event may have changed.

namespace fb::sock {

void waitForEvents();

} // namespace fb::sock
