#include "ModWriter.h"

#include "common/Exception.h"

#include <algorithm>
#include <cmath>

namespace varnok::mod {

namespace {

// Periods of the three octaves, finetune 0.
constexpr uint16_t kPeriods[kNotes] = {856, 808, 762, 720, 678, 640, 604, 570, 538, 508, 480, 453,
                                       428, 404, 381, 360, 339, 320, 302, 285, 269, 254, 240, 226,
                                       214, 202, 190, 180, 170, 160, 151, 143, 135, 127, 120, 113};
// Playback rate of a sample at period p: clock / (2 p).
constexpr double kClock = 7093789.2;
constexpr size_t kMaxSampleBytes = 65535 * 2;

double RateOfNote(int note) { return kClock / (2.0 * kPeriods[note]); }

void Put16BE(std::string& s, size_t v) {
    s.push_back(static_cast<char>((v >> 8) & 0xFF));
    s.push_back(static_cast<char>(v & 0xFF));
}

std::vector<int8_t> ToInt8(const std::vector<float>& f) {
    std::vector<int8_t> out(f.size());
    for (size_t i = 0; i < f.size(); ++i)
        out[i] = static_cast<int8_t>(std::lround(std::clamp(f[i], -1.0f, 1.0f) * 127.0f));
    return out;
}

} // namespace

Sample RenderInstrument(const Instrument& ins) {
    Sample s;
    s.volume = ins.volume;
    sfx::Recipe r = ins.recipe;
    r.peak = 1.0;
    r.loop = false;
    if (ins.cycle == 0) {
        r.rate = static_cast<int>(std::lround(RateOfNote(ins.note)));
        // One-shot: two silent bytes in front, which the player repeats
        // after the end.
        std::vector<int8_t> body = ToInt8(sfx::Render(r));
        s.data.assign(2, 0);
        s.data.insert(s.data.end(), body.begin(), body.end());
    } else {
        r.rate = static_cast<int>(std::lround(RateOfNote(12)));
        const double base = static_cast<double>(r.rate) / ins.cycle;
        for (sfx::Voice& v : r.voices) {
            v.freq.from *= base;
            v.freq.to *= base;
            for (auto& n : v.notes) n.first *= base;
        }
        if (ins.loop) {
            // Attack and decay play once; the last whole cycle, at the
            // sustain level, repeats for as long as the note sounds.
            double onset = 0;
            for (sfx::Voice& v : r.voices) {
                onset = std::max(onset, v.start + v.attack + v.decay);
                v.hold = 1000;
                v.release = 0;
            }
            size_t cycles = static_cast<size_t>(std::ceil(onset * r.rate / ins.cycle)) + 1;
            cycles = std::max<size_t>(cycles, 8);
            r.length = static_cast<double>(cycles * static_cast<size_t>(ins.cycle)) / r.rate;
            std::vector<float> f = sfx::Render(r);
            f.resize(cycles * static_cast<size_t>(ins.cycle), 0.0f);
            s.data = ToInt8(f);
            s.loopLength = static_cast<size_t>(ins.cycle);
            s.loopStart = s.data.size() - s.loopLength;
        } else {
            std::vector<int8_t> body = ToInt8(sfx::Render(r));
            s.data.assign(2, 0);
            s.data.insert(s.data.end(), body.begin(), body.end());
        }
        // Tune the sample's pitch to the nearest note.
        const double midi = 69 + 12 * std::log2(RateOfNote(12) / ins.cycle / 440.0);
        s.finetune = std::clamp(static_cast<int>(std::lround((std::round(midi) - midi) * 8)), -8, 7);
    }
    if (s.data.size() > kMaxSampleBytes) {
        if (s.loopLength > 0) throw Exception("instrument '" + ins.name + "': sample longer than 128 KiB");
        s.data.resize(kMaxSampleBytes);
    }
    // Lengths are counted in 16-bit words.
    if (s.data.size() % 2) s.data.push_back(0);
    if (s.loopLength % 2 || s.loopStart % 2)
        throw Exception("instrument '" + ins.name + "': the cycle must be an even number of samples");
    return s;
}

std::string WriteModule(const Song& song) {
    std::string out;
    std::string title = song.title.substr(0, 20);
    title.resize(20, '\0');
    out += title;

    std::vector<Sample> samples;
    for (size_t i = 0; i < 31; ++i) {
        Sample s;
        std::string name;
        if (i < song.instruments.size()) {
            s = RenderInstrument(song.instruments[i]);
            name = song.instruments[i].name;
        } else {
            s.volume = 0;
        }
        name.resize(22, '\0');
        out += name;
        Put16BE(out, s.data.size() / 2);
        out.push_back(static_cast<char>(s.finetune & 0x0F));
        out.push_back(static_cast<char>(s.volume));
        Put16BE(out, s.loopStart / 2);
        Put16BE(out, s.loopLength > 0 ? s.loopLength / 2 : 1);
        samples.push_back(std::move(s));
    }

    out.push_back(static_cast<char>(song.order.size()));
    out.push_back(static_cast<char>(127));
    int patternCount = 0;
    for (size_t i = 0; i < 128; ++i) {
        const int p = i < song.order.size() ? song.order[i] : 0;
        patternCount = std::max(patternCount, p + 1);
        out.push_back(static_cast<char>(p));
    }
    out += "M.K.";

    for (int p = 0; p < patternCount; ++p) {
        const Pattern& pattern = song.patterns[static_cast<size_t>(p)];
        for (const auto& row : pattern.rows)
            for (const Cell& c : row) {
                const int period = c.note >= 0 ? kPeriods[c.note] : 0;
                out.push_back(static_cast<char>((c.instrument & 0xF0) | (period >> 8)));
                out.push_back(static_cast<char>(period & 0xFF));
                out.push_back(static_cast<char>(((c.instrument & 0x0F) << 4) | (c.hasEffect ? c.effect : 0)));
                out.push_back(static_cast<char>(c.hasEffect ? c.param : 0));
            }
    }
    for (const Sample& s : samples) out.append(reinterpret_cast<const char*>(s.data.data()), s.data.size());
    return out;
}

} // namespace varnok::mod
