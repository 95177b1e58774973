// The sound and music build programs, run as the build runs them, and the
// sound and music files the build produced.
#include "media/WaveListFile.h"

#include "common/Exception.h"
#include "common/StrUtils.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>
#include <libopenmpt/libopenmpt.h>

#include <cmath>
#include <cstdlib>
#include <sys/wait.h>
#include <vector>

using namespace varnok;
using varnok::test::TempDir;

namespace {

struct RunResult {
    int exitCode = -1;
    std::string output; // standard output and error
};

// Runs a program from the build's tools folder.
RunResult RunTool(const std::string& tool, const std::string& args, const TempDir& dir) {
    const std::string log = dir / "run.log";
    const std::string cmd = test::BinaryDir() + "/tools/" + tool + " " + args + " >" + log + " 2>&1";
    const int status = std::system(cmd.c_str());
    RunResult r;
    r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1; // -1: killed by a signal
    r.output = test::ReadFileBytes(log);
    return r;
}

int16_t Sample16(const std::string& s, size_t at) {
    return static_cast<int16_t>(static_cast<uint8_t>(s[at]) | (static_cast<uint8_t>(s[at + 1]) << 8));
}

double Rms(const std::vector<int16_t>& v) {
    double sum = 0;
    for (int16_t s : v) sum += double(s) * s;
    return v.empty() ? 0 : std::sqrt(sum / double(v.size())) / 32768.0;
}

std::vector<int16_t> SamplesOf(const TWaveData& w) {
    std::vector<int16_t> out;
    for (size_t i = 0; i + 1 < w.Samples.size(); i += 2) out.push_back(Sample16(w.Samples, i));
    return out;
}

// A module loaded by the module library.
class Module {
public:
    explicit Module(const std::string& bytes)
        : mod_(openmpt_module_create_from_memory2(bytes.data(), bytes.size(), nullptr, nullptr, nullptr, nullptr,
                                                  nullptr, nullptr, nullptr)) {}
    ~Module() {
        if (mod_) openmpt_module_destroy(mod_);
    }
    Module(const Module&) = delete;
    Module& operator=(const Module&) = delete;
    bool Loaded() const { return mod_ != nullptr; }
    double Seconds() const { return openmpt_module_get_duration_seconds(mod_); }
    // Renders mono-mixed frames at 44100 Hz; stops early at the song's end.
    std::vector<int16_t> Render(double seconds) {
        std::vector<int16_t> out, buf(2048);
        const size_t want = size_t(seconds * 44100);
        while (out.size() < want) {
            size_t n = openmpt_module_read_interleaved_stereo(mod_, 44100, std::min<size_t>(1024, want - out.size()),
                                                              buf.data());
            if (n == 0) break;
            for (size_t i = 0; i < n; ++i) out.push_back(int16_t((buf[2 * i] + buf[2 * i + 1]) / 2));
        }
        return out;
    }

private:
    openmpt_module* mod_;
};

} // namespace

