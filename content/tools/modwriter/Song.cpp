#include "Song.h"

#include "common/Exception.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <sstream>

namespace varnok::mod {

namespace {

[[noreturn]] void Fail(int line, const std::string& what) {
    throw Exception("line " + std::to_string(line) + ": " + what);
}

bool ParseInt(const std::string& s, int lo, int hi, int& value) {
    if (s.empty() || s.size() > 9) return false;
    size_t i = (s[0] == '-' || s[0] == '+') ? 1 : 0;
    if (i == s.size()) return false;
    for (size_t k = i; k < s.size(); ++k)
        if (s[k] < '0' || s[k] > '9') return false;
    value = std::stoi(s);
    return value >= lo && value <= hi;
}

int HexValue(const std::string& s) {
    int v = 0;
    for (char c : s) {
        int d = (c >= '0' && c <= '9') ? c - '0' : (c >= 'A' && c <= 'F') ? c - 'A' + 10 : (c >= 'a' && c <= 'f') ? c - 'a' + 10 : -1;
        if (d < 0) return -1;
        v = v * 16 + d;
    }
    return v;
}

// Note name "C4", "F#3", "Bb5" as a MIDI number (C4 = 60); -1 if not one.
int NoteMidi(const std::string& s) {
    static const int kSemitone[7] = {9, 11, 0, 2, 4, 5, 7};
    if (s.size() < 2 || s[0] < 'A' || s[0] > 'G') return -1;
    int semitone = kSemitone[s[0] - 'A'];
    size_t i = 1;
    if (s[i] == '#') ++semitone, ++i;
    else if (s[i] == 'b') --semitone, ++i;
    if (i + 1 != s.size() || s[i] < '0' || s[i] > '9') return -1;
    return (s[i] - '0' + 1) * 12 + semitone;
}

// Tracker note "C-3", "C#2" as 0..35; -1 if not one.
int TrackerNote(const std::string& s) {
    if (s.size() != 3) return -1;
    std::string sci = s.substr(0, 1) + (s[1] == '#' ? "#" : "") + s.substr(2);
    if (s[1] != '-' && s[1] != '#') return -1;
    int midi = NoteMidi(sci);
    if (midi < 0) return -1;
    // Tracker octave 1 is index 0..11.
    int index = midi - (1 + 1) * 12;
    return (index >= 0 && index < kNotes) ? index : -1;
}

bool Continues(int effect, int param) {
    return (effect == 0 && param != 0) || effect == 0x1 || effect == 0x2 || effect == 0x3 || effect == 0x4 ||
           effect == 0x5 || effect == 0x6 || effect == 0xA;
}

struct Atom {
    enum Kind { Hold, Cut, Note, Drum, EffectOnly, Switch } kind = Hold;
    int midi = 0;
    char key = 0;
    int effect = 0;
    int param = 0;
    bool hasEffect = false;
    std::string instrument;
};

class Parser {
public:
    Song Run(const std::string& text);

private:
    void TopLine(const std::vector<std::string>& w, const std::string& line);
    void ChannelLine(const std::string& line);
    void Expand(const std::string& token, int transpose, int depth, std::vector<Atom>& out);
    void Place(int channel, const std::vector<Atom>& atoms);
    int InstrumentIndex(const std::string& name) const;
    void Finish();

