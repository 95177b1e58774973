// modwriter: turns a song description into a 4-channel tracker module.
#include "ModWriter.h"
#include "Song.h"

#include "common/Exception.h"
#include "common/Files.h"

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>

namespace {

const char* kHelp = R"(usage: modwriter SONG OUT.mod
       modwriter --help

Writes a 4-channel tracker module ("M.K.") from a song description.

Song description: keywords at the start of a line; '#' starting a word
begins a comment (inside a word it is a sharp: F#3).
  title TEXT              module title, at most 20 characters
  speed N                 ticks per row (default 6)
  tempo N                 beats per minute, 32..255 (default 125);
                          a row lasts speed * 2.5 / tempo seconds
  instrument NAME [cycle N] [loop] [volume 0..64] [key K] [note C-3]
    RECIPE LINES          a sound recipe as for sfxsynth (voices, waves,
  end                     envelopes, filters; see sfxsynth --help)
      With "cycle N" the instrument is melodic: tracker note C-2 plays one
      wave cycle per N samples (N = 32 sounds about C4, 64 about C3, 16
      about C5), the recipe's "freq" values are multiples of the played
      pitch (1 = the note itself; whole multiples keep loops clean), and
      "loop" repeats the last cycle after the attack and decay so that the
      note sounds until the next one. Without a cycle the instrument is a
      drum: its recipe is played back as written, triggered in patterns by
      its one-letter "key" at tracker note "note" (default C-3).
  define NAME TOKENS...   a phrase, used in patterns as $NAME; a second
                          define of the same name appends
  pattern NAME [step N]   a pattern of up to 64 rows; each token of its
                          channel lines takes N rows (default 1)
  CH [INSTRUMENT]: TOKENS a channel line inside a pattern (CH 1..4); more
                          lines for the same channel continue it
  order NAME...           the patterns in playing order; the song loops
                          back to the start

Tokens:
  C4 F#3 Bb5      a note (scientific pitch, C4 = middle C)
  k               the drum whose key is k
  .               hold: nothing new (a sliding, vibrato or arpeggio
                  effect of the held note goes on)
  -               silence the channel (volume 0)
  NOTE/EFF /EFF   with a tracker effect: three hex digits, e.g. C4/047
                  (arpeggio), /A04 (volume slide down), E5/C20 (volume)
  @NAME           switch the channel's instrument (takes no rows)
  $NAME $NAME+5   a phrase, optionally transposed by semitones
  TOKEN*N         the token N times, e.g. .*3 or $beat*4
  |               bar line, ignored
A pattern shorter than 64 rows ends with a pattern break. Speed and tempo
are set on the first row of the first pattern played, which therefore
needs two channels without an effect there.

Example:
  instrument lead cycle 32 loop volume 40
    voice
      wave square
      duty 0.25
      freq 1
      decay 0.2
      sustain 0.6
  end
  pattern intro step 2
    1 lead: C5 . E5 . G5 .*5 | A5 . G5 . E5 . C5 .
  order intro intro
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
        const varnok::mod::Song song = varnok::mod::ParseSong(varnok::ReadWholeFile(argv[1]));
        const std::string bytes = varnok::mod::WriteModule(song);
        const std::string temp = std::string(argv[2]) + ".tmp";
        {
            std::ofstream out(temp, std::ios::binary | std::ios::trunc);
            if (!out) throw varnok::Exception("cannot create " + temp);
            out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
            out.close();
            if (!out) throw varnok::Exception("cannot write " + temp);
        }
        std::filesystem::rename(temp, argv[2]);
        std::printf("%s: %zu patterns, %zu orders, %.1f s\n", argv[2], song.patterns.size(), song.order.size(),
                    varnok::mod::SongSeconds(song));
    } catch (const std::exception& e) {
        std::cerr << "modwriter: " << argv[1] << ": " << e.what() << "\n";
        return 1;
    }
    return 0;
}
