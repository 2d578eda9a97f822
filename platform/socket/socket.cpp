#include "platform/socket/socket.h"

#include "platform/socket/native.h"
#include "platform/socket/winsock.h"

#include <QMetaObject>
#include <QObject>
#include <QSocketNotifier>
#ifdef _WIN32
#include <QTimer>
#endif

namespace fb::sock {

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
    if (fd_ != native::kNone)
        close();
}

bool Socket::open(bool lingerOff) {
    if (fd_ != native::kNone)
        close();
    const native::Handle fd = native::openStream(lingerOff);
    if (fd == native::kNone)
        return false;
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
    if (fd_ == native::kNone) {
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
    if (native::connectTo(fd_, addressNet, portNet) == 0) {
        // Loopback may connect at once; the owner still learns it as an event.
        state_ = State::Connecting;
        writeNotifier_->setEnabled(true);
#ifdef _WIN32
        pollConnect(generation_);
#endif
        setLastError(WSAEWOULDBLOCK);
        return -1;
    }
    const int e = lastError();
    if (e == WSAEWOULDBLOCK || e == WSAEINPROGRESS || e == WSAEINTR) {
        state_ = State::Connecting;
        writeNotifier_->setEnabled(true);
#ifdef _WIN32
        pollConnect(generation_);
#endif
        setLastError(WSAEWOULDBLOCK);
        return -1;
    }
    if (e == WSAECONNREFUSED || e == WSAENETUNREACH || e == WSAEHOSTUNREACH || e == WSAETIMEDOUT ||
        e == WSAECONNRESET) {
        // The outcome of a connection attempt is an event, also when the
        // kernel knows it at once.
        state_ = State::Ended;
        const int error = e;
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
    return -1;
}

long Socket::send(const char* data, std::size_t size) {
    if (fd_ == native::kNone) {
        setLastError(WSAENOTSOCK);
        return -1;
    }
    if (state_ != State::Connected) {
        setLastError(WSAENOTCONN);
        return -1;
    }
    return native::sendSome(fd_, data, size);
}

long Socket::recv(char* data, std::size_t size, bool peek) {
    // Like the Windows library: a receive asks for the next FD_READ.
    return receiveWith(data, size, peek, true);
}

long Socket::receive(char* data, std::size_t size) { return receiveWith(data, size, false, false); }

long Socket::receiveWith(char* data, std::size_t size, bool peek, bool askForNextRead) {
    if (fd_ == native::kNone) {
        setLastError(WSAENOTSOCK);
        return -1;
    }
    if (state_ != State::Connected && state_ != State::Ended) {
        setLastError(WSAENOTCONN);
        return -1;
    }
    const long result = native::receiveSome(fd_, data, size, peek);
    if (askForNextRead)
        armRead();
    return result;
}

int Socket::close() {
    if (fd_ == native::kNone) {
        setLastError(WSAENOTSOCK);
        return -1;
    }
    readNotifier_->setEnabled(false);
    writeNotifier_->setEnabled(false);
    readNotifier_->setSocket(-1);
    writeNotifier_->setSocket(-1);
    const native::Handle fd = fd_;
    fd_ = native::kNone;
    state_ = State::Closed;
    writeWanted_ = false;
    ++generation_; // outcomes posted for the old socket must not reach the next one
    return native::closeHandle(fd);
}

int Socket::listen(std::uint32_t addressNet, std::uint16_t portNet, int backlog) {
    if (fd_ == native::kNone) {
        setLastError(WSAENOTSOCK);
        return -1;
    }
    if (native::bindAndListen(fd_, addressNet, portNet, backlog) < 0)
        return -1;
    state_ = State::Listening;
    armRead();
    return 0;
}

int Socket::accept() {
    if (fd_ == native::kNone) {
        setLastError(WSAENOTSOCK);
        return -1;
    }
    const native::Handle fd = native::acceptOne(fd_);
    armRead();
    return fd == native::kNone ? -1 : static_cast<int>(fd);
}

std::uint16_t Socket::localPort() const {
    return fd_ == native::kNone ? 0 : native::localPort(fd_);
}

long Socket::sendQueueBytes() const {
    return fd_ == native::kNone ? -1 : native::sendQueueBytes(fd_);
}

bool Socket::sendWouldBlock() const {
    if (fd_ == native::kNone || state_ != State::Connected)
        return false;
    return native::sendWouldBlock(fd_);
}

void Socket::notifyWritable() {
    if (fd_ == native::kNone || state_ != State::Connected)
        return;
    writeWanted_ = true;
    writeNotifier_->setEnabled(true);
}

void Socket::armRead() {
    if (fd_ != native::kNone && (state_ == State::Connected || state_ == State::Listening))
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
    const long n = native::receiveSome(fd_, &probe, 1, true);
    if (n < 0 && (lastError() == WSAEWOULDBLOCK || lastError() == WSAEINTR))
        return;
    // Level-triggered readiness would repeat until someone reads; the Windows
    // library sends one FD_READ per receive, and so do we.
    readNotifier_->setEnabled(false);
    if (n > 0) {
        deliver(FD_READ, 0);
    } else {
        // The peer closed (or reset) and nothing is left to read.
        state_ = State::Ended;
        deliver(FD_CLOSE, n == 0 ? 0 : lastError());
    }
}

void Socket::onWritable() {
    if (state_ == State::Connecting) {
        writeNotifier_->setEnabled(false);
        const int error = native::pendingError(fd_);
        if (error == 0) {
            state_ = State::Connected;
            armRead();
            deliver(FD_CONNECT, 0);
        } else {
            state_ = State::Ended;
            deliver(FD_CONNECT, error);
        }
        return;
    }
    writeNotifier_->setEnabled(false);
    if (writeWanted_) {
        writeWanted_ = false;
        deliver(FD_WRITE, 0);
    }
}

#ifdef _WIN32
// Beside the notifier, the attempt is looked at every few milliseconds: a
// refusal is not always signalled to it (Wine posts no FD_CONNECT for it),
// and the wait must still end. Only while connecting.
void Socket::pollConnect(unsigned generation) {
    if (generation != generation_ || state_ != State::Connecting)
        return;
    if (native::connectSettled(fd_)) {
        onWritable();
        return;
    }
    QTimer::singleShot(20, context_.get(), [this, generation] { pollConnect(generation); });
}
#endif

void Socket::deliver(int event, int error) {
    // The handler may close or reopen this socket; nothing here touches the
    // object after the call.
    if (handler_ && (events_ & event))
        handler_(event, error);
}

} // namespace fb::sock