    Song song_;
    int line_ = 0;
    std::map<std::string, std::vector<std::string>> phrases_;
    Pattern* pattern_ = nullptr;
    int step_ = 1;
    std::array<int, kChannels> rowOf_{};
    std::array<int, kChannels> instrumentOf_{};
    std::array<Cell, kChannels> continuing_{};
    std::vector<std::string> orderNames_;
    int orderLine_ = 0;
};

int Parser::InstrumentIndex(const std::string& name) const {
    for (size_t i = 0; i < song_.instruments.size(); ++i)
        if (song_.instruments[i].name == name) return static_cast<int>(i);
    return -1;
}

Song Parser::Run(const std::string& text) {
    std::istringstream in(text);
    std::string raw;
    while (std::getline(in, raw)) {
        ++line_;
        std::string line = sfx::StripComment(raw);
        std::istringstream words(line);
        std::vector<std::string> w;
        for (std::string s; words >> s;) w.push_back(s);
        if (w.empty()) continue;
        if (w[0] == "instrument") {
            // The recipe lines up to "end" belong to the instrument; blank
            // lines in front keep the synthesizer's line numbers right.
            const int first = line_;
            std::string recipe(static_cast<size_t>(first), '\n');
            bool ended = false;
            while (std::getline(in, raw)) {
                ++line_;
                std::istringstream rw(sfx::StripComment(raw));
                std::string k;
                if ((rw >> k) && k == "end") {
                    ended = true;
                    break;
                }
                recipe += raw + "\n";
            }
            if (!ended) Fail(first, "instrument without 'end'");
            pattern_ = nullptr;
            TopLine(w, recipe);
            continue;
        }
        if (w[0][0] >= '0' && w[0][0] <= '9') {
            if (!pattern_) Fail(line_, "a channel line outside a pattern");
            ChannelLine(line);
            continue;
        }
        pattern_ = nullptr;
        TopLine(w, line);
    }
    Finish();
    return std::move(song_);
}

void Parser::TopLine(const std::vector<std::string>& w, const std::string& line) {
    const std::string& key = w[0];
    int v = 0;
    if (key == "title") {
        std::string title = line.substr(line.find("title") + 5);
        title.erase(0, title.find_first_not_of(" \t"));
        title.erase(title.find_last_not_of(" \t\r") + 1);
        if (title.size() > 20) Fail(line_, "title longer than 20 characters");
        song_.title = title;
    } else if (key == "speed") {
        if (w.size() != 2 || !ParseInt(w[1], 1, 31, v)) Fail(line_, "speed: expected 1..31 ticks per row");
        song_.speed = v;
    } else if (key == "tempo") {
        if (w.size() != 2 || !ParseInt(w[1], 32, 255, v)) Fail(line_, "tempo: expected 32..255 beats per minute");
        song_.tempo = v;
    } else if (key == "instrument") {
        if (w.size() < 2) Fail(line_, "instrument: name missing");
        if (InstrumentIndex(w[1]) >= 0) Fail(line_, "instrument '" + w[1] + "' defined twice");
        if (song_.instruments.size() >= 31) Fail(line_, "more than 31 instruments");
        Instrument ins;
        ins.name = w[1];
        if (ins.name.size() > 22) Fail(line_, "instrument name longer than 22 characters");
        for (size_t i = 2; i < w.size(); ++i) {
            const bool hasValue = i + 1 < w.size();
            if (w[i] == "loop") {
                ins.loop = true;
            } else if (w[i] == "cycle" && hasValue) {
                if (!ParseInt(w[++i], 2, 1024, ins.cycle)) Fail(line_, "cycle: expected 2..1024 samples");
            } else if (w[i] == "volume" && hasValue) {
                if (!ParseInt(w[++i], 0, 64, ins.volume)) Fail(line_, "volume: expected 0..64");
            } else if (w[i] == "key" && hasValue) {
                const std::string& k = w[++i];
                if (k.size() != 1 || k[0] < 'a' || k[0] > 'z') Fail(line_, "key: expected one lower-case letter");
                for (const Instrument& o : song_.instruments)
                    if (o.key == k[0]) Fail(line_, "key '" + k + "' used twice");
                ins.key = k[0];
            } else if (w[i] == "note" && hasValue) {
                ins.note = TrackerNote(w[++i]);
                if (ins.note < 0) Fail(line_, "note: expected a tracker note C-1 .. B-3");
            } else {
                Fail(line_, "instrument: unexpected '" + w[i] + "'");
            }
        }
        if (ins.cycle == 0 && ins.loop) Fail(line_, "only instruments with a cycle can loop");
        if (ins.cycle != 0 && ins.key != 0) Fail(line_, "a key is for drums (instruments without a cycle)");
        try {
            ins.recipe = sfx::ParseRecipe(line);
        } catch (const Exception& e) {
            throw Exception(std::string(e.what()) + " (instrument " + ins.name + ")");
        }
        song_.instruments.push_back(std::move(ins));
    } else if (key == "define") {
        if (w.size() < 2) Fail(line_, "define: name missing");
        auto& tokens = phrases_[w[1]];
        tokens.insert(tokens.end(), w.begin() + 2, w.end());
    } else if (key == "pattern") {
        if (w.size() < 2) Fail(line_, "pattern: name missing");
        for (const Pattern& p : song_.patterns)
            if (p.name == w[1]) Fail(line_, "pattern '" + w[1] + "' defined twice");
        if (song_.patterns.size() >= 64) Fail(line_, "more than 64 patterns");
        step_ = 1;
        if (w.size() == 4 && w[2] == "step") {
            if (!ParseInt(w[3], 1, 64, step_)) Fail(line_, "step: expected 1..64 rows");
        } else if (w.size() != 2) {
            Fail(line_, "expected 'pattern NAME [step N]'");
        }
        song_.patterns.emplace_back();
        pattern_ = &song_.patterns.back();
        pattern_->name = w[1];
        rowOf_.fill(0);
        instrumentOf_.fill(-1);
        continuing_ = {};
    } else if (key == "order") {
        orderNames_.insert(orderNames_.end(), w.begin() + 1, w.end());
        orderLine_ = line_;
    } else {
        Fail(line_, "unknown keyword '" + key + "'");
    }
}

void Parser::ChannelLine(const std::string& line) {
    const size_t colon = line.find(':');
    if (colon == std::string::npos) Fail(line_, "expected 'CHANNEL [INSTRUMENT]: notes'");
    std::istringstream head(line.substr(0, colon)), body(line.substr(colon + 1));
    std::vector<std::string> h;
    for (std::string s; head >> s;) h.push_back(s);
    int channel = 0;
    if (h.empty() || h.size() > 2 || !ParseInt(h[0], 1, kChannels, channel))
        Fail(line_, "expected a channel 1..4 before ':'");
    std::vector<Atom> atoms;
    if (h.size() == 2) {
        Atom a;
        a.kind = Atom::Switch;
        a.instrument = h[1];
        atoms.push_back(a);
    }
    for (std::string token; body >> token;) Expand(token, 0, 0, atoms);
    Place(channel - 1, atoms);
}

void Parser::Expand(const std::string& tokenIn, int transpose, int depth, std::vector<Atom>& out) {
    if (depth > 16) Fail(line_, "phrases nested too deeply");
    if (tokenIn == "|") return;
    std::string token = tokenIn;
    int repeat = 1;
    if (size_t star = token.rfind('*'); star != std::string::npos && star > 0) {
        if (!ParseInt(token.substr(star + 1), 1, 64, repeat)) Fail(line_, "'" + tokenIn + "': bad repeat count");
        token.erase(star);
    }
    for (int r = 0; r < repeat; ++r) {
        if (token[0] == '$') {
            size_t sign = token.find_first_of("+-", 1);
            std::string name = token.substr(1, sign == std::string::npos ? std::string::npos : sign - 1);
            int shift = 0;
            if (sign != std::string::npos && !ParseInt(token.substr(sign), -48, 48, shift))
                Fail(line_, "'" + tokenIn + "': bad transposition");
            auto it = phrases_.find(name);
            if (it == phrases_.end()) Fail(line_, "unknown phrase '" + name + "'");
            for (const std::string& t : it->second) Expand(t, transpose + shift, depth + 1, out);
            continue;
        }
        Atom a;
        if (token[0] == '@') {
            a.kind = Atom::Switch;
            a.instrument = token.substr(1);
            out.push_back(a);
            continue;
        }
        std::string body = token;
        if (size_t slash = token.find('/'); slash != std::string::npos) {
            const std::string eff = token.substr(slash + 1);
            const int v = eff.size() == 3 ? HexValue(eff) : -1;
            if (v < 0) Fail(line_, "'" + tokenIn + "': an effect is three hex digits, e.g. /A02");
            a.hasEffect = true;
            a.effect = v >> 8;
            a.param = v & 0xFF;
            body = token.substr(0, slash);
        }
        if (body.empty()) {
            if (!a.hasEffect) Fail(line_, "'" + tokenIn + "': nothing to play");
            a.kind = Atom::EffectOnly;
        } else if (body == ".") {
            if (a.hasEffect) Fail(line_, "'" + tokenIn + "': a hold takes no effect");
            a.kind = Atom::Hold;
        } else if (body == "-") {
            a.kind = Atom::Cut;
        } else if (body.size() == 1 && body[0] >= 'a' && body[0] <= 'z') {
            a.kind = Atom::Drum;
            a.key = body[0];
        } else {
            a.kind = Atom::Note;
            a.midi = NoteMidi(body);
            if (a.midi < 0) Fail(line_, "'" + tokenIn + "' is not a note, drum key, '.', '-', '@', '$' or effect");
            a.midi += transpose;
        }
        out.push_back(a);
    }
}

void Parser::Place(int ch, const std::vector<Atom>& atoms) {
    for (const Atom& a : atoms) {
        if (a.kind == Atom::Switch) {
            instrumentOf_[ch] = InstrumentIndex(a.instrument);
            if (instrumentOf_[ch] < 0) Fail(line_, "unknown instrument '" + a.instrument + "'");
            continue;
        }
        int& row = rowOf_[ch];
        if (row + step_ > kRows) Fail(line_, "channel " + std::to_string(ch + 1) + " runs past 64 rows");
        Cell first;
        Cell& cont = continuing_[ch];
        switch (a.kind) {
        case Atom::Hold:
            first = cont;
            break;
        case Atom::Cut:
            first.hasEffect = true;
            first.effect = 0xC;
            cont = Cell{};
            break;
        case Atom::EffectOnly:
            cont = Cell{};
            break;
        case Atom::Note: {
            const int ins = instrumentOf_[ch];
            if (ins < 0) Fail(line_, "a note before the channel has an instrument");
            const Instrument& instrument = song_.instruments[static_cast<size_t>(ins)];
            if (instrument.cycle == 0) Fail(line_, "'" + instrument.name + "' is a drum: play it by its key");
            // The note the sample sounds at tracker note C-2 (index 12).
            const double baseHz = 8287.1369 / instrument.cycle;
            const int baseMidi = static_cast<int>(std::lround(69 + 12 * std::log2(baseHz / 440.0)));
            first.note = a.midi - baseMidi + 12;
            if (first.note < 0 || first.note >= kNotes)
                Fail(line_, "a note outside the three octaves instrument '" + instrument.name + "' can play");
            first.instrument = ins + 1;
            cont = Cell{};
            break;
        }
        case Atom::Drum: {
            int ins = -1;
            for (size_t i = 0; i < song_.instruments.size(); ++i)
                if (song_.instruments[i].key == a.key) ins = static_cast<int>(i);
            if (ins < 0) Fail(line_, std::string("no instrument has the key '") + a.key + "'");
            first.note = song_.instruments[static_cast<size_t>(ins)].note;
            first.instrument = ins + 1;
            cont = Cell{};
            break;
        }
        case Atom::Switch:
            break;
        }
        if (a.hasEffect) {
            first.hasEffect = true;
            first.effect = a.effect;
            first.param = a.param;
            if (Continues(a.effect, a.param)) {
                cont = Cell{};
                cont.hasEffect = true;
                cont.effect = a.effect;
                cont.param = a.param;
            }
        }
        pattern_->rows[static_cast<size_t>(row)][static_cast<size_t>(ch)] = first;
        for (int k = 1; k < step_; ++k) pattern_->rows[static_cast<size_t>(row + k)][static_cast<size_t>(ch)] = cont;
        row += step_;
        pattern_->rowCount = std::max(pattern_->rowCount, row);
    }
}

void Parser::Finish() {
    if (song_.instruments.empty()) throw Exception("the song has no instrument");
    if (song_.patterns.empty()) throw Exception("the song has no pattern");
    for (const Pattern& p : song_.patterns)
        if (p.rowCount == 0) throw Exception("pattern '" + p.name + "' has no rows");
    if (orderNames_.empty()) throw Exception("the song has no order list");
    if (orderNames_.size() > 128) Fail(orderLine_, "order: more than 128 entries");
    for (const std::string& name : orderNames_) {
        auto it = std::find_if(song_.patterns.begin(), song_.patterns.end(),
                               [&](const Pattern& p) { return p.name == name; });
        if (it == song_.patterns.end()) Fail(orderLine_, "order: unknown pattern '" + name + "'");
        song_.order.push_back(static_cast<int>(it - song_.patterns.begin()));
    }
    auto putEffect = [](Pattern& p, int row, int effect, int param) {
        for (Cell& c : p.rows[static_cast<size_t>(row)])
            if (!c.hasEffect) {
                c.hasEffect = true;
                c.effect = effect;
                c.param = param;
                return true;
            }
        return false;
    };
    // Short patterns end with a pattern break on their last row.
    for (Pattern& p : song_.patterns)
        if (p.rowCount < kRows && !putEffect(p, p.rowCount - 1, 0xD, 0))
            throw Exception("pattern '" + p.name + "': the last row needs a channel without an effect");
    // Speed and tempo are set on the first row of the song.
    Pattern& first = song_.patterns[static_cast<size_t>(song_.order[0])];
    if (!putEffect(first, 0, 0xF, song_.speed) || !putEffect(first, 0, 0xF, song_.tempo))
        throw Exception("pattern '" + first.name + "': the first row needs two channels without an effect");
}

} // namespace

Song ParseSong(const std::string& text) { return Parser().Run(text); }

double SongSeconds(const Song& song) {
    int rows = 0;
    for (int p : song.order) rows += song.patterns[static_cast<size_t>(p)].rowCount;
    return rows * song.speed * 2.5 / song.tempo;
}

} // namespace varnok::mod
