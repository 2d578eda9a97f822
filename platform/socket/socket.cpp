#include "platform/socket/socket.h"

#include "platform/socket/winsock.h"

#include <QMetaObject>
#include <QObject>
#include <QSocketNotifier>

#include <cerrno>
#include <fcntl.h>
#include <linux/sockios.h>
#include <sys/ioctl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace fb::sock {

namespace {
int fail() {
    setLastError(errnoToWsa(errno));
    return -1;
}
} // namespace

Socket::Socket() : context_(std::make_unique<QObject>()) {
    // The notifiers live as long as this object; only their socket changes,
    // so a close from inside a notification never deletes the sender.
    readNotifier_ = new QSocketNotifier(QSocketNotifier::Read, context_.get());
    writeNotifier_ = new QSocketNotifier(QSocketNotifier::Write, context_.get());
    readNotifier_->setEnabled(false);
    writeNotifier_->setEnabled(false);
    QObject::connect(readNotifier_, &QSocketNotifier::activated, context_.get(), [this] { onReadable(); });
    QObject::connect(writeNotifier_, &QSocketNotifier::activated, context_.get(), [this] { onWritable(); });
}

Socket::~Socket() {
    if (fd_ >= 0)
        close();
}

bool Socket::open(bool lingerOff) {
    if (fd_ >= 0)
        close();
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        fail();
        return false;
    }
    if (lingerOff) {
        linger l{};
        l.l_onoff = 1;
        l.l_linger = 0;
        ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &l, sizeof l);
    }
    fd_ = fd;
    state_ = State::Fresh;
    writeWanted_ = false;
    readNotifier_->setSocket(fd_);
    writeNotifier_->setSocket(fd_);
    return true;
}

void Socket::asyncSelect(Handler handler, int events) {
    handler_ = std::move(handler);
    events_ = events;
}

int Socket::connect(std::uint32_t addressNet, std::uint16_t portNet) {
    if (fd_ < 0) {
        setLastError(WSAENOTSOCK);
        return -1;
    }
    if (state_ == State::Connected) {
        setLastError(WSAEISCONN);
        return -1;
    }
    if (state_ == State::Connecting) {
        setLastError(WSAEALREADY);
        return -1;
    }
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = portNet;
    a.sin_addr.s_addr = addressNet;
    int rc = ::connect(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a);
    if (rc == 0) {
        // Loopback may connect at once; the owner still learns it as an event.
        state_ = State::Connecting;
        writeNotifier_->setEnabled(true);
        setLastError(WSAEWOULDBLOCK);
        return -1;
    }
    int e = errno;
    if (e == EINPROGRESS || e == EINTR) {
        state_ = State::Connecting;
        writeNotifier_->setEnabled(true);
        setLastError(WSAEWOULDBLOCK);
        return -1;
    }
    if (e == ECONNREFUSED || e == ENETUNREACH || e == EHOSTUNREACH || e == ETIMEDOUT || e == ECONNRESET) {
        // The outcome of a connection attempt is an event, also when the
        // kernel knows it at once.
        state_ = State::Ended;
        int error = errnoToWsa(e);
        QMetaObject::invokeMethod(
            context_.get(),
            [this, error, generation = generation_] {
                if (generation == generation_)
                    deliver(FD_CONNECT, error);
            },
            Qt::QueuedConnection);
        setLastError(WSAEWOULDBLOCK);
        return -1;
    }
    return fail();
}

long Socket::send(const char* data, std::size_t size) {
    if (fd_ < 0) {
        setLastError(WSAENOTSOCK);
        return -1;
    }
    if (state_ != State::Connected) {
        setLastError(WSAENOTCONN);
        return -1;
    }
    ssize_t n = ::send(fd_, data, size, MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n < 0)
        return fail();
    return static_cast<long>(n);
}

long Socket::recv(char* data, std::size_t size, bool peek) {
    // Like the Windows library: a receive asks for the next FD_READ.
    return receiveWith(data, size, peek ? MSG_PEEK : 0, true);
}

long Socket::receive(char* data, std::size_t size) { return receiveWith(data, size, 0, false); }

