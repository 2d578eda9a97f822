// The HTTP client's response path: a peer thread on 127.0.0.1 answers every
// connection with the fuzz input (after a settings byte), so header, body,
// redirects and cookies all come from the input, read into memory or into
// files. Redirects are followed only back to the peer.
//
// Properties: the client fails only with the program's own errors; what it
// returns as header and body is what the peer sent; nothing from a response
// puts a CR, LF or NUL into a later request's lines.
#include "fuzz_util.h"
#include "net/nmhttp.h"
#include "platform/errors.h"

#include <QCoreApplication>
#include <arpa/inet.h>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

std::string lower(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c + 32);
    return s;
}

// Serves the current response to every connection, one at a time, and keeps
// the requests it read.
class Peer {
public:
    Peer() {
        listenFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof a;
        FUZZ_CHECK(listenFd_ >= 0);
        FUZZ_CHECK(::bind(listenFd_, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0);
        FUZZ_CHECK(::listen(listenFd_, 16) == 0);
        FUZZ_CHECK(::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&a), &len) == 0);
        port_ = ntohs(a.sin_port);
        thread_ = std::thread([this] { run(); });
        thread_.detach(); // lives as long as the process
    }
    int port() const { return port_; }

    void serve(std::string response, std::size_t piece) {
        std::lock_guard<std::mutex> lock(mutex_);
        response_ = std::move(response);
        piece_ = piece;
        requests_.clear();
    }
    // The requests of the round, once the last connection is closed.
    std::vector<std::string> requests() {
        std::unique_lock<std::mutex> lock(mutex_);
        FUZZ_CHECK(idle_.wait_for(lock, std::chrono::seconds(10), [this] { return !active_; }));
        return requests_;
    }

private:
    static bool readSome(int fd, std::string& into, Clock::time_point end) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now()).count();
        pollfd p{fd, POLLIN, 0};
        if (left <= 0 || ::poll(&p, 1, static_cast<int>(left)) <= 0)
            return false;
        char buf[16384];
        const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
        if (n <= 0)
            return false;
        into.append(buf, static_cast<std::size_t>(n));
        return true;
    }

    // Reads until the blank line and the body its Content-Length announces.
    // A client that falls silent for a while after sending something gets
    // its answer anyway (a request cut short must not stall every run); what
    // it sends later is still recorded while the peer drains the connection.
    static std::string readRequest(int fd) {
        const auto end = Clock::now() + std::chrono::seconds(3);
        auto until = [&](const std::string& r) {
            return r.empty() ? end : std::min(end, Clock::now() + std::chrono::milliseconds(200));
        };
        std::string r;
        std::size_t headerEnd;
        while ((headerEnd = r.find("\r\n\r\n")) == std::string::npos && r.size() < (1u << 20))
            if (!readSome(fd, r, until(r)))
                return r;
        const std::string head = lower(r.substr(0, headerEnd + 2));
        const std::size_t cl = head.find("\ncontent-length: ");
        const std::size_t body = cl == std::string::npos ? 0 : std::strtoull(head.c_str() + cl + 17, nullptr, 10);
        while (r.size() < headerEnd + 4 + body && r.size() < (1u << 20))
            if (!readSome(fd, r, until(r)))
                break;
        return r;
    }

    void run() {
        for (;;) {
            const int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd < 0)
                continue;
            std::string response;
            std::size_t piece;
            {
                std::lock_guard<std::mutex> lock(mutex_);
                active_ = true;
                response = response_;
                piece = piece_;
            }
            const int one = 1;
            ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
            timeval tv{5, 0};
            ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
            std::string request = readRequest(fd);
            for (std::size_t done = 0; done < response.size();) {
                const ssize_t n = ::send(fd, response.data() + done, std::min(piece, response.size() - done), MSG_NOSIGNAL);
                if (n <= 0)
                    break;
                done += static_cast<std::size_t>(n);
            }
            ::shutdown(fd, SHUT_WR);
            // Wait for the client to close, so that our close sends no reset.
            const auto end = Clock::now() + std::chrono::seconds(5);
            while (readSome(fd, request, end)) {
            }
            ::close(fd);
            std::lock_guard<std::mutex> lock(mutex_);
            requests_.push_back(std::move(request));
            active_ = false;
            idle_.notify_all();
        }
    }

    int listenFd_ = -1;
    int port_ = 0;
    std::thread thread_;
    std::mutex mutex_;
    std::condition_variable idle_;
    bool active_ = false;
    std::string response_;
    std::size_t piece_ = 1;
    std::vector<std::string> requests_;
};

