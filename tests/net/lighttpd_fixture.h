#pragma once
// Starts lighttpd on loopback for one test or benchmark run, with the
// configuration and pages under tests/net/lighttpd, copied to a temporary
// directory. Throws when lighttpd is missing or does not come up.
#include <QProcess>
#include <QTemporaryDir>

#include <cstdint>
#include <string>

namespace nettest {

class Lighttpd {
public:
    // With https it also serves HTTPS on a second port, with a certificate
    // for 127.0.0.1 and localhost from a CA made for this run.
    explicit Lighttpd(const std::string& sourceDir, bool https = false);
    ~Lighttpd();
    std::uint16_t port() const { return port_; }
    std::string url(const std::string& path) const;
    std::string httpsUrl(const std::string& path) const;
    const std::string& caCertificate() const { return ca_; } // PEM
    std::string caFile() const { return scratch("ca.pem"); }
    // Where extra files may be put to be served (htdocs/).
    std::string docRoot() const;
    std::string scratch(const std::string& name) const;

private:
    QTemporaryDir dir_;
    QProcess process_;
    std::uint16_t port_ = 0;
    std::uint16_t httpsPort_ = 0;
    std::string ca_;
};

// Runs curl with the arguments; its output (-o) goes to outFile. Returns the
// seconds it took; throws on failure.
double runCurl(const QStringList& arguments);

} // namespace nettest
