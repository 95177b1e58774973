// The game binary on damaged data: every kind of data file cut short, with
// flipped bits, or replaced by random bytes. Each run ends with a clear
// message or plays on through the title and the first level; none crashes or
// hangs, and no other file of the data folder changes.
#include "tests/support/TestData.h"
#include "tests/support/TestSupport.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <map>
#include <random>
#include <sys/wait.h>

using namespace varnok;
using varnok::test::ReadFileBytes;
using varnok::test::TempDir;
using varnok::test::WriteFileBytes;
namespace fs = std::filesystem;

namespace {

using Snapshot = std::map<std::string, std::string>;

Snapshot Files(const std::string& folder) {
    Snapshot files;
    for (const auto& entry : fs::recursive_directory_iterator(folder))
        if (entry.is_regular_file())
            files[fs::relative(entry.path(), folder).string()] = ReadFileBytes(entry.path());
    return files;
}

std::string Damaged(const std::string& bytes, int how, std::mt19937& random) {
    std::string out = bytes;
    switch (how) {
    case 0:
        out.resize(bytes.size() / 2);
        break; // cut short
    case 1:    // a few flipped bits
        for (int i = 0; i < 8 && !out.empty(); ++i)
            out[random() % out.size()] ^= static_cast<char>(1 << (random() % 8));
        break;
    default: // random bytes of the same size
        for (char& c : out)
            c = static_cast<char>(random());
        break;
    }
    return out;
}

struct Kind {
    const char* file;
    // Files removed first, so that the damaged file is the one the game reads
    // (no plain settings to convert, no bitmap to rebuild the tiles from).
    std::vector<const char*> removed;
};

} // namespace

TEST(HostileData, EveryDataFileKindDamagedEndsClearlyOrPlaysOn) {
    TempDir dir;
    const std::string clean = dir / "clean";
    test::WriteTestGame(clean, 1);
    fs::copy_file(test::BinaryDir() + "/SND/Level1.mod", clean + "/SND/music.mod");
    std::string global = test::TestGlobalIni(1);
    global.insert(global.find("[Menu]\n") + 7, "MOD=music.mod\n");
    global.insert(global.find("[Level1]\n") + 9, "MOD=music.mod\n");
    WriteFileBytes(clean + "/DAT/GLOBAL.INI", global);
    // Start the first level, play a little, leave it, return to the title.
    WriteFileBytes(dir / "keys.txt", "40 down Enter\n41 up Enter\n80 down Right\n120 up Right\n"
                                     "130 down Escape\n131 up Escape\n");
    const std::string run = "timeout 60 " + test::BinaryDir() + "/varnok --headless --ticks 200 --input " +
                            (dir / "keys.txt") + " --data ";
    // One clean run makes the enciphered files and tile lists the others start from.
    ASSERT_EQ(std::system((run + clean + " 2>/dev/null").c_str()), 0);

    const Kind kinds[] = {
        {"GFX/Images.dxg", {}},
        {"GFX/Level1.dxg", {"GFX/Level1.bmp"}},
        {"GFX/Level1.bmp", {}},
        {"SND/Sounds.dxw", {}},
        {"SND/music.mod", {}},
        {"DAT/LEVEL.INI", {}},
        {"DAT/GLOBAL.INI", {}},
        {"DAT/LEVEL.DAT", {"DAT/LEVEL.INI", "DAT/GLOBAL.INI"}},
        {"DAT/GLOBAL.DAT", {"DAT/LEVEL.INI", "DAT/GLOBAL.INI"}},
    };
    std::mt19937 random(12);
    int runs = 0;
    for (const Kind& kind : kinds) {
        for (int how = 0; how < 3; ++how) {
            SCOPED_TRACE(std::string(kind.file) + " damage " + std::to_string(how));
            const std::string data = dir / ("run" + std::to_string(runs++));
            fs::copy(clean, data, fs::copy_options::recursive);
            for (const char* name : kind.removed)
                fs::remove(data + "/" + name);
            const std::string target = data + "/" + kind.file;
            WriteFileBytes(target, Damaged(ReadFileBytes(target), how, random));
            const Snapshot before = Files(data);

            const std::string err = data + ".err";
            const int status = std::system((run + data + " 2>" + err).c_str());
            const std::string errors = ReadFileBytes(err);
            ASSERT_TRUE(WIFEXITED(status)) << "signal " << WTERMSIG(status) << "\n" << errors;
            const int code = WEXITSTATUS(status);
            EXPECT_TRUE(code == 0 || code == 1) << "exit " << code << "\n" << errors;
            EXPECT_TRUE(code == 0 || !errors.empty()) << "ended without a message";
            EXPECT_EQ(errors.find("Sanitizer"), std::string::npos) << errors;
            EXPECT_EQ(errors.find("runtime error"), std::string::npos) << errors;

            // Only files the start-up derives from the damaged one may change:
            // the enciphered settings from their plain copies, the tile list
            // from its bitmap.
            const std::string file = kind.file;
            const Snapshot after = Files(data);
            for (const auto& [name, bytes] : before) {
                const bool derived = (file == "DAT/LEVEL.INI" && name == "DAT/LEVEL.DAT") ||
                                     (file == "DAT/GLOBAL.INI" && name == "DAT/GLOBAL.DAT") ||
                                     (file == "GFX/Level1.bmp" && name == "GFX/Level1.dxg");
                if (derived || name == file) continue;
                const auto it = after.find(name);
                EXPECT_TRUE(it != after.end() && it->second == bytes) << name << " changed";
            }
            EXPECT_EQ(after.size(), before.size());
            fs::remove_all(data);
        }
    }
}
