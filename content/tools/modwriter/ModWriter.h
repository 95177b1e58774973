#pragma once
// Writes a song as a 4-channel tracker module ("M.K." layout): 31 sample
// slots, an order list of up to 128 entries, 64-row patterns and 8-bit
// signed sample data synthesized from the instruments' recipes.
#include "Song.h"

#include <cstdint>
#include <string>
#include <vector>

namespace varnok::mod {

struct Sample {
    std::vector<int8_t> data;
    size_t loopStart = 0;  // bytes
    size_t loopLength = 0; // bytes; 0 = plays once
    int finetune = 0;      // -8..7 eighths of a semitone
    int volume = 64;
};

// The sample an instrument is played from. A melodic instrument is rendered
// so that tracker note C-2 plays one wave cycle per `cycle` samples; its
// voices' frequencies are multiples of that pitch. A drum is rendered at the
// rate its trigger note plays it back, so it sounds as its recipe says.
Sample RenderInstrument(const Instrument& instrument);

// The complete module file.
std::string WriteModule(const Song& song);

} // namespace varnok::mod
