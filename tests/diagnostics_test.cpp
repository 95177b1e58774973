// The diagnostic tools: the debug log behind the debug window, the internals
// editor, the system report, the version table reader and the About text.
#include "common/DebugLog.h"
#include "common/Exception.h"
#include "common/Paths.h"
#include "common/StrUtils.h"
#include "level/CryptedINI.h"
#include "tests/support/TestSupport.h"
#include "tools/GameInfo.h"
#include "tools/InternalForm.h"
#include "tools/VersionInfo.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>

using namespace varnok;
namespace fs = std::filesystem;

TEST(DebugLog, TextStartsWithAnEmptyLineAndAlwaysHideKeepsTheWindowShut) {
    TDebugLog log;
    log.SetEcho(false);
    log.AddMessage("first");
    log.AddMessage("second");
    EXPECT_EQ(log.Text(), "\r\nfirst\r\nsecond");
    EXPECT_TRUE(log.Visible());
    EXPECT_TRUE(log.TakeFocusRequest()); // the game gets its keys back
    EXPECT_FALSE(log.TakeFocusRequest());

    // Closed by the user, kept closed by always-hide, yet still collecting.
    log.Hide();
    log.SetAlwaysHide(true);
    log.AddMessage("third");
    EXPECT_FALSE(log.Visible());
    EXPECT_FALSE(log.TakeFocusRequest());
    EXPECT_EQ(log.Text(), "\r\nfirst\r\nsecond\r\nthird");

    // Flag cleared: the next message shows everything gathered.
    log.SetAlwaysHide(false);
    log.AddMessage("fourth");
    EXPECT_TRUE(log.Visible());
    EXPECT_EQ(log.Text(), "\r\nfirst\r\nsecond\r\nthird\r\nfourth");
    ASSERT_EQ(log.Lines().size(), 4u);

    // Clearing keeps the window open and hands the keyboard back.
    log.TakeFocusRequest();
    log.Clear();
    EXPECT_EQ(log.Text(), "");
    EXPECT_TRUE(log.Lines().empty());
    EXPECT_TRUE(log.Visible());
    EXPECT_TRUE(log.TakeFocusRequest());
    log.AddMessage("again");
    EXPECT_EQ(log.Text(), "\r\nagain");
}

namespace {

__attribute__((noinline)) void RaiseStreamError() {
    throw EStreamError("broken");
}

} // namespace

TEST(ExceptionAddress, PointsIntoTheFunctionThatRaisedTheError) {
    try {
        RaiseStreamError();
        FAIL();
    } catch (const Exception& e) {
        const auto address = reinterpret_cast<uintptr_t>(e.Address());
        const auto function = reinterpret_cast<uintptr_t>(&RaiseStreamError);
        EXPECT_GT(address, function);
        // Instrumented builds make the function a few hundred bytes long.
        EXPECT_LT(address, function + 2048) << std::hex << address << " " << function;
    }
}

namespace {

struct InternalFormTest : ::testing::Test {
    test::TempDir dir;
    std::vector<std::string> messages;
    std::unique_ptr<TMemIniFileCrypted> store;
    std::unique_ptr<TInternalForm> form;

    // A store file with duplicate sections, a duplicate key and a line without "=".
    void Open(const std::string& name = "GLOBAL.DAT") {
        const std::string ini = "[Player]\nJumpHeight=112\nLives=3\nLives=9\njunk line\n"
                                "[Game]\nStartLevel=1\n"
                                "[player]\nJumpHeight=50\nExtra=1\n";
        std::vector<std::string> lines = TMemIniFileCrypted::SplitLines(ini);
        if (TMemIniFileCrypted::EncipheredFileName(name)) TMemIniFileCrypted::InvertLines(lines);
        std::string bytes;
        for (const auto& line : lines)
            bytes += line + "\r\n";
        test::WriteFileBytes(dir / name, bytes);
        store = std::make_unique<TMemIniFileCrypted>(dir / name);
        form =
            std::make_unique<TInternalForm>(*store, [this](const std::string& m) { messages.push_back(m); });
        form->FormShow();
    }
    void Type(const std::string& text) {
        form->Value += text;
        form->ValueKeyUp();
    }
};

} // namespace

