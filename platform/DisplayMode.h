#pragma once
// Display modes and the rules that choose one, and the whole-factor scaling
// that fits the game's picture onto a screen or into a window. No SDL here:
// the window feeds in the display's modes and sizes.
#include <optional>
#include <string>
#include <vector>

namespace varnok::platform {

struct TDisplayMode {
    int Width = 0;
    int Height = 0;
    int BitCount = 0;
    bool operator==(const TDisplayMode&) const = default;
};

// What the game asks for: the picture's size and depth and how strictly.
struct TModeRequest {
    int Width = 640;
    int Height = 480;
    int BitCount = 16;
    bool FixedBitCount = true; // exactly this depth
    bool FixedRatio = true;    // look among modes of the picture's aspect ratio first
    bool FixedSize = true;     // exactly this size (otherwise at least this size)
};

// Chooses the mode for a request from the modes a display offers:
// - only 8, 16, 24 and 32 bits per pixel can be set;
// - the exact mode comes first;
// - then the modes of the request's aspect ratio (when FixedRatio), then all
//   modes; a mode qualifies by its size (exact, or at least the request's with
//   FixedSize false) and its depth (equal, or with FixedBitCount false: both at
//   least 9 bits, or deeper than asked); of those the smallest wins, a later
//   mode replacing the choice when it is neither wider nor higher;
// - when the chosen size is also offered at the requested depth, that depth.
// Nothing when no mode qualifies.
std::optional<TDisplayMode> FindDisplayMode(const std::vector<TDisplayMode>& modes,
                                            const TModeRequest& request);

// The failure text for a request that no mode satisfies.
std::string ModeFailureText(const TModeRequest& request);

// The screen the game runs on: the desktop's own mode, the part of it that
// windows may use (without panels), and the modes the display offers.
struct TScreenInfo {
    int Width = 1920;
    int Height = 1080;
    int UsableWidth = 1920;
    int UsableHeight = 1080;
    int BitCount = 32;
    std::vector<TDisplayMode> Modes{{1920, 1080, 32}};
};

// The modes full screen can give a picture of width x height: full screen
// keeps the desktop's mode and shows the picture on it scaled, converting its
// depth, so a desktop that holds the picture offers it at every depth the
// game draws in; the display's own modes follow.
std::vector<TDisplayMode> FullScreenModes(const TScreenInfo& screen, int width, int height);

// Where a picture goes in an area: scaled by a whole factor (at least 1) and
// centred. A picture larger than the area is centred too, its edges cut.
struct TViewport {
    int X = 0;
    int Y = 0;
    int Scale = 1;
    int Width = 0; // the scaled picture's size
    int Height = 0;
    bool operator==(const TViewport&) const = default;
};
TViewport FitPicture(int areaWidth, int areaHeight, int pictureWidth, int pictureHeight);

// Maps a position in the area back to the picture's pixel. False when it lies
// outside the picture.
bool AreaToPicture(const TViewport& viewport, int areaX, int areaY, int& pictureX, int& pictureY);

// The largest whole factor at which a window showing the picture (plus
// extraHeight rows above it, the menu bar) fits comfortably in the usable part
// of the screen: it leaves at least a twentieth of each side free for the
// window's frame and title. At least 1.
int ComfortableScale(int usableWidth, int usableHeight, int pictureWidth, int pictureHeight, int extraHeight);

} // namespace varnok::platform
