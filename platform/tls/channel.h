#pragma once
// What the transport reads and writes through on a connected socket: the
// socket itself, or a TLS session over it. The calls keep the socket's
// conventions: byte counts, 0 when the peer has closed, -1 with the error in
// sock::lastError() (WSAEWOULDBLOCK when the call must wait for an event).
#include "platform/socket/socket.h"

#include <cstddef>

namespace fb::tls {

class Channel {
public:
    virtual ~Channel() = default;
    virtual long send(const char* data, std::size_t size) = 0;
    // A receive that asks for the next read event (peek leaves the bytes).
    virtual long recv(char* data, std::size_t size, bool peek) = 0;
    // A receive for a reader that reads on until it would block; it calls
    // wantRead() before it waits.
    virtual long receive(char* data, std::size_t size) = 0;
    // Arms the notifier the channel's last blocked call waits for, so that
    // the wait sleeps in the event loop until it can go on.
    virtual void wantRead() = 0;
    virtual void notifyWritable() = 0;
    // True when a send would block now (asked of the system without waiting).
    virtual bool sendWouldBlock() const = 0;
    // Bytes of ours the peer has acknowledged on this connection; only its
    // growth counts (an upload that drains is slow, not stalled).
    virtual long long peerTaken() const = 0;
};

// The plain socket as a channel.
class PlainChannel final : public Channel {
public:
    explicit PlainChannel(sock::Socket& socket) : socket_(socket) {}
    void restart() { handed_ = 0; }
    long send(const char* data, std::size_t size) override {
        long n = socket_.send(data, size);
        if (n > 0)
            handed_ += n;
        return n;
    }
    long recv(char* data, std::size_t size, bool peek) override { return socket_.recv(data, size, peek); }
    long receive(char* data, std::size_t size) override { return socket_.receive(data, size); }
    void wantRead() override { socket_.wantRead(); }
    void notifyWritable() override { socket_.notifyWritable(); }
    bool sendWouldBlock() const override { return socket_.sendWouldBlock(); }
    long long peerTaken() const override {
        long queued = socket_.sendQueueBytes();
        // Without the queue's length, bytes handed over count as taken.
        return queued < 0 ? handed_ : handed_ - queued;
    }

private:
    sock::Socket& socket_;
    long long handed_ = 0;
};

} // namespace fb::tls
