#include "net/psock.h"

#include "platform/socket/event_wait.h"

#include <QCoreApplication>
#include <QEventLoop>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <cstdint>
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

namespace fb {

namespace {

int winsockUsers = 0;

struct ErrorEntry {
    int number;
    const char* text;
};

// Searched in this order.
constexpr ErrorEntry errorTable[] = {
    {10004, "Interrupted system call"},
    {10009, "Bad file number"},
    {10013, "Permission denied"},
    {10014, "Bad address"},
    {10022, "Invalid argument"},
    {10024, "Too many open files"},
    {10035, "Operation would block"},
    {10036, "Operation now in progress"},
    {10037, "Operation already in progress"},
    {10038, "Socket operation on non-socket"},
    {10039, "Destination address required"},
    {10040, "Message too long"},
    {10041, "Wrong protocol type for socket"},
    {10042, "Bad protocol option"},
    {10043, "Protocol not supported"},
    {10044, "Socket type not supported"},
    {10045, "Operation not supported on socket"},
    {10046, "Protocol family not supported"},
    {10047, "Address family not supported by protocol family"},
    {10048, "Address already in use"},
    {10049, "Can't assign requested address"},
    {10050, "Network is down"},
    {10051, "Network is unreachable"},
    {10052, "Network dropped connection or reset"},
    {10053, "Software caused connection abort"},
    {10054, "Connection reset by peer"},
    {10055, "No buffer space available"},
    {10056, "Socket is already connected"},
    {10057, "Socket is not connected"},
    {10058, "Can't send after socket shutdown"},
    {10059, "Too many references, can't splice"},
    {10060, "Connection timed out"},
    {10061, "Connection refused"},
    {10062, "Too many levels of symbolic links"},
    {10063, "File name too long"},
    {10064, "Host is down"},
    {10065, "No route to Host"},
    {10066, "Directory not empty"},
    {10067, "Too many processes"},
    {10068, "Too many users"},
    {10069, "Disc quota exceeded"},
    {10070, "Stale NFS file handle"},
    {10071, "Too many levels of remote in path"},
    {10091, "Network subsystem is unavailable"},
    {10092, "Incompatible version of WINSOCK.DLL"},
    {10093, "Successful WSAStartup not yet performed"},
    {11001, "Host not found"},
    {11002, "Non-Authoritative Host not found"},
    {11003, "Non-Recoverable error: FORMERR, REFUSED, NOTIMP"},
    {11004, "Valid name, no data record of requested type"},
};

constexpr std::size_t chunkSize = 65536;
// A body kept in memory is received in larger pieces straight into the
// string: each receive takes more of what has queued up, with fewer calls
// (a 16 MiB body in a quarter of the receives).
constexpr std::size_t stringReceiveSize = 4 * chunkSize;
// Receives in a row before the capture lets the event loop run.
constexpr int burstChunks = 16;


// Runs the time-out's TimerOff however the wait ends.
template <class F> struct Finally {
    F f;
    ~Finally() { f(); }
};
template <class F> Finally(F) -> Finally<F>;

// The pages of a large body are new to the process: faulting them in with
// one call per receive spares a page fault every 4 KiB (pages already in
// cost the call only a look). Huge pages would
// spare more, but their first touch costs tens of milliseconds where the
// system gave free memory back to a virtual machine's host. Only advice:
// a system without it faults the pages in as the receive writes them.
void populateForReceive(char* data, std::size_t size) {
    // Whole pages around the range: they belong to the buffer's mapping.
    constexpr std::uintptr_t page = 4096;
    const std::uintptr_t begin = reinterpret_cast<std::uintptr_t>(data) & ~(page - 1);
    const std::uintptr_t end = (reinterpret_cast<std::uintptr_t>(data) + size + page - 1) & ~(page - 1);
    ::madvise(reinterpret_cast<void*>(begin), end - begin, MADV_POPULATE_WRITE);
}

std::string fileError(const char* what, const std::string& fileName, int e) {
    return std::string(what) + " \"" + fileName + "\". " + std::strerror(e);
}

} // namespace

// ---- TThreadTimer ----------------------------------------------------------

TThreadTimer::TThreadTimer(QObject* owner) : QObject(owner) {
    timer_.setTimerType(Qt::PreciseTimer);
    QObject::connect(&timer_, &QTimer::timeout, this, [this] {
        try {
            TimerExpired();
        } catch (...) {
            // A tick has nobody to report to; the waits read the flags it set.
        }
    });
}

TThreadTimer::~TThreadTimer() {
    Enabled = false;
    UpdateTimer();
}

void TThreadTimer::setInterval(std::uint32_t value) {
    if (value == Interval)
        return;
    Interval = value;
    UpdateTimer();
}

void TThreadTimer::setEnabled(bool value) {
    if (value == Enabled)
        return;
    Enabled = value;
    UpdateTimer();
}

void TThreadTimer::setOnTimer(TNotifyEvent handler) {
    OnTimer = std::move(handler);
    UpdateTimer();
}

void TThreadTimer::UpdateTimer() {
    timer_.stop();
    if (Interval != 0 && Enabled && OnTimer) {
        timer_.start(static_cast<int>(std::min<std::uint32_t>(Interval, 0x7FFFFFFF)));
        if (!timer_.isActive())
            throw Exception("No Timer");
    }
}

void TThreadTimer::TimerExpired() {
    if (OnTimer)
        OnTimer(this);
}

// ---- TPowersock: life cycle ------------------------------------------------

TPowersock::TPowersock(QObject* owner) : QObject(owner) {
    Status(8, "Create");
    IoBuffer.assign(IoBufferSize, '\0');
    HostEntry.reserve(1024 / sizeof(std::uint32_t));
    timer_ = std::make_unique<TThreadTimer>();
    timer_->setEnabled(false);
    timer_->setOnTimer([this](QObject*) { TimerFired(); });
    socket_ = std::make_unique<sock::Socket>();
    plain_ = std::make_unique<tls::PlainChannel>(*socket_);
    channel_ = plain_.get();
    lookup_ = std::make_unique<sock::HostLookup>();
    InitWinsock();
}

TPowersock::~TPowersock() {
    destroying_ = true;
    Status(8, "Destroy");
    try {
        Abort();
        Cancel();
    } catch (...) {
    }
    lookup_.reset(); // a lookup still running finishes into nothing
    timer_.reset();
    NoReopen = true;
    try {
        CloseSocket();
    } catch (...) {
    }
    --winsockUsers;
    if (winsockUsers == 0)
        sock::cleanup();
}

int TPowersock::WinsockUsers() { return winsockUsers; }

void TPowersock::InitWinsock() {
    Status(8, "Initializing Winsock");
    ++winsockUsers;
    try {
        if (winsockUsers == 1) {
            sock::startup(0x0101, WinsockData);
            auto version = [](std::uint16_t v) {
                return std::to_string(v >> 8) + "." + std::to_string(v & 0xFF);
            };
            WinsockInfo.push_back("Version= " + version(WinsockData.version));
            WinsockInfo.push_back("High Version= " + version(WinsockData.highVersion));
            WinsockInfo.push_back("Description= " + WinsockData.description);
            WinsockInfo.push_back("System= " + WinsockData.systemStatus);
            WinsockInfo.push_back("Max Sockets= " + std::to_string(WinsockData.maxSockets));
            WinsockInfo.push_back("Max Udp pack size= " + std::to_string(WinsockData.maxUdpDg));
        }
        openSocket(true);
    } catch (...) {
        --winsockUsers;
        if (winsockUsers == 0)
            sock::cleanup();
        throw ESockError("Initializaton of windows sockets failed");
    }
}

void TPowersock::openSocket(bool first) {
    // Only the first socket lingers for 0 s, so that closing it drops the
    // connection at once; the fresh ones after a close keep the default.
    if (!socket_->open(first)) {
        CheckError(sock::WSAEWOULDBLOCK);
        throw ESockError("Socket could not be created");
    }
    if (socket_->handle() >= sock::INVALID_SOCKET) {
        socket_->close();
        throw ESockError("Socket handle out of range");
    }
    socket_->asyncSelect([this](int event, int error) { HandleSocketMessage(event, error); },
                         sock::FD_READ | sock::FD_WRITE | sock::FD_OOB | sock::FD_ACCEPT |
                             sock::FD_CONNECT | sock::FD_CLOSE);
}

std::uint16_t TPowersock::SocketHandle() const {
    return socket_->isOpen() ? static_cast<std::uint16_t>(socket_->handle()) : sock::INVALID_SOCKET;
}

// ---- notifications, status, errors, time-out ---------------------------------

void TPowersock::HandleSocketMessage(int event, int error) {
    try {
        if (event == sock::FD_WRITE)
            return; // only wakes a send that waits for room
        Succeeded = error == 0;
        switch (event) {
        case sock::FD_READ:
            if (OnReadReady) {
                try {
                    OnReadReady(this);
                } catch (...) {
                }
            }
            break;
        case sock::FD_ACCEPT:
            Connected = true;
            if (OnAcceptReady)
                OnAcceptReady(this);
            break;
        case sock::FD_CONNECT:
            if (Succeeded) {
                Connected = true;
                if (OnConnect)
                    OnConnect(this);
            }
            break;
        case sock::FD_CLOSE:
            // A close with an error (a reset) is kept for the reader, which
            // may only find the replacement socket and must not take the
            // loss for the end of the data.
            if (error != 0)
                pendingError_ = error;
            // With data still waiting the reader sees the end itself.
            if (!DataAvailable())
                CloseSocket();
            break;
        default:
            break;
        }
    } catch (...) {
    }
}

void TPowersock::Status(int level, const std::string& text) {
    if (level > ReportLevel)
        return;
    LastStatus = text;
    if (!destroying_ && OnStatus) {
        try {
            OnStatus(this, text);
        } catch (...) {
        }
    }
}

std::string TPowersock::ErrorText(int errorNo) {
    Status(8, "Looking Up Error Message");
    for (const auto& entry : errorTable)
        if (entry.number == errorNo)
            return std::to_string(errorNo) + ":" + entry.text;
    return "Unknown Error No. " + std::to_string(errorNo);
}

std::string TPowersock::CheckError(int tolerated) {
    LastErrorNo = sock::lastError();
    if (LastErrorNo != tolerated && LastErrorNo > 10000) {
        std::string message = ErrorText(LastErrorNo);
        if (OnSocketError)
            OnSocketError(this, static_cast<std::uint16_t>(LastErrorNo), message);
        throw ESockError(message);
    }
    return std::string();
}

long long TPowersock::peerTaken() const { return channel_->peerTaken(); }

void TPowersock::TimerOn() {
    Status(8, "Timer On");
    TimedOut = false;
    takenAtTick_ = peerTaken();
    if (TimeOut < 0)
        throw ESockError("Negative TimeOut");
    // Off first, so that every TimerOn starts the full countdown anew.
    timer_->setEnabled(false);
    timer_->setInterval(static_cast<std::uint32_t>(TimeOut));
    timer_->setEnabled(true);
}

void TPowersock::TimerOff() {
    Status(8, "Timer Off");
    timer_->setEnabled(false);
}

void TPowersock::TimerFired() {
    // A peer that keeps taking bytes of what we sent is slow, not gone (an
    // upload drains while we send, and while we wait for the answer): the
    // countdown starts again.
    long long taken = peerTaken();
    if (taken > takenAtTick_) {
        takenAtTick_ = taken;
        return;
    }
    Status(8, "Timer Triggered");
    TimerOff();
    TimedOut = true;
    AsyncDone = true;
    Abort();
}

void TPowersock::processPending() { QCoreApplication::processEvents(QEventLoop::AllEvents); }

void TPowersock::waitForEvent() {
    // Sleeps until a socket, timer or user event arrives, then handles it.
    sock::waitForEvents();
}

// ---- connecting and closing --------------------------------------------------

void TPowersock::Abort() {
    Status(8, "Abort");
    Cancel();
}

void TPowersock::Cancel() {
    Status(8, "Canceling");
    Canceled = true;
}

bool TPowersock::DataAvailable() {
    Status(8, "Data Available");
    char probe;
    return channel_->recv(&probe, 1, true) > 0;
}

void TPowersock::lookupDone(int error, const std::vector<std::uint32_t>& addresses) {
    Succeeded = error == 0;
    LastErrorNo = error;
    HostEntry = addresses;
    AsyncDone = true;
}

void TPowersock::ResolveHost() {
    Status(8, "Resolve Host");
    const std::string& name = Proxy.empty() ? Host : Proxy;
    std::uint32_t address = sock::inetAddr(name);
    if (address != sock::INADDR_NONE_VALUE) {
        remoteAddr_ = address;
        return;
    }
    remoteAddr_ = 0;
    TimerOn();
    AsyncDone = false;
    HostEntry.clear();
    lookup_->start(name, [this](int error, const std::vector<std::uint32_t>& addresses) {
        lookupDone(error, addresses);
    });
    while (!AsyncDone && !TimedOut && !Canceled)
        waitForEvent();
    TimerOff();
    bool finished = !lookup_->running();
    lookup_->abandon();
    if (TimedOut)
        throw ESockError("Host Lookup Timed Out");
    if (Canceled || !finished)
        throw ESockError("Host Lookup Canceled");
    if (!Succeeded || HostEntry.empty())
        throw ESockError("Host Lookup Failed");
    remoteAddr_ = HostEntry.front();
    if (OnHostResolved)
        OnHostResolved(this);
}

void TPowersock::Connect() {
    Status(8, "Connecting");
    Canceled = false;
    if (Connected)
        throw ESockError("Already connected");
    if (UseTls && !Proxy.empty())
        throw ESockError("HTTPS through a proxy is not supported");
    pendingError_ = 0;
    plain_->restart();
    int attempts = 0;
    for (;;) {
        try {
            ResolveHost();
        } catch (const ESockError& e) {
            std::string m = e.message();
            if (m == "Host Lookup Timed Out" || m == "Host Lookup Canceled")
                throw;
            // Any other failure leaves the address 0.
        }
        if (remoteAddr_ != 0)
            break;
        if (attempts > 0 || !OnInvalidHost)
            throw ESockError("Null Remote Address");
        bool handled = false;
        OnInvalidHost(handled);
        if (!handled)
            throw ESockError("Null Remote Address");
        ++attempts;
    }
    int port = Proxy.empty() ? Port : ProxyPort;
    remotePort_ = sock::htonsValue(static_cast<std::uint16_t>(port & 0xFFFF));

    AsyncDone = false;
    Succeeded = true;
    if (socket_->connect(remoteAddr_, remotePort_) < 0 && sock::lastError() != sock::WSAEWOULDBLOCK)
        CheckError(sock::WSAEWOULDBLOCK);

    TimerOn();
    while (!Connected && !TimedOut && !Canceled && Succeeded)
        waitForEvent();
    TimerOff();
    if (TimedOut || Canceled || !Succeeded) {
        if (OnConnectionFailed)
            OnConnectionFailed(this);
        if (TimedOut)
            throw ESockError("Connection Timed out");
        if (Canceled)
            throw ESockError("Connection Canceled");
        throw ESockError("Connection Failed");
    }
    if (UseTls)
        SecureConnection();
}

void TPowersock::SecureConnection() {
    tls_ = tls::openSession(*socket_, Host, TlsTrust);
    tls::Session* session = tls_.get();
    // Until the handshake is done the transport's own notifications (a
    // close, a reset) see the plain socket; nothing of ours is sent on it.
    std::string message;
    const char* why = nullptr;
    TimerOn();
    for (;;) {
        tls::Step step = session->handshake();
        if (step == tls::Step::Done)
            break;
        if (step == tls::Step::Failed) {
            message = "TLS handshake failed: " + session->detail();
            why = session->reason();
            break;
        }
        if (step == tls::Step::WantRead)
            socket_->wantRead();
        else
            socket_->notifyWritable();
        waitForEvent();
        // The close notification may have closed the socket under us.
        if (!Connected || tls_.get() != session) {
            message = "TLS handshake failed: the server closed the connection";
            why = tls::reason::Broken;
            break;
        }
        if (TimedOut || Canceled) {
            message = TimedOut ? "Connection Timed out" : "Connection Canceled";
            why = TimedOut ? tls::reason::TimedOut : tls::reason::Canceled;
            break;
        }
    }
    TimerOff();
    if (why) {
        if (OnConnectionFailed)
            OnConnectionFailed(this);
        Canceled = false;
        throw ETlsError(message, why);
    }
    channel_ = session;
}

void TPowersock::Disconnect() {
    Status(8, "Disconnecting");
    pendingError_ = 0;
    CloseSocket();
}

void TPowersock::CloseSocket() {
    Status(4, "Request Close Socket");
    Connected = false;
    // The secure session goes first: its close message still needs the socket.
    channel_ = plain_.get();
    tls_.reset();
    if (!socket_->isOpen())
        return;
    if (socket_->close() < 0)
        CheckError(sock::WSAEWOULDBLOCK);
    if (!destroying_ && OnDisconnect)
        OnDisconnect(this);
    // Always hold an unconnected socket ready for the next Connect.
    if (!NoReopen)
        openSocket(false);
}

void TPowersock::Listen(std::uint16_t port) {
    if (socket_->listen(sock::inetAddr("127.0.0.1"), sock::htonsValue(port), 5) < 0)
        CheckError(sock::WSAEWOULDBLOCK);
}

std::uint16_t TPowersock::Accept() {
    Status(4, "Accepting");
    Canceled = false;
    Succeeded = false;
    TimerOn();
    while (!Connected && !Canceled && !TimedOut)
        waitForEvent();
    TimerOff();
    if (Canceled) {
        Canceled = false;
        throw ESockError("Accepting Canceled");
    }
    if (!Succeeded)
        throw ESockError("Error creating Data Connection");
    Connected = false; // the listening socket itself stays unconnected
    int handle = socket_->accept();
    if (handle < 0) {
        CheckError(sock::WSAEWOULDBLOCK);
        throw ESockError("Error creating Data Connection");
    }
    if (handle >= sock::INVALID_SOCKET) {
        ::close(handle);
        throw ESockError("Error creating Data Connection");
    }
    return static_cast<std::uint16_t>(handle);
}

bool TPowersock::endOfData(int error) {
    // Only "not connected" ends the data (the close notification has closed
    // the socket already), and only when that close was an orderly one.
    if (error == sock::WSAECONNRESET || (error == sock::WSAENOTCONN && pendingError_ != 0)) {
        if (error == sock::WSAECONNRESET)
            pendingError_ = error;
        sock::setLastError(pendingError_);
        CheckError(sock::WSAEWOULDBLOCK);
    }
    return error == sock::WSAENOTCONN;
}

// ---- writing -----------------------------------------------------------------

bool TPowersock::sendAll(const char* data, std::size_t size, bool countSent) {
    std::size_t done = 0;
    auto waitForRoom = [this] {
        sendsInARow_ = 0;
        channel_->notifyWritable();
        waitForEvent();
    };
    while (done < size && !Canceled) {
        // A file goes out only while the socket has room, instead of filling
        // the send queue to its last byte and waiting after a send that
        // would block: on loopback to a server that reads fast, the upload
        // is then up to a tenth quicker.
        if (countSent && channel_->sendWouldBlock()) {
            waitForRoom();
            continue;
        }
        long n = channel_->send(data + done, size - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            if (countSent) {
                BytesSent += static_cast<std::int32_t>(n);
                if (OnPacketSent)
                    OnPacketSent(this);
                // While the peer takes all, the event loop runs every few
                // sends; a send that would block waits in it anyway.
                if (++sendsInARow_ >= burstChunks) {
                    sendsInARow_ = 0;
                    processPending();
                }
            }
        } else if (n == 0) {
            break;
        } else {
            // A reset that the close notification saw first has left only a
            // fresh, unconnected socket: the send reports the reset.
            if (sock::lastError() == sock::WSAENOTCONN && pendingError_ != 0)
                sock::setLastError(pendingError_);
            CheckError(sock::WSAEWOULDBLOCK); // raises for anything but "would block"
            waitForRoom();
        }
    }
    return !Canceled;
}

void TPowersock::Write(const std::string& text) {
    Status(8, "Write");
    std::size_t n = std::min(text.size(), chunkSize);
    std::memcpy(IoBuffer.data(), text.data(), n);
    IoBuffer[n] = '\0';
    SendBuffer(IoBuffer.data(), 0);
}

void TPowersock::Writeln(const std::string& text) {
    Status(8, "Writeln");
    Write(text + "\r\n");
}

void TPowersock::SendBuffer(const char* buffer, std::uint16_t length) {
    Status(4, "Sending Buffer");
    TimerOn();
    {
        Finally off{[this] { TimerOff(); }};
        if (!Canceled) {
            std::size_t size = length;
            if (length == 0) {
                size = ::strnlen(buffer, chunkSize + 1);
                if (size > 65535)
                    throw ESockError("Text too long to send (more than 65535 bytes)");
            }
            sendAll(buffer, size, false);
        }
    }
    if (Canceled) {
        Canceled = false;
        throw EAbortError("Socket send aborted");
    }
}

void TPowersock::SendFile(const std::string& fileName) {
    Status(8, "SendFile");
    int fd = ::open(fileName.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        throw Exception(fileError("Cannot open file", fileName, errno));
    {
        Finally closeFile{[fd] { ::close(fd); }};
        // One countdown for the whole file; it starts again while the peer
        // takes bytes (TimerFired).
        TimerOn();
        Finally off{[this] { TimerOff(); }};
        while (!Canceled) {
            ssize_t n = ::read(fd, IoBuffer.data(), chunkSize);
            if (n < 0) {
                if (errno == EINTR)
                    continue;
                throw Exception(fileError("Read error on file", fileName, errno));
            }
            if (n == 0)
                break;
            sendAll(IoBuffer.data(), static_cast<std::size_t>(n), true);
        }
    }
    if (Canceled) {
        Canceled = false;
        throw EAbortError("Socket send aborted");
    }
}

// ---- reading -----------------------------------------------------------------

std::string TPowersock::ReadLn() {
    Status(8, "ReadLn");
    TimerOn();
    Finally off{[this] { TimerOff(); }};
    std::string result;
    auto tooLong = [this] {
        return ESockError("Line too long (more than " + std::to_string(MaxLineLength) + " bytes)");
    };
    // Takes exactly count bytes that a peek has shown.
    auto take = [this](std::size_t count) {
        std::size_t got = 0;
        while (got < count) {
            long n = channel_->recv(IoBuffer.data() + got, count - got, false);
            if (n <= 0) {
                CheckError(sock::WSAEWOULDBLOCK);
                break;
            }
            got += static_cast<std::size_t>(n);
        }
        return got;
    };
    for (;;) {
        if (Canceled) {
            Canceled = false;
            throw EAbortError("Socket readln aborted");
        }
        long n = channel_->recv(IoBuffer.data(), chunkSize, true);
        if (n == 0 && endOfData(sock::WSAENOTCONN))
            return std::string();
        if (n < 0) {
            LastErrorNo = sock::lastError();
            if (endOfData(LastErrorNo))
                return std::string();
            CheckError(sock::WSAEWOULDBLOCK);
            waitForEvent();
            continue;
        }
        const char* lf = static_cast<const char*>(std::memchr(IoBuffer.data(), '\n', static_cast<std::size_t>(n)));
        std::size_t count = lf ? static_cast<std::size_t>(lf - IoBuffer.data()) + 1 : static_cast<std::size_t>(n);
        if (result.size() + count > MaxLineLength)
            throw tooLong();
        std::size_t got = take(count);
        result.append(IoBuffer.data(), got);
        if (lf && got == count)
            return result;
        processPending();
    }
}

void TPowersock::captureChunks(const std::function<std::pair<char*, std::size_t>()>& room,
                               const std::function<void(std::size_t)>& took) {
    BytesRecvd = 0;
    TimerOn();
    Finally off{[this] { TimerOff(); }};
    // While data keeps arriving the loop reads on without the notifier; it
    // lets the event loop run every burstChunks receives and sleeps in it
    // only when the socket would block.
    int burst = 0;
    bool arrived = false; // since the time-out last started
    while (!Canceled) {
        auto [buffer, size] = room();
        if (size == 0)
            break;
        long n = channel_->receive(buffer, size);
        if (n == 0 && endOfData(sock::WSAENOTCONN))
            break;
        if (n > 0) {
            took(static_cast<std::size_t>(n));
            BytesRecvd += static_cast<std::int32_t>(n);
            arrived = true;
            if (OnPacketRecvd)
                OnPacketRecvd(this);
            if (++burst == burstChunks) {
                burst = 0;
                arrived = false;
                TimerOn();
                processPending();
            }
            continue;
        }
        LastErrorNo = sock::lastError();
        if (endOfData(LastErrorNo))
            break;
        CheckError(sock::WSAEWOULDBLOCK);
        if (arrived) {
            arrived = false;
            TimerOn();
        }
        burst = 0;
        channel_->wantRead();
        waitForEvent();
    }
}

void TPowersock::CaptureString(std::string& dest, long long maxLength) {
    Status(8, "Capture String");
    dest.clear();
    // The receive that reaches maxLength may bring up to a chunk more, so
    // the room never needs to grow past that.
    const std::size_t cap = maxLength < 0 ? dest.max_size()
                                          : static_cast<std::size_t>(maxLength) + chunkSize - 1;
    std::size_t filled = 0;
    auto room = [&]() -> std::pair<char*, std::size_t> {
        if (maxLength >= 0 && static_cast<long long>(filled) >= maxLength)
            return {nullptr, 0};
        // The string's own small buffer is no room worth receiving into.
        if (dest.capacity() == filled || dest.capacity() < 16) {
            // Doubling, but straight to the cap when the next step would
            // nearly reach it; a fresh string takes exactly the size asked
            // for, where growing in place could double past the cap.
            std::size_t next = std::max(filled * 2, chunkSize);
            if (next >= cap || next + chunkSize >= cap)
                next = cap;
            std::string bigger;
            bigger.reserve(next);
            bigger.append(dest);
            dest.swap(bigger);
        }
        // The cap still bounds a receive past maxLength to below a chunk.
        std::size_t size = std::min(stringReceiveSize, dest.capacity() - filled);
        // Within the capacity: no new allocation, only the bytes about to
        // be received are set.
        if (size >= stringReceiveSize)
            populateForReceive(dest.data() + filled, size);
        dest.resize(filled + size);
        return {dest.data() + filled, size};
    };
    try {
        captureChunks(room, [&](std::size_t n) {
            filled += n;
            dest.resize(filled);
        });
    } catch (...) {
        dest.resize(filled);
        throw;
    }
    dest.resize(filled);
    if (Canceled) {
        Canceled = false;
        throw EAbortError("Socket capture aborted");
    }
}

void TPowersock::CaptureFile(const std::string& fileName) {
    Status(8, "CaptureFile");
    int fd = ::open(fileName.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        throw Exception(fileError("Cannot create file", fileName, errno));
    {
        Finally closeFile{[fd] { ::close(fd); }};
        captureChunks([this] { return std::pair<char*, std::size_t>(IoBuffer.data(), chunkSize); }, [&](std::size_t n) {
            const char* data = IoBuffer.data();
            for (std::size_t written = 0; written < n;) {
                ssize_t w = ::write(fd, data + written, n - written);
                if (w < 0) {
                    if (errno == EINTR)
                        continue;
                    throw Exception(fileError("Write error on file", fileName, errno));
                }
                written += static_cast<std::size_t>(w);
            }
        });
    }
    if (Canceled) {
        Canceled = false;
        throw EAbortError("Socket send aborted");
    }
}

std::string TPowersock::Transaction(const std::string& command) {
    Status(8, "Transaction");
    ReplyNumber = 0;
    Writeln(command);
    LastReply = ReadLn();
    if (!LastReply.empty()) {
        Status(1, LastReply);
        long long value = 0;
        for (std::size_t i = 0; i < LastReply.size() && i < 10 && LastReply[i] >= '0' && LastReply[i] <= '9'; ++i)
            value = value * 10 + (LastReply[i] - '0');
        if (value > 32767)
            throw ESockError("Reply number out of range: " + std::to_string(value));
        ReplyNumber = static_cast<std::int16_t>(value);
    }
    return LastReply;
}

} // namespace fb
