#include "common/Paths.h"

#include "common/StrUtils.h"

#include <filesystem>
#include <system_error>
#include <unistd.h>

namespace fs = std::filesystem;

namespace varnok {

namespace {
std::string& ProgramFolderStorage() {
    static std::string folder = ExecutableFolder();
    return folder;
}

std::string WithSlash(std::string s) {
    if (s.empty()) return "./";
    if (s.back() != '/') s.push_back('/');
    return s;
}
} // namespace

std::string ExecutableFolder() {
    std::error_code ec;
    fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    if (ec) return "./";
    return WithSlash(exe.parent_path().string());
}

std::string ExecutablePath() {
    std::error_code ec;
    fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    return ec ? std::string() : exe.string();
}

const std::string& ProgramFolder() { return ProgramFolderStorage(); }

void SetProgramFolder(const std::string& folder) { ProgramFolderStorage() = WithSlash(folder); }

std::string ResolvePath(std::string_view folder, std::string_view relative) {
    fs::path current(folder.empty() ? std::string(".") : std::string(folder));
    std::string component;
    auto step = [&](const std::string& name) {
        if (name.empty() || name == ".") return;
        std::error_code ec;
        fs::path exact = current / name;
        if (!fs::exists(exact, ec) && fs::is_directory(current, ec)) {
            for (const auto& entry : fs::directory_iterator(current, ec)) {
                if (SameText(entry.path().filename().string(), name)) {
                    current = entry.path();
                    return;
                }
            }
        }
        current = exact;
    };
    for (char c : relative) {
        if (c == '\\' || c == '/') {
            step(component);
            component.clear();
        } else {
            component.push_back(c);
        }
    }
    step(component);
    return current.string();
}

std::string DataPath(std::string_view relative) { return ResolvePath(ProgramFolder(), relative); }

bool FileExists(const std::string& path) {
    std::error_code ec;
    return fs::is_regular_file(path, ec);
}

} // namespace varnok
