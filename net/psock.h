#pragma once
// Unit Psock: the socket transport. TPowersock owns one TCP client socket and
// offers blocking-style operations on it; every wait keeps the Qt event loop
// running (so the user interface stays live and re-entrant) and sleeps in it
// until the next event, a cancel or the time-out ends the wait.
#include "platform/errors.h"
#include "platform/socket/host_lookup.h"
#include "platform/socket/socket.h"
#include "platform/socket/winsock.h"
#include "platform/tls/channel.h"
#include "platform/tls/session.h"

#include <QObject>
#include <QTimer>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace fb {

class TPowersock;

// Every socket failure.
class ESockError : public Exception {
public:
    using Exception::Exception;
};

// An operation ended by Cancel or by the time-out.
class EAbortError : public ESockError {
public:
    using ESockError::ESockError;
};

// A secure connection that could not be made: the message says what failed
// in the library's words, reason() says why for the participant (German).
class ETlsError : public ESockError {
public:
    ETlsError(const std::string& message, std::string reason) : ESockError(message), reason_(std::move(reason)) {}
    const std::string& reason() const { return reason_; }

private:
    std::string reason_;
};

using TNotifyEvent = std::function<void(QObject* sender)>;
using THandlerEvent = std::function<void(bool& handled)>;
using TOnHostResolved = std::function<void(QObject* sender)>;
using TOnStatus = std::function<void(QObject* sender, const std::string& status)>;
using TOnSocketError = std::function<void(QObject* sender, std::uint16_t error, const std::string& message)>;

// A timer component: OnTimer runs every Interval milliseconds while Enabled.
class TThreadTimer : public QObject {
public:
    explicit TThreadTimer(QObject* owner = nullptr);
    ~TThreadTimer() override;

    std::uint32_t interval() const { return Interval; }
    void setInterval(std::uint32_t value);
    bool enabled() const { return Enabled; }
    void setEnabled(bool value);
    void setOnTimer(TNotifyEvent handler);
    bool running() const { return timer_.isActive(); }

    virtual void TimerExpired();

private:
    void UpdateTimer();

    std::uint32_t Interval = 1000;
    QTimer timer_;
    TNotifyEvent OnTimer;
    bool Enabled = true;
};

class TPowersock : public QObject {
public:
    static constexpr int IoBufferSize = 65540;
    // Longest line ReadLn takes, so a peer that never sends a line end
    // cannot make it grow without end.
    static constexpr std::size_t DefaultMaxLineLength = 8192;

    explicit TPowersock(QObject* owner = nullptr);
    ~TPowersock() override;

    // Published properties.
    std::string Host;
    int Port = 0;
    int TimeOut = 0;
    int ReportLevel = 0;
    TNotifyEvent OnConnect, OnDisconnect, OnConnectionFailed;
    THandlerEvent OnInvalidHost;
    TOnHostResolved OnHostResolved;
    TOnStatus OnStatus;
    // Unpublished hooks.
    TNotifyEvent OnReadReady, OnAcceptReady;
    TOnSocketError OnSocketError;
    // Published by the HTTP client.
    std::string Proxy;
    int ProxyPort = 0;
    TNotifyEvent OnPacketRecvd, OnPacketSent;

    std::vector<std::string> WinsockInfo;
    std::int32_t BytesSent = 0;
    std::int32_t BytesRecvd = 0;
    bool Canceled = false;
    bool NoReopen = false;
    std::int32_t LastErrorNo = 0;
    std::string LastStatus;
    bool Succeeded = false;
    bool TimedOut = false;
    bool AsyncDone = false;
    std::string LastReply;
    std::int16_t ReplyNumber = 0;
    bool Connected = false;
    std::size_t MaxLineLength = DefaultMaxLineLength;
    // Connect also makes the connection secure (TLS, the server's certificate
    // checked for Host against TlsTrust); everything after it reads and
    // writes through the secure channel the same way.
    bool UseTls = false;
    tls::Trust TlsTrust = tls::buildTrust();

    // The remote address in network byte order (family is always 2).
    std::uint32_t remoteAddress() const { return remoteAddr_; }
    std::uint16_t remotePortNet() const { return remotePort_; }
    std::uint16_t SocketHandle() const;
    TThreadTimer& Timer() { return *timer_; }

    // Live instances; the socket library is started for the first and
    // released after the last.
    static int WinsockUsers();

    virtual std::uint16_t Accept();
    virtual void Connect();
    virtual void Disconnect();
    virtual std::string Transaction(const std::string& command);
    virtual void Abort();
    void Cancel();
    void ResolveHost();
    void CloseSocket();
    bool DataAvailable();

    void Write(const std::string& text);
    void Writeln(const std::string& text);
    void SendBuffer(const char* buffer, std::uint16_t length);
    std::string ReadLn();
    void CaptureString(std::string& dest, long long maxLength);
    void CaptureFile(const std::string& fileName);
    void SendFile(const std::string& fileName);

    // Not part of the client's path: puts the socket in listening state so
    // that Accept has something to wait for.
    void Listen(std::uint16_t port);
    std::uint16_t LocalPort() const { return socket_->localPort(); }

    std::string ErrorText(int errorNo);
    std::string CheckError(int tolerated);

protected:
    void Status(int level, const std::string& text);
    void TimerOn();
    void TimerOff();
    bool destroying() const { return destroying_; }
    // One pass of a wait: process what is pending and, when asked to, sleep
    // in the event loop until something arrives.
    static void processPending();
    static void waitForEvent();

private:
    // The receive loop of CaptureString and CaptureFile: receives into the
    // room the first function gives (none ends the loop), tells the second
    // how many bytes landed there, until the peer closes; restarts the
    // time-out while data arrives.
    void captureChunks(const std::function<std::pair<char*, std::size_t>()>& room,
                       const std::function<void(std::size_t)>& took);
    // True when a failed receive means the data has ended; raises the error
    // of a connection that was reset (by the reader's own call or by the
    // close notification before it).
    bool endOfData(int error);
    void InitWinsock();
    void openSocket(bool first);
    void HandleSocketMessage(int event, int error);
    void TimerFired();
    void lookupDone(int error, const std::vector<std::uint32_t>& addresses);
    // The TLS handshake on the fresh connection, bounded by the time-out.
    void SecureConnection();
    // Sends all of data unless cancelled; false when cancelled.
    bool sendAll(const char* data, std::size_t size, bool countSent);

    std::vector<char> IoBuffer;
    std::unique_ptr<TThreadTimer> timer_;
    std::unique_ptr<sock::Socket> socket_;
    std::unique_ptr<sock::HostLookup> lookup_;
    // Reading and writing go through channel_: the plain socket, or the TLS
    // session over it once its handshake is done.
    std::unique_ptr<tls::PlainChannel> plain_;
    std::unique_ptr<tls::Session> tls_;
    tls::Channel* channel_ = nullptr;
    sock::WsaData WinsockData;
    std::uint32_t remoteAddr_ = 0;
    std::uint16_t remotePort_ = 0;
    std::vector<std::uint32_t> HostEntry;
    bool destroying_ = false;
    // The error of a close notification that reported one, until the next
    // Connect or Disconnect.
    int pendingError_ = 0;
    // How many of our bytes the peer had taken at the last tick of the time-out.
    long long takenAtTick_ = 0;
    int sendsInARow_ = 0; // counted sends since the event loop last ran
    long long peerTaken() const;
};

} // namespace fb
