#include "net/nmhttp.h"

#include "net/nmurl.h"
#include "net/nmuue.h"
#include "platform/errors.h"

#include <algorithm>
#include <cerrno>
#include <optional>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fb {

namespace {

const char* const requestPrefix[] = {"GET ",    "OPTIONS ", "HEAD ",   "POST ", "PUT ",
                                     "PATCH ",  "COPY ",    "MOVE ",   "DELETE ", "LINK ",
                                     "UNLINK ", "TRACE ",   ""};

// Position of the n-th separator (from 1), or npos.
std::size_t nthSeparatorPos(const std::string& text, int n, char separator) {
    std::size_t pos = std::string::npos;
    for (int i = 0; i < n; ++i) {
        pos = text.find(separator, pos == std::string::npos ? 0 : pos + 1);
        if (pos == std::string::npos)
            return pos;
    }
    return pos;
}

std::string lower(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c + 32);
    return s;
}

std::string upper(std::string s) {
    for (char& c : s)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 32);
    return s;
}

std::string withoutLineEnd(std::string s) {
    while (!s.empty() && (s.back() == '\n' || s.back() == '\r'))
        s.pop_back();
    return s;
}

bool hasLineBreakOrNul(const std::string& s) { return s.find_first_of(std::string("\r\n\0", 3)) != std::string::npos; }

// A value that later requests repeat; a CR, LF or NUL in it would add or
// cut request lines.
std::string repeatedValue(const std::string& line, std::size_t from, const char* name) {
    std::string whole = withoutLineEnd(from < line.size() ? line.substr(from) : std::string());
    if (hasLineBreakOrNul(whole))
        throw ESockError(std::string("Invalid response: line break or NUL in the ") + name + " header");
    return whole.substr(0, 256);
}

// The decimal value of a Content-Length line, saturated far above any
// limit; -1 when it is no number.
long long declaredLength(const std::string& line) {
    std::size_t p = line.find(':') + 1;
    while (p < line.size() && (line[p] == ' ' || line[p] == '\t'))
        ++p;
    long long value = 0;
    std::size_t digits = 0;
    for (; p < line.size() && line[p] >= '0' && line[p] <= '9'; ++p, ++digits)
        value = std::min(value * 10 + (line[p] - '0'), 1LL << 50);
    return digits ? value : -1;
}

long long fileSize(const std::string& fileName) {
    int fd = ::open(fileName.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        throw Exception("Cannot open file \"" + fileName + "\". " + std::strerror(errno));
    struct stat st {};
    int rc = ::fstat(fd, &st);
    int e = errno;
    ::close(fd);
    if (rc < 0)
        throw Exception("Cannot open file \"" + fileName + "\". " + std::strerror(e));
    return static_cast<long long>(st.st_size);
}

} // namespace

