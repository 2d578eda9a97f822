#pragma once
// A loopback peer for the tests: a thread that accepts connections and plays
// one script per connection, recording every byte the client sent.
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace nettest {

class Peer; // one accepted connection as a script sees it

using Script = std::function<void(Peer&)>;

class Peer {
public:
    Peer(int fd, int stopFd, std::string& received) : fd_(fd), stopFd_(stopFd), received_(received) {}
    // Reads until a blank line and then as many bytes as its Content-Length
    // line announces; false when the client closed or time ran out.
    bool readRequest(std::chrono::milliseconds limit = std::chrono::seconds(5));
    // Reads whatever arrives until the client closes or the limit passes.
    void readUntilClosed(std::chrono::milliseconds limit);
    void readBytes(std::size_t count, std::chrono::milliseconds limit = std::chrono::seconds(5));
    void readLine(std::chrono::milliseconds limit = std::chrono::seconds(5));
    void send(const std::string& bytes);
    void pause(std::chrono::milliseconds ms);
    // Makes the close at the end of the script a reset (linger 0).
    void resetOnClose();
    // Holds the connection open and silent until the server is stopped.
    void waitForStop(std::chrono::milliseconds limit = std::chrono::seconds(30));
    const std::string& received() const { return received_; }

private:
    bool readSome(std::chrono::milliseconds limit);
    int fd_;
    int stopFd_;
    std::string& received_;
};

class ScriptedServer {
public:
    explicit ScriptedServer(std::vector<Script> scripts);
    ~ScriptedServer();
    std::uint16_t port() const { return port_; }
    std::string url(const std::string& path) const;
    // Bytes received on each connection so far, in order of acceptance.
    std::vector<std::string> requests();
    int accepted() const { return accepted_.load(); }
    // Receive buffer of the connections accepted from now on; small, so
    // that a slow script is felt by the client at once.
    void setReceiveBuffer(int bytes);
    void stop();

private:
    void run();
    std::vector<Script> scripts_;
    int listenFd_ = -1;
    int stopPipe_[2] = {-1, -1};
    std::uint16_t port_ = 0;
    std::atomic<int> accepted_{0};
    std::mutex mutex_;
    std::vector<std::string> received_;
    std::thread thread_;
};

// A loopback port on which nothing listens.
std::uint16_t closedPort();

// True when the tests run under Wine.
bool underWine();

// Script helpers.
Script answer(std::string response);
Script answerInPieces(std::vector<std::string> pieces, std::chrono::milliseconds gap);

} // namespace nettest
