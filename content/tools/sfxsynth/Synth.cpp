#include "Synth.h"

#include "common/Exception.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <sstream>

namespace varnok::sfx {

namespace {

constexpr double kPi = 3.14159265358979323846;

[[noreturn]] void Fail(int line, const std::string& what) {
    throw Exception("line " + std::to_string(line) + ": " + what);
}

bool ParseNumber(const std::string& token, double& value) {
    if (token.empty()) return false;
    char* end = nullptr;
    value = std::strtod(token.c_str(), &end);
    return end == token.c_str() + token.size() && std::isfinite(value);
}

// Reads the values of one line after its key, with an optional "-> value".
class LineArgs {
public:
    LineArgs(int line, const std::string& key, std::vector<std::string> args)
        : line_(line), key_(key), args_(std::move(args)) {}

    size_t Size() const { return args_.size(); }
    const std::string& Raw(size_t i) const { return args_[i]; }

    double Number(size_t i, double lo, double hi) const {
        double v;
        if (i >= args_.size()) Fail(line_, key_ + ": value missing");
        if (!ParseNumber(args_[i], v)) Fail(line_, key_ + ": '" + args_[i] + "' is not a number");
        if (v < lo || v > hi)
            Fail(line_, key_ + ": " + args_[i] + " is outside " + Str(lo) + ".." + Str(hi));
        return v;
    }

    double Number(double lo, double hi) const { return Number(size_t{0}, lo, hi); }

    double Pitch(size_t i) const {
        double hz;
        if (i >= args_.size()) Fail(line_, key_ + ": pitch missing");
        if (!ParsePitch(args_[i], hz) || hz <= 0 || hz > 100000)
            Fail(line_, key_ + ": '" + args_[i] + "' is not a pitch");
        return hz;
    }

    // "A" or "A -> B", values checked by `get`.
    template <typename Get> Ramp RampOf(Get get) const {
        Ramp r;
        r.from = r.to = get(0);
        if (args_.size() == 1) return r;
        if (args_.size() != 3 || args_[1] != "->") Fail(line_, key_ + ": expected 'value' or 'value -> value'");
        r.to = get(2);
        return r;
    }

