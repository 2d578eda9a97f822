#include "app/working_folder.h"

#ifdef _WIN32
#include "platform/cp1252.h"

#include <windows.h>

namespace fb {

namespace {
std::wstring wide(const std::string& utf8) { return QString::fromUtf8(utf8).toStdWString(); }

// The folder name and the system's reason, as the message boxes show them.
std::string failure(const char* what, const std::string& folder) {
    const DWORD error = GetLastError();
    wchar_t* text = nullptr;
    FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                   error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    const QString reason = text ? QString::fromWCharArray(text).trimmed() : QString::number(error);
    LocalFree(text);
    return "Der Ordner \"" + toCp1252(QString::fromUtf8(folder)) + "\" " + what + ": " + toCp1252(reason);
}
} // namespace

// Started from the Start menu or by a double click, the program has no
// folder of its own: it works in "Fragebogen" in the user's profile folder.
// Paths are UTF-8, so that any user name works.
std::string desktopWorkingFolder() {
    std::wstring profile(MAX_PATH, L'\0');
    DWORD n = GetEnvironmentVariableW(L"USERPROFILE", profile.data(), static_cast<DWORD>(profile.size()));
    if (n > profile.size()) {
        profile.resize(n);
        n = GetEnvironmentVariableW(L"USERPROFILE", profile.data(), n);
    }
    if (n == 0)
        return "Fragebogen";
    profile.resize(n);
    while (!profile.empty() && (profile.back() == L'\\' || profile.back() == L'/'))
        profile.pop_back();
    return QString::fromStdWString(profile + L"\\Fragebogen").toUtf8().toStdString();
}

std::string enterWorkingFolder(const std::string& folder) {
    if (!CreateDirectoryW(wide(folder).c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS)
        return failure("kann nicht angelegt werden", folder);
    if (!SetCurrentDirectoryW(wide(folder).c_str()))
        return failure("kann nicht ge\xF6" "ffnet werden", folder);
    return {};
}

} // namespace fb

#else

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fb {

std::string desktopWorkingFolder() {
    std::string home;
    if (const char* h = std::getenv("HOME"); h && *h)
        home = h;
    else if (const passwd* pw = getpwuid(getuid()); pw && pw->pw_dir)
        home = pw->pw_dir;
    else
        home = ".";
    while (home.size() > 1 && home.back() == '/')
        home.pop_back();
    return (home == "/" ? std::string() : home) + "/Fragebogen";
}

std::string enterWorkingFolder(const std::string& folder) {
    if (::mkdir(folder.c_str(), 0777) != 0 && errno != EEXIST)
        return "Der Ordner \"" + folder + "\" kann nicht angelegt werden: " + std::strerror(errno);
    if (::chdir(folder.c_str()) != 0)
        return "Der Ordner \"" + folder + "\" kann nicht ge\xF6" "ffnet werden: " + std::strerror(errno);
    return {};
}

} // namespace fb

#endif
