// The Winsock 2 half: the library's own error numbers, as they are.
#include "platform/socket/native.h"

// First: the system's headers define the same names as macros afterwards.
#include "platform/socket/winsock.h"

#include <winsock2.h>
#include <ws2tcpip.h>
#include <mstcpip.h>

namespace fb::sock::native {

namespace {
int fail() {
    setLastError(WSAGetLastError());
    return -1;
}
SOCKET sock(Handle h) { return static_cast<SOCKET>(h); }
constexpr int kSendQueueBytes = 64 * 1024;
} // namespace

int startup(WsaData& data) {
    WSADATA wsa{};
    if (const int error = WSAStartup(MAKEWORD(2, 2), &wsa)) {
        setLastError(error);
        return error;
    }
    data.highVersion = wsa.wHighVersion;
    data.description = wsa.szDescription;
    data.systemStatus = wsa.szSystemStatus;
    // Winsock 2 leaves both at 0 (no fixed limits); the values are then the
    // ones this library describes elsewhere: 16-bit handles, and the largest
    // UDP payload over IPv4.
    data.maxSockets = wsa.iMaxSockets ? wsa.iMaxSockets : 65535;
    data.maxUdpDg = wsa.iMaxUdpDg ? wsa.iMaxUdpDg : 65507;
    return 0;
}

void cleanup() { WSACleanup(); }

Handle openStream(bool lingerOff) {
    const SOCKET s = WSASocketW(AF_INET, SOCK_STREAM, IPPROTO_TCP, nullptr, 0, WSA_FLAG_NO_HANDLE_INHERIT);
    if (s == INVALID_SOCKET)
        return fail();
    u_long nonBlocking = 1;
    if (ioctlsocket(s, FIONBIO, &nonBlocking) != 0) {
        fail();
        closesocket(s);
        return kNone;
    }
    if (lingerOff) {
        linger l{};
        l.l_onoff = 1;
        l.l_linger = 0;
        setsockopt(s, SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&l), sizeof l);
    }
    // Windows does not tell how much of the send queue the peer has taken;
    // with a queue of bounded size, the bytes send() accepts follow the peer
    // closely enough for the upload's time-out on progress.
    int queue = kSendQueueBytes;
    setsockopt(s, SOL_SOCKET, SO_SNDBUF, reinterpret_cast<const char*>(&queue), sizeof queue);
    return static_cast<Handle>(s);
}

int connectTo(Handle h, std::uint32_t addressNet, std::uint16_t portNet) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = portNet;
    a.sin_addr.s_addr = addressNet;
    if (::connect(sock(h), reinterpret_cast<sockaddr*>(&a), sizeof a) == 0)
        return 0;
    return fail();
}

long sendSome(Handle h, const char* data, std::size_t size) {
    const int chunk = size > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<int>(size);
    const int n = ::send(sock(h), data, chunk, 0);
    return n == SOCKET_ERROR ? fail() : n;
}

long receiveSome(Handle h, char* data, std::size_t size, bool peek) {
    const int chunk = size > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<int>(size);
    const int n = ::recv(sock(h), data, chunk, peek ? MSG_PEEK : 0);
    if (n == SOCKET_ERROR)
        return fail();
    if (n == 0 && size > 0 && ::send(sock(h), data, 0, 0) == SOCKET_ERROR) {
        // The end of the data only when the connection was closed in order:
        // a reset connection fails the empty send. Windows says so in the
        // receive already; Wine, whose server has taken the reset from the
        // system, answers it with an end like an orderly close.
        const int error = WSAGetLastError();
        if (error == WSAECONNRESET || error == WSAECONNABORTED) {
            setLastError(error);
            return -1;
        }
    }
    return n;
}

int closeHandle(Handle h) { return closesocket(sock(h)) == SOCKET_ERROR ? fail() : 0; }

int bindAndListen(Handle h, std::uint32_t addressNet, std::uint16_t portNet, int backlog) {
    // Windows' SO_REUSEADDR would let another program take the port: the
    // exclusive use is what POSIX gives.
    BOOL one = TRUE;
    setsockopt(sock(h), SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&one), sizeof one);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = portNet;
    a.sin_addr.s_addr = addressNet;
    if (::bind(sock(h), reinterpret_cast<sockaddr*>(&a), sizeof a) == SOCKET_ERROR ||
        ::listen(sock(h), backlog) == SOCKET_ERROR)
        return fail();
    return 0;
}

Handle acceptOne(Handle h) {
    const SOCKET s = ::accept(sock(h), nullptr, nullptr);
    if (s == INVALID_SOCKET)
        return fail();
    SetHandleInformation(reinterpret_cast<HANDLE>(s), HANDLE_FLAG_INHERIT, 0);
    return static_cast<Handle>(s);
}

std::uint16_t localPort(Handle h) {
    sockaddr_in a{};
    int len = sizeof a;
    if (::getsockname(sock(h), reinterpret_cast<sockaddr*>(&a), &len) == SOCKET_ERROR)
        return 0;
    return ntohs(a.sin_port);
}

int pendingError(Handle h) {
    int error = 0;
    int len = sizeof error;
    if (getsockopt(sock(h), SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &len) == SOCKET_ERROR)
        return WSAGetLastError();
    return error;
}

bool connectSettled(Handle h) {
    // A failed attempt shows in the exception set, a made one in the write set.
    fd_set writable;
    fd_set failed;
    FD_ZERO(&writable);
    FD_ZERO(&failed);
    FD_SET(sock(h), &writable);
    FD_SET(sock(h), &failed);
    timeval now{0, 0};
    return select(0, nullptr, &writable, &failed, &now) > 0;
}

// Windows does not tell the length of the send queue; the caller counts the
// bytes send() accepted instead (see kSendQueueBytes).
long sendQueueBytes(Handle) { return -1; }

// FD_WRITE follows only a send that would block, so a send must find out.
bool sendWouldBlock(Handle) { return false; }

int lookupIPv4(const std::string& name, std::vector<std::uint32_t>& addresses) {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* result = nullptr;
    // The result codes are socket error numbers already (11001 and on).
    const int rc = ::getaddrinfo(name.c_str(), nullptr, &hints, &result);
    if (rc != 0)
        return rc == EAI_MEMORY ? WSAENOBUFS : rc;
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

} // namespace fb::sock::native
