#include "level/CryptedINI.h"

#include "common/Exception.h"
#include "tests/support/TestSupport.h"

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace varnok;
using namespace varnok::test;
using Lines = std::vector<std::string>;

namespace {

std::string Complement(std::string s) {
    for (char& c : s) c = static_cast<char>(~c);
    return s;
}

Lines FolderEntries(const TempDir& dir) {
    Lines names;
    for (const auto& e : std::filesystem::directory_iterator(dir.Path())) names.push_back(e.path().filename());
    std::sort(names.begin(), names.end());
    return names;
}

template <class F> bool Raises(F action) {
    try {
        action();
    } catch (const EFileError&) {
        return true;
    }
    return false;
}

// Comments, empty lines, a line before the first header, "[" alone, "[]",
// a header without lines and a duplicate section in other letter case.
const std::string kSample = "Key=outside\r\n[Level1]\r\n; comment\r\n\r\nName=First\r\nKey=a=b\r\nNum = 5\r\n"
                            "[\r\n[Empty]\n[]\rx=1\n[LEVEL1]\r\nName=Second\r\n";

} // namespace

TEST(CryptedIniTest, ExtensionDecidesCipher) {
    for (const char* plain : {"a.ini", "A.INI", "dir/x.Ini"})
        EXPECT_FALSE(TMemIniFileCrypted::EncipheredFileName(plain)) << plain;
    for (const char* ciphered : {"a.DAT", "a.dat", "noext", "dir.ini/file", "a.ini.dat"})
        EXPECT_TRUE(TMemIniFileCrypted::EncipheredFileName(ciphered)) << ciphered;
}

TEST(CryptedIniTest, CipherRoundTripOnDisk) {
    TempDir dir;
    // Mixed line ends; the zero byte ends the text.
    WriteFileBytes(dir / "G.DAT", Complement("[Game]") + "\r" + Complement("Lives=3") + "\n\n" +
                                      Complement("\xE4=1") + "\r\n" + std::string(1, '\0') + Complement("[Lost]"));
    TMemIniFileCrypted ini(dir / "G.DAT");
    EXPECT_EQ(ini.GetInteger("game", "lives", 0), 3);
    EXPECT_EQ(ini.GetString("Game", "\xE4", ""), "1");
    EXPECT_EQ(ini.Sections().size(), 1u);
    ini.Save();
    EXPECT_EQ(ReadFileBytes(dir / "G.DAT"), Complement("[Game]") + "\r\n" + Complement("Lives=3") + "\r\n" +
                                                Complement("\xE4=1") + "\r\n\r\n");
}

TEST(CryptedIniTest, ParsingAndLookups) {
    TempDir dir;
    WriteFileBytes(dir / "a.ini", kSample + "[Int]\nhex=0x1F\ndollar=$1F\nspace= 31\nmin=-2147483648\nbad=12abc\n"
                                            "trail=31 \nbare=0x\nempty=\nbig=2147483648\noff=0\n");
    TMemIniFileCrypted ini(dir / "a.ini");
    Lines names, lines, keys;
    ini.GetSectionNames(names);
    EXPECT_EQ(names, (Lines{"Level1", "Empty", "", "LEVEL1", "Int"}));
    ini.GetSectionLines("level1", lines);
    EXPECT_EQ(lines, (Lines{"Name=First", "Key=a=b", "Num = 5", "["}));
    ini.GetSectionKeys("Level1", keys);
    EXPECT_EQ(keys, (Lines{"Name", "Key", "Num ", ""}));
    EXPECT_FALSE(ini.HasSection("Empty"));
    EXPECT_TRUE(ini.HasSection(""));

    EXPECT_EQ(ini.GetString("LEVEL1", "name", ""), "First");
    EXPECT_EQ(ini.GetString("level1", "KEY", ""), "a=b");
    EXPECT_EQ(ini.GetString("Level1", "Num", "none"), "none");
    EXPECT_EQ(ini.GetString("Level1", "Num ", ""), " 5");
    EXPECT_EQ(ini.GetString("Nowhere", "Key", "def"), "def");
    for (const char* key : {"hex", "dollar", "space"}) EXPECT_EQ(ini.GetInteger("Int", key, -1), 31) << key;
    EXPECT_EQ(ini.GetInteger("Int", "min", 0), INT32_MIN);
    for (const char* key : {"bad", "trail", "bare", "empty", "big", "missing"})
        EXPECT_EQ(ini.GetInteger("Int", key, 77), 77) << key;
    EXPECT_FALSE(ini.GetBool("Int", "off", true));
    EXPECT_TRUE(ini.GetBool("Int", "bad", true));
    EXPECT_TRUE(TMemIniFileCrypted(dir / "none.DAT").Sections().empty());
}

