#pragma once
// A song description for the module writer: instruments made by the sound
// synthesizer, patterns written as readable note lines, and the order list.
// The format is described in full in the program's --help (main.cpp).
#include "Synth.h"

#include <array>
#include <string>
#include <vector>

namespace varnok::mod {

constexpr int kChannels = 4;
constexpr int kRows = 64;
constexpr int kNotes = 36; // C-1 .. B-3 of the tracker's period table

struct Instrument {
    std::string name;
    int cycle = 0;      // samples per wave cycle; 0 = a drum (one-shot, fixed pitch)
    bool loop = false;  // melodic: sustain by looping the last cycle
    int volume = 64;    // 0..64
    char key = 0;       // drum: the letter that plays it in a pattern
    int note = 24;      // drum: the tracker note it is triggered with (C-3)
    sfx::Recipe recipe;
};

struct Cell {
    int note = -1;       // 0..35, -1 = none
    int instrument = 0;  // 1-based, 0 = none
    int effect = 0;      // 0x0..0xF
    int param = 0;       // 0x00..0xFF
    bool hasEffect = false;
};

struct Pattern {
    std::string name;
    int rowCount = 0;
    std::array<std::array<Cell, kChannels>, kRows> rows{};
};

struct Song {
    std::string title;
    int speed = 6;   // ticks per row
    int tempo = 125; // beats per minute (ticks are 2.5 / tempo seconds)
    std::vector<Instrument> instruments;
    std::vector<Pattern> patterns;
    std::vector<int> order; // pattern positions
};

// Parses a song; errors raise varnok::Exception with the line number.
Song ParseSong(const std::string& text);

// Seconds the order list takes to play once (speed and tempo as set at the
// start; the pattern break ends short patterns).
double SongSeconds(const Song& song);

} // namespace varnok::mod
