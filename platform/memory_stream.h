#pragma once
// A growable in-memory byte stream (the resource loader's target).
#include <algorithm>
#include <cstddef>
#include <string>

namespace fb {

class MemoryStream {
public:
    void clear() {
        bytes_.clear();
        position_ = 0;
    }
    void write(const void* data, std::size_t size) {
        const char* p = static_cast<const char*>(data);
        if (position_ > bytes_.size())
            bytes_.resize(position_);
        bytes_.replace(position_, std::min(size, bytes_.size() - position_), p, size);
        position_ += size;
    }
    std::size_t size() const { return bytes_.size(); }
    std::size_t position() const { return position_; }
    void setPosition(std::size_t p) { position_ = p; }
    const std::string& bytes() const { return bytes_; }
    // The bytes from the current position to the end.
    std::string readAll() {
        std::string rest = position_ < bytes_.size() ? bytes_.substr(position_) : std::string();
        position_ = bytes_.size();
        return rest;
    }

private:
    std::string bytes_;
    std::size_t position_ = 0;
};

} // namespace fb