TEST_F(InternalFormTest, TreeShowsEverySectionAndLineWhileEditsReachTheFirstOccurrence) {
    Open();
    EXPECT_TRUE(form->Visible());
    EXPECT_FALSE(form->HasSelection());
    const auto& tree = form->Tree();
    ASSERT_EQ(tree.size(), 3u);
    EXPECT_EQ(tree[0].Text, "Player");
    EXPECT_EQ(tree[1].Text, "Game");
    EXPECT_EQ(tree[2].Text, "player");
    // Both "Player" roots list the lines of the first section of that name.
    EXPECT_EQ(tree[0].Children, (std::vector<std::string>{"JumpHeight", "Lives", "Lives", ""}));
    EXPECT_EQ(tree[2].Children, tree[0].Children);

    // The second "Lives" shows and edits the first.
    form->Select(0, 2);
    form->TreeViewClick();
    EXPECT_TRUE(form->ValueEnabled);
    EXPECT_EQ(form->Value, "3");
    form->Value = "7";
    form->ValueKeyUp();
    EXPECT_EQ(store->GetString("Player", "Lives", ""), "7");
    std::vector<std::string> lines;
    store->GetSectionLines("Player", lines);
    EXPECT_EQ(lines, (std::vector<std::string>{"JumpHeight=112", "Lives=7", "Lives=9", "junk line"}));

    // The second "player" section's node edits the first section.
    form->Select(2, 0);
    form->TreeViewClick();
    EXPECT_EQ(form->Value, "112");
    form->Value = "200";
    form->ValueKeyUp();
    EXPECT_EQ(store->Sections()[0].Lines[0], "JumpHeight=200");
    EXPECT_EQ(store->Sections()[2].Lines[0], "JumpHeight=50");

    // The line without "=" is a node with empty text and no value.
    form->Select(0, 3);
    form->TreeViewClick();
    EXPECT_EQ(form->Value, "");

    // A root disables the box and leaves its text.
    form->Value = "left";
    form->Select(1, -1);
    form->TreeViewClick();
    EXPECT_FALSE(form->ValueEnabled);
    EXPECT_EQ(form->Value, "left");
    form->ValueKeyUp(); // nothing to write to
    EXPECT_EQ(store->GetString("Game", "StartLevel", ""), "1");

    // Reopening rebuilds the tree from memory with nothing selected.
    form->FormShow();
    EXPECT_FALSE(form->HasSelection());
    EXPECT_EQ(form->Value, "");
}

TEST_F(InternalFormTest, NothingSelectedMeansClicksAndKeysDoNothing) {
    Open();
    const auto before = store->CollectLines();
    form->Value = "x";
    form->TreeViewClick();
    form->ValueKeyUp();
    form->Select(5, 0); // outside the tree
    EXPECT_FALSE(form->HasSelection());
    form->Select(0, 9);
    EXPECT_FALSE(form->HasSelection());
    form->TreeViewClick();
    form->ValueKeyUp();
    EXPECT_EQ(form->Value, "x");
    EXPECT_EQ(store->CollectLines(), before);
}

TEST_F(InternalFormTest, TypingWritesEachKeyAndCancelRestoresTheFile) {
    Open();
    const std::string fileBefore = test::ReadFileBytes(dir / "GLOBAL.DAT");
    form->Select(1, 0);
    form->TreeViewClick();
    form->Value.clear();
    std::vector<std::string> seen;
    for (const char* key : {"1", "2", "3"}) {
        Type(key);
        seen.push_back(store->GetString("Game", "StartLevel", ""));
    }
    EXPECT_EQ(seen, (std::vector<std::string>{"1", "12", "123"}));
    EXPECT_TRUE(form->CancelBtnClick());
    EXPECT_FALSE(form->Visible());
    EXPECT_EQ(store->GetString("Game", "StartLevel", ""), "1");
    EXPECT_EQ(test::ReadFileBytes(dir / "GLOBAL.DAT"), fileBefore);
    EXPECT_TRUE(messages.empty());
}

