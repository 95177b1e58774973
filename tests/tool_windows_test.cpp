// The diagnostic windows drawn into a GUI frame without a display: where they
// open, and how clicks and keys reach the debug log, the internals editor and
// the store behind it.
#include "common/DebugLog.h"
#include "level/CryptedINI.h"
#include "tests/support/TestSupport.h"
#include "tools/GameInfo.h"
#include "tools/InternalForm.h"
#include "tools/ToolWindows.h"

#include <functional>
#include <gtest/gtest.h>
#include <imgui.h>
#include <imgui_internal.h>
#include <vector>

using namespace varnok;

namespace {

constexpr int kEnterKey = 40, kEscapeKey = 41, kAnyKey = 10;

struct ToolWindowsTest : ::testing::Test {
    test::TempDir dir;
    TDebugLog log;
    std::unique_ptr<TMemIniFileCrypted> store;
    std::unique_ptr<TInternalForm> internals;
    std::unique_ptr<TDirectXForm> directX;
    std::vector<std::function<void()>> posted;
    std::vector<std::string> messages;
    std::unique_ptr<TToolWindows> tools;
    ImGuiContext* context = nullptr;

    void SetUp() override {
        log.SetEcho(false);
        test::WriteFileBytes(dir / "GLOBAL.INI", "[Game]\nStartLevel=1\n[Player]\nJumpHeight=112\n");
        store = std::make_unique<TMemIniFileCrypted>(dir / "GLOBAL.INI");
        internals = std::make_unique<TInternalForm>(*store, [this](const std::string& m) { messages.push_back(m); });
        TSystemSources none;
        none.OsRelease = {dir / "none"};
        none.KernelRelease = none.MemInfo = none.CpuInfo = dir / "none";
        directX = std::make_unique<TDirectXForm>(TGameInfo(none, "SDL 2"));
        tools = std::make_unique<TToolWindows>(log, *internals, *directX,
                                               [this](std::function<void()> c) { posted.push_back(std::move(c)); });
        context = ImGui::CreateContext();
        ImGuiIO& io = ImGui::GetIO();
        io.IniFilename = nullptr;
        io.DisplaySize = ImVec2(640, 499);
        io.DeltaTime = 1.0f / 60;
        io.KeyMap[ImGuiKey_Enter] = kEnterKey;
        io.KeyMap[ImGuiKey_Escape] = kEscapeKey;
        io.KeyMap[ImGuiKey_Backspace] = 42;
        unsigned char* pixels = nullptr;
        int w = 0, h = 0;
        io.Fonts->GetTexDataAsRGBA32(&pixels, &w, &h);
    }
    void TearDown() override { ImGui::DestroyContext(context); }

    // One frame with a menu bar above, as the game's window draws it.
    void Frame() {
        ImGui::NewFrame();
        if (ImGui::BeginMainMenuBar()) ImGui::EndMainMenuBar();
        tools->Draw();
        ImGui::Render();
    }
    // The commands posted by the frames run between ticks.
    void RunPosted() {
        auto commands = std::move(posted);
        posted.clear();
        for (auto& c : commands) c();
    }
    void Press(int key) {
        ImGui::GetIO().KeysDown[key] = true;
        Frame();
        ImGui::GetIO().KeysDown[key] = false;
        Frame();
    }
    void Click(ImVec2 at) {
        ImGuiIO& io = ImGui::GetIO();
        io.MousePos = at;
        Frame();
        io.MouseDown[0] = true;
        Frame();
        io.MouseDown[0] = false;
        Frame();
    }
    ImGuiWindow* Shown(const char* name) {
        ImGuiWindow* w = ImGui::FindWindowByName(name);
        return w && w->Active ? w : nullptr;
    }
};

} // namespace

TEST_F(ToolWindowsTest, DebugWindowOpensAtTheRightEdgeAndItsButtonClearsTheLog) {
    Frame();
    EXPECT_FALSE(Shown("Debug messages###DebugForm"));
    log.AddMessage("boom at 0000000000001234");
    Frame();
    ImGuiWindow* window = Shown("Debug messages###DebugForm");
    ASSERT_TRUE(window);
    EXPECT_EQ(window->Size.x, 590);
    EXPECT_EQ(window->Size.y, 280);
    EXPECT_EQ(window->Pos.x, 50);
    EXPECT_EQ(window->Pos.y, ImGui::GetFrameHeight()); // below the menu bar
    // It does not take the keyboard from the game.
    EXPECT_FALSE(ImGui::GetIO().WantCaptureKeyboard);

    // The clear button sits at the top left of the tool bar.
    const ImVec2 button(window->Pos.x + window->WindowPadding.x + 11,
                        window->Pos.y + window->TitleBarHeight() + window->WindowPadding.y + 11);
    Click(button);
    EXPECT_EQ(log.Text(), "");
    EXPECT_TRUE(log.Visible());
    Frame();
    EXPECT_FALSE(ImGui::GetIO().WantCaptureKeyboard);
    EXPECT_EQ(ImGui::GetCurrentContext()->NavWindow, nullptr); // no window keeps the focus

    // Hidden (its close button), it stays hidden while always-hide is set.
    log.Hide();
    log.SetAlwaysHide(true);
    log.AddMessage("quiet");
    Frame();
    EXPECT_FALSE(Shown("Debug messages###DebugForm"));
}

