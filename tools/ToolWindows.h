#pragma once
// Draws the diagnostic windows into the main window's GUI frame: the debug
// message window, the internals editor and the system report dialog. The
// windows lie over the game, which keeps running behind them. Commands with
// effects beyond the dialog (saving, re-reading) are posted to run between
// ticks inside the game's error guard.
#include <cstdint>
#include <functional>
#include <string>

namespace varnok {

class TDebugLog;
class TInternalForm;
class TDirectXForm;

class TToolWindows {
public:
    using Poster = std::function<void(std::function<void()>)>;
    TToolWindows(TDebugLog& log, TInternalForm& internals, TDirectXForm& directX, Poster post)
        : log_(log), internals_(internals), directX_(directX), post_(std::move(post)) {}

    // Call between the GUI's NewFrame and Render.
    void Draw();
    // The debug window's text as it was last drawn (UTF-8).
    const std::string& ShownLog() const { return logUtf8_; }

private:
    void DrawDebugWindow();
    void DrawInternalForm();
    void DrawDirectXForm();

    TDebugLog& log_;
    TInternalForm& internals_;
    TDirectXForm& directX_;
    Poster post_;

    // The log's text converted for the GUI, and how much of it.
    std::string logUtf8_;
    size_t logConverted_ = 0;
    uint64_t logClears_ = 0;
    bool scrollLogToEnd_ = false;

    bool internalsOpen_ = false;
    bool collapseTree_ = false;
    std::string valueUtf8_;
    std::string valueShown_;
    bool directXOpen_ = false;
    std::string reportUtf8_;
};

} // namespace varnok
