#include "tools/ToolWindows.h"

#include "common/DebugLog.h"
#include "common/StrUtils.h"
#include "tools/GameInfo.h"
#include "tools/InternalForm.h"

#include <imgui.h>
#include <imgui_stdlib.h>

#include <cstdint>

namespace varnok {

namespace {

// The top of the game area: below the menu bar when there is one.
float GameTop() {
    const ImGuiViewport* viewport = ImGui::GetMainViewport();
    return viewport->WorkPos.y;
}

bool AnyKeyReleased() {
    const ImGuiIO& io = ImGui::GetIO();
    for (int i = 0; i < static_cast<int>(IM_ARRAYSIZE(io.KeysDown)); ++i)
        if (ImGui::IsKeyReleased(i)) return true;
    return false;
}

ImVec2 ScreenCentre() {
    const ImGuiViewport* viewport = ImGui::GetMainViewport();
    return ImVec2(viewport->Pos.x + viewport->Size.x * 0.5f, viewport->Pos.y + viewport->Size.y * 0.5f);
}

// The clear button's picture: a sheet of paper with a red cross.
void DrawClearIcon(ImVec2 min, ImVec2 max) {
    ImDrawList* draw = ImGui::GetWindowDrawList();
    const ImVec2 c((min.x + max.x) * 0.5f, (min.y + max.y) * 0.5f);
    draw->AddRectFilled(ImVec2(c.x - 5, c.y - 7), ImVec2(c.x + 5, c.y + 7), IM_COL32(255, 255, 255, 255));
    draw->AddRect(ImVec2(c.x - 5, c.y - 7), ImVec2(c.x + 5, c.y + 7), IM_COL32(90, 90, 90, 255));
    for (int line = -4; line <= 4; line += 3)
        draw->AddLine(ImVec2(c.x - 3, c.y + line), ImVec2(c.x + 3, c.y + line), IM_COL32(150, 150, 150, 255));
    draw->AddLine(ImVec2(c.x - 1, c.y - 1), ImVec2(c.x + 7, c.y + 7), IM_COL32(200, 30, 30, 255), 2.0f);
    draw->AddLine(ImVec2(c.x + 7, c.y - 1), ImVec2(c.x - 1, c.y + 7), IM_COL32(200, 30, 30, 255), 2.0f);
}

} // namespace

void TToolWindows::Draw() {
    // Framed boxes and buttons, so that an empty edit box can be seen.
    ImGui::PushStyleVar(ImGuiStyleVar_FrameBorderSize, 1.0f);
    DrawDebugWindow();
    DrawInternalForm();
    DrawDirectXForm();
    ImGui::PopStyleVar();
}

void TToolWindows::DrawDebugWindow() {
    if (!log_.Visible()) {
        log_.TakeFocusRequest();
        return;
    }
    // The log only grows, until it is cleared: then the copy starts afresh,
    // even when new messages have made the text longer again since.
    const std::string& text = log_.Text();
    if (log_.Clears() != logClears_ || text.size() < logConverted_) {
        logUtf8_.clear();
        logConverted_ = 0;
        logClears_ = log_.Clears();
    }
    if (text.size() > logConverted_) {
        logUtf8_ += Latin1ToUtf8(std::string_view(text).substr(logConverted_));
        logConverted_ = text.size();
        scrollLogToEnd_ = true;
    }

    // It opens at the right edge of the game area, level with its top, and
    // keeps the size the user gives it.
    const ImGuiViewport* viewport = ImGui::GetMainViewport();
    const float width = 590, height = 280;
    const float x = viewport->Size.x > width ? viewport->Size.x - width : 0;
    ImGui::SetNextWindowPos(ImVec2(viewport->Pos.x + x, GameTop()), ImGuiCond_Appearing);
    ImGui::SetNextWindowSize(ImVec2(width, height), ImGuiCond_FirstUseEver);
    bool open = true;
    const bool focusMain = log_.TakeFocusRequest();
    if (ImGui::Begin("Debug messages###DebugForm", &open,
                     ImGuiWindowFlags_NoFocusOnAppearing | ImGuiWindowFlags_NoCollapse |
                         ImGuiWindowFlags_NoSavedSettings)) {
        // The tool bar: 28 pixels with the flat clear button.
        const ImVec2 barStart = ImGui::GetCursorPos();
        ImGui::PushStyleColor(ImGuiCol_Button, IM_COL32(0, 0, 0, 0));
        ImGui::PushStyleVar(ImGuiStyleVar_FramePadding, ImVec2(0, 0));
        if (ImGui::Button("##ClearBtn", ImVec2(23, 22))) {
            log_.Clear();
            ImGui::SetWindowFocus(nullptr);
        }
        ImGui::PopStyleVar();
        ImGui::PopStyleColor();
        DrawClearIcon(ImGui::GetItemRectMin(), ImGui::GetItemRectMax());
        if (ImGui::IsItemHovered()) ImGui::SetTooltip("Delete all messages");
        ImGui::SetCursorPos(ImVec2(barStart.x, barStart.y + 28));

        // The log: no wrapping, both scroll bars.
        ImGui::BeginChild("Memo", ImVec2(0, 0), true,
                          ImGuiWindowFlags_HorizontalScrollbar | ImGuiWindowFlags_AlwaysVerticalScrollbar |
                              ImGuiWindowFlags_AlwaysHorizontalScrollbar);
        ImGui::TextUnformatted(logUtf8_.data(), logUtf8_.data() + logUtf8_.size());
        if (scrollLogToEnd_) {
            ImGui::SetScrollHereY(1.0f);
            scrollLogToEnd_ = false;
        }
        ImGui::EndChild();
    }
    const bool focused = ImGui::IsWindowFocused(ImGuiFocusedFlags_RootAndChildWindows);
    ImGui::End();
    if (!open) log_.Hide();
    // The game keeps the keyboard.
    if (focusMain && focused) ImGui::SetWindowFocus(nullptr);
}

void TToolWindows::DrawInternalForm() {
    const char* const id = "Internal data###InternalForm";
    if (internals_.Visible() && !internalsOpen_) {
        ImGui::OpenPopup(id);
        internalsOpen_ = true;
        collapseTree_ = true;
        valueShown_ = internals_.Value;
        valueUtf8_ = Latin1ToUtf8(valueShown_);
    }
    if (!internalsOpen_) return;

    // Client area 571 x 336, centred on the main window.
    ImGui::SetNextWindowPos(ScreenCentre(), ImGuiCond_Appearing, ImVec2(0.5f, 0.5f));
    const ImGuiStyle& style = ImGui::GetStyle();
    ImGui::SetNextWindowSize(
        ImVec2(571 + 2 * style.WindowPadding.x, 336 + ImGui::GetFrameHeight() + 2 * style.WindowPadding.y));
    bool open = true;
    if (!ImGui::BeginPopupModal(id, &open, ImGuiWindowFlags_NoResize | ImGuiWindowFlags_NoSavedSettings)) {
        // Closed through the close button: the changes stay in memory.
        internalsOpen_ = false;
        if (internals_.Visible()) internals_.CloseBtnClick();
        return;
    }
    if (!internals_.Visible()) {
        ImGui::CloseCurrentPopup();
        ImGui::EndPopup();
        internalsOpen_ = false;
        return;
    }
    // A value shown by a click replaces what the box holds.
    if (internals_.Value != valueShown_) {
        valueShown_ = internals_.Value;
        valueUtf8_ = Latin1ToUtf8(valueShown_);
    }

    const float left = ImGui::GetCursorPosX();
    const float top = ImGui::GetCursorPosY();
    ImGui::TextUnformatted("Entries:");
    ImGui::BeginChild("TreeView", ImVec2(180, 303), true, ImGuiWindowFlags_HorizontalScrollbar);
    const auto& tree = internals_.Tree();
    for (size_t r = 0; r < tree.size(); ++r) {
        const bool rootSelected =
            internals_.SelectedRoot() == static_cast<int>(r) && internals_.SelectedChild() < 0;
        if (collapseTree_) ImGui::SetNextItemOpen(false);
        const bool expanded =
            ImGui::TreeNodeEx(reinterpret_cast<void*>(static_cast<uintptr_t>(r + 1)),
                              ImGuiTreeNodeFlags_OpenOnArrow | ImGuiTreeNodeFlags_OpenOnDoubleClick |
                                  (rootSelected ? ImGuiTreeNodeFlags_Selected : 0),
                              "%s", Latin1ToUtf8(tree[r].Text).c_str());
        if (ImGui::IsItemClicked()) {
            internals_.Select(static_cast<int>(r), -1);
            internals_.TreeViewClick();
        }
        if (!expanded) continue;
        ImGui::PushID(static_cast<int>(r));
        for (size_t c = 0; c < tree[r].Children.size(); ++c) {
            const bool selected = internals_.SelectedRoot() == static_cast<int>(r) &&
                                  internals_.SelectedChild() == static_cast<int>(c);
            ImGui::TreeNodeEx(reinterpret_cast<void*>(static_cast<uintptr_t>(c + 1)),
                              ImGuiTreeNodeFlags_Leaf | ImGuiTreeNodeFlags_NoTreePushOnOpen |
                                  (selected ? ImGuiTreeNodeFlags_Selected : 0),
                              "%s", Latin1ToUtf8(tree[r].Children[c]).c_str());
            if (ImGui::IsItemClicked()) {
                internals_.Select(static_cast<int>(r), static_cast<int>(c));
                internals_.TreeViewClick();
            }
        }
        ImGui::PopID();
        ImGui::TreePop();
    }
    collapseTree_ = false;
    ImGui::EndChild();

    ImGui::SetCursorPos(ImVec2(left + 196, top));
    ImGui::TextUnformatted("Value:");
    ImGui::SetCursorPosX(left + 196);
    ImGui::SetNextItemWidth(355);
    ImGui::BeginDisabled(!internals_.ValueEnabled);
    const bool edited = ImGui::InputText("##Value", &valueUtf8_);
    const bool active = ImGui::IsItemActive() || ImGui::IsItemDeactivated();
    ImGui::EndDisabled();
    // Every key released in the box writes its whole text to the store.
    if (internals_.ValueEnabled && (edited || (active && AnyKeyReleased()))) {
        internals_.Value = Utf8ToLatin1(valueUtf8_);
        valueShown_ = internals_.Value;
        internals_.ValueKeyUp();
    }

    // Ok is the default button (Enter), Cancel the cancel button (Escape).
    const float buttonTop = top + 336 - 25;
    ImGui::SetCursorPos(ImVec2(left + 571 - 2 * 75 - 8, buttonTop));
    const bool enter = ImGui::IsKeyPressed(ImGui::GetKeyIndex(ImGuiKey_Enter), false) ||
                       ImGui::IsKeyPressed(ImGui::GetKeyIndex(ImGuiKey_KeyPadEnter), false);
    const bool escape = ImGui::IsKeyPressed(ImGui::GetKeyIndex(ImGuiKey_Escape), false);
    if (ImGui::Button("Ok", ImVec2(75, 25)) || enter) post_([this] { internals_.OkBtnClick(); });
    ImGui::SameLine(0, 8);
    if (ImGui::Button("Cancel", ImVec2(75, 25)) || escape) post_([this] { internals_.CancelBtnClick(); });
    ImGui::EndPopup();
}

void TToolWindows::DrawDirectXForm() {
    const char* const id = "DirectX Info###DirectXForm";
    if (directX_.Visible() && !directXOpen_) {
        ImGui::OpenPopup(id);
        directXOpen_ = true;
        reportUtf8_.clear();
        for (const std::string& line : directX_.Info)
            reportUtf8_ += Latin1ToUtf8(line) + "\n";
    }
    if (!directXOpen_) return;
    ImGui::SetNextWindowPos(ScreenCentre(), ImGuiCond_Appearing, ImVec2(0.5f, 0.5f));
    const ImGuiStyle& style = ImGui::GetStyle();
    ImGui::SetNextWindowSize(
        ImVec2(440 + 2 * style.WindowPadding.x, 227 + ImGui::GetFrameHeight() + 2 * style.WindowPadding.y));
    bool open = true;
    if (!ImGui::BeginPopupModal(id, &open, ImGuiWindowFlags_NoResize | ImGuiWindowFlags_NoSavedSettings)) {
        directXOpen_ = false;
        if (directX_.Visible()) directX_.OkBtnClick();
        return;
    }
    if (!directX_.Visible()) {
        ImGui::CloseCurrentPopup();
        ImGui::EndPopup();
        directXOpen_ = false;
        return;
    }
    const float left = ImGui::GetCursorPosX();
    const float top = ImGui::GetCursorPosY();
    // The report: read-only, both scroll bars.
    ImGui::SetCursorPos(ImVec2(left + 8, top + 8));
    ImGui::BeginChild("Info", ImVec2(423, 173), true,
                      ImGuiWindowFlags_HorizontalScrollbar | ImGuiWindowFlags_AlwaysVerticalScrollbar |
                          ImGuiWindowFlags_AlwaysHorizontalScrollbar);
    ImGui::TextUnformatted(reportUtf8_.data(), reportUtf8_.data() + reportUtf8_.size());
    ImGui::EndChild();
    ImGui::SetCursorPos(ImVec2(left + (440 - 75) / 2.0f, top + 227 - 32));
    // Enter and Escape close it as its one button does.
    const bool closeKey = ImGui::IsKeyPressed(ImGui::GetKeyIndex(ImGuiKey_Enter), false) ||
                          ImGui::IsKeyPressed(ImGui::GetKeyIndex(ImGuiKey_Escape), false);
    if (ImGui::Button("Ok", ImVec2(75, 25)) || closeKey) directX_.OkBtnClick();
    ImGui::EndPopup();
}

} // namespace varnok
