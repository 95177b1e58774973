#include "Items.h"

#include "common/Exception.h"
#include "common/StrUtils.h"

#include <fstream>
#include <sstream>

namespace artgen {

namespace {
std::string gSourceDir = ".";
}

const std::string& SourceDir() { return gSourceDir; }
void SetSourceDir(const std::string& dir) { gSourceDir = dir; }

// Lines: "[List]" starts a section; "NAME SOURCE WxH [FRAMES] [options]"
// describes an item. Options: across=N, opaque, bmp24, bmp8.
std::vector<ItemSpec> ReadItemSpecs(const std::string& path) {
    std::ifstream in(path);
    if (!in) throw varnok::EFileError("Cannot open " + path);
    std::vector<ItemSpec> specs;
    std::string list, line;
    int lineNo = 0;
    while (std::getline(in, line)) {
        ++lineNo;
        std::string where = path + ":" + std::to_string(lineNo);
        auto fail = [&](const std::string& msg) { throw varnok::EConvertError(where + ": " + msg); };
        size_t hash = line.find('#');
        if (hash != std::string::npos) line.erase(hash);
        std::istringstream words(line);
        std::string first;
        if (!(words >> first)) continue;
        if (first.front() == '[') {
            if (first.back() != ']' || first.size() < 3) fail("bad section '" + first + "'");
            list = first.substr(1, first.size() - 2);
            if (list != "Images" && list != "Credits" && list != "Levels") fail("unknown section " + first);
            continue;
        }
        if (list.empty()) fail("item before the first [section]");
        ItemSpec s;
        s.List = list;
        s.Name = first;
        s.Where = where;
        std::string size;
        if (!(words >> s.Source >> size)) fail("expected: NAME SOURCE WIDTHxHEIGHT [FRAMES] [options]");
        size_t colon = s.Source.find(':');
        if (colon != std::string::npos) {
            s.Arg = s.Source.substr(colon + 1);
            s.Source.erase(colon);
        }
        size_t x = size.find('x');
        auto w = x == std::string::npos ? std::nullopt : varnok::TryStrToInt(size.substr(0, x));
        auto h = x == std::string::npos ? std::nullopt : varnok::TryStrToInt(size.substr(x + 1));
        if (!w || !h || *w < 1 || *h < 1 || *w > 4096 || *h > 4096) fail("bad size '" + size + "'");
        s.Width = *w, s.Height = *h;
        std::string opt;
        while (words >> opt) {
            if (auto n = varnok::TryStrToInt(opt)) {
                if (*n < 1 || *n > 1000) fail("bad frame count " + opt);
                s.Frames = *n;
            } else if (opt.rfind("across=", 0) == 0) {
                auto a = varnok::TryStrToInt(opt.substr(7));
                if (!a || *a < 1) fail("bad " + opt);
                s.Across = *a;
            } else if (opt == "opaque") {
                s.Keyed = false;
            } else if (opt == "bmp24" || opt == "bmp8" || opt == "png") {
                s.Format = opt;
            } else {
                fail("unknown option '" + opt + "'");
            }
        }
        specs.push_back(s);
    }
    return specs;
}

} // namespace artgen
