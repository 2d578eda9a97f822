#include "platform/socket/winsock.h"

#include <arpa/inet.h>
#include <cerrno>
#include <netdb.h>
#include <sys/resource.h>

namespace fb::sock {

namespace {
thread_local int lastErrorValue = 0;
int starts = 0;
long long startedFromZero = 0;
} // namespace

int errnoToWsa(int e) {
    switch (e) {
    case 0: return 0;
    case EINTR: return WSAEINTR;
    case EBADF: return WSAEBADF;
    case EACCES: case EPERM: return WSAEACCES;
    case EFAULT: return WSAEFAULT;
    case EINVAL: return WSAEINVAL;
    case EMFILE: case ENFILE: return WSAEMFILE;
#if EAGAIN != EWOULDBLOCK
    case EAGAIN:
#endif
    case EWOULDBLOCK: return WSAEWOULDBLOCK;
    case EINPROGRESS: return WSAEINPROGRESS;
    case EALREADY: return WSAEALREADY;
    case ENOTSOCK: return WSAENOTSOCK;
    case EDESTADDRREQ: return WSAEDESTADDRREQ;
    case EMSGSIZE: return WSAEMSGSIZE;
    case EPROTOTYPE: return WSAEPROTOTYPE;
    case ENOPROTOOPT: return WSAENOPROTOOPT;
    case EPROTONOSUPPORT: return WSAEPROTONOSUPPORT;
    case ESOCKTNOSUPPORT: return WSAESOCKTNOSUPPORT;
    case EOPNOTSUPP: return WSAEOPNOTSUPP;
    case EPFNOSUPPORT: return WSAEPFNOSUPPORT;
    case EAFNOSUPPORT: return WSAEAFNOSUPPORT;
    case EADDRINUSE: return WSAEADDRINUSE;
    case EADDRNOTAVAIL: return WSAEADDRNOTAVAIL;
    case ENETDOWN: return WSAENETDOWN;
    case ENETUNREACH: return WSAENETUNREACH;
    case ENETRESET: return WSAENETRESET;
    case ECONNABORTED: return WSAECONNABORTED;
    case ECONNRESET: case EPIPE: return WSAECONNRESET;
    case ENOBUFS: case ENOMEM: return WSAENOBUFS;
    case EISCONN: return WSAEISCONN;
    case ENOTCONN: return WSAENOTCONN;
    case ESHUTDOWN: return WSAESHUTDOWN;
    case ETOOMANYREFS: return WSAETOOMANYREFS;
    case ETIMEDOUT: return WSAETIMEDOUT;
    case ECONNREFUSED: return WSAECONNREFUSED;
    case ELOOP: return WSAELOOP;
    case ENAMETOOLONG: return WSAENAMETOOLONG;
    case EHOSTDOWN: return WSAEHOSTDOWN;
    case EHOSTUNREACH: return WSAEHOSTUNREACH;
    case ENOTEMPTY: return WSAENOTEMPTY;
    case EUSERS: return WSAEUSERS;
    case EDQUOT: return WSAEDQUOT;
    case ESTALE: return WSAESTALE;
    case EREMOTE: return WSAEREMOTE;
    default: return 10000 + e; // above 10000, so it still counts as a socket error
    }
}

int lookupErrorToWsa(int rc, int e) {
    switch (rc) {
    case 0: return 0;
    case EAI_NONAME: return WSAHOST_NOT_FOUND;
#ifdef EAI_NODATA
    case EAI_NODATA: return WSANO_DATA;
#endif
#ifdef EAI_ADDRFAMILY
    case EAI_ADDRFAMILY: return WSANO_DATA;
#endif
    case EAI_AGAIN: return WSATRY_AGAIN;
    case EAI_FAIL: return WSANO_RECOVERY;
    case EAI_MEMORY: return WSAENOBUFS;
    case EAI_SYSTEM: return e ? errnoToWsa(e) : WSANO_RECOVERY;
    default: return WSANO_RECOVERY;
    }
}

int lastError() { return lastErrorValue; }
void setLastError(int error) { lastErrorValue = error; }

int startup(std::uint16_t requestedVersion, WsaData& data) {
    if (starts == 0)
        ++startedFromZero;
    ++starts;
    data.version = requestedVersion;
    data.highVersion = 0x0101;
    data.description = "POSIX sockets with Qt event notification";
    data.systemStatus = "Running";
    rlimit limit{};
    rlim_t files = 1024;
    if (getrlimit(RLIMIT_NOFILE, &limit) == 0)
        files = limit.rlim_cur;
    // Handles are 16 bits wide and 65535 means "none".
    data.maxSockets = static_cast<std::uint16_t>(files > 65535 ? 65535 : files);
    data.maxUdpDg = 65507;
    return 0;
}

int cleanup() {
    if (starts == 0) {
        setLastError(WSANOTINITIALISED);
        return -1;
    }
    --starts;
    return 0;
}

int activeStarts() { return starts; }
long long firstStarts() { return startedFromZero; }

std::uint32_t inetAddr(const std::string& text) {
    in_addr a{};
    if (inet_pton(AF_INET, text.c_str(), &a) != 1)
        return INADDR_NONE_VALUE;
    return a.s_addr;
}

std::uint16_t htonsValue(std::uint16_t value) { return htons(value); }

} // namespace fb::sock
