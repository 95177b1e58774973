#pragma once
// The debug message log. Every line added is kept (for the debug window) and
// also written to standard error, so a terminal and the tests see it.
#include <string>
#include <vector>

namespace varnok {

class TDebugLog {
public:
    // Appends one line (an 8-bit Latin-1 text).
    void AddMessage(const std::string& text);
    const std::vector<std::string>& Lines() const { return lines_; }
    void Clear() { lines_.clear(); }
    // Standard error output can be switched off, for tests that expect errors.
    void SetEcho(bool echo) { echo_ = echo; }
    // The user's wish never to have the debug window pop up.
    bool AlwaysHide() const { return alwaysHide_; }
    void SetAlwaysHide(bool value) { alwaysHide_ = value; }

private:
    std::vector<std::string> lines_;
    bool echo_ = true;
    bool alwaysHide_ = false;
};

// The log of the running program.
TDebugLog& DebugLog();
inline void AddMessage(const std::string& text) { DebugLog().AddMessage(text); }

} // namespace varnok
