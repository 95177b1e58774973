#pragma once
// A small sound synthesizer for the game's effects and the instruments of its
// music. A recipe is plain text, one setting per line ("key value"), '#'
// starts a comment. Settings before the first "voice" line apply to the whole
// sound; each "voice" line starts a new layer and the settings after it
// describe that layer (a '#' inside a word is a sharp, as in C#5). All voices are mixed, then the mix is scaled so that
// its loudest sample reaches "peak".
//
// Sound settings:
//   rate 22050|44100        sample rate of the written file (default 22050)
//   length SECONDS          total length (default: the longest voice)
//   peak 0..1               loudness of the loudest sample (default 0.8)
//   loop [SECONDS]          make the sound loop cleanly: the tail is
//                           cross-faded into the head (default 0.05 s)
// Voice settings (a value "A -> B" slides from A to B over the voice):
//   wave square|triangle|sine|saw|noise
//   start SECONDS           when the voice begins (default 0)
//   freq PITCH [-> PITCH]   pitch in Hz or as a note name (A4 = 440, C#5, Bb3);
//                           for noise the rate at which new values are drawn
//   slide SEMITONES         pitch change per second, on top of freq
//   notes PITCH SECONDS ... a melody: each pitch held for its time
//   arp SEMITONES... @ HZ   semitone offsets cycled at HZ steps per second
//   vibrato HZ SEMITONES    pitch wobble
//   duty FRACTION [-> F]    pulse width of the square wave (default 0.5)
//   attack/decay/hold/release SECONDS, sustain LEVEL
//                           envelope: rise to 1, fall to sustain, hold, fade;
//                           the voice lasts attack + decay + hold + release
//   tremolo HZ DEPTH        volume wobble (depth 0..1)
//   lowpass HZ [-> HZ]      two-pole low-pass filter (default off)
//   highpass HZ             one-pole high-pass filter (default off)
//   gain LEVEL              level of this voice in the mix (default 1)
#include <cstdint>
#include <string>
#include <vector>

namespace varnok::sfx {

enum class Wave { Square, Triangle, Sine, Saw, Noise };

// A value that may slide linearly from `from` to `to` over a voice's length.
struct Ramp {
    double from = 0;
    double to = 0;
    double At(double fraction) const { return from + (to - from) * fraction; }
};

struct Voice {
    Wave wave = Wave::Square;
    double start = 0;
    Ramp freq{440, 440}; // slides exponentially
    double slide = 0;    // semitones per second
    std::vector<std::pair<double, double>> notes; // (Hz, seconds)
    std::vector<double> arp;                      // semitones
    double arpRate = 0;
    double vibratoRate = 0;
    double vibratoDepth = 0;
    Ramp duty{0.5, 0.5};
    double attack = 0.005;
    double decay = 0;
    double sustain = 1;
    double hold = 0.1;
    double release = 0.05;
    double tremoloRate = 0;
    double tremoloDepth = 0;
    Ramp lowpass{0, 0}; // 0 = off
    double highpass = 0;
    double gain = 1;

    double Duration() const { return attack + decay + hold + release; }
};

struct Recipe {
    int rate = 22050;
    double length = 0; // 0: the longest voice
    double peak = 0.8;
    bool loop = false;
    double crossfade = 0.05;
    std::vector<Voice> voices;
};

// The line without its comment: '#' at the start of a word begins one (a
// '#' inside a word is a sharp, as in C#5).
std::string StripComment(const std::string& line);

// Parses a recipe; a malformed one raises varnok::Exception naming the line.
Recipe ParseRecipe(const std::string& text);

// A pitch in Hz or a note name such as "A4", "C#5", "Bb3"; nothing on error.
bool ParsePitch(const std::string& token, double& hz);

// Renders one voice at `rate`, without scaling, `count` samples long (the
// voice is silent outside its time span).
std::vector<float> RenderVoice(const Voice& voice, int rate, size_t count);

// Mixes all voices, applies the loop cross-fade and scales to the peak.
std::vector<float> Render(const Recipe& recipe);

// Converts to 16-bit samples (clamped).
std::vector<int16_t> ToPcm16(const std::vector<float>& samples);

// A complete RIFF/WAVE image: 16-bit mono PCM.
std::string WavImage(const std::vector<int16_t>& samples, int rate);

} // namespace varnok::sfx
