// The whole-file reader and the safe save, and every reader of game data
// handed things that are not data files: a pipe, a device, a folder, a file
// larger than any data file may be.
#include "app/Harness.h"
#include "common/Exception.h"
#include "common/Files.h"
#include "common/Image.h"
#include "level/CryptedINI.h"
#include "level/ImageList.h"
#include "media/WaveListFile.h"
#include "tests/support/TestSupport.h"

#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace varnok;
using varnok::test::ReadFileBytes;
using varnok::test::TempDir;
using varnok::test::WriteFileBytes;
namespace fs = std::filesystem;

namespace {

// The message of the EFileError that action raises; "" when it raises none.
std::string FileErrorOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const EFileError& e) {
        return e.Message();
    }
    return "";
}

// A pipe nobody writes to, a link to an endless device, a folder, and a
// sparse file past the size bound (it takes no disk space).
struct Hostile {
    std::string fifo, zero, folder, huge;
    explicit Hostile(const TempDir& dir)
        : fifo(dir / "fifo"), zero(dir / "zero"), folder(dir / "folder"), huge(dir / "huge") {
        EXPECT_EQ(mkfifo(fifo.c_str(), 0644), 0);
        fs::create_symlink("/dev/zero", zero);
        fs::create_directory(folder);
        WriteFileBytes(huge, "x");
        EXPECT_EQ(truncate(huge.c_str(), static_cast<off_t>(kMaxDataFileBytes + 1)), 0);
    }
};

// A waiting read would hang the test program: the alarm ends it instead.
struct HangGuard {
    HangGuard() { alarm(20); }
    ~HangGuard() { alarm(0); }
};

} // namespace

TEST(ReadWholeFile, AcceptsOnlyRegularFilesOfSaneSize) {
    HangGuard guard;
    TempDir dir;
    Hostile h(dir);
    EXPECT_NE(FileErrorOf([&] { ReadWholeFile(h.fifo); }).find("is a pipe"), std::string::npos);
    EXPECT_NE(FileErrorOf([&] { ReadWholeFile(h.zero); }).find("is a device"), std::string::npos);
    EXPECT_NE(FileErrorOf([&] { ReadWholeFile(h.folder); }).find("is a folder"), std::string::npos);
    EXPECT_NE(FileErrorOf([&] { ReadWholeFile(h.huge); }).find("more than the 134217728 bytes"),
              std::string::npos);
    EXPECT_NE(FileErrorOf([&] { ReadWholeFile(dir / "missing"); }).find("Cannot open file"),
              std::string::npos);

    WriteFileBytes(dir / "small", std::string("a\0b", 3));
    EXPECT_EQ(ReadWholeFile(dir / "small"), std::string("a\0b", 3));
    EXPECT_NE(FileErrorOf([&] { ReadWholeFile(dir / "small", 2); }), "");
    EXPECT_EQ(ReadWholeFileIfExists(dir / "missing"), std::nullopt);
    EXPECT_EQ(ReadWholeFileIfExists(dir / "small/below"), std::nullopt);
    EXPECT_NE(FileErrorOf([&] { ReadWholeFileIfExists(h.fifo); }), "");
}

// Every reader of the game's files goes through the same checks: each ends
// with a file error at once, none waits or runs out of memory.
TEST(ReadWholeFile, EveryDataReaderRefusesWhatIsNoDataFile) {
    HangGuard guard;
    TempDir dir;
    Hostile h(dir);
    const std::pair<const char*, std::function<void(const std::string&)>> readers[] = {
        {"image list", [](const std::string& p) { TPictureCollection().LoadFromFile(p); }},
        {"picture", [](const std::string& p) { TPicture().LoadFromFile(p); }},
        {"wave list", [](const std::string& p) { TWaveListData().LoadFromFile(p); }},
        {"input script", [](const std::string& p) { LoadInputScript(p); }},
        {"store", [](const std::string& p) { TMemIniFileCrypted store(p); }},
    };
    for (const auto& reader : readers) {
        const char* name = reader.first;
        const auto& read = reader.second;
        for (const std::string& path : {h.fifo, h.zero, h.huge})
            EXPECT_NE(FileErrorOf([&] { read(path); }), "") << name << " " << path;
        // A folder is reported as one (the store alone takes it for no file).
        if (std::string(name) != "store") {
            EXPECT_NE(FileErrorOf([&] { read(h.folder); }).find("is a folder"), std::string::npos) << name;
        }
    }
}

