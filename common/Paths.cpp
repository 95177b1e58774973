#include "common/Paths.h"

#include "common/StrUtils.h"

#include <filesystem>
#include <map>
#include <system_error>
#include <unistd.h>

namespace fs = std::filesystem;

namespace varnok {

namespace {
#ifndef VARNOK_INSTALLED_DATA
#define VARNOK_INSTALLED_DATA "../share/games/varnok"
#endif

std::string& ProgramFolderStorage() {
    static std::string folder = FindProgramFolder(ExecutableFolder(), VARNOK_INSTALLED_DATA);
    return folder;
}

std::string& WriteFolderStorage() {
    static std::string folder;
    return folder;
}

std::map<std::string, std::string>& KeptFiles() {
    static std::map<std::string, std::string> files;
    return files;
}

std::string KeptName(std::string_view relative) {
    std::string name = UpperCase(relative);
    for (char& c : name)
        if (c == '\\') c = '/';
    return name;
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

std::string DataPath(std::string_view relative) { return ReadPath(ProgramFolder(), relative); }

std::string WritableDataPath(std::string_view relative) { return WritePath(ProgramFolder(), relative); }

void SetWriteFolder(const std::string& folder) { WriteFolderStorage() = folder.empty() ? "" : WithSlash(folder); }

const std::string& WriteFolder() { return WriteFolderStorage(); }

std::string ReadPath(std::string_view folder, std::string_view relative) {
    if (!WriteFolder().empty()) {
        std::string own = ResolvePath(WriteFolder(), relative);
        std::error_code ec;
        if (fs::exists(own, ec)) return own;
    }
    return ResolvePath(folder, relative);
}

std::string WritePath(std::string_view folder, std::string_view relative) {
    if (WriteFolder().empty()) return ResolvePath(folder, relative);
    std::string own = ResolvePath(WriteFolder(), relative);
    std::error_code ec;
    fs::create_directories(fs::path(own).parent_path(), ec);
    return own;
}

void KeepInMemory(std::string_view relative, std::string bytes) {
    KeptFiles()[KeptName(relative)] = std::move(bytes);
}

const std::string* KeptInMemory(std::string_view relative) {
    const auto it = KeptFiles().find(KeptName(relative));
    return it == KeptFiles().end() ? nullptr : &it->second;
}

void ForgetKeptFiles() {
    KeptFiles().clear();
}

std::string FindProgramFolder(const std::string& executableFolder, const std::string& installedData) {
    std::error_code ec;
    if (fs::is_directory(ResolvePath(executableFolder, "DAT"), ec)) return WithSlash(executableFolder);
    const fs::path installed = fs::path(executableFolder) / installedData;
    if (fs::is_directory(ResolvePath(installed.string(), "DAT"), ec))
        return WithSlash(fs::weakly_canonical(installed, ec).string());
    return WithSlash(executableFolder);
}

bool FileExists(const std::string& path) {
    std::error_code ec;
    return fs::is_regular_file(path, ec);
}

} // namespace varnok
