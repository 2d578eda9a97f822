#pragma once
// The system's socket calls behind Socket, HostLookup and the library's
// start-up: POSIX sockets in native_posix.cpp, Winsock 2 in native_win32.cpp.
// A failing call returns -1 (or kNone) and leaves its Windows Sockets error
// number in lastError().
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace fb::sock {
struct WsaData;
}

namespace fb::sock::native {

using Handle = std::intptr_t;
constexpr Handle kNone = -1;

// Loads the system's library on the first start, releases it after the
// last; fills in what the system says about itself.
int startup(WsaData& data);
void cleanup();

// A non-blocking stream socket that child processes do not inherit;
// lingerOff makes its close drop the connection at once.
Handle openStream(bool lingerOff);
// 0 when connected at once, else -1; lastError() is WSAEWOULDBLOCK (or
// WSAEINPROGRESS) while the connection is under way.
int connectTo(Handle h, std::uint32_t addressNet, std::uint16_t portNet);
long sendSome(Handle h, const char* data, std::size_t size);
long receiveSome(Handle h, char* data, std::size_t size, bool peek);
int closeHandle(Handle h);
int bindAndListen(Handle h, std::uint32_t addressNet, std::uint16_t portNet, int backlog);
Handle acceptOne(Handle h);
std::uint16_t localPort(Handle h);
// The socket's pending error (the outcome of a connect), as a socket error number.
int pendingError(Handle h);
#ifdef _WIN32
// True once a connection attempt has settled (connected or failed), asked
// without waiting: the system's notification of a refusal can go missing.
bool connectSettled(Handle h);
#endif
// Bytes handed to send() that the peer has not yet acknowledged, or -1.
long sendQueueBytes(Handle h);
// True when a send would block now; false also when the system cannot tell.
bool sendWouldBlock(Handle h);

// IPv4 addresses of name (network byte order); 0 or a lookup error number.
int lookupIPv4(const std::string& name, std::vector<std::uint32_t>& addresses);
std::uint32_t inetAddr(const std::string& text);
std::uint16_t htonsValue(std::uint16_t value);

} // namespace fb::sock::native