TEST(SoundSynth, RendersARecipeAtItsLengthAndLevel) {
    TempDir dir;
    test::WriteFileBytes(dir / "tone.sfx", "# a tone\n"
                                           "rate 44100\n"
                                           "voice\n"
                                           "  wave square\n"
                                           "  freq A4 -> A5   # sweeping up\n"
                                           "  attack 0.01\n  hold 0.2\n  release 0.09\n"
                                           "voice\n  wave noise\n  start 0.35\n  hold 0.1\n  gain 0.2\n");
    RunResult r = RunTool("sfxsynth", dir / "tone.sfx " + dir / "tone.wav", dir);
    ASSERT_EQ(r.exitCode, 0) << r.output;

    TWaveData w = ParseWaveImage(test::ReadFileBytes(dir / "tone.wav"));
    EXPECT_EQ(w.FormatTag(), 1);
    EXPECT_EQ(w.Channels(), 1);
    EXPECT_EQ(w.SamplesPerSec(), 44100u);
    EXPECT_EQ(w.BitsPerSample(), 16);
    // The noise voice ends last: 0.35 + 0.005 + 0.1 + 0.05 seconds.
    std::vector<int16_t> s = SamplesOf(w);
    EXPECT_EQ(s.size(), size_t(std::lround(0.505 * 44100)));
    int peak = 0;
    for (int16_t v : s) peak = std::max(peak, std::abs(int(v)));
    EXPECT_NEAR(peak, 0.8 * 32767, 2); // scaled to the default peak
    EXPECT_GT(Rms(s), 0.1);
    // Silent after the square's release, before the noise starts.
    std::vector<int16_t> gap(s.begin() + long(0.302 * 44100), s.begin() + long(0.348 * 44100));
    EXPECT_EQ(Rms(gap), 0.0);
    std::vector<int16_t> noise(s.begin() + long(0.36 * 44100), s.begin() + long(0.45 * 44100));
    EXPECT_GT(Rms(noise), 0.01);
}

TEST(SoundSynth, LoopedSoundsJoinWithoutAClickAndBadRecipesFail) {
    TempDir dir;
    test::WriteFileBytes(dir / "hum.sfx", "length 0.5\nloop 0.05\nvoice\nwave saw\nfreq 97\nattack 0\nhold 1\n"
                                          "lowpass 2000\n");
    ASSERT_EQ(RunTool("sfxsynth", dir / "hum.sfx " + dir / "hum.wav", dir).exitCode, 0);
    std::vector<int16_t> s = SamplesOf(ParseWaveImage(test::ReadFileBytes(dir / "hum.wav")));
    ASSERT_EQ(s.size(), 11025u);
    int largestStep = 0;
    for (size_t i = 1; i < s.size(); ++i) largestStep = std::max(largestStep, std::abs(s[i] - s[i - 1]));
    EXPECT_LE(std::abs(s.front() - s.back()), largestStep + 1);

    const std::pair<const char*, const char*> bad[] = {
        {"voice\nwave bell\n", "line 2: wave: unknown wave 'bell'"},
        {"wave square\n", "line 1: unknown setting 'wave'"},
        {"voice\nfreq H4\n", "line 2: freq: 'H4' is not a pitch"},
        {"voice\nduty 0.5 ->\n", "line 2: duty"},
        {"rate 8000\nvoice\n", "line 1: rate"},
        {"# nothing\n", "no voice"},
    };
    for (auto& [recipe, message] : bad) {
        test::WriteFileBytes(dir / "bad.sfx", recipe);
        RunResult r = RunTool("sfxsynth", dir / "bad.sfx " + dir / "bad.wav", dir);
        EXPECT_EQ(r.exitCode, 1) << recipe;
        EXPECT_NE(r.output.find(message), std::string::npos) << r.output;
    }
}

