#pragma once
// Every message box and the file-open dialog go through one service, so that
// tests can read each box and answer it without a modal loop.
#include <optional>
#include <string>

namespace fb {

enum class BoxIcon { None, Warning, Error, Information };
enum class BoxButtons { Ok, OkCancel };
enum class BoxAnswer { Ok, Cancel };

struct OpenFileRequest {
    std::string title;      // Windows-1252
    std::string filter;     // "Description|*.pattern"
    std::string defaultExt; // without the dot
};

class DialogService {
public:
    virtual ~DialogService() = default;
    // caption, text and details are Windows-1252 bytes; details (may be
    // empty) are shown on request below the text.
    virtual BoxAnswer messageBox(const std::string& caption, const std::string& text, BoxIcon icon,
                                 BoxButtons buttons, const std::string& details) = 0;
    BoxAnswer messageBox(const std::string& caption, const std::string& text, BoxIcon icon, BoxButtons buttons) {
        return messageBox(caption, text, icon, buttons, std::string());
    }
    // The chosen file's full path, or nothing when cancelled.
    virtual std::optional<std::string> openFile(const OpenFileRequest& request) = 0;
};

// The service in use; the Qt one unless a test installed its own.
DialogService& dialogs();
void setDialogs(DialogService* service); // nullptr restores the Qt service

// The application title: caption of plain boxes and of the error report.
const std::string& applicationTitle();
void setApplicationTitle(const std::string& title);

// The framework's boxes: captions by kind, plain boxes with the title.
BoxAnswer warningBox(const std::string& text, BoxButtons buttons = BoxButtons::Ok);
BoxAnswer errorBox(const std::string& text, BoxButtons buttons = BoxButtons::Ok, const std::string& details = {});
BoxAnswer informationBox(const std::string& text, BoxButtons buttons = BoxButtons::Ok);
BoxAnswer plainBox(const std::string& text, BoxButtons buttons = BoxButtons::Ok, const std::string& details = {});

// Message boxes and file dialogs of Qt.
class QtDialogService : public DialogService {
public:
    using DialogService::messageBox;
    BoxAnswer messageBox(const std::string& caption, const std::string& text, BoxIcon icon, BoxButtons buttons,
                         const std::string& details) override;
    std::optional<std::string> openFile(const OpenFileRequest& request) override;
};

} // namespace fb
