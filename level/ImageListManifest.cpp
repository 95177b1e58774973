#include "level/ImageListManifest.h"
#include "common/Files.h"

#include "common/Exception.h"
#include "common/Image.h"
#include "common/StrUtils.h"
#include "level/ImageList.h"
#include "level/ImageListStream.h"

#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>

namespace varnok {

namespace {

namespace fs = std::filesystem;

std::string_view Trim(std::string_view s) {
    size_t b = 0, e = s.size();
    while (b < e && (s[b] == ' ' || s[b] == '\t'))
        ++b;
    while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t'))
        --e;
    return s.substr(b, e - b);
}

[[noreturn]] void Fail(int line, const std::string& message) {
    throw Exception(Format("line %d: %s", line, message.c_str()));
}

int32_t ParseInt(std::string_view s, int line) {
    std::optional<int32_t> v = TryStrToInt(s);
    if (!v) Fail(line, "'" + std::string(s) + "' is not a number");
    return *v;
}

void ParsePair(std::string_view value, int line, int32_t& a, int32_t& b) {
    value = Trim(value);
    const size_t sep = value.find_first_of(" \t");
    if (sep == std::string_view::npos) Fail(line, "expected two numbers, got '" + std::string(value) + "'");
    a = ParseInt(Trim(value.substr(0, sep)), line);
    b = ParseInt(Trim(value.substr(sep)), line);
}

bool ParseBool(std::string_view s, int line) {
    if (SameText(s, "yes") || SameText(s, "true") || s == "1") return true;
    if (SameText(s, "no") || SameText(s, "false") || s == "0") return false;
    Fail(line, "expected yes or no, got '" + std::string(s) + "'");
}

TColor ParseColor(std::string_view s, int line) {
    if (std::optional<TColor> c = IdentToColor(s)) return *c;
    std::optional<int32_t> v = TryStrToInt(s);
    if (!v) Fail(line, "'" + std::string(s) + "' is neither a colour name nor a number");
    return static_cast<TColor>(*v);
}

std::string ColorText(TColor c) {
    if (std::optional<std::string> name = ColorToIdent(c)) return *name;
    return Format("$%08X", c);
}

// Loads a picture file for an item. PNG pixels that are mostly transparent
// take the item's key colour, so they stay transparent in the game.
void LoadPicture(TPictureCollectionItem& item, const std::string& path, int line) {
    try {
        std::ifstream in(path, std::ios::binary);
        if (!in) Fail(line, "cannot open picture " + path);
        char sig[8] = {};
        in.read(sig, 8);
        if (in.gcount() == 8 && std::string_view(sig, 8) == "\x89PNG\r\n\x1A\n") {
            RgbaImage image = ReadPng(path);
            const TColor key = ColorToRGB(item.TransparentColor());
            for (size_t i = 0; i < image.Pixels.size(); i += 4)
                if (image.Pixels[i + 3] < 128) {
                    image.Pixels[i] = GetRValue(key);
                    image.Pixels[i + 1] = GetGValue(key);
                    image.Pixels[i + 2] = GetBValue(key);
                }
            item.Picture.Assign(image);
        } else {
            item.Picture.LoadFromFile(path);
        }
    } catch (const Exception& e) {
        const std::string msg = e.what();
        if (msg.rfind("line ", 0) == 0) throw;
        Fail(line, "picture " + path + ": " + msg);
    }
}

std::string SafeFileName(const std::string& name) {
    std::string s;
    for (char c : name) {
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                           c == '_' || c == '-';
        s.push_back(plain ? c : '_');
        if (s.size() == 40) break;
    }
    return s;
}

} // namespace

void ParseImageListManifest(std::string_view text, const std::string& baseDir,
                            TPictureCollection& collection) {
    TPictureCollectionItem* item = nullptr;
    std::string picture;
    int pictureLine = 0;
    auto finishItem = [&]() {
        if (item && !picture.empty()) {
            fs::path p(picture);
            if (p.is_relative()) p = fs::path(baseDir) / p;
            LoadPicture(*item, p.string(), pictureLine);
        }
        picture.clear();
    };
    int lineNo = 0;
    size_t pos = 0;
    while (pos <= text.size()) {
        size_t end = text.find('\n', pos);
        if (end == std::string_view::npos) end = text.size();
        std::string_view raw = text.substr(pos, end - pos);
        pos = end + 1;
        ++lineNo;
        if (!raw.empty() && raw.back() == '\r') raw.remove_suffix(1);
        std::string_view line = Trim(raw);
        if (line.empty() || line[0] == '#' || line[0] == ';') continue;
        if (line[0] == '[') {
            const size_t close = line.rfind(']');
            if (close == 0 || close == std::string_view::npos || close + 1 != line.size())
                Fail(lineNo, "an item line is [NAME]");
            finishItem();
            item = &collection.Add();
            item->SetName(std::string(line.substr(1, close - 1)));
            continue;
        }
        const size_t eq = line.find('=');
        if (eq == std::string_view::npos) Fail(lineNo, "expected KEY = VALUE or [NAME]");
        if (!item) Fail(lineNo, "a property before the first [NAME]");
        const std::string key = LowerCase(Trim(line.substr(0, eq)));
        const std::string_view value = Trim(line.substr(eq + 1));
        if (key == "picture") {
            picture = std::string(value);
            pictureLine = lineNo;
        } else if (key == "pattern") {
            ParsePair(value, lineNo, item->PatternWidth, item->PatternHeight);
        } else if (key == "skip") {
            ParsePair(value, lineNo, item->SkipWidth, item->SkipHeight);
        } else if (key == "transparent") {
            item->Transparent = ParseBool(value, lineNo);
        } else if (key == "systemmemory") {
            item->SystemMemory = ParseBool(value, lineNo);
        } else if (key == "color" || key == "colour") {
            item->SetTransparentColor(ParseColor(value, lineNo));
        } else {
            Fail(lineNo, "unknown key '" + key + "'");
        }
    }
    finishItem();
}

void LoadImageListManifest(const std::string& path, TPictureCollection& collection) {
    const std::string base = fs::path(path).parent_path().string();
    ParseImageListManifest(ReadWholeFile(path), base.empty() ? "." : base, collection);
}

std::string ExtractImageList(const TPictureCollection& collection, const std::string& dir) {
    std::error_code ec;
    fs::create_directories(dir, ec);
    if (!fs::is_directory(dir)) throw EFileError("cannot create folder " + dir);
    std::string manifest = "# Image list: one [NAME] section per item, in list order.\n"
                           "# Build it again with: dxgtool build OUT.dxg manifest.txt\n";
    for (int i = 0; i < collection.Count(); ++i) {
        const TPictureCollectionItem& item = collection.Items(i);
        if (item.Name().find_first_of("\r\n") != std::string::npos)
            throw Exception(Format("item %d: its name holds a line break and cannot be written", i));
        manifest += "\n[" + item.Name() + "]\n";
        const TPicture& pic = item.Picture;
        if (pic.Width() > 0) {
            const std::string file = Format("%03d_%s.png", i, SafeFileName(item.Name()).c_str());
            WritePng((fs::path(dir) / file).string(), pic.Image());
            manifest += "picture = " + file + "\n";
        } else if (!pic.Empty()) {
            manifest += "# a " + pic.GraphicClass() + " picture was not extracted\n";
        }
        manifest += Format("pattern = %d %d\n", item.PatternWidth, item.PatternHeight);
        manifest += Format("skip = %d %d\n", item.SkipWidth, item.SkipHeight);
        manifest += std::string("transparent = ") + (item.Transparent ? "yes" : "no") + "\n";
        manifest += "color = " + ColorText(item.TransparentColor()) + "\n";
        manifest += std::string("systemmemory = ") + (item.SystemMemory ? "yes" : "no") + "\n";
    }
    const std::string path = (fs::path(dir) / "manifest.txt").string();
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << manifest;
    out.flush();
    if (!out) throw EFileError("cannot write " + path);
    return path;
}

std::string DescribeImageItem(const TPictureCollectionItem& item) {
    const TPicture& pic = item.Picture;
    std::string picture;
    if (pic.Empty())
        picture = "no picture";
    else if (pic.Width() == 0)
        picture = pic.GraphicClass() + " picture, not decoded";
    else
        picture = Format("picture %dx%d %d bit (%s)", pic.Width(), pic.Height(), pic.BitCount(),
                         pic.GraphicClass().c_str());
    return Format("'%s' pattern %dx%d, skip %d,%d, %s, %s %s%s", item.Name().c_str(), item.PatternWidth,
                  item.PatternHeight, item.SkipWidth, item.SkipHeight, picture.c_str(),
                  item.Transparent ? "transparent" : "opaque", ColorText(item.TransparentColor()).c_str(),
                  item.SystemMemory ? ", system memory" : "");
}

} // namespace varnok
