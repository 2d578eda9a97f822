#pragma once
// Asynchronous name lookup: getaddrinfo runs on a worker thread and its
// result reaches the thread that started it through the Qt event loop.
// A lookup that is abandoned (time-out, cancel, destruction) is left to
// finish on its own; its result is then dropped, never written anywhere.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class QObject;

namespace fb::sock {

class HostLookup {
public:
    // error is 0 or 11001..11004 (or another socket error); addresses are
    // IPv4 in network byte order.
    using Done = std::function<void(int error, const std::vector<std::uint32_t>& addresses)>;

    HostLookup();
    ~HostLookup();
    HostLookup(const HostLookup&) = delete;
    HostLookup& operator=(const HostLookup&) = delete;

    // Starts a lookup, abandoning one still running.
    void start(const std::string& name, Done done);
    void abandon();
    bool running() const;

private:
    struct Request;
    std::unique_ptr<QObject> context_;
    std::shared_ptr<Request> current_;
};

} // namespace fb::sock