    void ExpectCount(size_t n) const {
        if (args_.size() != n) Fail(line_, key_ + ": expected " + std::to_string(n) + " value(s)");
    }

private:
    static std::string Str(double v) {
        std::ostringstream s;
        s << v;
        return s.str();
    }
    int line_;
    std::string key_;
    std::vector<std::string> args_;
};

double PolyBlep(double t, double dt) {
    if (dt <= 0) return 0;
    if (t < dt) {
        t /= dt;
        return t + t - t * t - 1;
    }
    if (t > 1 - dt) {
        t = (t - 1) / dt;
        return t * t + t + t + 1;
    }
    return 0;
}

double Envelope(const Voice& v, double t) {
    if (t < 0) return 0;
    if (t < v.attack) return t / v.attack;
    t -= v.attack;
    if (t < v.decay) return 1 - (1 - v.sustain) * t / v.decay;
    t -= v.decay;
    if (t < v.hold) return v.sustain;
    t -= v.hold;
    if (t < v.release) return v.sustain * (1 - t / v.release);
    return 0;
}

double OnePoleCoefficient(double cutoff, int rate) {
    cutoff = std::clamp(cutoff, 1.0, rate * 0.45);
    return 1 - std::exp(-2 * kPi * cutoff / rate);
}

} // namespace

std::string StripComment(const std::string& line) {
    for (size_t i = 0; i < line.size(); ++i)
        if (line[i] == '#' && (i == 0 || line[i - 1] == ' ' || line[i - 1] == '\t')) return line.substr(0, i);
    return line;
}

bool ParsePitch(const std::string& token, double& hz) {
    if (ParseNumber(token, hz)) return true;
    static const int kSemitone[7] = {9, 11, 0, 2, 4, 5, 7}; // A B C D E F G from C
    if (token.size() < 2) return false;
    char letter = static_cast<char>(std::toupper(static_cast<unsigned char>(token[0])));
    if (letter < 'A' || letter > 'G') return false;
    int semitone = kSemitone[letter - 'A'];
    size_t i = 1;
    if (token[i] == '#') {
        ++semitone;
        ++i;
    } else if (token[i] == 'b') {
        --semitone;
        ++i;
    }
    if (i + 1 != token.size() || token[i] < '0' || token[i] > '9') return false;
    int octave = token[i] - '0';
    int midi = (octave + 1) * 12 + semitone;
    hz = 440.0 * std::pow(2.0, (midi - 69) / 12.0);
    return true;
}

Recipe ParseRecipe(const std::string& text) {
    Recipe recipe;
    std::istringstream in(text);
    std::string rawLine;
    int lineNo = 0;
    Voice* voice = nullptr;
    while (std::getline(in, rawLine)) {
        ++lineNo;
        rawLine = StripComment(rawLine);
        std::istringstream words(rawLine);
        std::string key;
        if (!(words >> key)) continue;
        std::vector<std::string> values;
        for (std::string w; words >> w;) values.push_back(w);
        LineArgs a(lineNo, key, values);
        auto num = [&](double lo, double hi) { return [&a, lo, hi](size_t i) { return a.Number(i, lo, hi); }; };

        if (key == "voice") {
            a.ExpectCount(0);
            if (recipe.voices.size() >= 64) Fail(lineNo, "too many voices");
            recipe.voices.emplace_back();
            voice = &recipe.voices.back();
            continue;
        }
        if (!voice) {
            if (key == "rate") {
                a.ExpectCount(1);
                double r = a.Number(0, 8000, 48000);
                if (r != 22050 && r != 44100) Fail(lineNo, "rate: only 22050 and 44100 are written");
                recipe.rate = static_cast<int>(r);
            } else if (key == "length") {
                a.ExpectCount(1);
                recipe.length = a.Number(0.001, 30);
            } else if (key == "peak") {
                a.ExpectCount(1);
                recipe.peak = a.Number(0.01, 1);
            } else if (key == "loop") {
                recipe.loop = true;
                if (a.Size() > 1) a.ExpectCount(1);
                if (a.Size() == 1) recipe.crossfade = a.Number(0.001, 2);
            } else {
                Fail(lineNo, "unknown setting '" + key + "' (voice settings follow a 'voice' line)");
            }
            continue;
        }
        Voice& v = *voice;
        if (key == "wave") {
            a.ExpectCount(1);
            static const std::pair<const char*, Wave> kWaves[] = {{"square", Wave::Square},
                                                                  {"triangle", Wave::Triangle},
                                                                  {"sine", Wave::Sine},
                                                                  {"saw", Wave::Saw},
                                                                  {"noise", Wave::Noise}};
            bool found = false;
            for (auto& [name, w] : kWaves)
                if (a.Raw(0) == name) {
                    v.wave = w;
                    found = true;
                }
            if (!found) Fail(lineNo, "wave: unknown wave '" + a.Raw(0) + "'");
        } else if (key == "start") {
            a.ExpectCount(1);
            v.start = a.Number(0, 30);
        } else if (key == "freq") {
            v.freq = a.RampOf([&](size_t i) { return a.Pitch(i); });
        } else if (key == "slide") {
            a.ExpectCount(1);
            v.slide = a.Number(-1000, 1000);
        } else if (key == "notes") {
            if (a.Size() == 0 || a.Size() % 2 != 0) Fail(lineNo, "notes: expected pitch and time pairs");
            v.notes.clear();
            for (size_t i = 0; i < a.Size(); i += 2) v.notes.emplace_back(a.Pitch(i), a.Number(i + 1, 0.001, 30));
        } else if (key == "arp") {
            if (a.Size() < 3 || a.Raw(a.Size() - 2) != "@") Fail(lineNo, "arp: expected 'offsets... @ rate'");
            v.arp.clear();
            for (size_t i = 0; i + 2 < a.Size(); ++i) v.arp.push_back(a.Number(i, -48, 48));
            v.arpRate = a.Number(a.Size() - 1, 0.1, 1000);
        } else if (key == "vibrato") {
            a.ExpectCount(2);
            v.vibratoRate = a.Number(size_t{0}, 0, 100);
            v.vibratoDepth = a.Number(size_t{1}, 0, 24);
        } else if (key == "tremolo") {
            a.ExpectCount(2);
            v.tremoloRate = a.Number(size_t{0}, 0, 100);
            v.tremoloDepth = a.Number(size_t{1}, 0, 1);
        } else if (key == "duty") {
            v.duty = a.RampOf(num(0.01, 0.99));
        } else if (key == "attack" || key == "decay" || key == "hold" || key == "release") {
            a.ExpectCount(1);
            double t = a.Number(0, 30);
            (key == "attack" ? v.attack : key == "decay" ? v.decay : key == "hold" ? v.hold : v.release) = t;
        } else if (key == "sustain") {
            a.ExpectCount(1);
            v.sustain = a.Number(0, 1);
        } else if (key == "lowpass") {
            v.lowpass = a.RampOf(num(1, 20000));
        } else if (key == "highpass") {
            a.ExpectCount(1);
            v.highpass = a.Number(1, 20000);
        } else if (key == "gain") {
            a.ExpectCount(1);
            v.gain = a.Number(0, 4);
        } else {
            Fail(lineNo, "unknown voice setting '" + key + "'");
        }
    }
    if (recipe.voices.empty()) throw Exception("the recipe has no voice");
    return recipe;
}

std::vector<float> RenderVoice(const Voice& v, int rate, size_t count) {
    std::vector<float> out(count, 0.0f);
    const double duration = v.Duration();
    if (duration <= 0 || rate <= 0) return out;
    const double lpFrom = v.lowpass.from, lpTo = v.lowpass.to;
    const double hpCoef = v.highpass > 0 ? OnePoleCoefficient(v.highpass, rate) : 0;
    uint32_t noiseState = 0x12345678u;
    double noiseValue = 0;
    double phase = 0, lp1 = 0, lp2 = 0, hpState = 0;

    const size_t first = static_cast<size_t>(std::llround(v.start * rate));
    const size_t length = static_cast<size_t>(std::ceil(duration * rate));
    for (size_t n = 0; n < length && first + n < count; ++n) {
        const double t = static_cast<double>(n) / rate;
        const double fraction = std::min(1.0, t / duration);

        double base;
        if (!v.notes.empty()) {
            base = v.notes.back().first;
            double end = 0;
            for (auto& [hz, secs] : v.notes) {
                end += secs;
                if (t < end) {
                    base = hz;
                    break;
                }
            }
        } else {
            base = v.freq.from * std::pow(v.freq.to / v.freq.from, fraction);
        }
        double semis = v.slide * t;
        if (!v.arp.empty()) semis += v.arp[static_cast<size_t>(t * v.arpRate) % v.arp.size()];
        if (v.vibratoDepth > 0) semis += v.vibratoDepth * std::sin(2 * kPi * v.vibratoRate * t);
        const double hz = std::clamp(base * std::pow(2.0, semis / 12.0), 1.0, rate * 0.5);
        const double dt = hz / rate;

        double s = 0;
        switch (v.wave) {
        case Wave::Square: {
            const double duty = std::clamp(v.duty.At(fraction), 0.01, 0.99);
            s = (phase < duty ? 1.0 : -1.0) + PolyBlep(phase, dt) - PolyBlep(std::fmod(phase + 1 - duty, 1.0), dt);
            break;
        }
        case Wave::Triangle:
            s = 4 * std::abs(phase - 0.5) - 1;
            break;
        case Wave::Sine:
            s = std::sin(2 * kPi * phase);
            break;
        case Wave::Saw:
            s = 2 * phase - 1 - PolyBlep(phase, dt);
            break;
        case Wave::Noise:
            if (n == 0 || phase + dt >= 1) {
                noiseState = noiseState * 1664525u + 1013904223u;
                noiseValue = static_cast<double>(noiseState >> 8) / double(1u << 23) - 1.0;
            }
            s = noiseValue;
            break;
        }
        phase += dt;
        phase -= std::floor(phase);

        if (lpFrom > 0) {
            const double a = OnePoleCoefficient(lpFrom * std::pow(lpTo / lpFrom, fraction), rate);
            lp1 += a * (s - lp1);
            lp2 += a * (lp1 - lp2);
            s = lp2;
        }
        if (hpCoef > 0) {
            hpState += hpCoef * (s - hpState);
            s -= hpState;
        }
        double amp = Envelope(v, t) * v.gain;
        if (v.tremoloDepth > 0) amp *= 1 - v.tremoloDepth * 0.5 * (1 - std::cos(2 * kPi * v.tremoloRate * t));
        out[first + n] = static_cast<float>(s * amp);
    }
    return out;
}

std::vector<float> Render(const Recipe& recipe) {
    double length = recipe.length;
    if (length <= 0)
        for (const Voice& v : recipe.voices) length = std::max(length, v.start + v.Duration());
    const size_t count = std::max<size_t>(1, static_cast<size_t>(std::llround(length * recipe.rate)));
    size_t fade = 0;
    if (recipe.loop) fade = std::min(count, static_cast<size_t>(std::llround(recipe.crossfade * recipe.rate)));

    std::vector<float> mix(count + fade, 0.0f);
    for (const Voice& v : recipe.voices) {
        std::vector<float> one = RenderVoice(v, recipe.rate, mix.size());
        for (size_t i = 0; i < mix.size(); ++i) mix[i] += one[i];
    }
    // Looping: the head fades from the sound's continuation into its start,
    // so the last sample runs on into the first without a click.
    for (size_t i = 0; i < fade; ++i) {
        const float w = static_cast<float>(i) / static_cast<float>(fade);
        mix[i] = mix[i] * w + mix[count + i] * (1 - w);
    }
    mix.resize(count);

    float peak = 0;
    for (float s : mix) peak = std::max(peak, std::abs(s));
    if (peak > 0) {
        const float scale = static_cast<float>(recipe.peak) / peak;
        for (float& s : mix) s *= scale;
    }
    return mix;
}

std::vector<int16_t> ToPcm16(const std::vector<float>& samples) {
    std::vector<int16_t> out(samples.size());
    for (size_t i = 0; i < samples.size(); ++i)
        out[i] = static_cast<int16_t>(std::lround(std::clamp(samples[i], -1.0f, 1.0f) * 32767.0f));
    return out;
}

namespace {
void Put32(std::string& s, uint32_t v) {
    for (int i = 0; i < 4; ++i) s.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}
void Put16(std::string& s, uint16_t v) {
    s.push_back(static_cast<char>(v & 0xFF));
    s.push_back(static_cast<char>(v >> 8));
}
} // namespace

std::string WavImage(const std::vector<int16_t>& samples, int rate) {
    const uint32_t dataBytes = static_cast<uint32_t>(samples.size() * 2);
    std::string s;
    s += "RIFF";
    Put32(s, 36 + dataBytes);
    s += "WAVEfmt ";
    Put32(s, 16);
    Put16(s, 1); // PCM
    Put16(s, 1); // mono
    Put32(s, static_cast<uint32_t>(rate));
    Put32(s, static_cast<uint32_t>(rate) * 2);
    Put16(s, 2);
    Put16(s, 16);
    s += "data";
    Put32(s, dataBytes);
    for (int16_t v : samples) Put16(s, static_cast<uint16_t>(v));
    return s;
}

} // namespace varnok::sfx