TEST(DxwTool, BuildsAndListsAndRefusesBadInput) {
    TempDir dir;
    test::WriteFileBytes(dir / "a.sfx", "voice\nwave sine\nfreq 440\nhold 0.05\n");
    ASSERT_EQ(RunTool("sfxsynth", dir / "a.sfx " + dir / "a.wav", dir).exitCode, 0);
    test::WriteFileBytes(dir / "ok.txt", "# test\nCoin a.wav max 3\n\nHum  a.wav looped\n");
    RunResult r = RunTool("dxwtool", "build " + dir / "out.dxw " + dir / "ok.txt", dir);
    ASSERT_EQ(r.exitCode, 0) << r.output;
    TWaveListData list;
    list.LoadFromFile(dir / "out.dxw");
    ASSERT_EQ(list.Count(), 2);
    EXPECT_EQ(list.Items(0).MaxPlayingCount, 3);
    EXPECT_TRUE(list.Find("hum").Looped);
    EXPECT_EQ(list.Find("coin").Wave.Samples, list.Find("hum").Wave.Samples);
    r = RunTool("dxwtool", "list " + dir / "out.dxw", dir);
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_NE(r.output.find("Coin"), std::string::npos);
    EXPECT_NE(r.output.find("looped=yes  max=0  1 ch  22050 Hz  16 bit"), std::string::npos) << r.output;

    test::WriteFileBytes(dir / "text.wav", "not a wave at all");
    test::WriteFileBytes(dir / "short.wav", std::string("RIFF\x10\0\0\0WAVEdata\xFF\xFF\0\0", 20));
    const std::string good = test::ReadFileBytes(dir / "out.dxw");
    test::WriteFileBytes(dir / "cut.dxw", good.substr(0, good.size() / 2));
    test::WriteFileBytes(dir / "empty.dxw", "");
    const std::pair<std::string, std::string> bad[] = {
        {"Coin missing.wav\n", "cannot open"},
        {"Coin text.wav\n", "not a RIFF WAVE file"},
        {"Coin short.wav\n", "runs past the end"},
        {"Coin a.wav\nCOIN a.wav\n", "used twice"},
        {"Coin a.wav max -1\n", "is not a count"},
        {"Coin a.wav loud\n", "unexpected 'loud'"},
        {"Coin\n", "expected NAME WAVFILE"},
        {"# only a comment\n", "names no sound"},
    };
    for (auto& [manifest, message] : bad) {
        test::WriteFileBytes(dir / "bad.txt", manifest);
        r = RunTool("dxwtool", "build " + dir / "bad.dxw " + dir / "bad.txt", dir);
        EXPECT_EQ(r.exitCode, 1) << manifest;
        EXPECT_NE(r.output.find(message), std::string::npos) << manifest << r.output;
    }
    for (const char* file : {"cut.dxw", "empty.dxw", "text.wav", "nothing-here.dxw"}) {
        r = RunTool("dxwtool", "list " + dir / file, dir);
        EXPECT_EQ(r.exitCode, 1) << file;
        EXPECT_NE(r.output.find("dxwtool: "), std::string::npos) << r.output;
    }
    EXPECT_EQ(RunTool("dxwtool", "frobnicate", dir).exitCode, 1);
}

