// The POSIX half: errno values are mapped to the Windows Sockets numbers.
#include "platform/socket/native.h"

#include "platform/socket/winsock.h"

#include <arpa/inet.h>
#include <cerrno>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <linux/sockios.h>

namespace fb::sock {

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

namespace native {

namespace {
int fail() {
    setLastError(errnoToWsa(errno));
    return -1;
}
int fd(Handle h) { return static_cast<int>(h); }
} // namespace

int startup(WsaData& data) {
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

void cleanup() {}

Handle openStream(bool lingerOff) {
    const int s = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (s < 0)
        return fail();
    if (lingerOff) {
        linger l{};
        l.l_onoff = 1;
        l.l_linger = 0;
        ::setsockopt(s, SOL_SOCKET, SO_LINGER, &l, sizeof l);
    }
    return s;
}

int connectTo(Handle h, std::uint32_t addressNet, std::uint16_t portNet) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = portNet;
    a.sin_addr.s_addr = addressNet;
    if (::connect(fd(h), reinterpret_cast<sockaddr*>(&a), sizeof a) == 0)
        return 0;
    return fail();
}

long sendSome(Handle h, const char* data, std::size_t size) {
    const ssize_t n = ::send(fd(h), data, size, MSG_NOSIGNAL | MSG_DONTWAIT);
    return n < 0 ? fail() : static_cast<long>(n);
}

long receiveSome(Handle h, char* data, std::size_t size, bool peek) {
    const ssize_t n = ::recv(fd(h), data, size, MSG_DONTWAIT | (peek ? MSG_PEEK : 0));
    return n < 0 ? fail() : static_cast<long>(n);
}

int closeHandle(Handle h) { return ::close(fd(h)) < 0 ? fail() : 0; }

int bindAndListen(Handle h, std::uint32_t addressNet, std::uint16_t portNet, int backlog) {
    int one = 1;
    ::setsockopt(fd(h), SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = portNet;
    a.sin_addr.s_addr = addressNet;
    if (::bind(fd(h), reinterpret_cast<sockaddr*>(&a), sizeof a) < 0 || ::listen(fd(h), backlog) < 0)
        return fail();
    return 0;
}

Handle acceptOne(Handle h) {
    const int s = ::accept4(fd(h), nullptr, nullptr, SOCK_CLOEXEC);
    return s < 0 ? fail() : s;
}

std::uint16_t localPort(Handle h) {
    sockaddr_in a{};
    socklen_t len = sizeof a;
    if (::getsockname(fd(h), reinterpret_cast<sockaddr*>(&a), &len) < 0)
        return 0;
    return ntohs(a.sin_port);
}

int pendingError(Handle h) {
    int error = 0;
    socklen_t len = sizeof error;
    if (::getsockopt(fd(h), SOL_SOCKET, SO_ERROR, &error, &len) < 0)
        error = errno;
    return errnoToWsa(error);
}

long sendQueueBytes(Handle h) {
    int queued = 0;
    if (::ioctl(fd(h), SIOCOUTQ, &queued) < 0)
        return -1;
    return queued;
}

bool sendWouldBlock(Handle h) {
    pollfd p{fd(h), POLLOUT, 0};
    return ::poll(&p, 1, 0) == 0;
}

int lookupIPv4(const std::string& name, std::vector<std::uint32_t>& addresses) {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* result = nullptr;
    const int rc = ::getaddrinfo(name.c_str(), nullptr, &hints, &result);
    const int error = lookupErrorToWsa(rc, errno);
    if (rc != 0)
        return error;
    for (addrinfo* a = result; a; a = a->ai_next)
        if (a->ai_family == AF_INET)
            addresses.push_back(reinterpret_cast<sockaddr_in*>(a->ai_addr)->sin_addr.s_addr);
    ::freeaddrinfo(result);
    return addresses.empty() ? WSANO_DATA : 0;
}

std::uint32_t inetAddr(const std::string& text) {
    in_addr a{};
    if (inet_pton(AF_INET, text.c_str(), &a) != 1)
        return INADDR_NONE_VALUE;
    return a.s_addr;
}

std::uint16_t htonsValue(std::uint16_t value) { return htons(value); }

} // namespace native
} // namespace fb::sock
