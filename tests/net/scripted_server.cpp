#include "tests/net/scripted_server.h"

#include <cerrno>
#include <stdexcept>
#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace nettest {

using Clock = std::chrono::steady_clock;

namespace {

#ifdef _WIN32
// The peer's thread needs the socket library whoever else has started it.
struct SocketLibrary {
    SocketLibrary() {
        WSADATA data;
        WSAStartup(MAKEWORD(2, 2), &data);
    }
} socketLibrary;
constexpr int kNoSignal = 0;
constexpr int kCloexec = 0;
int closeSocket(int fd) { return ::closesocket(static_cast<SOCKET>(fd)); }
int pollSockets(pollfd* fds, unsigned n, int ms) { return ::WSAPoll(fds, n, ms); }
int acceptSocket(int fd) { return static_cast<int>(::accept(static_cast<SOCKET>(fd), nullptr, nullptr)); }
// The stop signal: a connected pair of loopback sockets, as WSAPoll takes no pipes.
bool makeStopPair(int ends[2]) {
    const SOCKET l = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int len = sizeof a;
    if (::bind(l, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::listen(l, 1) != 0 ||
        ::getsockname(l, reinterpret_cast<sockaddr*>(&a), &len) != 0) {
        ::closesocket(l);
        return false;
    }
    const SOCKET w = ::socket(AF_INET, SOCK_STREAM, 0);
    const bool connected = ::connect(w, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    const SOCKET r = connected ? ::accept(l, nullptr, nullptr) : INVALID_SOCKET;
    ::closesocket(l);
    ends[0] = static_cast<int>(r);
    ends[1] = static_cast<int>(w);
    return r != INVALID_SOCKET;
}
long signalStop(int fd) { return ::send(static_cast<SOCKET>(fd), "x", 1, 0); }
#else
constexpr int kNoSignal = MSG_NOSIGNAL;
constexpr int kCloexec = SOCK_CLOEXEC;
int closeSocket(int fd) { return ::close(fd); }
int pollSockets(pollfd* fds, unsigned n, int ms) { return ::poll(fds, n, ms); }
int acceptSocket(int fd) { return ::accept4(fd, nullptr, nullptr, SOCK_CLOEXEC); }
bool makeStopPair(int ends[2]) { return ::pipe2(ends, O_CLOEXEC) == 0; }
long signalStop(int fd) { return ::write(fd, "x", 1); }
#endif

pollfd polled(int fd) {
    pollfd p{};
    p.fd = fd;
    p.events = POLLIN;
    return p;
}

int remainingMs(Clock::time_point end) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now()).count();
    return left < 0 ? 0 : static_cast<int>(left);
}

std::size_t announcedLength(const std::string& header) {
    std::string lower;
    for (char c : header)
        lower.push_back(static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c));
    std::size_t p = lower.find("\ncontent-length:");
    if (p == std::string::npos)
        return 0;
    return static_cast<std::size_t>(std::strtoull(header.c_str() + p + 16, nullptr, 10));
}

} // namespace

bool Peer::readSome(std::chrono::milliseconds limit) {
    pollfd fds[2] = {polled(fd_), polled(stopFd_)};
    // Data that has arrived is taken even when the stop is already signalled.
    if (pollSockets(fds, 2, static_cast<int>(limit.count())) <= 0 || !(fds[0].revents & (POLLIN | POLLHUP | POLLERR)))
        return false;
    char buffer[65536];
    const long n = ::recv(fd_, buffer, sizeof buffer, 0);
    if (n <= 0)
        return false;
    received_.append(buffer, static_cast<std::size_t>(n));
    return true;
}

bool Peer::readRequest(std::chrono::milliseconds limit) {
    auto end = Clock::now() + limit;
    std::size_t headerEnd;
    while ((headerEnd = received_.find("\r\n\r\n")) == std::string::npos)
        if (!readSome(std::chrono::milliseconds(remainingMs(end))))
            return false;
    std::size_t want = headerEnd + 4 + announcedLength(received_.substr(0, headerEnd + 2));
    while (received_.size() < want)
        if (!readSome(std::chrono::milliseconds(remainingMs(end))))
            return false;
    return true;
}