// After "Delete all messages", a message that arrives before the next frame
// is all the window shows, even when it is longer than the cleared text.
TEST_F(ToolWindowsTest, DebugWindowShowsOnlyWhatCameAfterAClear) {
    log.AddMessage("short \xE4");
    Frame();
    EXPECT_EQ(tools->ShownLog(), "\r\nshort \xC3\xA4");
    ImGuiWindow* window = Shown("Debug messages###DebugForm");
    ASSERT_TRUE(window);
    Click(ImVec2(window->Pos.x + window->WindowPadding.x + 11,
                 window->Pos.y + window->TitleBarHeight() + window->WindowPadding.y + 11));
    ASSERT_EQ(log.Text(), "");
    log.AddMessage("a much longer message than the first one");
    Frame();
    EXPECT_EQ(tools->ShownLog(), "\r\na much longer message than the first one");
    // Cleared from elsewhere (the log's own Clear) it is the same.
    log.Clear();
    log.AddMessage("another message, longer than everything shown before it");
    Frame();
    EXPECT_EQ(tools->ShownLog(), "\r\nanother message, longer than everything shown before it");
}

TEST_F(ToolWindowsTest, TypingInTheValueBoxWritesTheStoreAndEscapeCancels) {
    internals->FormShow();
    Frame();
    ImGuiWindow* dialog = Shown("Internal data###InternalForm");
    ASSERT_TRUE(dialog);
    // Modal: the game gets no keys while it is open.
    Frame();
    EXPECT_TRUE(ImGui::GetIO().WantCaptureKeyboard);

    internals->Select(0, 0);
    internals->TreeViewClick();
    Frame();
    // The value box: right of the tree, below its label.
    const ImVec2 box(dialog->Pos.x + dialog->WindowPadding.x + 196 + 100,
                     dialog->Pos.y + dialog->TitleBarHeight() + dialog->WindowPadding.y + ImGui::GetTextLineHeight() +
                         ImGui::GetStyle().ItemSpacing.y + 8);
    Click(box);
    ImGui::GetIO().AddInputCharacter('2');
    Frame();
    EXPECT_EQ(store->GetString("Game", "StartLevel", ""), "12");
    // A key released in the box writes its text again (nothing changed).
    ImGui::GetIO().KeysDown[kAnyKey] = true;
    Frame();
    ImGui::GetIO().KeysDown[kAnyKey] = false;
    Frame();
    EXPECT_EQ(store->GetString("Game", "StartLevel", ""), "12");

    // Escape presses Cancel: the file's value comes back and the dialog closes.
    ImGui::GetIO().MousePos = ImVec2(dialog->Pos.x + 400, dialog->Pos.y + 250);
    Click(ImGui::GetIO().MousePos); // leave the box
    Press(kEscapeKey);
    ASSERT_EQ(posted.size(), 1u);
    RunPosted();
    EXPECT_EQ(store->GetString("Game", "StartLevel", ""), "1");
    EXPECT_FALSE(internals->Visible());
    Frame();
    Frame();
    EXPECT_FALSE(Shown("Internal data###InternalForm"));
    EXPECT_FALSE(ImGui::GetIO().WantCaptureKeyboard);

    // Reopened and closed with Enter: Ok saves the file.
    internals->FormShow();
    internals->Select(1, 0);
    internals->TreeViewClick();
    internals->Value = "250";
    internals->ValueKeyUp();
    Frame();
    Press(kEnterKey);
    RunPosted();
    EXPECT_FALSE(internals->Visible());
    EXPECT_EQ(TMemIniFileCrypted(dir / "GLOBAL.INI").GetString("Player", "JumpHeight", ""), "250");
    EXPECT_TRUE(messages.empty());
}

TEST_F(ToolWindowsTest, SystemReportDialogClosesWithItsButton) {
    directX->Show();
    Frame();
    ImGuiWindow* dialog = Shown("DirectX Info###DirectXForm");
    ASSERT_TRUE(dialog);
    Press(kEscapeKey);
    EXPECT_FALSE(directX->Visible());
    Frame();
    Frame();
    EXPECT_FALSE(Shown("DirectX Info###DirectXForm"));
    // Both dialogs can open again after closing.
    directX->Show();
    Frame();
    EXPECT_TRUE(Shown("DirectX Info###DirectXForm"));
}
