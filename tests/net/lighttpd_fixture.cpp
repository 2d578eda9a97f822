#include "tests/net/lighttpd_fixture.h"

#include "tests/net/scripted_server.h"
#include "tests/net/tls_peer.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QStandardPaths>

#include <arpa/inet.h>
#include <chrono>
#include <netinet/in.h>
#include <stdexcept>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace nettest {

namespace {

void copyTree(const QString& from, const QString& to) {
    QDir().mkpath(to);
    QDir source(from);
    for (const QFileInfo& info : source.entryInfoList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot)) {
        QString target = to + "/" + info.fileName();
        if (info.isDir())
            copyTree(info.filePath(), target);
        else if (!QFile::copy(info.filePath(), target))
            throw std::runtime_error("cannot copy " + info.filePath().toStdString());
    }
}

bool accepts(std::uint16_t port) {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    ::close(fd);
    return ok;
}

} // namespace

namespace {
void writeText(const QString& name, const std::string& text) {
    QFile out(name);
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate))
        throw std::runtime_error("cannot write " + name.toStdString());
    out.write(text.data(), static_cast<qint64>(text.size()));
}
} // namespace

Lighttpd::Lighttpd(const std::string& sourceDir, bool https) {
    QString program = QStandardPaths::findExecutable("lighttpd", {"/usr/sbin", "/usr/local/sbin", "/sbin"});
    if (program.isEmpty())
        program = QStandardPaths::findExecutable("lighttpd");
    if (program.isEmpty())
        throw std::runtime_error("lighttpd is not installed (Debian package lighttpd)");
    if (!dir_.isValid())
        throw std::runtime_error("no temporary directory");
    QString root = dir_.path();
    copyTree(QString::fromStdString(sourceDir) + "/htdocs", root + "/htdocs");
    QDir().mkpath(root + "/upload");

    QFile in(QString::fromStdString(sourceDir) + "/lighttpd.conf.in");
    if (!in.open(QIODevice::ReadOnly))
        throw std::runtime_error("lighttpd.conf.in missing");
    QString config = QString::fromUtf8(in.readAll());
    if (https) {
        Identity ca = makeIdentity({}, nullptr, -3600, 86400, true);
        Identity server = makeIdentity({"127.0.0.1", "localhost"}, &ca);
        ca_ = ca.certificate;
        writeText(root + "/ca.pem", ca.certificate);
        writeText(root + "/server.pem", server.certificate + server.key);
        config += "server.modules += ( \"mod_openssl\" )\n"
                  "$SERVER[\"socket\"] == \"127.0.0.1:@HTTPSPORT@\" {\n"
                  "  ssl.engine = \"enable\"\n  ssl.pemfile = \"@ROOT@/server.pem\"\n}\n";
    }
    for (int attempt = 0; attempt < 5; ++attempt) {
        port_ = closedPort();
        httpsPort_ = https ? closedPort() : 0;
        QString text = config;
        text.replace("@ROOT@", root).replace("@PORT@", QString::number(port_));
        text.replace("@HTTPSPORT@", QString::number(httpsPort_));
        QFile out(root + "/lighttpd.conf");
        if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate))
            throw std::runtime_error("cannot write lighttpd.conf");
        out.write(text.toUtf8());
        out.close();
        process_.setProcessChannelMode(QProcess::MergedChannels);
        process_.start(program, {"-D", "-f", root + "/lighttpd.conf"});
        if (!process_.waitForStarted(5000))
            throw std::runtime_error("lighttpd does not start");
        for (int i = 0; i < 100 && process_.state() == QProcess::Running; ++i) {
            if (accepts(port_))
                return;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        process_.kill();
        process_.waitForFinished(2000); // the port may have been taken: try another
    }
    QFile log(root + "/error.log");
    log.open(QIODevice::ReadOnly);
    throw std::runtime_error("lighttpd did not come up: " + process_.readAll().toStdString() +
                             log.readAll().toStdString());
}

Lighttpd::~Lighttpd() {
    if (process_.state() != QProcess::NotRunning) {
        process_.terminate();
        if (!process_.waitForFinished(3000)) {
            process_.kill();
            process_.waitForFinished(2000);
        }
    }
}

std::string Lighttpd::url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(port_) + path;
}

std::string Lighttpd::httpsUrl(const std::string& path) const {
    return "https://127.0.0.1:" + std::to_string(httpsPort_) + path;
}

std::string Lighttpd::docRoot() const { return dir_.path().toStdString() + "/htdocs"; }

std::string Lighttpd::scratch(const std::string& name) const { return dir_.path().toStdString() + "/" + name; }

double runCurl(const QStringList& arguments) {
    QProcess curl;
    QElapsedTimer timer;
    timer.start();
    curl.start("curl", arguments);
    if (!curl.waitForStarted(5000))
        throw std::runtime_error("curl is not installed (Debian package curl)");
    if (!curl.waitForFinished(120000) || curl.exitCode() != 0)
        throw std::runtime_error("curl failed: " + curl.readAllStandardError().toStdString());
    return timer.nsecsElapsed() / 1e9;
}

} // namespace nettest
