#include "platform/socket/winsock.h"

#include "platform/socket/native.h"

namespace fb::sock {

namespace {
thread_local int lastErrorValue = 0;
int starts = 0;
long long startedFromZero = 0;
WsaData systemData; // what the system said at the first start
} // namespace

int lastError() { return lastErrorValue; }
void setLastError(int error) { lastErrorValue = error; }

int startup(std::uint16_t requestedVersion, WsaData& data) {
    if (starts == 0) {
        if (const int error = native::startup(systemData))
            return error;
        ++startedFromZero;
    }
    ++starts;
    data = systemData;
    data.version = requestedVersion;
    return 0;
}

int cleanup() {
    if (starts == 0) {
        setLastError(WSANOTINITIALISED);
        return -1;
    }
    if (--starts == 0)
        native::cleanup();
    return 0;
}

int activeStarts() { return starts; }
long long firstStarts() { return startedFromZero; }

std::uint32_t inetAddr(const std::string& text) { return native::inetAddr(text); }

std::uint16_t htonsValue(std::uint16_t value) { return native::htonsValue(value); }

} // namespace fb::sock
