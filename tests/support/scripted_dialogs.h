#pragma once
// A dialog service for tests: records every box and answers as told.
#include "platform/dialogs.h"

#include <deque>
#include <functional>
#include <string>
#include <vector>

namespace fbtest {

struct RecordedBox {
    std::string caption;
    std::string text;
    fb::BoxIcon icon;
    fb::BoxButtons buttons;
    std::string details;
};

class ScriptedDialogs : public fb::DialogService {
public:
    ScriptedDialogs() { fb::setDialogs(this); }
    ~ScriptedDialogs() override { fb::setDialogs(nullptr); }

    using fb::DialogService::messageBox;
    fb::BoxAnswer messageBox(const std::string& caption, const std::string& text, fb::BoxIcon icon,
                             fb::BoxButtons buttons, const std::string& details) override {
        boxes.push_back({caption, text, icon, buttons, details});
        if (onBox)
            onBox(boxes.back());
        if (answers.empty())
            return fb::BoxAnswer::Ok;
        fb::BoxAnswer a = answers.front();
        answers.pop_front();
        return a;
    }
    std::optional<std::string> openFile(const fb::OpenFileRequest& request) override {
        fileRequests.push_back(request);
        if (files.empty())
            return std::nullopt;
        auto f = files.front();
        files.pop_front();
        return f;
    }

    std::vector<RecordedBox> boxes;
    std::deque<fb::BoxAnswer> answers;
    std::deque<std::optional<std::string>> files;
    std::vector<fb::OpenFileRequest> fileRequests;
    std::function<void(const RecordedBox&)> onBox;
};

} // namespace fbtest
