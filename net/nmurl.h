#pragma once
// Unit NMURL: URL encoding of form data.
#include <QObject>

#include <functional>
#include <string>

namespace fb {

using TOnErrorEvent = std::function<void(QObject* sender, const std::string& operation, const std::string& errMsg)>;

class TNMURL : public QObject {
public:
    explicit TNMURL(QObject* owner = nullptr) : QObject(owner) {}

    std::string InputString;
    TOnErrorEvent OnError;

    // Letters and digits stay, a space becomes "+", every other byte "%XX".
    std::string Encode();
};

// The encoding itself, for callers that need no component.
std::string urlEncode(const std::string& text);

} // namespace fb