void Peer::readLine(std::chrono::milliseconds limit) {
    auto end = Clock::now() + limit;
    while (received_.find('\n') == std::string::npos)
        if (!readSome(std::chrono::milliseconds(remainingMs(end))))
            return;
}

void Peer::readBytes(std::size_t count, std::chrono::milliseconds limit) {
    auto end = Clock::now() + limit;
    while (received_.size() < count)
        if (!readSome(std::chrono::milliseconds(remainingMs(end))))
            return;
}

void Peer::readUntilClosed(std::chrono::milliseconds limit) {
    auto end = Clock::now() + limit;
    while (remainingMs(end) > 0 && readSome(std::chrono::milliseconds(remainingMs(end)))) {
    }
}

void Peer::send(const std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const long n = ::send(fd_, bytes.data() + done, static_cast<int>(bytes.size() - done), kNoSignal);
        if (n <= 0)
            return;
        done += static_cast<std::size_t>(n);
    }
}

void Peer::pause(std::chrono::milliseconds ms) { std::this_thread::sleep_for(ms); }

void Peer::resetOnClose() {
    linger l{};
    l.l_onoff = 1;
    l.l_linger = 0;
    ::setsockopt(fd_, SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&l), sizeof l);
}

void ScriptedServer::setReceiveBuffer(int bytes) {
    ::setsockopt(listenFd_, SOL_SOCKET, SO_RCVBUF, reinterpret_cast<const char*>(&bytes), sizeof bytes);
}

void Peer::waitForStop(std::chrono::milliseconds limit) {
    pollfd fd = polled(stopFd_);
    pollSockets(&fd, 1, static_cast<int>(limit.count()));
}

ScriptedServer::ScriptedServer(std::vector<Script> scripts) : scripts_(std::move(scripts)) {
    listenFd_ = static_cast<int>(::socket(AF_INET, SOCK_STREAM | kCloexec, 0));
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::bind(listenFd_, reinterpret_cast<sockaddr*>(&a), sizeof a) < 0 || ::listen(listenFd_, 16) < 0)
        throw std::runtime_error("scripted server cannot listen");
    socklen_t len = sizeof a;
    ::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&a), &len);
    port_ = ntohs(a.sin_port);
    if (!makeStopPair(stopPipe_))
        throw std::runtime_error("scripted server: no pipe");
    thread_ = std::thread([this] { run(); });
}

ScriptedServer::~ScriptedServer() {
    stop();
    closeSocket(stopPipe_[0]);
    closeSocket(stopPipe_[1]);
}

void ScriptedServer::stop() {
    if (!thread_.joinable())
        return;
    (void)!signalStop(stopPipe_[1]);
    thread_.join();
    closeSocket(listenFd_);
}

std::string ScriptedServer::url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(port_) + path;
}

std::vector<std::string> ScriptedServer::requests() {
    std::lock_guard<std::mutex> lock(mutex_);
    return received_;
}

void ScriptedServer::run() {
    for (auto& script : scripts_) {
        pollfd fds[2] = {polled(listenFd_), polled(stopPipe_[0])};
        if (pollSockets(fds, 2, 20000) <= 0 || !(fds[0].revents & POLLIN))
            return;
        const int fd = acceptSocket(listenFd_);
        if (fd < 0)
            return;
        int one = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&one), sizeof one);
        ++accepted_;
        std::string received;
        Peer peer(fd, stopPipe_[0], received);
        script(peer);
        closeSocket(fd);
        std::lock_guard<std::mutex> lock(mutex_);
        received_.push_back(received);
    }
}

std::uint16_t closedPort() {
    const int fd = static_cast<int>(::socket(AF_INET, SOCK_STREAM | kCloexec, 0));
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    socklen_t len = sizeof a;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    closeSocket(fd);
    return ntohs(a.sin_port);
}

Script answer(std::string response) {
    return [response](Peer& p) {
        p.readRequest();
        p.send(response);
    };
}

Script answerInPieces(std::vector<std::string> pieces, std::chrono::milliseconds gap) {
    return [pieces, gap](Peer& p) {
        p.readRequest();
        for (std::size_t i = 0; i < pieces.size(); ++i) {
            if (i)
                p.pause(gap);
            p.send(pieces[i]);
        }
    };
}

} // namespace nettest
