#pragma once
// A non-blocking TCP socket whose events reach its owner on the thread that
// created it, through the Qt event loop. One object serves a run of
// consecutive sockets: close() drops the current one, open() makes the next.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>

class QObject;
class QSocketNotifier;

namespace fb::sock {

class Socket {
public:
    // event is one of FD_READ, FD_WRITE, FD_ACCEPT, FD_CONNECT, FD_CLOSE;
    // error is 0 or a socket error number.
    using Handler = std::function<void(int event, int error)>;

    Socket();
    ~Socket();
    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;

    // A fresh stream socket; lingerOff makes close() drop the connection at
    // once. False (with lastError()) when no socket could be made.
    bool open(bool lingerOff);
    bool isOpen() const { return fd_ != -1; }
    int handle() const { return static_cast<int>(fd_); }

    // Which events the handler is told about (the FD_ codes or-ed together).
    void asyncSelect(Handler handler, int events);

    // Starts a connection. Returns -1 with WSAEWOULDBLOCK while it is under
    // way; its outcome, refusal included, arrives as FD_CONNECT.
    int connect(std::uint32_t addressNet, std::uint16_t portNet);
    // Byte counts, or -1 with lastError(). A receive of 0 means the peer closed.
    long send(const char* data, std::size_t size);
    long recv(char* data, std::size_t size, bool peek);
    // A receive that does not ask for the next FD_READ, for a reader that
    // keeps reading until the socket would block; it calls wantRead()
    // before it waits.
    long receive(char* data, std::size_t size);
    void wantRead() { armRead(); }
    int close();

    // Minimal listening side.
    int listen(std::uint32_t addressNet, std::uint16_t portNet, int backlog);
    int accept(); // a connected handle, or -1
    std::uint16_t localPort() const;

    // Bytes handed to send() that the peer has not yet acknowledged, or -1
    // when the system cannot tell (Windows: bytes accepted by send() then
    // count as taken).
    long sendQueueBytes() const;

    // After a send that would block: one FD_WRITE once there is room again.
    void notifyWritable();
    // True when a send on the connected socket would block now: no room
    // (what FD_WRITE waits for) and no error or hang-up that the send should
    // report. Asked of the system without waiting; false where it cannot tell
    // (Windows: the send itself then finds out, and FD_WRITE follows it).
    bool sendWouldBlock() const;

private:
    long receiveWith(char* data, std::size_t size, bool peek, bool askForNextRead);
    enum class State { Closed, Fresh, Connecting, Connected, Listening, Ended };
    void armRead();
    void onReadable();
    void onWritable();
    void deliver(int event, int error);
#ifdef _WIN32
    void pollConnect(unsigned generation);
#endif

    std::intptr_t fd_ = -1; // the system's handle (a SOCKET on Windows)
    State state_ = State::Closed;
    int events_ = 0;
    bool writeWanted_ = false;
    unsigned generation_ = 0;
    Handler handler_;
    std::unique_ptr<QObject> context_;
    QSocketNotifier* readNotifier_ = nullptr;
    QSocketNotifier* writeNotifier_ = nullptr;
};

} // namespace fb::sock
