#pragma once
// Unit NMHttp: an HTTP/1.0 client, one request per connection, the response
// read until the server closes.
#include "net/nmextstr.h"
#include "net/psock.h"

#include <cstdint>
#include <functional>
#include <string>

namespace fb {

enum CmdType : std::uint8_t {
    CmdGet,
    CmdOptions,
    CmdHead,
    CmdPost,
    CmdPut,
    CmdPatch,
    CmdCopy,
    CmdMove,
    CmdDelete,
    CmdLink,
    CmdUnlink,
    CmdTrace,
    CmdNone
};

// Values for optional request header lines.
struct THeaderInfo {
    std::string LocalMailAddress;
    std::string LocalProgram;
    std::string Cookie;
    std::string Referer;
    std::string UserId;
    std::string Password;
};

using TResultEvent = std::function<void(CmdType cmd)>;

class TNMHTTP : public TPowersock {
public:
    // Bounds against broken or hostile servers; each ends the request with
    // an error of its own.
    static constexpr int MaxRedirects = 20;
    static constexpr int MaxHeaderLines = 100;
    static constexpr std::size_t MaxBodyLength = 16u * 1024 * 1024;

    explicit TNMHTTP(QObject* owner = nullptr);
    ~TNMHTTP() override;

    // Published properties.
    std::string Body = "Default.htm";
    std::string Header = "Head.txt";
    THeaderInfo HeaderInfo;
    bool InputFileMode = false;
    bool OutputFileMode = false;
    TNotifyEvent OnAboutToSend;
    TResultEvent OnSuccess, OnFailure;
    THandlerEvent OnRedirect;
    TNotifyEvent OnAuthenticationNeeded;

    // Further fields.
    std::string RequestPath;
    TExStringList HeaderList;
    std::string Location;
    std::string SetCookie;
    bool EncodePostData = true;
    std::string SendData;
    std::string ExtraHeaderValue;
    std::string URL;
    CmdType RequestKind = CmdGet;
    // The Content-Length of the last response, -1 when it declared none.
    long long ContentLength = -1;

    void Abort() override;
    virtual void DoRequest();
    virtual void ParseURL();
    virtual void BuildHeader();
    virtual void ReadResponseHeader();
    virtual void SendRequest();

    virtual void Options(const std::string& url);
    virtual void Get(const std::string& url);
    virtual void Post(const std::string& url, const std::string& data);
    virtual void Put(const std::string& url, const std::string& data);
    virtual void Head(const std::string& url);
    virtual void Patch(const std::string& url, const std::string& data);
    virtual void Delete(const std::string& url);
    virtual void Trace(const std::string& url, const std::string& data);
    virtual void Copy(const std::string& url, const std::string& value);
    virtual void Move(const std::string& url, const std::string& value);
    virtual void Link(const std::string& url, const std::string& value);
    virtual void Unlink(const std::string& url, const std::string& value);
    virtual void Request12(const std::string& url, const std::string& data);

    // True while a request operation runs; another one then fails at once.
    bool Busy() const { return busy_; }

private:
    class RequestScope {
    public:
        explicit RequestScope(TNMHTTP& http);
        ~RequestScope();
        RequestScope(const RequestScope&) = delete;
        RequestScope& operator=(const RequestScope&) = delete;

    private:
        TNMHTTP& http_;
    };

    void readBody();
    bool sendsBody() const;
    bool busy_ = false;
    bool handOver_ = false; // the next DoRequest runs under its caller's scope
};

// Field n (from 1) of text between separators, as the URL and header code
// splits texts; empty past the last field.
std::string extractField(const std::string& text, int n, char separator);

} // namespace fb
