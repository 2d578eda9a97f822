#include "app/working_folder.h"

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
