#pragma once
// The socket library's numbers and its start-up. Errors are the Windows
// Sockets error numbers everywhere (on POSIX systems errno values are mapped
// to them), so that one error-text table serves every failure.
#include <cstdint>
#include <string>

namespace fb::sock {

// Error numbers as the Windows socket library reports them.
constexpr int WSAEINTR = 10004;
constexpr int WSAEBADF = 10009;
constexpr int WSAEACCES = 10013;
constexpr int WSAEFAULT = 10014;
constexpr int WSAEINVAL = 10022;
constexpr int WSAEMFILE = 10024;
constexpr int WSAEWOULDBLOCK = 10035;
constexpr int WSAEINPROGRESS = 10036;
constexpr int WSAEALREADY = 10037;
constexpr int WSAENOTSOCK = 10038;
constexpr int WSAEDESTADDRREQ = 10039;
constexpr int WSAEMSGSIZE = 10040;
constexpr int WSAEPROTOTYPE = 10041;
constexpr int WSAENOPROTOOPT = 10042;
constexpr int WSAEPROTONOSUPPORT = 10043;
constexpr int WSAESOCKTNOSUPPORT = 10044;
constexpr int WSAEOPNOTSUPP = 10045;
constexpr int WSAEPFNOSUPPORT = 10046;
constexpr int WSAEAFNOSUPPORT = 10047;
constexpr int WSAEADDRINUSE = 10048;
constexpr int WSAEADDRNOTAVAIL = 10049;
constexpr int WSAENETDOWN = 10050;
constexpr int WSAENETUNREACH = 10051;
constexpr int WSAENETRESET = 10052;
constexpr int WSAECONNABORTED = 10053;
constexpr int WSAECONNRESET = 10054;
constexpr int WSAENOBUFS = 10055;
constexpr int WSAEISCONN = 10056;
constexpr int WSAENOTCONN = 10057;
constexpr int WSAESHUTDOWN = 10058;
constexpr int WSAETOOMANYREFS = 10059;
constexpr int WSAETIMEDOUT = 10060;
constexpr int WSAECONNREFUSED = 10061;
constexpr int WSAELOOP = 10062;
constexpr int WSAENAMETOOLONG = 10063;
constexpr int WSAEHOSTDOWN = 10064;
constexpr int WSAEHOSTUNREACH = 10065;
constexpr int WSAENOTEMPTY = 10066;
constexpr int WSAEPROCLIM = 10067;
constexpr int WSAEUSERS = 10068;
constexpr int WSAEDQUOT = 10069;
constexpr int WSAESTALE = 10070;
constexpr int WSAEREMOTE = 10071;
constexpr int WSASYSNOTREADY = 10091;
constexpr int WSAVERNOTSUPPORTED = 10092;
constexpr int WSANOTINITIALISED = 10093;
constexpr int WSAHOST_NOT_FOUND = 11001;
constexpr int WSATRY_AGAIN = 11002;
constexpr int WSANO_RECOVERY = 11003;
constexpr int WSANO_DATA = 11004;

// The handle value meaning "no socket".
constexpr std::uint16_t INVALID_SOCKET = 65535;
// The address value meaning "not a dotted address".
constexpr std::uint32_t INADDR_NONE_VALUE = 0xFFFFFFFFu;

// Event codes of the asynchronous notifications.
enum : int { FD_READ = 1, FD_WRITE = 2, FD_OOB = 4, FD_ACCEPT = 8, FD_CONNECT = 16, FD_CLOSE = 32 };

#ifndef _WIN32
// On POSIX systems: an errno value as a socket error number, and a
// getaddrinfo result code (with errno for EAI_SYSTEM) as a lookup error.
int errnoToWsa(int e);
int lookupErrorToWsa(int rc, int e);
#endif

// The error of the last failed call on this thread.
int lastError();
void setLastError(int error);

// The library's start-up record.
struct WsaData {
    std::uint16_t version = 0;
    std::uint16_t highVersion = 0;
    std::string description;
    std::string systemStatus;
    std::uint16_t maxSockets = 0;
    std::uint16_t maxUdpDg = 0;
};

// Starting and releasing the library; nested starts are counted.
int startup(std::uint16_t requestedVersion, WsaData& data);
int cleanup();
// Live starts, and how often the library went from stopped to started.
int activeStarts();
long long firstStarts();

// A dotted IPv4 address in network byte order, or INADDR_NONE_VALUE.
std::uint32_t inetAddr(const std::string& text);
std::uint16_t htonsValue(std::uint16_t value);

} // namespace fb::sock