std::string extractField(const std::string& text, int n, char separator) {
    std::size_t start = 0;
    for (int i = 1; i < n; ++i) {
        std::size_t p = text.find(separator, start);
        if (p == std::string::npos)
            return std::string();
        start = p + 1;
    }
    std::size_t end = text.find(separator, start);
    return text.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

TNMHTTP::TNMHTTP(QObject* owner) : TPowersock(owner) {}

TNMHTTP::~TNMHTTP() = default;

void TNMHTTP::Abort() {
    Status(8, "Abort");
    AsyncDone = true;
    Cancel();
}

// ---- the request kinds ---------------------------------------------------------

void TNMHTTP::Get(const std::string& url) {
    RequestScope scope(*this);
    URL = url;
    RequestKind = CmdGet;
    handOver_ = true;
    DoRequest();
}

void TNMHTTP::Options(const std::string& url) {
    RequestScope scope(*this);
    URL = url;
    RequestKind = CmdOptions;
    handOver_ = true;
    DoRequest();
}

void TNMHTTP::Head(const std::string& url) {
    RequestScope scope(*this);
    URL = url;
    RequestKind = CmdHead;
    handOver_ = true;
    DoRequest();
}

void TNMHTTP::Delete(const std::string& url) {
    RequestScope scope(*this);
    URL = url;
    RequestKind = CmdDelete;
    handOver_ = true;
    DoRequest();
}

void TNMHTTP::Post(const std::string& url, const std::string& data) {
    RequestScope scope(*this);
    URL = url;
    if (EncodePostData && !OutputFileMode) {
        TNMURL encoder(this);
        encoder.InputString = data;
        SendData = encoder.Encode();
    } else {
        SendData = data;
    }
    RequestKind = CmdPost;
    handOver_ = true;
    DoRequest();
}

void TNMHTTP::Put(const std::string& url, const std::string& data) {
    RequestScope scope(*this);
    URL = url;
    SendData = data;
    RequestKind = CmdPut;
    handOver_ = true;
    DoRequest();
}

void TNMHTTP::Patch(const std::string& url, const std::string& data) {
    RequestScope scope(*this);
    URL = url;
    SendData = data;
    RequestKind = CmdPatch;
    handOver_ = true;
    DoRequest();
}

void TNMHTTP::Trace(const std::string& url, const std::string& data) {
    RequestScope scope(*this);
    URL = url;
    SendData = data;
    RequestKind = CmdTrace;
    handOver_ = true;
    DoRequest();
}

void TNMHTTP::Request12(const std::string& url, const std::string& data) {
    RequestScope scope(*this);
    URL = url;
    SendData = data;
    RequestKind = CmdNone;
    handOver_ = true;
    DoRequest();
}

void TNMHTTP::Copy(const std::string& url, const std::string& value) {
    RequestScope scope(*this);
    URL = url;
    ExtraHeaderValue = value;
    RequestKind = CmdCopy;
    handOver_ = true;
    DoRequest();
}

void TNMHTTP::Move(const std::string& url, const std::string& value) {
    RequestScope scope(*this);
    URL = url;
    ExtraHeaderValue = value;
    RequestKind = CmdMove;
    handOver_ = true;
    DoRequest();
}

void TNMHTTP::Link(const std::string& url, const std::string& value) {
    RequestScope scope(*this);
    URL = url;
    ExtraHeaderValue = value;
    SendData = "Send.dat";
    RequestKind = CmdLink;
    handOver_ = true;
    DoRequest();
}

void TNMHTTP::Unlink(const std::string& url, const std::string& value) {
    RequestScope scope(*this);
    URL = url;
    ExtraHeaderValue = value;
    SendData = "Send.dat";
    RequestKind = CmdUnlink;
    handOver_ = true;
    DoRequest();
}

bool TNMHTTP::sendsBody() const {
    return RequestKind == CmdPost || RequestKind == CmdPut || RequestKind == CmdPatch ||
           RequestKind == CmdTrace || RequestKind == CmdNone;
}

// ---- the request cycle -----------------------------------------------------------

// Marks the client busy for one request operation. The waits re-enter the
// event loop, so a handler may start a request while one runs; it must fail
// before it touches any field of the running one or its connection.
TNMHTTP::RequestScope::RequestScope(TNMHTTP& http) : http_(http) {
    if (http_.busy_)
        throw ESockError("HTTP request already in progress");
    http_.busy_ = true;
}

TNMHTTP::RequestScope::~RequestScope() {
    http_.busy_ = false;
    http_.handOver_ = false;
}

void TNMHTTP::DoRequest() {
    // Called by a request kind that holds the scope already, or on its own.
    std::optional<RequestScope> scope;
    if (handOver_)
        handOver_ = false;
    else
        scope.emplace(*this);
    for (int repeats = 0;; ++repeats) {
        if (repeats > MaxRedirects)
            throw ESockError("Too many redirects (more than " + std::to_string(MaxRedirects) + ")");
        ParseURL();
        BuildHeader();
        if (OnAboutToSend)
            OnAboutToSend(this);
        int s = 0;
        try {
            Connect();
            SendRequest();
            ReplyNumber = 0;
            ReadResponseHeader();
            readBody();
            s = ReplyNumber;
            if (s < 299) {
                if (OnSuccess)
                    OnSuccess(RequestKind);
                Status(2, "Transaction Completed");
            }
            if (s > 399 && OnFailure)
                OnFailure(RequestKind);
            if (s >= 300 && s <= 302)
                URL = Location;
        } catch (...) {
            try {
                Disconnect();
            } catch (...) {
                // the first failure is the one to report
            }
            throw;
        }
        Disconnect();

        if (s > 299 && s < 399) {
            bool handled = false;
            if (!SetCookie.empty())
                HeaderInfo.Cookie = SetCookie;
            if (OnRedirect)
                OnRedirect(handled);
            if (handled)
                return;
            if (URL.find('/') == std::string::npos) {
                // A bare name lives on the server that named it, port and
                // scheme included.
                int standard = UseTls ? 443 : 80;
                std::string port = Port != standard ? ":" + std::to_string(Port) : std::string();
                URL = (UseTls ? "https://" : "http://") + Host + port + "/" + URL;
            }
        }
        if (s == 401 && OnAuthenticationNeeded)
            OnAuthenticationNeeded(this);
        if (s < 299 || s > 399)
            return;
    }
}

void TNMHTTP::readBody() {
    if (InputFileMode) {
        CaptureFile(Body);
        return;
    }
    // A declared length over the limit is refused before any of the body is
    // read; a HEAD answer declares the length of a body it does not send.
    if (RequestKind != CmdHead && ContentLength > static_cast<long long>(MaxBodyLength)) {
        Body.clear();
        throw ESockError("Response body too large (more than " + std::to_string(MaxBodyLength) + " bytes)");
    }
    // The declared length is taken at its word for the room it needs (one
    // byte more shows a body longer than declared without growing twice).
    if (RequestKind != CmdHead && ContentLength >= 0) {
        Body.clear();
        Body.reserve(static_cast<std::size_t>(ContentLength) + 1);
    }
    // One byte past the limit tells a body that is too large from one that
    // just fits.
    CaptureString(Body, static_cast<long long>(MaxBodyLength) + 1);
    if (Body.size() > MaxBodyLength)
        throw ESockError("Response body too large (more than " + std::to_string(MaxBodyLength) + " bytes)");
}

void TNMHTTP::ParseURL() {
    if (URL.empty())
        throw Exception("Empty URL");
    if (Port == 0)
        Port = 80;

    std::string path;
    if (URL.find("//") != std::string::npos) {
        std::size_t third = nthSeparatorPos(URL, 3, '/');
        if (third != std::string::npos && third + 1 < URL.size())
            path = URL.substr(third, 256);
    } else {
        std::size_t first = URL.find('/');
        if (first != std::string::npos)
            path = URL.substr(first, 256);
    }

    if (URL.find(':') != std::string::npos) {
        std::string scheme = lower(extractField(URL, 1, ':'));
        if (scheme == "gopher")
            Port = 70;
        else if (scheme == "ftp")
            Port = 21;
        else if (scheme == "https")
            Port = 443;
        else
            Port = 80;
        // The scheme decides the kind of connection; what is sent inside
        // it is the same.
        UseTls = scheme == "https";
    }

    std::string hostPart;
    if (URL.find("//") != std::string::npos)
        hostPart = extractField(URL, 3, '/');
    else if (URL[0] != '/')
        hostPart = extractField(URL, 1, '/');
    std::size_t colon = hostPart.find(':');
    if (colon != std::string::npos) {
        Port = strToInt(extractField(hostPart, 2, ':'));
        hostPart.resize(colon);
    }
    if (!hostPart.empty())
        Host = hostPart;

    if (path.empty()) {
        path = "/";
        // "http://host/" already names the root; only a URL without the
        // slash gets one.
        if (URL.back() != '/')
            URL += "/";
    }
    RequestPath = path;
}

void TNMHTTP::BuildHeader() {
    HeaderList.Clear();
    if (RequestKind != CmdNone)
        HeaderList.Add(std::string(requestPrefix[RequestKind]) + (Proxy.empty() ? RequestPath : URL) + " HTTP/1.0");
    if (!Proxy.empty()) {
        HeaderList.Add("Proxy-Connection: Keep-Alive");
        HeaderList.Add("Host: " + Host);
    }
    SetHeader(HeaderList, "Host", Host);
    HeaderList.Add("Accept: www/source, text/html, video/mpeg, image/jpeg, image/x-tiff");
    HeaderList.Add("Accept: image/x-rgb, image/x-xbm, image/gif, */*, application/postscript");
    SetHeader(HeaderList, "User-Agent", HeaderInfo.LocalProgram);
    SetHeader(HeaderList, "From", HeaderInfo.LocalMailAddress);
    SetHeader(HeaderList, "Cookie", HeaderInfo.Cookie);
    SetHeader(HeaderList, "Referer", HeaderInfo.Referer);
    if (!HeaderInfo.UserId.empty() && !HeaderInfo.Password.empty()) {
        std::string encoded = mimeEncodeLines(HeaderInfo.UserId + ":" + HeaderInfo.Password);
        encoded.resize(encoded.size() >= 2 ? encoded.size() - 2 : 0);
        SetHeader(HeaderList, "Authorization", "Basic " + encoded);
    }
    HeaderList.Add("Content-type: application/x-www-form-urlencoded");
    if (RequestKind == CmdCopy || RequestKind == CmdMove)
        HeaderList.Add("URI-header: " + ExtraHeaderValue);
    if (RequestKind == CmdLink || RequestKind == CmdUnlink)
        HeaderList.Add("Link: " + ExtraHeaderValue);
    if (sendsBody() || RequestKind == CmdLink || RequestKind == CmdUnlink) {
        long long size = OutputFileMode ? fileSize(SendData) : static_cast<long long>(SendData.size());
        HeaderList.Add("Content-Length: " + std::to_string(size));
    }
    // Whatever the values came from, none may split or cut a request line.
    for (int i = 0; i < HeaderList.Count(); ++i)
        if (hasLineBreakOrNul(HeaderList[i]))
            throw ESockError("Line break or NUL in a request header line");
}

void TNMHTTP::SendRequest() {
    Write(HeaderList.Text());
    Writeln("");
    if (!sendsBody())
        return;
    if (OutputFileMode)
        SendFile(SendData);
    else
        Write(SendData);
}

void TNMHTTP::ReadResponseHeader() {
    SetCookie.clear();
    ContentLength = -1;
    int fd = -1;
    if (InputFileMode) {
        fd = ::open(Header.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (fd < 0)
            throw Exception("Cannot create file \"" + Header + "\". " + std::strerror(errno));
    } else {
        Header.clear();
    }
    struct CloseFile {
        int fd;
        ~CloseFile() {
            if (fd >= 0)
                ::close(fd);
        }
    } closeFile{fd};
    auto store = [&](const std::string& line) {
        if (fd < 0) {
            Header += line;
            return;
        }
        for (std::size_t done = 0; done < line.size();) {
            ssize_t w = ::write(fd, line.data() + done, line.size() - done);
            if (w < 0) {
                if (errno == EINTR)
                    continue;
                throw Exception("Write error on file \"" + Header + "\". " + std::strerror(errno));
            }
            done += static_cast<std::size_t>(w);
        }
    };

    std::string line = ReadLn();
    if (!line.empty()) {
        // The code is the second field of the status line, 0 when it is no
        // number (the line end is not part of it).
        std::string code = extractField(withoutLineEnd(line), 2, ' ');
        int value = 0;
        try {
            value = strToInt(code);
        } catch (const EConvertError&) {
            value = 0;
        }
        ReplyNumber = static_cast<std::int16_t>(value >= -32768 && value <= 32767 ? value : 0);
    }
    store(line);

    for (int count = 0;; ++count) {
        if (count >= MaxHeaderLines)
            throw ESockError("Too many response header lines (more than " + std::to_string(MaxHeaderLines) + ")");
        line = ReadLn();
        std::string name = extractField(upper(line), 1, ' ');
        if (name == "SET-COOKIE:")
            SetCookie = repeatedValue(line, 12, "Set-Cookie");
        else if (name == "LOCATION:")
            Location = repeatedValue(line, 10, "Location");
        else if (name == "CONTENT-LENGTH:")
            ContentLength = declaredLength(line);
        store(line);
        if (line == "\r\n" || line == "\n" || line.empty())
            break;
    }
}

} // namespace fb