long Socket::receiveWith(char* data, std::size_t size, int flags, bool askForNextRead) {
    if (fd_ < 0) {
        setLastError(WSAENOTSOCK);
        return -1;
    }
    if (state_ != State::Connected && state_ != State::Ended) {
        setLastError(WSAENOTCONN);
        return -1;
    }
    const ssize_t n = ::recv(fd_, data, size, MSG_DONTWAIT | flags);
    const long result = n < 0 ? fail() : static_cast<long>(n);
    if (askForNextRead)
        armRead();
    return result;
}

int Socket::close() {
    if (fd_ < 0) {
        setLastError(WSAENOTSOCK);
        return -1;
    }
    readNotifier_->setEnabled(false);
    writeNotifier_->setEnabled(false);
    readNotifier_->setSocket(-1);
    writeNotifier_->setSocket(-1);
    int fd = fd_;
    fd_ = -1;
    state_ = State::Closed;
    writeWanted_ = false;
    ++generation_; // outcomes posted for the old socket must not reach the next one
    if (::close(fd) < 0)
        return fail();
    return 0;
}

int Socket::listen(std::uint32_t addressNet, std::uint16_t portNet, int backlog) {
    if (fd_ < 0) {
        setLastError(WSAENOTSOCK);
        return -1;
    }
    int one = 1;
    ::setsockopt(fd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = portNet;
    a.sin_addr.s_addr = addressNet;
    if (::bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) < 0)
        return fail();
    if (::listen(fd_, backlog) < 0)
        return fail();
    state_ = State::Listening;
    armRead();
    return 0;
}

int Socket::accept() {
    if (fd_ < 0) {
        setLastError(WSAENOTSOCK);
        return -1;
    }
    int fd = ::accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC);
    armRead();
    if (fd < 0)
        return fail();
    return fd;
}

std::uint16_t Socket::localPort() const {
    sockaddr_in a{};
    socklen_t len = sizeof a;
    if (fd_ < 0 || ::getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &len) < 0)
        return 0;
    return ntohs(a.sin_port);
}

long Socket::sendQueueBytes() const {
    int queued = 0;
    if (fd_ < 0 || ::ioctl(fd_, SIOCOUTQ, &queued) < 0)
        return -1;
    return queued;
}

bool Socket::sendWouldBlock() const {
    if (fd_ < 0 || state_ != State::Connected)
        return false;
    pollfd p{fd_, POLLOUT, 0};
    return ::poll(&p, 1, 0) == 0;
}

void Socket::notifyWritable() {
    if (fd_ < 0 || state_ != State::Connected)
        return;
    writeWanted_ = true;
    writeNotifier_->setEnabled(true);
}

void Socket::armRead() {
    if (fd_ >= 0 && (state_ == State::Connected || state_ == State::Listening))
        readNotifier_->setEnabled(true);
}

void Socket::onReadable() {
    if (state_ == State::Listening) {
        // One FD_ACCEPT until the next accept().
        readNotifier_->setEnabled(false);
        deliver(FD_ACCEPT, 0);
        return;
    }
    char probe;
    ssize_t n = ::recv(fd_, &probe, 1, MSG_PEEK | MSG_DONTWAIT);
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR))
        return;
    // Level-triggered readiness would repeat until someone reads; the Windows
    // library sends one FD_READ per receive, and so do we.
    readNotifier_->setEnabled(false);
    if (n > 0) {
        deliver(FD_READ, 0);
    } else {
        // The peer closed (or reset) and nothing is left to read.
        state_ = State::Ended;
        deliver(FD_CLOSE, n == 0 ? 0 : errnoToWsa(errno));
    }
}

void Socket::onWritable() {
    if (state_ == State::Connecting) {
        writeNotifier_->setEnabled(false);
        int error = 0;
        socklen_t len = sizeof error;
        if (::getsockopt(fd_, SOL_SOCKET, SO_ERROR, &error, &len) < 0)
            error = errno;
        if (error == 0) {
            state_ = State::Connected;
            armRead();
            deliver(FD_CONNECT, 0);
        } else {
            state_ = State::Ended;
            deliver(FD_CONNECT, errnoToWsa(error));
        }
        return;
    }
    writeNotifier_->setEnabled(false);
    if (writeWanted_) {
        writeWanted_ = false;
        deliver(FD_WRITE, 0);
    }
}

void Socket::deliver(int event, int error) {
    // The handler may close or reopen this socket; nothing here touches the
    // object after the call.
    if (handler_ && (events_ & event))
        handler_(event, error);
}

} // namespace fb::sock
