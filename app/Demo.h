#pragma once
// Demos: a run of the game written down as text so that it can be played
// again tick for tick. A demo is an input script ("TICK down|up KEY") with
// more kinds of lines:
//
//   #demo 2                 first line: the file is a demo of format 2
//   #param -KV3916          a game parameter of the recorded run (repeatable)
//   #level N                the level the title's Start began with
//   #data PATH HASH         a data file of the run and a hash of its bytes
//   #focus out              the window did not have the focus at the start
//   TICK elapsed MS         the game clock moved on MS milliseconds before tick TICK
//   TICK down|up KEY        a key event delivered in tick TICK
//   TICK press|release KEY  a key of the keyboard, through the key bindings
//   TICK focus in|out       the window gained or lost the keyboard focus
//   TICK mouse BUTTON X Y SHIFT   a click in the game area (left, right, middle)
//   TICK close              the window was closed
//   TICK check HASH         a hash of the state snapshot after tick TICK
//   TICK end                last line: the run ended after tick TICK
//
// "#" lines other than the header's are comments, so a demo is also a valid
// input script, and an input script may carry "elapsed" lines too.
//
// The end line tells a whole demo from one that was cut short (a crash while
// recording, a copy that broke off): without it, or with a last line that
// breaks off in the middle, the demo still plays as far as it goes, and says
// where it ends. Format 1 demos were written before the end line existed;
// they play without it.
#include "platform/Application.h"

#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace varnok {

enum class TDemoEventKind { Key, Focus, Mouse, Close };

struct TDemoEvent {
    TDemoEventKind Kind = TDemoEventKind::Key;
    // Key: the virtual-key code and whether it went down. Focus: Down is
    // true when the focus was gained.
    int Key = 0;
    bool Down = false;
    // A key of the keyboard ("press"/"release"), passed through the key
    // bindings, rather than a key as the game sees it ("down"/"up").
    bool Physical = false;
    platform::MouseButton Button = platform::MouseButton::Left;
    int Shift = 0;
    int X = 0;
    int Y = 0;
};

// The demo format this game writes; format 1 (without the end line) is
// still played.
inline constexpr int kDemoFormat = 2;

struct TDemo {
    // True when the text began with the "#demo" header line.
    bool IsDemo = false;
    // The header's format number (0 for an input script).
    int Format = 0;
    // The demo was cut short: the line where it breaks off (a last line cut
    // in the middle, or the line where the end line should have been); 0 for
    // a whole demo. What comes before that line is read and plays.
    int CutShortAtLine = 0;
    std::vector<std::string> Params;
    uint32_t StartLevel = 0;
    // The recorded run began without the keyboard focus.
    bool StartsInactive = false;
    // Data files (relative paths with "/") and the hashes of their bytes.
    std::vector<std::pair<std::string, std::string>> Data;
    std::map<uint64_t, uint32_t> Elapsed;
    std::multimap<uint64_t, TDemoEvent> Events;
    std::map<uint64_t, std::string> Checks;

    // The ticks the recorded run lasted: one past the last "elapsed" line.
    uint64_t TickCount() const { return Elapsed.empty() ? 0 : Elapsed.rbegin()->first + 1; }
};

// Parses a demo or an input script. Raises EFileError naming the line of the
// first bad line. In a demo, ticks lie within the text's own length (a demo
// holds an "elapsed" line for every tick), no line lies beyond the last tick
// or follows the end line, and "#data" names only the data files a run
// depends on. A demo's last line that breaks off without its line end and
// is not the end line counts as cut there.
TDemo ParseDemo(const std::string& text);
TDemo LoadDemo(const std::string& path);

// A hash of bytes as 16 hex digits (64-bit FNV-1a): tells changed data or
// a changed state apart, nothing more.
std::string HashText(const std::string& bytes);

// The data files whose contents decide how a run plays, as they are now:
// the two stores and the main image list, relative to folder.
std::vector<std::pair<std::string, std::string>> DataHashes(const std::string& folder);

// The first data file whose hash differs from the demo's, or an empty text
// when all match. A file missing now counts as different.
std::string FirstDataMismatch(const TDemo& demo, const std::string& folder);

// The name a demo writes for a key: a letter, a name the input scripts know,
// or the number.
std::string KeyName(int key);

// Writes a demo while the game runs. As an event sink it passes every event
// on to the game and writes it down under the current tick first.
class TDemoRecorder final : public platform::EventSink {
  public:
    // Raises EFileError when the file cannot be created.
    TDemoRecorder(const std::string& path, platform::EventSink& target);

    void WriteHeader(const std::vector<std::string>& params, uint32_t startLevel,
                     const std::vector<std::pair<std::string, std::string>>& data, bool active);
    // Starts tick `tick`, whose clock moved on `elapsed` ms.
    void BeginTick(uint64_t tick, uint32_t elapsed);
    void WriteCheck(uint64_t tick, const std::string& hash);
    // Writes the end line after the run's last tick.
    void WriteEnd(uint64_t tick);
    // False once writing failed.
    bool Good() const { return good_; }

    void KeyDown(int& key, int shift) override;
    void KeyUp(int& key, int shift) override;
    void MouseDown(platform::MouseButton button, int shift, int x, int y) override;
    void Activate() override;
    void Deactivate() override;
    void CloseQuery() override;

    ~TDemoRecorder() override;
    TDemoRecorder(const TDemoRecorder&) = delete;
    TDemoRecorder& operator=(const TDemoRecorder&) = delete;

  private:
    // Every line goes to the file at once, whole, with one write: a hang-up
    // or a crash leaves the demo complete up to its last whole line.
    void Put(const std::string& line);

    int fd_ = -1;
    bool good_ = true;
    platform::EventSink& target_;
    uint64_t tick_ = 0;
};

// Delivers the demo's events of one tick to the game.
void PlayDemoEvents(const TDemo& demo, uint64_t tick, platform::Application& app, platform::EventSink& sink);

} // namespace varnok
