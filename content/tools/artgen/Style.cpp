#include "Style.h"

#include "common/Exception.h"
#include "common/StrUtils.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <sstream>

namespace artgen {

bool ParseHex(const std::string& t, Rgba& out) {
    if (t.size() != 7 || t[0] != '#') return false;
    unsigned v = 0;
    for (size_t i = 1; i < 7; ++i) {
        char ch = t[i];
        int d = (ch >= '0' && ch <= '9')   ? ch - '0'
                : (ch >= 'a' && ch <= 'f') ? ch - 'a' + 10
                : (ch >= 'A' && ch <= 'F') ? ch - 'A' + 10
                                           : -1;
        if (d < 0) return false;
        v = v * 16 + static_cast<unsigned>(d);
    }
    out = {static_cast<uint8_t>(v >> 16), static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v), 255};
    return true;
}

void Palette::Load(const std::string& path) {
    std::ifstream in(path);
    if (!in) throw varnok::EFileError("Cannot open palette " + path);
    std::string line;
    int lineNo = 0;
    while (std::getline(in, line)) {
        ++lineNo;
        std::istringstream words(line);
        std::string name;
        if (!(words >> name) || name[0] == '#') continue;
        Ramp ramp;
        std::string w;
        while (words >> w) {
            Rgba c;
            if (!ParseHex(w, c))
                throw varnok::EConvertError(path + ":" + std::to_string(lineNo) + ": '" + w +
                                            "' is not a colour (#rrggbb)");
            ramp.push_back(c);
        }
        if (ramp.empty())
            throw varnok::EConvertError(path + ":" + std::to_string(lineNo) + ": ramp '" + name +
                                        "' has no colours");
        ramps_[name] = std::move(ramp);
    }
}

const Ramp& Palette::Get(const std::string& name) const {
    auto it = ramps_.find(name);
    if (it == ramps_.end()) throw varnok::EConvertError("Unknown colour ramp '" + name + "'");
    return it->second;
}

Rgba Palette::Color(const std::string& ref) const {
    Rgba c;
    if (ParseHex(ref, c)) return c;
    if (ref == "none") return kClear;
    size_t dot = ref.rfind('.');
    if (dot == std::string::npos) {
        const Ramp& r = Get(ref);
        return r[r.size() / 2];
    }
    const Ramp& r = Get(ref.substr(0, dot));
    auto i = varnok::TryStrToInt(ref.substr(dot + 1));
    if (!i || *i < 0 || *i >= static_cast<int>(r.size()))
        throw varnok::EConvertError("Colour '" + ref + "': no such shade");
    return r[static_cast<size_t>(*i)];
}

Palette& Pal() {
    static Palette palette;
    return palette;
}

Rgba Outline() { return Pal().Has("outline") ? Pal().Get("outline")[0] : Rgba{24, 16, 32, 255}; }

std::vector<int> ShadeLevels(const Mask& m, int n, const PaintOptions& opt) {
    const int w = m.Width(), h = m.Height();
    std::vector<int> levels(static_cast<size_t>(w) * h, -1);
    // Blurred coverage: its slope says which way an edge faces.
    const int r = std::max(1, opt.softness);
    std::vector<double> blur(static_cast<size_t>(w) * h, 0.0);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            int sum = 0, cnt = 0;
            for (int j = -r; j <= r; ++j)
                for (int i = -r; i <= r; ++i) sum += m.Get(x + i, y + j), ++cnt;
            blur[static_cast<size_t>(y) * w + x] = static_cast<double>(sum) / cnt;
        }
    auto B = [&](int x, int y) {
        x = std::clamp(x, 0, w - 1), y = std::clamp(y, 0, h - 1);
        return blur[static_cast<size_t>(y) * w + x];
    };
    const int mid = opt.mid >= 0 ? opt.mid : (n - 1) / 2;
    const double lx = -0.55, ly = -0.83; // towards the light
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            if (!m.Get(x, y)) continue;
            double gx = B(x + 1, y) - B(x - 1, y), gy = B(x, y + 1) - B(x, y - 1);
            // Outward normal is minus the slope; its length says how near the edge.
            double v = (-gx * lx - gy * ly) / 0.5 * opt.light;
            int level = mid;
            if (v > 0.75) level = mid + 2;
            else if (v > 0.22) level = mid + 1;
            else if (v < -0.75) level = mid - 2;
            else if (v < -0.22) level = mid - 1;
            // The lowest rim gets one step darker: shapes sit on the ground.
            if (!m.Get(x, y + 1) && opt.light > 0) level = std::min(level, mid - 1);
            levels[static_cast<size_t>(y) * w + x] = std::clamp(level, 0, n - 1);
        }
    return levels;
}

void Paint(Canvas& c, const Mask& m, const Ramp& ramp, const PaintOptions& opt) {
    const int n = static_cast<int>(ramp.size());
    if (opt.light > 0 && n > 1) {
        std::vector<int> levels = ShadeLevels(m, n, opt);
        for (int y = 0; y < m.Height(); ++y)
            for (int x = 0; x < m.Width(); ++x) {
                int l = levels[static_cast<size_t>(y) * m.Width() + x];
                if (l >= 0) c.Set(x, y, ramp[static_cast<size_t>(l)]);
            }
    } else {
        c.FillMask(m, ramp[static_cast<size_t>(opt.mid >= 0 ? opt.mid : (n - 1) / 2)]);
    }
    if (opt.outline) c.FillMask(m.Ring(), opt.outlineColor.a ? opt.outlineColor : Outline());
}

} // namespace artgen
