#pragma once
// The game state shared by all screens and actors: the state code that picks
// the screen, the level counters, the view and key flags. One instance is
// owned by the main window.
#include <cstdint>
#include <string>

namespace varnok {

// Codes of GameState.
namespace gs {
constexpr char TitleStart = ' ';
constexpr char TitleCredits = '!';
constexpr char TitleExit = '"';
constexpr char Credits = 'P';
constexpr char GetReady = '1';
constexpr char Playing = '0';
constexpr char GameOver = '2';
constexpr char Paused = '3';
constexpr char Leaving = '4';
constexpr char LevelComplete = '5';
} // namespace gs

struct TGameGlobals {
    char GameState = gs::TitleStart;
    uint32_t InputLockUntil = 0;
    uint16_t CurrentLevel = 1;
    int32_t StartLevelNumber = 1;
    std::string PlayerImageName = "Player";
    int32_t ShownScore = 0;
    uint32_t GetReadyTick = 0;
    bool GodModeOn = false;
    bool NoTilesOn = false;
    bool ShowDebugText = false;
    bool ShowDebugGrid = false;
    bool CtrlDown = false;
    bool ReleaseOnFinalize = false;
    bool ModeSwitching = false;
    int32_t CreditsSpeed = 0;
    double CreditsScrollY = 0;
    std::string CurrentMusicFile;
};

} // namespace varnok