TEST(CryptedIniTest, UpdatesSaveLayoutAndReload) {
    TempDir dir;
    WriteFileBytes(dir / "a.ini", kSample);
    TMemIniFileCrypted ini(dir / "a.ini");
    ini.SetString("level1", "NAME", "Third"); // replaces the first match
    ini.SetString("Level1", "New", "v");      // appended to the section
    ini.SetString("Added", "K", "");          // new section at the end
    ini.RemoveKey("Level1", "key");
    ini.RemoveSection("empty");
    ini.RemoveSection("");
    ini.Save();
    EXPECT_EQ(ReadFileBytes(dir / "a.ini"), "[Level1]\r\nNAME=Third\r\nNum = 5\r\n[\r\nNew=v\r\n\r\n"
                                            "[LEVEL1]\r\nName=Second\r\n\r\n[Added]\r\nK=\r\n\r\n");
    ini.SetString("Added", "K", "changed");
    ini.Reload();
    EXPECT_EQ(ini.GetString("Added", "K", "gone"), "");
}

TEST(CryptedIniTest, SaveConvertedFlipsCipher) {
    TempDir dir;
    WriteFileBytes(dir / "LEVEL.INI", "[S]\r\nA=1\r\n");
    TMemIniFileCrypted ini(dir / "LEVEL.INI");
    ini.SaveConverted(dir / "LEVEL.DAT");
    EXPECT_TRUE(ini.Enciphered());
    EXPECT_EQ(ini.FileName(), dir / "LEVEL.DAT");
    EXPECT_EQ(ReadFileBytes(dir / "LEVEL.DAT"), Complement("[S]") + "\r\n" + Complement("A=1") + "\r\n\r\n");
    EXPECT_EQ(TMemIniFileCrypted(dir / "LEVEL.DAT").GetString("S", "A", ""), "1");
    ini.SaveConverted(dir / "back.ini");
    EXPECT_EQ(ReadFileBytes(dir / "back.ini"), "[S]\r\nA=1\r\n\r\n");
    EXPECT_EQ(ini.GetString("S", "A", ""), "1");
}

// A failed save raises EFileError and leaves the old file whole and no temporary file.
TEST(CryptedIniTest, FailedSaveKeepsOldFile) {
    TempDir dir;
    const std::string old = "[S]\r\nK=old\r\n\r\n";
    WriteFileBytes(dir / "a.ini", old);
    WriteFileBytes(dir / "secret.ini", old);
    std::filesystem::create_directory(dir / "x.ini");
    TMemIniFileCrypted ini(dir / "a.ini"), folder(dir / "x.ini");
    ini.SetString("S", "K", std::string(100000, 'v'));
    folder.SetString("S", "K", "V");
    EXPECT_THROW(folder.Save(), EFileError);
    EXPECT_THROW(folder.SaveConverted(dir / "x.ini"), EFileError);
    EXPECT_FALSE(folder.Enciphered()); // still bound to its old file

    // A file-size limit makes the write fail part way, like a full disk.
    rlimit saved{};
    getrlimit(RLIMIT_FSIZE, &saved);
    rlimit small{4096, saved.rlim_max};
    auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    setrlimit(RLIMIT_FSIZE, &small);
    EXPECT_THROW(ini.Save(), EFileError);
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);

    // Read-only folder and unreadable file, in a child without root rights.
    chmod((dir / "secret.ini").c_str(), 0);
    chmod(dir.Path().c_str(), 0555);
    EXPECT_EXIT(
        {
            if (geteuid() == 0 && setuid(65534) != 0) _exit(10);
            _exit(Raises([&] { ini.Save(); }) + 2 * Raises([&] { TMemIniFileCrypted(dir / "secret.ini"); }));
        },
        ::testing::ExitedWithCode(3), "");
    chmod(dir.Path().c_str(), 0755);
    EXPECT_EQ(ReadFileBytes(dir / "a.ini"), old);
    EXPECT_EQ(FolderEntries(dir), (Lines{"a.ini", "secret.ini", "x.ini"}));
    EXPECT_TRUE(std::filesystem::is_empty(dir / "x.ini"));
}

