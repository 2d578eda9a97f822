#include "platform/socket/host_lookup.h"

#include "platform/socket/native.h"
#include "platform/socket/winsock.h"

#include <QMetaObject>
#include <QObject>

#include <mutex>
#include <thread>

namespace fb::sock {

// Shared by the starter and the worker; the worker only ever touches this.
struct HostLookup::Request {
    std::mutex mutex;
    QObject* target = nullptr; // cleared (under the mutex) when abandoned
    bool abandoned = false;    // read and written on the starting thread only
    Done done;
};

HostLookup::HostLookup() : context_(std::make_unique<QObject>()) {}

HostLookup::~HostLookup() { abandon(); }

bool HostLookup::running() const { return current_ != nullptr; }

void HostLookup::abandon() {
    if (!current_)
        return;
    {
        std::lock_guard<std::mutex> lock(current_->mutex);
        current_->target = nullptr;
    }
    current_->abandoned = true;
    current_->done = nullptr;
    current_.reset();
}

void HostLookup::start(const std::string& name, Done done) {
    abandon();
    auto request = std::make_shared<Request>();
    request->target = context_.get();
    request->done = std::move(done);
    current_ = request;
    HostLookup* self = this; // dereferenced only on the starting thread
    std::thread([self, request, name] {
        std::vector<std::uint32_t> addresses;
        const int error = native::lookupIPv4(name, addresses);
        std::lock_guard<std::mutex> lock(request->mutex);
        // Holding the mutex keeps the target alive while the result is
        // posted; once posted, Qt drops it if the target goes away first.
        if (request->target)
            QMetaObject::invokeMethod(
                request->target,
                [self, request, error, addresses] {
                    if (request->abandoned || !request->done)
                        return;
                    if (self->current_ == request)
                        self->current_.reset();
                    Done done = std::move(request->done);
                    request->abandoned = true;
                    done(error, addresses);
                },
                Qt::QueuedConnection);
    }).detach();
}

} // namespace fb::sock
