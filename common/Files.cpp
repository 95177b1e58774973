#include "common/Files.h"

#include "common/Exception.h"
#include "common/StrUtils.h"

#include <atomic>
#include <cctype>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace varnok {

namespace {

std::string SystemError(const char* what, const std::string& path, int err) {
    return Format("%s \"%s\": %s", what, path.c_str(), std::strerror(err));
}

const char* FileKind(mode_t mode) {
    if (S_ISDIR(mode)) return "a folder";
    if (S_ISFIFO(mode)) return "a pipe";
    if (S_ISCHR(mode) || S_ISBLK(mode)) return "a device";
    if (S_ISSOCK(mode)) return "a socket";
    return "no regular file";
}

class FdCloser {
  public:
    explicit FdCloser(int fd) : fd_(fd) {}
    ~FdCloser() {
        if (fd_ >= 0) close(fd_);
    }
    FdCloser(const FdCloser&) = delete;
    FdCloser& operator=(const FdCloser&) = delete;

  private:
    int fd_;
};

// Reads the whole regular file; nothing when it does not exist and missingOk.
std::optional<std::string> ReadFile(const std::string& path, uint64_t maxBytes, bool missingOk) {
    // Non-blocking, so that opening a pipe does not wait for a writer; the
    // kind of file is checked on the open descriptor before any read.
    const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        if (missingOk && (errno == ENOENT || errno == ENOTDIR)) return std::nullopt;
        throw EFileError(SystemError("Cannot open file", path, errno));
    }
    FdCloser closer(fd);
    struct stat st {};
    if (fstat(fd, &st) != 0) throw EFileError(SystemError("Cannot open file", path, errno));
    if (!S_ISREG(st.st_mode))
        throw EFileError(Format("Cannot open file \"%s\": it is %s", path.c_str(), FileKind(st.st_mode)));
    if (static_cast<uint64_t>(st.st_size) > maxBytes)
        throw EFileError(
            Format("Cannot open file \"%s\": %llu bytes, more than the %llu bytes a data file may have",
                   path.c_str(), static_cast<unsigned long long>(st.st_size),
                   static_cast<unsigned long long>(maxBytes)));
    std::string text;
    text.reserve(static_cast<size_t>(st.st_size));
    char buffer[65536];
    for (;;) {
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR) continue;
            throw EFileError(SystemError("Cannot read file", path, errno));
        }
        if (n == 0) break;
        // A file that grows while it is read is held to the same bound.
        if (text.size() + static_cast<size_t>(n) > maxBytes)
            throw EFileError(Format("Cannot read file \"%s\": more than the %llu bytes a data file may have",
                                    path.c_str(), static_cast<unsigned long long>(maxBytes)));
        text.append(buffer, static_cast<size_t>(n));
    }
    return text;
}

bool WriteAll(int fd, const std::string& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        done += static_cast<size_t>(n);
    }
    return true;
}

constexpr const char* kTempMark = ".tmp";

// A file could not be created in its folder because the folder is missing:
// the real reason is why it could not be made, found at the nearest folder
// on the way that exists. Gives that folder and the error of writing there,
// or nothing when that folder could be written after all.
std::optional<std::pair<std::string, int>> MissingFolderCause(const std::string& fileName) {
    std::filesystem::path folder = std::filesystem::path(fileName).parent_path();
    for (;;) {
        const std::string name = folder.empty() ? "." : folder.string();
        struct stat st {};
        if (stat(name.c_str(), &st) == 0) {
            if (!S_ISDIR(st.st_mode)) return std::make_pair(name, ENOTDIR);
            if (access(name.c_str(), W_OK | X_OK) != 0) return std::make_pair(name, errno);
            return std::nullopt;
        }
        if (folder.empty() || folder == folder.parent_path()) return std::nullopt;
        folder = folder.parent_path();
    }
}

} // namespace

std::string ReadWholeFile(const std::string& path, uint64_t maxBytes) {
    return *ReadFile(path, maxBytes, false);
}

std::optional<std::string> ReadWholeFileIfExists(const std::string& path, uint64_t maxBytes) {
    return ReadFile(path, maxBytes, true);
}