TEST(WriteFileAtomically, NeverReplacesAReadOnlyFile) {
    TempDir dir;
    const std::string target = dir / "LEVEL.DAT";
    WriteFileBytes(target, "old");
    chmod(target.c_str(), 0444);
    EXPECT_TRUE(IsReadOnlyFile(target));
    EXPECT_NE(FileErrorOf([&] { WriteFileAtomically(target, "new"); }).find("read-only"), std::string::npos);
    EXPECT_EQ(ReadFileBytes(target), "old");
    // The same for a user the file really is closed to: root runs the check
    // as another user, as root itself ignores the rights.
    if (geteuid() == 0) {
        ASSERT_EQ(chown(target.c_str(), 0, 0), 0);
        chmod(target.c_str(), 0644);
    }
    chmod(dir.Path().c_str(), 0777);
    EXPECT_EXIT(
        {
            if (geteuid() == 0 && setuid(65534) != 0) _exit(10);
            _exit(IsReadOnlyFile(target) && !FileErrorOf([&] { WriteFileAtomically(target, "new"); }).empty()
                      ? 3
                      : 4);
        },
        ::testing::ExitedWithCode(3), "");
    chmod(dir.Path().c_str(), 0755);
    EXPECT_EQ(ReadFileBytes(target), "old");

    // A writable file is replaced and keeps its rights; no temporary stays.
    chmod(target.c_str(), 0640);
    WriteFileAtomically(target, "new");
    EXPECT_EQ(ReadFileBytes(target), "new");
    EXPECT_EQ(fs::status(target).permissions(), fs::perms(0640));
    EXPECT_FALSE(IsReadOnlyFile(dir / "missing"));
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.Path()), fs::directory_iterator()), 1);
}

// A save the system refuses carries the reason as its error number; a folder
// missing on the way is reported by why it could not be made, not as a
// missing file.
TEST(WriteFileAtomically, RefusedSavesSayWhy) {
    TempDir dir;
    auto refusal = [](const std::string& path) -> std::pair<int, std::string> {
        try {
            WriteFileAtomically(path, "x");
        } catch (const ESaveError& e) {
            return {e.SystemError, e.Message()};
        }
        return {0, ""};
    };
    WriteFileBytes(dir / "blocker", "");
    const auto [blocked, blockedText] = refusal(dir / "blocker/varnok/DAT/LEVEL.DAT");
    EXPECT_EQ(blocked, ENOTDIR);
    EXPECT_NE(blockedText.find("Not a directory"), std::string::npos) << blockedText;
    // A folder closed to the user (checked as another user than root, which
    // ignores the rights).
    fs::create_directory(dir / "closed");
    chmod((dir / "closed").c_str(), 0555);
    chmod(dir.Path().c_str(), 0755);
    auto closedSaysWhy = [&] {
        const auto [error, text] = refusal(dir / "closed/varnok/DAT/LEVEL.DAT");
        return error == EACCES && text.find("no folder can be made in \"" + dir / "closed" +
                                            "\": Permission denied") != std::string::npos;
    };
    EXPECT_EXIT(
        {
            if (geteuid() == 0 && setuid(65534) != 0) _exit(10);
            _exit(closedSaysWhy() ? 3 : 4);
        },
        ::testing::ExitedWithCode(3), "");
    // Where the folder could be made, it is simply missing.
    EXPECT_EQ(refusal(dir / "missing/LEVEL.DAT").first, ENOENT);
}

TEST(WriteFileAtomically, StaleTemporariesOfDeadProcessesAreRemoved) {
    TempDir dir;
    // A process id that surely no longer runs: a child that has ended.
    const pid_t child = fork();
    if (child == 0) _exit(0);
    waitpid(child, nullptr, 0);
    const std::string dead = "LEVEL.DAT.tmp" + std::to_string(child) + "-3";
    const std::string mine = "GLOBAL.DAT.tmp" + std::to_string(getpid()) + "-0";
    for (const std::string& name : {dead, mine, std::string("LEVEL.DAT"), std::string("notes.tmp12"),
                                    std::string("x.tmp1-2-3"), std::string(".tmp5-1")})
        WriteFileBytes(dir / name, "x");
    fs::create_directory(dir / ("folder.tmp" + std::to_string(child) + "-1"));
    long pid = 0;
    EXPECT_TRUE(IsSafeSaveTemporary(dead, &pid));
    EXPECT_EQ(pid, child);

    EXPECT_EQ(RemoveStaleTemporaries(dir.Path().string()), 1);
    EXPECT_FALSE(fs::exists(dir / dead));
    for (const std::string& kept : {mine, std::string("LEVEL.DAT"), std::string("notes.tmp12"),
                                    std::string("x.tmp1-2-3"), std::string(".tmp5-1")})
        EXPECT_TRUE(fs::exists(dir / kept)) << kept;
    EXPECT_EQ(RemoveStaleTemporaries(dir / "missing"), 0);
}

// A PNG picture is decoded from the bytes the reader checked, not reopened.
TEST(ReadWholeFile, PicturesAreDecodedFromTheBytesRead) {
    TempDir dir;
    RgbaImage image(3, 2);
    image.At(2, 1)[1] = 200;
    WritePng(dir / "a.png", image);
    TPicture picture;
    picture.LoadFromFile(dir / "a.png");
    EXPECT_EQ(picture.Width(), 3);
    EXPECT_EQ(picture.Height(), 2);
    const std::string bytes = ReadFileBytes(dir / "a.png");
    WriteFileBytes(dir / "cut.png", bytes.substr(0, bytes.size() / 2));
    EXPECT_NE(FileErrorOf([&] { TPicture().LoadFromFile(dir / "cut.png"); }).find("cut.png"),
              std::string::npos);
}