// Bytes that the file could not give back are refused before anything is
// written, naming file, section and key; the old enciphered file stays.
TEST(CryptedIniTest, RefusesValuesTheFileCannotHold) {
    TempDir dir;
    const std::string old = Complement("[Menu]") + "\r\n" + Complement("MOD=old.mod") + "\r\n\r\n";
    WriteFileBytes(dir / "GLOBAL.DAT", old);
    for (const char* bad : {"\xFF", "\xF2", "\xF5"}) {
        WriteFileBytes(dir / "GLOBAL.INI", std::string("[Menu]\nMOD=a") + bad + "b.mod\n[Player]\nLives=3\n");
        TMemIniFileCrypted plain(dir / "GLOBAL.INI");
        try {
            plain.SaveConverted(dir / "GLOBAL.DAT");
            ADD_FAILURE() << "saved an unreadable value";
        } catch (const EFileError& e) {
            const std::string message = e.Message();
            for (const char* part : {"GLOBAL.DAT", "[Menu]", "\"MOD\""})
                EXPECT_NE(message.find(part), std::string::npos) << message;
        }
        EXPECT_FALSE(plain.Enciphered());
        EXPECT_EQ(ReadFileBytes(dir / "GLOBAL.DAT"), old);
    }
    // A plain file cannot hold line breaks or NUL; a section name is checked too.
    TMemIniFileCrypted plain(dir / "GLOBAL.INI");
    plain.SetString("Name", "Text", "two\nlines");
    EXPECT_THROW(plain.Save(), EFileError);
    plain.SetString("Name", "Text", std::string("nul\0", 4));
    EXPECT_THROW(plain.Save(), EFileError);
    plain.RemoveSection("Name");
    plain.SetString("\xFF", "K", "v"); // fine in a plain file...
    plain.Save();
    EXPECT_THROW(plain.SaveConverted(dir / "GLOBAL.DAT"), EFileError); // ...but not enciphered
    EXPECT_EQ(ReadFileBytes(dir / "GLOBAL.DAT"), old);
    // Bytes that are fine either way still convert: 0xE4 and 0x0D's complement.
    WriteFileBytes(dir / "LEVEL.INI", "[S]\nK=\xE4\xF1\n");
    TMemIniFileCrypted level(dir / "LEVEL.INI");
    level.SaveConverted(dir / "LEVEL.DAT");
    EXPECT_EQ(TMemIniFileCrypted(dir / "LEVEL.DAT").GetString("S", "K", ""), "\xE4\xF1");
}

// A user's read-only enciphered file is not replaced by the conversion, also
// when the program runs as root.
TEST(CryptedIniTest, ReadOnlyFileIsKept) {
    TempDir dir;
    const std::string old = Complement("[S]") + "\r\n" + Complement("K=old") + "\r\n\r\n";
    WriteFileBytes(dir / "LEVEL.DAT", old);
    chmod((dir / "LEVEL.DAT").c_str(), 0444);
    WriteFileBytes(dir / "LEVEL.INI", "[S]\nK=new\n");
    TMemIniFileCrypted plain(dir / "LEVEL.INI");
    EXPECT_THROW(plain.SaveConverted(dir / "LEVEL.DAT"), EFileError);
    EXPECT_EQ(ReadFileBytes(dir / "LEVEL.DAT"), old);
    TMemIniFileCrypted ciphered(dir / "LEVEL.DAT");
    ciphered.SetString("S", "K", "changed");
    EXPECT_THROW(ciphered.Save(), EFileError);
    EXPECT_EQ(ReadFileBytes(dir / "LEVEL.DAT"), old);
    EXPECT_EQ(FolderEntries(dir), (Lines{"LEVEL.DAT", "LEVEL.INI"}));
}