bool IsReadOnlyFile(const std::string& path) {
    struct stat st {};
    if (stat(path.c_str(), &st) != 0) return false;
    if (geteuid() == 0) return (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0;
    return access(path.c_str(), W_OK) != 0 && (errno == EACCES || errno == EROFS);
}

void WriteFileAtomically(const std::string& fileName, const std::string& bytes) {
    if (fileName.empty()) throw EFileError("Cannot create file \"\": no file name");
    if (IsReadOnlyFile(fileName))
        throw EFileError(Format("Cannot write file \"%s\": it is read-only", fileName.c_str()));
    static std::atomic<unsigned> counter{0};
    std::string tempName;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        tempName = Format("%s%s%ld-%u", fileName.c_str(), kTempMark, static_cast<long>(getpid()), counter++);
        fd = open(tempName.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST) break;
    }
    if (fd < 0) {
        const int err = errno;
        if (err == ENOENT)
            if (const auto cause = MissingFolderCause(fileName))
                throw ESaveError(Format("Cannot create file \"%s\": no folder can be made in \"%s\": %s",
                                        fileName.c_str(), cause->first.c_str(), std::strerror(cause->second)),
                                 cause->second);
        throw ESaveError(SystemError("Cannot create file", fileName, err), err);
    }

    auto fail = [&](const char* what, int err) {
        if (fd >= 0) close(fd);
        unlink(tempName.c_str());
        throw ESaveError(SystemError(what, fileName, err), err);
    };
    // Keep the access rights of the file being replaced.
    struct stat old {};
    if (stat(fileName.c_str(), &old) == 0 && S_ISREG(old.st_mode)) fchmod(fd, old.st_mode & 07777);
    if (!WriteAll(fd, bytes)) fail("Cannot write file", errno);
    if (fsync(fd) != 0) fail("Cannot write file", errno);
    const int closed = close(fd);
    fd = -1;
    if (closed != 0) fail("Cannot write file", errno);
    if (rename(tempName.c_str(), fileName.c_str()) != 0) fail("Cannot create file", errno);

    // Make the rename itself durable; the new contents are in place already,
    // so a failure here is not reported.
    const std::string folder = fileName.substr(0, fileName.find_last_of('/') + 1);
    const int dirFd = open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        fsync(dirFd);
        close(dirFd);
    }
}

std::string SaveFailureInWords(int systemError) {
    switch (systemError) {
    case EROFS:
        return "the disk is read-only";
    case EACCES:
    case EPERM:
        return "there is no permission to write there";
    case ENOSPC:
    case EDQUOT:
        return "the disk is full";
    case ENOTDIR:
        return "a file stands where a folder should be";
    default: {
        std::string text = std::strerror(systemError);
        if (!text.empty()) text[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(text[0])));
        return text;
    }
    }
}

bool IsSafeSaveTemporary(const std::string& name, long* pid) {
    const size_t mark = name.rfind(kTempMark);
    if (mark == std::string::npos || mark == 0) return false;
    const std::string rest = name.substr(mark + std::strlen(kTempMark));
    const size_t dash = rest.find('-');
    if (dash == std::string::npos || dash == 0 || dash + 1 == rest.size()) return false;
    const std::string pidText = rest.substr(0, dash), countText = rest.substr(dash + 1);
    if (pidText.size() > 9 || countText.size() > 10 ||
        pidText.find_first_not_of("0123456789") != std::string::npos ||
        countText.find_first_not_of("0123456789") != std::string::npos)
        return false;
    if (pid) *pid = std::stol(pidText);
    return true;
}

int RemoveStaleTemporaries(const std::string& folder) {
    DIR* dir = opendir(folder.empty() ? "." : folder.c_str());
    if (!dir) return 0;
    const std::string prefix = folder.empty() || folder.back() == '/' ? folder : folder + "/";
    int removed = 0;
    while (const dirent* entry = readdir(dir)) {
        long pid = 0;
        const std::string name = entry->d_name;
        if (!IsSafeSaveTemporary(name, &pid)) continue;
        // A save of a running process (this one or another copy of the game)
        // may still be under way: its file stays.
        if (pid == static_cast<long>(getpid())) continue;
        if (pid > 0 && (kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM)) continue;
        struct stat st {};
        const std::string path = prefix + name;
        if (lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) continue;
        if (unlink(path.c_str()) == 0) ++removed;
    }
    closedir(dir);
    return removed;
}

} // namespace varnok
