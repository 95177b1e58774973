#include "PixelArt.h"

#include "Items.h"
#include "Style.h"

#include "common/Exception.h"
#include "common/Files.h"
#include "common/StrUtils.h"

#include <map>
#include <memory>
#include <sstream>

namespace artgen {

namespace {

std::string Trim(const std::string& s) {
    size_t a = s.find_first_not_of(" \t\r");
    if (a == std::string::npos) return {};
    size_t b = s.find_last_not_of(" \t\r");
    return s.substr(a, b - a + 1);
}

} // namespace

PixelArt ParsePixelArt(const std::string& text, const std::string& name) {
    PixelArt art;
    std::map<char, Rgba> legend;
    std::istringstream in(text);
    std::string line;
    int lineNo = 0;
    enum { Header, Legend, Rows } mode = Header;
    Canvas frame;
    int row = 0;
    auto fail = [&](const std::string& msg) {
        throw varnok::EConvertError(name + ":" + std::to_string(lineNo) + ": " + msg);
    };
    while (std::getline(in, line)) {
        ++lineNo;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (mode == Rows && row < art.Height) {
            if (static_cast<int>(line.size()) != art.Width)
                fail("row has " + std::to_string(line.size()) + " characters, the size says " +
                     std::to_string(art.Width));
            for (int x = 0; x < art.Width; ++x) {
                auto it = legend.find(line[static_cast<size_t>(x)]);
                if (it == legend.end()) fail(std::string("character '") + line[static_cast<size_t>(x)] +
                                             "' is not in the legend");
                frame.Set(x, row, it->second);
            }
            if (++row == art.Height) art.Frames.push_back(frame);
            continue;
        }
        std::string t = Trim(line);
        if (t.empty() || t[0] == '#') continue;
        std::istringstream words(t);
        std::string key;
        words >> key;
        if (key == "size") {
            std::string w, h;
            words >> w >> h;
            auto wi = varnok::TryStrToInt(w), hi = varnok::TryStrToInt(h);
            if (!wi || !hi || *wi < 1 || *hi < 1 || *wi > 1024 || *hi > 1024)
                fail("size needs a width and a height (1 to 1024)");
            art.Width = *wi, art.Height = *hi;
        } else if (key == "legend") {
            mode = Legend;
        } else if (key == "frame") {
            if (art.Width == 0) fail("frame before size");
            if (mode == Rows && row < art.Height) fail("frame has too few rows");
            frame = Canvas(art.Width, art.Height);
            row = 0;
            mode = Rows;
        } else if (mode == Legend && key.size() == 1) {
            std::string ref;
            if (!(words >> ref)) fail("legend entry without a colour");
            try {
                legend[key[0]] = ref == "outline" ? Outline() : C(ref);
            } catch (const varnok::Exception& e) {
                fail(e.what());
            }
        } else {
            fail("unexpected '" + t + "'");
        }
    }
    if (mode == Rows && row < art.Height) fail("last frame has too few rows");
    if (art.Frames.empty()) fail("no frames");
    return art;
}

PixelArt ReadPixelArt(const std::string& path) { return ParsePixelArt(varnok::ReadWholeFile(path), path); }

const PixelArt& LoadPix(const std::string& rel) {
    static std::map<std::string, std::unique_ptr<PixelArt>> cache;
    auto& slot = cache[rel];
    if (!slot) slot = std::make_unique<PixelArt>(ReadPixelArt(SourceDir() + "/sprites/" + rel));
    return *slot;
}

void AddPixGenerators(GeneratorTable& t) {
    t["pix"] = [](const ItemSpec& desc) { return LoadPix(desc.Arg).Frames; };
}

} // namespace artgen