TEST(ModWriter, WritesAModuleTheLibraryPlays) {
    TempDir dir;
    // 2 patterns of 32 and 64 rows at speed 6, tempo 125: 96 rows of 0.12 s.
    test::WriteFileBytes(dir / "song.txt", "title Test Song\nspeed 6\ntempo 125\n"
                                           "instrument lead cycle 32 loop volume 48\n"
                                           "  voice\n  wave square\n  freq 1\n  decay 0.1\n  sustain 0.5\nend\n"
                                           "instrument kick key k\n  voice\n  wave sine\n  freq 150 -> 40\n"
                                           "  hold 0.05\nend\n"
                                           "define riff C4 E4 G4 C5\n"
                                           "pattern a step 2\n"
                                           "  1 lead: $riff $riff+2 | $riff*2\n"
                                           "  4: k . k . k . k . | k*8\n"
                                           "pattern b step 4\n"
                                           "  1 lead: C5/047 .*3 | G4/C20 . - .\n"
                                           "  1: C4 .*7\n"
                                           "  2 lead: E4*16\n"
                                           "order a b a\n");
    RunResult r = RunTool("modwriter", dir / "song.txt " + dir / "song.mod", dir);
    ASSERT_EQ(r.exitCode, 0) << r.output;
    const std::string bytes = test::ReadFileBytes(dir / "song.mod");
    EXPECT_EQ(bytes.substr(1080, 4), "M.K.");
    EXPECT_EQ(bytes.substr(0, 9), "Test Song");
    EXPECT_EQ(static_cast<uint8_t>(bytes[950]), 3); // orders

    Module m(bytes);
    ASSERT_TRUE(m.Loaded());
    EXPECT_NEAR(m.Seconds(), (32 + 64 + 32) * 0.12, 0.05);
    std::vector<int16_t> pcm = m.Render(3);
    EXPECT_EQ(pcm.size(), 3u * 44100u);
    EXPECT_GT(Rms(pcm), 0.02);

    const std::pair<const char*, const char*> bad[] = {
        {"pattern p\n1: C4\norder p\n", "before the channel has an instrument"},
        {"instrument x cycle 32\nvoice\n", "without 'end'"},
        {"instrument x cycle 32\nvoice\nend\npattern p\n1 x: C9\norder p\n", "outside the three octaves"},
        {"instrument x cycle 32\nvoice\nend\npattern p\n1 x: C4*64 C4\norder p\n", "runs past 64 rows"},
        {"instrument x cycle 32\nvoice\nend\npattern p\n1 x: C4\norder q\n", "unknown pattern 'q'"},
        {"instrument x cycle 32\nvoice\nend\npattern p\n1 x: $nope\norder p\n", "unknown phrase"},
        {"instrument x cycle 32\nvoice\nend\npattern p\n1 x: C4/ZZZ\norder p\n", "three hex digits"},
        {"instrument x cycle 32\nvoice\nend\npattern p\n1 x: k\norder p\n", "no instrument has the key 'k'"},
        {"instrument x cycle 32\nvoice\nwave harp\nend\n", "line 3: wave"},
    };
    for (auto& [song, message] : bad) {
        test::WriteFileBytes(dir / "bad.txt", song);
        r = RunTool("modwriter", dir / "bad.txt " + dir / "bad.mod", dir);
        EXPECT_EQ(r.exitCode, 1) << song;
        EXPECT_NE(r.output.find(message), std::string::npos) << song << r.output;
    }
}

// The files the build placed beside the game.
TEST(ShippedAudio, EveryEffectIsInTheWaveList) {
    TWaveListData list;
    list.LoadFromFile(test::BinaryDir() + "/SND/Sounds.dxw");
    for (const char* name : {"Jump", "Land", "Fall", "KillJump", "Au", "AU", "Hit", "Bump", "Block", "Coin", "Bonus",
                             "Complete", "Elevator", "Trigger", "LaserLock", "Automove"}) {
        SCOPED_TRACE(name);
        const TWaveListEntry& e = list.Find(name);
        EXPECT_EQ(e.Wave.FormatTag(), 1);
        EXPECT_EQ(e.Wave.BitsPerSample(), 16);
        EXPECT_EQ(e.Wave.Channels(), 1);
        std::vector<int16_t> s = SamplesOf(e.Wave);
        EXPECT_GT(Rms(s), 0.02);
        EXPECT_LT(s.size(), e.Wave.SamplesPerSec() * 2u); // short effects
        EXPECT_EQ(e.Looped, SameText(name, "Automove"));
    }
}

TEST(ShippedAudio, EveryModulePlaysLongEnoughAndSoundsRight) {
    for (const char* name : {"Title", "Credits", "Level1", "Level2", "Level3", "Level4", "Level5"}) {
        SCOPED_TRACE(name);
        const std::string bytes = test::ReadFileBytes(test::BinaryDir() + "/SND/" + name + ".mod");
        ASSERT_EQ(bytes.substr(1080, 4), "M.K.");
        Module m(bytes);
        ASSERT_TRUE(m.Loaded());
        EXPECT_GE(m.Seconds(), 45.0);
        std::vector<int16_t> pcm = m.Render(4);
        ASSERT_EQ(pcm.size(), 4u * 44100u);
        const double rms = Rms(pcm);
        EXPECT_GT(rms, 0.03);
        size_t clipped = 0;
        for (int16_t v : pcm) clipped += (v >= 32767 || v <= -32768);
        EXPECT_LT(clipped, pcm.size() / 1000);
    }
}
