#include "common/UserFolders.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace varnok {

namespace {

std::string WithSlash(std::string s) {
    if (s.empty() || s.back() != '/') s.push_back('/');
    return s;
}

std::string HomeFolder() {
    const char* home = std::getenv("HOME");
    if (home && home[0] == '/') return WithSlash(home);
    if (const passwd* pw = getpwuid(getuid()); pw && pw->pw_dir && pw->pw_dir[0] == '/')
        return WithSlash(pw->pw_dir);
    return "/tmp/";
}

// A base folder from the environment; relative values are ignored, as the
// rules ask.
std::string BaseFolder(const char* variable, const char* fallback) {
    const char* value = std::getenv(variable);
    if (value && value[0] == '/') return WithSlash(value);
    return HomeFolder() + fallback;
}

} // namespace

std::string UserDataFolder() {
    return BaseFolder("XDG_DATA_HOME", ".local/share/") + "varnok/";
}

std::string UserConfigFolder() {
    return BaseFolder("XDG_CONFIG_HOME", ".config/") + "varnok/";
}

std::string UserPicturesFolder() {
    // Lines such as XDG_PICTURES_DIR="$HOME/Bilder"; only $HOME is expanded.
    std::ifstream in(BaseFolder("XDG_CONFIG_HOME", ".config/") + "user-dirs.dirs");
    std::string line;
    while (std::getline(in, line)) {
        const std::string key = "XDG_PICTURES_DIR=\"";
        if (line.rfind(key, 0) != 0) continue;
        const size_t end = line.find('"', key.size());
        if (end == std::string::npos) break;
        std::string value = line.substr(key.size(), end - key.size());
        if (value.rfind("$HOME", 0) == 0) value = HomeFolder() + value.substr(value.size() > 5 ? 6 : 5);
        // "$HOME/" alone means no pictures folder of its own: the home folder.
        if (!value.empty() && value[0] == '/') return WithSlash(value);
        break;
    }
    return HomeFolder() + "Pictures/";
}

bool IsWritableFolder(const std::string& folder) {
    struct stat st {};
    if (stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return false;
    if (access(folder.c_str(), W_OK | X_OK) != 0) return false;
    if (geteuid() == 0 && (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) return false;
    return true;
}

bool MakeFolders(const std::string& folder) {
    std::error_code ec;
    fs::create_directories(folder, ec);
    return fs::is_directory(folder, ec);
}

} // namespace varnok