TEST_F(InternalFormTest, OkSavesAnEncipheredFileThatReadsBackAndCloseKeepsChangesInMemory) {
    Open();
    form->Select(0, 0);
    form->TreeViewClick();
    form->Value = "250";
    form->ValueKeyUp();
    form->CloseBtnClick(); // kept in memory, not saved
    EXPECT_FALSE(form->Visible());
    EXPECT_EQ(store->GetString("Player", "JumpHeight", ""), "250");
    EXPECT_EQ(TMemIniFileCrypted(dir / "GLOBAL.DAT").GetString("Player", "JumpHeight", ""), "112");

    form->FormShow();
    EXPECT_TRUE(form->OkBtnClick());
    EXPECT_FALSE(form->Visible());
    TMemIniFileCrypted reread(dir / "GLOBAL.DAT");
    EXPECT_EQ(reread.GetString("Player", "JumpHeight", ""), "250");
    EXPECT_EQ(reread.Sections().size(), 3u);
    // Enciphered on disk: the plain text is nowhere in the file.
    EXPECT_EQ(test::ReadFileBytes(dir / "GLOBAL.DAT").find("JumpHeight"), std::string::npos);
    EXPECT_TRUE(messages.empty());
}

TEST_F(InternalFormTest, AFailedSaveIsReportedAndLeavesFileAndDialogAsTheyWere) {
    Open();
    const std::string fileBefore = test::ReadFileBytes(dir / "GLOBAL.DAT");
    form->Select(0, 0);
    form->TreeViewClick();
    form->Value = "999";
    form->ValueKeyUp();
    // A read-only file is never replaced.
    ASSERT_EQ(chmod((dir / "GLOBAL.DAT").c_str(), 0444), 0);
    EXPECT_FALSE(form->OkBtnClick());
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_NE(messages[0].find("GLOBAL.DAT"), std::string::npos) << messages[0];
    EXPECT_TRUE(form->Visible());
    EXPECT_EQ(form->SelectedRoot(), 0);
    EXPECT_EQ(form->Value, "999");
    EXPECT_EQ(store->GetString("Player", "JumpHeight", ""), "999");
    EXPECT_EQ(test::ReadFileBytes(dir / "GLOBAL.DAT"), fileBefore);
    chmod((dir / "GLOBAL.DAT").c_str(), 0644);

    // A value the enciphered file could not give back (a byte that would be
    // written as a line break) is refused the same way.
    form->Value = "1\xF5"
                  "2";
    form->ValueKeyUp();
    EXPECT_FALSE(form->OkBtnClick());
    EXPECT_EQ(messages.size(), 2u);
    EXPECT_EQ(test::ReadFileBytes(dir / "GLOBAL.DAT"), fileBefore);
    EXPECT_TRUE(form->Visible());
}

TEST(SystemReport, EmptySourcesGiveTheLayoutWithEmptyTexts) {
    TSystemSources none;
    none.OsRelease = {"/nonexistent/os-release"};
    none.KernelRelease = none.MemInfo = none.CpuInfo = "/nonexistent/file";
    TDirectXForm form(TGameInfo(none, ""));
    EXPECT_EQ(form.Info, (std::vector<std::string>{"Operating system:", "   ", "DirectX:", "  ",
                                                   "Memory (physical):", "  0MB of 0MB",
                                                   "Memory (virtual):", "  0MB of 0MB",
                                                   "Swap file:", "  0MB of 0MB", "CPU:", "  "}));
    EXPECT_EQ(form.Text().substr(0, 22), "Operating system:\r\n   ");
    EXPECT_EQ(std::string(TDirectXForm::Caption), "DirectX Info");
}