Peer* peer = nullptr;

// The header of a request: every line ends in CR LF, no CR or LF stands
// alone and no NUL is in it.
bool cleanLines(const std::string& request) {
    const std::size_t end = request.find("\r\n\r\n");
    const std::string head = request.substr(0, end == std::string::npos ? request.size() : end + 4);
    for (std::size_t i = 0; i < head.size(); ++i) {
        if (head[i] == '\0')
            return false;
        if (head[i] == '\r' && (i + 1 >= head.size() || head[i + 1] != '\n'))
            return false;
        if (head[i] == '\n' && (i == 0 || head[i - 1] != '\r'))
            return false;
    }
    return true;
}

// Whether the next request after a redirect would go to the peer.
bool staysHome(const fb::TNMHTTP& http) {
    if (http.URL.find('/') == std::string::npos)
        return true; // a bare name is taken relative to the same server
    fb::TNMHTTP next;
    next.URL = http.URL;
    next.Host = http.Host;
    next.Port = http.Port;
    try {
        next.ParseURL();
    } catch (const fb::Exception&) {
        return true; // the client fails the same way before connecting
    }
    return next.Host == "127.0.0.1" && next.Port == peer->port();
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    static int argc = 1;
    static char name[] = "http_response_fuzz";
    static char* argv[] = {name, nullptr};
    new QCoreApplication(argc, argv);
    peer = new Peer;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fbfuzz::Input in(data, size);
    const std::uint8_t settings = in.byte();
    const bool toFiles = settings & 1;
    const bool post = settings & 2;
    const unsigned pieceBits = (settings >> 2) & 7; // 0: all at once
    const bool cookie = settings & 0x20;
    const std::string response = in.rest();
    peer->serve(response, pieceBits == 0 ? response.size() + 1 : std::size_t(1) << (pieceBits - 1) * 2);

    const std::string& dir = fbfuzz::scratchDirectory();
    const std::string headFile = dir + "/head.txt", bodyFile = dir + "/body.htm";
    ::unlink(headFile.c_str());
    ::unlink(bodyFile.c_str());

    fb::TNMHTTP http;
    http.TimeOut = 3000;
    http.InputFileMode = toFiles;
    if (toFiles) {
        http.Header = headFile;
        http.Body = bodyFile;
    }
    if (cookie)
        http.HeaderInfo.Cookie = "sitzung=1";
    http.OnRedirect = [&](bool& handled) { handled = !staysHome(http); };
    bool completed = false;
    try {
        const std::string url = "http://127.0.0.1:" + std::to_string(peer->port()) + "/humor/bogenakt.html";
        if (post)
            http.Post(url, "Name=Erika Muster&Email=e@example.org");
        else
            http.Get(url);
        completed = true;
    } catch (const fb::Exception&) {
        // a refused response, a limit, a closed connection: the program's errors
    }
    const std::vector<std::string> requests = peer->requests();
    FUZZ_CHECK(!requests.empty() && requests.size() <= fb::TNMHTTP::MaxRedirects + 1u);
    for (const std::string& r : requests) {
        FUZZ_CHECK(r.find("\r\n\r\n") != std::string::npos); // the blank line after the header
        FUZZ_CHECK(cleanLines(r));
    }
    if (!completed)
        return 0;

    // The last connection's header and body are the response. The header
    // is the status line and the lines up to a blank one; without a blank
    // line it ends where the peer closed, and a last line without its LF is
    // dropped. A header that announces a length may end
    // the body there.
    std::string expected = response;
    for (std::size_t from = 0, lines = 0;; ++lines) {
        const std::size_t lf = response.find('\n', from);
        if (lf == std::string::npos) {
            expected = response.substr(0, from);
            break;
        }
        const std::string line = response.substr(from, lf + 1 - from);
        if (lines > 0 && (line == "\n" || line == "\r\n"))
            break; // a blank status line does not end the header
        from = lf + 1;
    }
    const std::string header = toFiles ? fbfuzz::readBytes(headFile) : http.Header;
    const std::string body = toFiles ? fbfuzz::readBytes(bodyFile) : http.Body;
    const std::string got = header + body;
    if (lower(header).find("content-length") == std::string::npos)
        FUZZ_CHECK(got == expected);
    else
        FUZZ_CHECK(got.size() <= expected.size() && expected.compare(0, got.size(), got) == 0);
    if (!toFiles)
        FUZZ_CHECK(body.size() <= fb::TNMHTTP::MaxBodyLength);
    return 0;
}
