#pragma once
// Unit NMUUE: base64 (MIME) and uuencode lines.
#include "platform/memory_stream.h"

#include <QObject>

#include <cstdint>
#include <functional>
#include <string>

namespace fb {

enum UUMethods : std::uint8_t { uuMime = 0, uuCode = 1 };

class TNMUUProcessor : public QObject {
public:
    using TNotifyEvent = std::function<void(QObject* sender)>;

    explicit TNMUUProcessor(QObject* owner = nullptr) : QObject(owner) {}

    TNotifyEvent OnBeginEncode, OnEndEncode, OnBeginDecode, OnEndDecode;
    std::string Alphabet;
    MemoryStream* InputStream = nullptr;  // not owned
    MemoryStream* OutputStream = nullptr; // not owned
    UUMethods Method = uuMime;

    // Reads all of InputStream, appends lines of at most 45 input bytes
    // (each ending in CR LF) to OutputStream.
    void Encode();
};

// Base64 of the bytes in lines as Encode writes them.
std::string mimeEncodeLines(const std::string& bytes);

} // namespace fb