TEST(SystemReport, FiguresComeFromTheSystemFilesInMegabytesTruncated) {
    test::TempDir dir;
    test::WriteFileBytes(dir / "os-release",
                         "PRETTY_NAME=\"Debian GNU/Linux 12 (bookworm)\"\nNAME=\"Debian GNU/Linux\"\n"
                         "VERSION_ID=\"12\"\nVERSION=\"12 (bookworm)\"\n");
    test::WriteFileBytes(dir / "osrelease", "6.1.0-18-amd64\n");
    test::WriteFileBytes(dir / "meminfo", "MemTotal:        2099199 kB\nMemFree:          500000 kB\n"
                                          "MemAvailable:    1049599 kB\nSwapTotal:       1048576 kB\n"
                                          "SwapFree:         1047552 kB\nCommitLimit:     3000000 kB\n"
                                          "Committed_AS:    3500000 kB\n");
    test::WriteFileBytes(dir / "cpuinfo", "processor\t: 0\nvendor_id\t: GenuineIntel\ncpu family\t: 6\n"
                                          "processor\t: 1\nvendor_id\t: OtherVendor\n");
    TSystemSources sources;
    sources.OsRelease = {dir / "missing", dir / "os-release"}; // the second place is used
    sources.KernelRelease = dir / "osrelease";
    sources.MemInfo = dir / "meminfo";
    sources.CpuInfo = dir / "cpuinfo";
    const TGameInfo info(sources, "SDL 2.26.5");
    const auto report = SystemReport(info);
    ASSERT_EQ(report.size(), 12u);
    EXPECT_EQ(report[1], "  Debian GNU/Linux 12 (6.1.0-18-amd64)");
    EXPECT_EQ(report[3], "  SDL 2.26.5");
    EXPECT_EQ(report[5], "  1024MB of 2049MB"); // 1049599 / 1024 = 1024.9...
    // More promised than the limit: nothing is free.
    EXPECT_EQ(report[7], "  0MB of 2929MB");
    EXPECT_EQ(report[9], "  1023MB of 1024MB");
    EXPECT_EQ(report[11], "  GenuineIntel");

    // Without MemAvailable the free figure is MemFree; no kernel release, no brackets.
    test::WriteFileBytes(dir / "meminfo", "MemTotal: 2048 kB\nMemFree: 1024 kB\n");
    sources.KernelRelease = dir / "missing";
    const TGameInfo older(sources, "");
    EXPECT_EQ(older.dwAvailPhys, 1024u);
    EXPECT_EQ(older.OSVersion, "12");
}

namespace {

TVersionTable ProgramTable() {
    TVersionTable t;
    const uint16_t file[4] = {1, 0, 0, 142};
    std::copy(file, file + 4, t.FileVersion);
    t.ProductVersion[0] = 1;
    t.Language = 0x0407;
    t.CodePage = 1252;
    t.Strings = {{"CompanyName", "The VARNOK project"},
                 {"FileDescription", "VARNOK (freeware version)"},
                 {"FileVersion", "1.0.0.142"},
                 {"InternalName", "varnok"},
                 {"LegalCopyright", ""},
                 {"OriginalFilename", "varnok"},
                 {"ProductName", "VARNOK"},
                 {"ProductVersion", "1.0.0.0"}};
    return t;
}

} // namespace

TEST(VersionInfo, ReadsTheTableFromAnyFileSkippingEmptyValues) {
    test::TempDir dir;
    // The table among other bytes, after a damaged copy of it.
    std::string table = EncodeVersionTable(ProgramTable());
    std::string damaged = table;
    damaged[damaged.size() - 10] ^= 0x20;
    test::WriteFileBytes(dir / "prog",
                         std::string(1000, '\x7f') + damaged + "junk" + table + std::string(99, '\0'));
    TGetVersionInfoFromFile vi;
    vi.SetFileName(dir / "prog");
    EXPECT_EQ(vi.FileName(), dir / "prog");
    EXPECT_EQ(vi.VersionCategories,
              (std::vector<std::string>{"CompanyName", "FileDescription", "FileVersion", "InternalName",
                                        "OriginalFilename", "ProductName", "ProductVersion"}));
    EXPECT_EQ(vi.VersionStrings[2], "1.0.0.142");
    EXPECT_EQ(vi.GetValue("fileversion"), "1.0.0.142");
    EXPECT_EQ(vi.GetValue("PRODUCTVERSION"), "1.0.0.0");
    EXPECT_EQ(vi.GetValue("LegalCopyright"), "");

    // A table across the end of the first megabyte read.
    test::WriteFileBytes(dir / "big", std::string((1u << 20) - 40, 'x') + table);
    vi.SetFileName(dir / "big");
    EXPECT_EQ(vi.GetValue("FileVersion"), "1.0.0.142");

    // A pipe is no file to read (it would wait for a writer).
    ASSERT_EQ(mkfifo((dir / "pipe").c_str(), 0600), 0);
    vi.SetFileName(dir / "pipe");
    EXPECT_EQ(vi.FileName(), "");
    EXPECT_TRUE(vi.VersionCategories.empty());

    // A path that does not exist empties both lists and the name.
    vi.SetFileName(dir / "gone");
    EXPECT_EQ(vi.FileName(), "");
    EXPECT_TRUE(vi.VersionCategories.empty());
    EXPECT_TRUE(vi.VersionStrings.empty());
}

