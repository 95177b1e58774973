// sfxsynth: renders a sound-effect recipe into a 16-bit mono PCM WAV file.
#include "Synth.h"

#include "common/Exception.h"
#include "common/Files.h"

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>

namespace {

const char* kHelp = R"(usage: sfxsynth RECIPE OUT.wav
       sfxsynth --help

Renders RECIPE (a text file) into a 16-bit mono PCM WAV file.

Recipe: one setting per line, "key value"; '#' starting a word begins a
comment (inside a word it is a sharp: C#5). Settings before the first
"voice" line belong to the whole sound; each "voice" line starts a layer,
and the settings after it describe that layer. The voices are mixed and the
mix is scaled so that its loudest sample reaches "peak".

Sound:
  rate 22050|44100        sample rate (default 22050)
  length SECONDS          total length (default: the longest voice)
  peak 0..1               level of the loudest sample (default 0.8)
  loop [SECONDS]          loop cleanly: the tail is cross-faded into the head
Voice ("A -> B" slides from A to B over the voice's length):
  wave square|triangle|sine|saw|noise
  start SECONDS           when the voice begins (default 0)
  freq PITCH [-> PITCH]   Hz or note name (A4 = 440, C#5, Bb3); for noise,
                          how often a new random value is drawn
  slide SEMITONES         pitch change per second
  notes PITCH SECONDS ... melody: each pitch held for its time
  arp SEMITONES... @ HZ   semitone offsets cycled at HZ steps per second
  vibrato HZ SEMITONES    pitch wobble
  tremolo HZ DEPTH        volume wobble, depth 0..1
  duty FRACTION [-> F]    square wave pulse width (default 0.5)
  attack, decay, hold, release SECONDS; sustain LEVEL
                          envelope; the voice lasts attack+decay+hold+release
  lowpass HZ [-> HZ]      two-pole low-pass filter
  highpass HZ             one-pole high-pass filter
  gain LEVEL              level in the mix (default 1)

Example (a coin):
  voice
    wave square
    duty 0.25
    notes B5 0.06 E6 0.25
    hold 0.2
    release 0.1
)";

} // namespace

int main(int argc, char** argv) {
    if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        std::cout << kHelp;
        return 0;
    }
    if (argc != 3) {
        std::cerr << kHelp;
        return 1;
    }
    try {
        varnok::sfx::Recipe recipe = varnok::sfx::ParseRecipe(varnok::ReadWholeFile(argv[1]));
        std::string wav = varnok::sfx::WavImage(varnok::sfx::ToPcm16(varnok::sfx::Render(recipe)), recipe.rate);
        std::ofstream out(argv[2], std::ios::binary | std::ios::trunc);
        if (!out || !out.write(wav.data(), static_cast<std::streamsize>(wav.size())))
            throw varnok::Exception(std::string("cannot write ") + argv[2]);
    } catch (const std::exception& e) {
        std::cerr << "sfxsynth: " << argv[1] << ": " << e.what() << "\n";
        return 1;
    }
    return 0;
}
