#pragma once
// The debug message log behind the debug message window. Every line added is
// kept, appended to the window's text (which therefore starts with an empty
// line) and also written to standard error, so a terminal and the tests see
// it. A new line shows the window unless the user chose to keep it hidden.
#include <cstdint>
#include <string>
#include <vector>

namespace varnok {

class TDebugLog {
public:
    // Appends one line (an 8-bit Latin-1 text), shows the window unless
    // always-hide is set and asks for the keyboard to go back to the game.
    void AddMessage(const std::string& text);
    const std::vector<std::string>& Lines() const { return lines_; }
    // The window's text: CR LF before every line.
    const std::string& Text() const { return text_; }
    // Empties the log (the window's clear button); the keyboard goes back to
    // the main window.
    void Clear();
    // How often the log was cleared: a copy of the text kept elsewhere is
    // stale when this changed, whatever the text's length now.
    uint64_t Clears() const { return clears_; }
    // Standard error output can be switched off, for tests that expect errors.
    void SetEcho(bool echo) { echo_ = echo; }
    // The user's wish never to have the debug window pop up.
    bool AlwaysHide() const { return alwaysHide_; }
    void SetAlwaysHide(bool value) { alwaysHide_ = value; }

    // The debug window: shown by new lines, hidden by its close button.
    bool Visible() const { return visible_; }
    void Show() { visible_ = true; }
    void Hide() { visible_ = false; }
    // Set when the window should give the keyboard back to the main window;
    // the window's drawing takes the request.
    bool TakeFocusRequest() {
        const bool r = focusMain_;
        focusMain_ = false;
        return r;
    }

private:
    std::vector<std::string> lines_;
    std::string text_;
    bool echo_ = true;
    bool alwaysHide_ = false;
    bool visible_ = false;
    bool focusMain_ = false;
    uint64_t clears_ = 0;
};

// The log of the running program.
TDebugLog& DebugLog();
inline void AddMessage(const std::string& text) {
    DebugLog().AddMessage(text);
}

} // namespace varnok