TEST(VersionInfo, NoTableOrAMissingKeyStopsTheReading) {
    test::TempDir dir;
    test::WriteFileBytes(dir / "plain", "no version information here");
    TGetVersionInfoFromFile vi;
    vi.SetFileName(dir / "plain");
    EXPECT_EQ(vi.FileName(), dir / "plain");
    EXPECT_TRUE(vi.VersionCategories.empty());
    EXPECT_EQ(AboutText("T", vi).substr(0, 19), "T Beta 1 (Build )\r\n");

    // Without "InternalName" the keys after it are not read.
    TVersionTable t = ProgramTable();
    t.Strings.erase(t.Strings.begin() + 3);
    test::WriteFileBytes(dir / "partial", EncodeVersionTable(t));
    vi.SetFileName(dir / "partial");
    EXPECT_EQ(vi.VersionCategories,
              (std::vector<std::string>{"CompanyName", "FileDescription", "FileVersion"}));

    const std::string whole = EncodeVersionTable(ProgramTable());
    // Values end at a zero byte and hold at most 256 characters.
    t = ProgramTable();
    t.Strings[0].second = std::string(300, 'c');
    t.Strings[1].second = std::string("desc\0tail", 9);
    test::WriteFileBytes(dir / "long", EncodeVersionTable(t));
    vi.SetFileName(dir / "long");
    EXPECT_EQ(vi.GetValue("CompanyName"), std::string(256, 'c'));
    EXPECT_EQ(vi.GetValue("FileDescription"), "desc");

    // A cut-off table is no table.
    test::WriteFileBytes(dir / "cut", whole.substr(0, whole.size() - 5));
    vi.SetFileName(dir / "cut");
    EXPECT_TRUE(vi.VersionCategories.empty());
}

TEST(VersionInfo, TheGameCarriesItsTableAndTheAboutTextShowsItsBuild) {
    TGetVersionInfoFromFile vi;
    vi.SetFileName(test::BinaryDir() + "/varnok");
    EXPECT_EQ(vi.GetValue("FileVersion"), "1.0.0.142");
    EXPECT_EQ(vi.GetValue("ProductVersion"), "1.0.0.0");
    const auto resource = TVersionResource::Find(test::ReadFileBytes(test::BinaryDir() + "/varnok"));
    ASSERT_TRUE(resource);
    EXPECT_EQ(resource->Query("\\varfileinfo\\translation"), std::string("\x07\x04\xE4\x04", 4));
    EXPECT_EQ(resource->Query("\\"),
              std::string("\x01\x00\x00\x00\x00\x00\x8E\x00\x01\x00\x00\x00\x00\x00\x00\x00", 16));
    EXPECT_TRUE(resource->Query("\\StringFileInfo\\040704E4\\ProductName"));

    EXPECT_EQ(AboutText("VARNOK (freeware version)", vi),
              std::string("VARNOK (freeware version) Beta 1 (Build 1.0.0.142)\r\n\r\neMail: ") +
                  kContactAddress + "\r\n" + kWebAddress + "\r\n");
    // The test program itself holds the reader, not a table.
    TGetVersionInfoFromFile self;
    self.SetFileName(ExecutablePath());
    EXPECT_TRUE(self.VersionCategories.empty());
}

// Text typed into the editor's value box comes back as the store's Latin-1 bytes.
TEST(EditorText, Utf8BackToLatin1) {
    std::string all;
    for (int c = 1; c < 256; ++c) all.push_back(static_cast<char>(c));
    EXPECT_EQ(Utf8ToLatin1(Latin1ToUtf8(all)), all);
    EXPECT_EQ(Utf8ToLatin1("Gr\xC3\xBC\xC3\x9F" "e"), "Gr\xFC\xDF" "e");
    // Beyond Latin-1 (the euro sign, an emoji) and broken sequences: "?".
    EXPECT_EQ(Utf8ToLatin1("\xE2\x82\xAC" "1"), "?1");
    EXPECT_EQ(Utf8ToLatin1("\xF0\x9F\x98\x80"), "?");
    EXPECT_EQ(Utf8ToLatin1("a\xC3"), "a?");
    EXPECT_EQ(Utf8ToLatin1("\x80x\xC3("), "?x?(");
}
