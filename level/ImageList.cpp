#include "level/ImageList.h"
#include "common/Files.h"

#include "common/ComponentStream.h"
#include "common/StrUtils.h"
#include "level/Dib.h"
#include "level/ImageListStream.h"
#include "tools/Debug.h"

#include <algorithm>
#include <climits>
#include <fstream>
#include <sstream>

namespace varnok {

namespace {

// Up to this many patterns each get a surface of their own (fast run-length
// keyed blits); beyond it patterns share blocks of about 512 pixels.
constexpr int kMaxPatternSurfaces = 4096;

// The platform's colours of the system elements (the classic desktop scheme).
constexpr TColor kSystemColors[31] = {
    RGB(200, 200, 200), RGB(58, 110, 165),  RGB(10, 36, 106),   RGB(128, 128, 128), RGB(212, 208, 200),
    RGB(255, 255, 255), RGB(0, 0, 0),       RGB(0, 0, 0),       RGB(0, 0, 0),       RGB(255, 255, 255),
    RGB(212, 208, 200), RGB(212, 208, 200), RGB(128, 128, 128), RGB(10, 36, 106),   RGB(255, 255, 255),
    RGB(212, 208, 200), RGB(128, 128, 128), RGB(128, 128, 128), RGB(0, 0, 0),       RGB(212, 208, 200),
    RGB(255, 255, 255), RGB(64, 64, 64),    RGB(212, 208, 200), RGB(0, 0, 0),       RGB(255, 255, 225),
    RGB(0, 0, 0),       RGB(0, 0, 128),     RGB(166, 202, 240), RGB(192, 192, 192), RGB(49, 106, 197),
    RGB(236, 233, 216),
};

std::string U32Bytes(size_t v) {
    std::string s(4, '\0');
    for (int i = 0; i < 4; ++i)
        s[i] = static_cast<char>((v >> (8 * i)) & 0xFF);
    return s;
}

// The pattern grid of an item: `across` x `down` cells of cw x ch pixels.
struct Grid {
    int pw = 0, ph = 0;
    int64_t cw = 0, ch = 0;
    int across = 0, down = 0;
    int Count() const { return across * down; }
};

Grid MakeGrid(const TPictureCollectionItem& item) {
    Grid g;
    const int w = item.Picture.Width(), h = item.Picture.Height();
    if (w <= 0 || h <= 0) return g;
    g.pw = item.Width();
    g.ph = item.Height();
    if (g.pw == w && g.ph == h) {
        g.cw = w;
        g.ch = h;
        g.across = g.down = 1;
        return g;
    }
    g.cw = static_cast<int64_t>(g.pw) + item.SkipWidth;
    g.ch = static_cast<int64_t>(g.ph) + item.SkipHeight;
    // Cells of no width (negative skips) would divide by zero: no patterns.
    if (g.cw <= 0 || g.ch <= 0) return g;
    g.across = static_cast<int>(std::max<int64_t>(0, (w + static_cast<int64_t>(item.SkipWidth)) / g.cw));
    g.down = static_cast<int>(std::max<int64_t>(0, (h + static_cast<int64_t>(item.SkipHeight)) / g.ch));
    if (g.across == 0 || g.down == 0) g.across = g.down = 0;
    return g;
}

// Patterns along one axis from the stored values, as counted before a restore.
int64_t StoredAxisCount(int picture, int32_t pattern, int32_t skip) {
    const int64_t cell = static_cast<int64_t>(pattern) + skip;
    int64_t n = picture / cell;
    if (picture % cell == pattern) ++n;
    return n;
}

RgbaImage Crop(const RgbaImage& src, int left, int top, int width, int height) {
    RgbaImage out(width, height);
    for (int y = 0; y < height; ++y)
        std::copy_n(src.At(left, top + y), static_cast<size_t>(width) * 4, out.At(0, y));
    return out;
}

} // namespace

TColor ColorToRGB(TColor color) {
    if (color & 0x80000000u) {
        const unsigned index = color & 0xFF;
        return index < std::size(kSystemColors) ? kSystemColors[index] : clBlack;
    }
    return color & 0xFFFFFF;
}

// ---------------------------------------------------------------- TPicture

void TPicture::Clear() {
    className_.clear();
    data_.clear();
    image_ = RgbaImage();
    bitCount_ = 0;
    palette_.clear();
}

void TPicture::LoadFromBlock(std::string_view block, const std::string& itemName) {
    Clear();
    if (block.empty()) return;
    TComponentReader r(block);
    std::string cls = r.ReadShortString();
    std::string_view rest = block.substr(r.Position());
    TDecodedPicture decoded;
    if (cls == "TBitmap") {
        const size_t size = r.ReadUInt32();
        std::string bmp = r.ReadBytes(size);
        decoded = DecodeBmpFile(bmp);
        data_ = U32Bytes(size) + bmp;
    } else if (cls == "TDIB") {
        decoded = DecodePackedDib(rest);
        data_ = std::string(rest);
    } else if (cls == "TIcon") {
        decoded = DecodeIcon(rest);
        data_ = std::string(rest);
    } else if (cls == "TMetafile") {
        // Vector pictures are not drawn here; the data is kept for saving.
        AddMessage(Format("Image '%s': metafile picture skipped", itemName.c_str()));
        className_ = cls;
        data_ = std::string(rest);
        return;
    } else {
        return;
    }
    className_ = cls;
    image_ = std::move(decoded.Image);
    bitCount_ = decoded.BitCount;
    palette_ = std::move(decoded.Palette);
}

std::string TPicture::SaveToBlock() const {
    if (Empty()) return std::string();
    TComponentWriter w;
    w.WriteShortString(className_);
    w.Write(data_.data(), data_.size());
    return std::move(w.Data());
}

void TPicture::LoadFromBmp(std::string bytes) {
    TDecodedPicture decoded = DecodeBmpFile(bytes);
    Clear();
    className_ = "TBitmap";
    data_ = U32Bytes(bytes.size()) + bytes;
    image_ = std::move(decoded.Image);
    bitCount_ = decoded.BitCount;
    palette_ = std::move(decoded.Palette);
}

void TPicture::LoadFromFile(const std::string& path) {
    std::string bytes = ReadWholeFile(path);
    if (bytes.size() >= 8 && bytes.compare(0, 8, "\x89PNG\r\n\x1A\n") == 0)
        Assign(ReadPngBytes(bytes, path));
    else
        LoadFromBmp(std::move(bytes));
}

void TPicture::Assign(const RgbaImage& image) {
    LoadFromBmp(EncodeBmpFile(image));
}

// ---------------------------------------------------------------- item

TPictureCollectionItem::TPictureCollectionItem(TPictureCollection& owner) : owner_(&owner) {}

TPictureCollectionItem::~TPictureCollectionItem() = default;

void TPictureCollectionItem::SetName(const std::string& name) {
    std::string old = name_;
    name_ = name;
    owner_->NameChanged(this, old);
}

void TPictureCollectionItem::SetTransparentColor(TColor color) {
    if (color == transparentColor_) return;
    transparentColor_ = color;
    // The key lives in the surfaces: make them again from the picture.
    if (restored_) Restore();
}

int TPictureCollectionItem::PatternCount() const {
    if (restored_) return count_;
    const int w = Picture.Width(), h = Picture.Height();
    // The stored-value count divides by the cell size; without one, count as a restore would.
    if (static_cast<int64_t>(PatternWidth) + SkipWidth == 0 ||
        static_cast<int64_t>(PatternHeight) + SkipHeight == 0)
        return MakeGrid(*this).Count();
    const int64_t n =
        StoredAxisCount(w, PatternWidth, SkipWidth) * StoredAxisCount(h, PatternHeight, SkipHeight);
    return static_cast<int>(std::clamp<int64_t>(n, 0, INT_MAX));
}

platform::Rect TPictureCollectionItem::PatternRects(int index) const {
    const Grid g = MakeGrid(*this);
    if (index < 0 || index >= g.Count()) return platform::Rect{};
    const int r = index / g.across, c = index % g.across;
    return platform::Bounds(static_cast<int>(c * g.cw), static_cast<int>(r * g.ch), g.pw, g.ph);
}

void TPictureCollectionItem::DropSurfaces() {
    places_.clear();
    covers_.clear();
    surfaces_.clear();
    restored_ = false;
    count_ = 0;
    across_ = 0;
}

void TPictureCollectionItem::Initialize() {
    DropSurfaces();
    const TPictureDisplay* display = owner_->Display();
    initialized_ = display && display->Initialized();
}

void TPictureCollectionItem::Finalize() {
    DropSurfaces();
    initialized_ = false;
}

void TPictureCollectionItem::Restore() {
    DropSurfaces();
    if (!initialized_) Initialize();
    if (!initialized_) return;
    restored_ = true;
    const Grid g = MakeGrid(*this);
    if (g.Count() == 0) return;

    const TPictureDisplay& display = *owner_->Display();
    const int bitCount = display.SurfaceBitCount();
    const platform::Palette* palette = display.SurfacePalette();
    const TColor key = ColorToRGB(transparentColor_);

    // Transparent pixels of the picture (icon masks) take the key colour.
    const RgbaImage* source = &Picture.Image();
    RgbaImage keyed;
    for (size_t i = 3; i < source->Pixels.size(); i += 4)
        if (source->Pixels[i] < 128) {
            keyed = *source;
            for (size_t j = i; j < keyed.Pixels.size(); j += 4)
                if (keyed.Pixels[j] < 128) {
                    keyed.Pixels[j - 3] = GetRValue(key);
                    keyed.Pixels[j - 2] = GetGValue(key);
                    keyed.Pixels[j - 1] = GetBValue(key);
                }
            source = &keyed;
            break;
        }

    if (SystemMemory) {
        blockCols_ = g.across;
        blockRows_ = g.down;
    } else if (g.Count() <= kMaxPatternSurfaces) {
        blockCols_ = blockRows_ = 1;
    } else {
        blockCols_ = static_cast<int>(std::min<int64_t>((g.cw + 511) / g.cw, g.across));
        blockRows_ = static_cast<int>(std::min<int64_t>((g.ch + 511) / g.ch, g.down));
    }
    blocksAcross_ = (g.across + blockCols_ - 1) / blockCols_;
    const int blocksDown = (g.down + blockRows_ - 1) / blockRows_;

    for (int by = 0; by < blocksDown; ++by)
        for (int bx = 0; bx < blocksAcross_; ++bx) {
            const int64_t left = bx * blockCols_ * g.cw, top = by * blockRows_ * g.ch;
            int64_t width, height;
            if (SystemMemory) {
                width = source->Width;
                height = source->Height;
            } else {
                const int cols = std::min(blockCols_, g.across - bx * blockCols_);
                const int rows = std::min(blockRows_, g.down - by * blockRows_);
                width = std::min<int64_t>(source->Width - left, (cols - 1) * g.cw + g.pw);
                height = std::min<int64_t>(source->Height - top, (rows - 1) * g.ch + g.ph);
            }
            auto surface =
                platform::Surface::FromImage(Crop(*source, static_cast<int>(left), static_cast<int>(top),
                                                  static_cast<int>(width), static_cast<int>(height)),
                                             bitCount, palette);
            surface->SetColorKey(surface->ColorMatch(key));
            // Run-length keyed blits pay off on small surfaces only.
            surface->SetRLE(!SystemMemory);
            surfaces_.push_back(std::move(surface));
        }
    across_ = g.across;
    count_ = g.Count();
    cellWidth_ = g.cw;
    cellHeight_ = g.ch;
    patternWidth_ = g.pw;
    patternHeight_ = g.ph;
    // Tiles and figures are drawn thousands of times a frame: their places
    // are looked up rather than worked out with four divisions each.
    constexpr int kMaxPlaceTable = 65536;
    if (count_ <= kMaxPlaceTable) {
        places_.resize(static_cast<size_t>(count_));
        for (int i = 0; i < count_; ++i) places_[static_cast<size_t>(i)] = ComputePlace(i);
    }
}

TPictureCollectionItem::PatternPlace TPictureCollectionItem::ComputePlace(int pattern) const {
    PatternPlace place;
    const int r = pattern / across_, c = pattern % across_;
    const int bx = c / blockCols_, by = r / blockRows_;
    place.surface = surfaces_[static_cast<size_t>(by) * blocksAcross_ + bx].get();
    const int64_t left = static_cast<int64_t>(c - bx * blockCols_) * cellWidth_;
    const int64_t top = static_cast<int64_t>(r - by * blockRows_) * cellHeight_;
    place.rect =
        platform::Bounds(static_cast<int>(left), static_cast<int>(top), patternWidth_, patternHeight_);
    return place;
}

bool TPictureCollectionItem::Place(int pattern, PatternPlace& place) const {
    if (!initialized_ || !restored_ || pattern < 0 || pattern >= count_) return false;
    place = places_.empty() ? ComputePlace(pattern) : places_[static_cast<size_t>(pattern)];
    return true;
}

uint64_t TPictureCollectionItem::PixelsVersion() const {
    uint64_t version = 1469598103934665603ull;
    auto mix = [&](uint64_t v) { version = (version ^ v) * 1099511628211ull; };
    mix(restored_ ? 1 : 2);
    mix(Transparent ? 1 : 2);
    mix(static_cast<uint64_t>(transparentColor_));
    for (const auto& surface : surfaces_) {
        mix(surface->Serial());
        mix(surface->Writes());
    }
    return version;
}

void TPictureCollectionItem::Draw(platform::Surface& dest, int x, int y, int pattern) const {
    PatternPlace p;
    if (Place(pattern, p)) dest.Draw(x, y, *p.surface, p.rect, Transparent);
}

void TPictureCollectionItem::StretchDraw(platform::Surface& dest, const platform::Rect& destRect,
                                         int pattern) const {
    PatternPlace p;
    if (Place(pattern, p)) dest.StretchDraw(destRect, *p.surface, p.rect, Transparent);
}

void TPictureCollectionItem::DrawAlpha(platform::Surface& dest, const platform::Rect& destRect, int pattern,
                                       int alpha) const {
    PatternPlace p;
    if (Place(pattern, p))
        dest.DrawAlpha(destRect.Left, destRect.Top, *p.surface, p.rect, Transparent, alpha);
}

void TPictureCollectionItem::DrawPart(platform::Surface& dest, int x, int y, int pattern,
                                      const platform::Rect& area) const {
    PatternPlace p;
    if (!Place(pattern, p)) return;
    // The pattern's own columns and rows that land in the area; the source
    // keeps its place relative to (x, y), so clipping works as for Draw.
    const int64_t left = std::max<int64_t>(static_cast<int64_t>(area.Left) - x, 0);
    const int64_t top = std::max<int64_t>(static_cast<int64_t>(area.Top) - y, 0);
    const int64_t right = std::min<int64_t>(static_cast<int64_t>(area.Right) - x, p.rect.Width());
    const int64_t bottom = std::min<int64_t>(static_cast<int64_t>(area.Bottom) - y, p.rect.Height());
    if (right <= left || bottom <= top) return;
    const platform::Rect part{p.rect.Left + static_cast<int>(left), p.rect.Top + static_cast<int>(top),
                              p.rect.Left + static_cast<int>(right), p.rect.Top + static_cast<int>(bottom)};
    dest.Draw(static_cast<int>(x + left), static_cast<int>(y + top), *p.surface, part, Transparent);
}

void TPictureCollectionItem::KnowCovers(const platform::Surface& dest) const {
    // Whether a pattern covers depends on its pixels, the key and the
    // destination's format only: asked for every tile every frame, the
    // answers are kept until the surfaces are made again.
    const int kind = dest.BitCount() * 2 + (Transparent ? 1 : 0);
    if (coversKind_ == kind && covers_.size() == static_cast<size_t>(count_)) return;
    covers_.assign(static_cast<size_t>(count_), kUnknown);
    coversKind_ = kind;
    coversAny_ = kUnknown;
}

bool TPictureCollectionItem::Covers(const platform::Surface& dest, int pattern) const {
    PatternPlace p;
    if (!Place(pattern, p)) return false;
    KnowCovers(dest);
    int8_t& known = covers_[static_cast<size_t>(pattern)];
    if (known == kUnknown) known = dest.DrawCovers(*p.surface, p.rect, Transparent) ? 1 : 0;
    return known == 1;
}

bool TPictureCollectionItem::MayCover(const platform::Surface& dest) const {
    if (!initialized_ || !restored_ || count_ <= 0) return false;
    KnowCovers(dest);
    if (coversAny_ == kUnknown) {
        // Once per picture: a layer of tiles that all have key pixels (rain,
        // say) need not be asked cell by cell.
        coversAny_ = 0;
        for (int i = 0; i < count_ && !coversAny_; ++i)
            coversAny_ = Covers(dest, i) ? 1 : 0;
    }
    return coversAny_ == 1;
}

// ---------------------------------------------------------------- collection

TPictureCollection::~TPictureCollection() {
    Clear();
}

TPictureCollectionItem& TPictureCollection::Items(int index) const {
    if (index < 0 || index >= Count())
        throw EListError(Format("Listenindex \xFC"
                                "berschreitet das Maximum (%d)",
                                index));
    return *items_[static_cast<size_t>(index)];
}

TPictureCollectionItem& TPictureCollection::Add() {
    items_.push_back(std::make_unique<TPictureCollectionItem>(*this));
    TPictureCollectionItem& item = *items_.back();
    item.index_ = Count() - 1;
    if (initialized_) item.Initialize();
    return item;
}

void TPictureCollection::Delete(int index) {
    TPictureCollectionItem& item = Items(index);
    Unindex(&item);
    items_.erase(items_.begin() + index);
    Renumber();
}

void TPictureCollection::Clear() {
    for (auto& bucket : buckets_)
        bucket.clear();
    items_.clear();
}

void TPictureCollection::Renumber() {
    for (size_t i = 0; i < items_.size(); ++i)
        items_[i]->index_ = static_cast<int>(i);
}

int TPictureCollection::NameHash(std::string_view name) {
    const std::string s = LowerCase(name);
    size_t h = s.size() * 16;
    if (s.size() >= 2) h += static_cast<uint8_t>(s[s.size() - 2]) + static_cast<uint8_t>(s[0]);
    return static_cast<int>(h % 256);
}

void TPictureCollection::Unindex(TPictureCollectionItem* item) {
    for (auto& bucket : buckets_) {
        auto it = std::find(bucket.begin(), bucket.end(), item);
        if (it != bucket.end()) {
            bucket.erase(it);
            return;
        }
    }
}

void TPictureCollection::NameChanged(TPictureCollectionItem* item, const std::string& oldName) {
    auto& old = buckets_[static_cast<size_t>(NameHash(oldName))];
    auto it = std::find(old.begin(), old.end(), item);
    if (it != old.end()) old.erase(it);
    // An empty name is never looked up: such items stay out of the index.
    if (!item->Name().empty()) buckets_[static_cast<size_t>(NameHash(item->Name()))].push_back(item);
}

int TPictureCollection::IndexOf(std::string_view name) const {
    const auto& bucket = buckets_[static_cast<size_t>(NameHash(name))];
    for (auto it = bucket.rbegin(); it != bucket.rend(); ++it)
        if (SameText((*it)->Name(), name)) return (*it)->Index();
    return -1;
}

TPictureCollectionItem& TPictureCollection::Find(std::string_view name) const {
    const int i = IndexOf(name);
    if (i < 0) throw EPictureCollectionError(Format("Image '%s' not found", std::string(name).c_str()));
    return Items(i);
}

void TPictureCollection::MakeColorTable() {
    struct Fixed {
        int index;
        uint8_t r, g, b;
    };
    static const Fixed kFixed[] = {
        {0, 0, 0, 0},         {1, 128, 0, 0},     {2, 0, 128, 0},     {3, 128, 128, 0},
        {4, 0, 0, 128},       {5, 128, 0, 128},   {6, 0, 128, 128},   {7, 192, 192, 192},
        {248, 128, 128, 128}, {249, 255, 0, 0},   {250, 0, 255, 0},   {251, 255, 255, 0},
        {252, 0, 0, 255},     {253, 255, 0, 255}, {254, 0, 255, 255}, {255, 255, 255, 255},
    };
    ColorTable = TColorTable{};
    std::array<bool, 256> used{};
    int usedCount = 0;
    for (const Fixed& f : kFixed) {
        ColorTable[f.index] = TRGBQuad{f.b, f.g, f.r, 0};
        used[f.index] = true;
        ++usedCount;
    }
    for (const auto& item : items_) {
        if (usedCount == 256) break;
        const TPicture& pic = item->Picture;
        if (pic.Empty()) continue;
        std::vector<TColor> colors;
        if (pic.GraphicClass() == "TDIB") {
            // A paletted DIB brings its whole 256-entry table, unused entries black.
            if (pic.BitCount() <= 8) {
                colors = pic.Palette();
                colors.resize(256, clBlack);
            }
        } else {
            colors = pic.Palette();
        }
        for (TColor c : colors) {
            if (usedCount == 256) break;
            const TRGBQuad q{GetBValue(c), GetGValue(c), GetRValue(c), 0};
            bool present = false;
            for (int i = 0; i < 256 && !present; ++i)
                present = used[i] && ColorTable[i] == q;
            if (present) continue;
            for (int i = 0; i < 256; ++i)
                if (!used[i]) {
                    ColorTable[i] = q;
                    used[i] = true;
                    ++usedCount;
                    break;
                }
        }
    }
}

void TPictureCollection::SetDisplay(TPictureDisplay* display) {
    if (display_ == display) return;
    Finalize();
    display_ = display;
}

void TPictureCollection::Initialize() {
    if (!display_ || !display_->Initialized())
        throw EPictureCollectionError(Format("%s cannot be initialized", "TPictureCollection"));
    initialized_ = true;
    for (auto& item : items_)
        item->Initialize();
    Restore();
}

void TPictureCollection::Restore() {
    for (auto& item : items_)
        item->Restore();
}

void TPictureCollection::Finalize() {
    for (auto& item : items_)
        item->Finalize();
    initialized_ = false;
}

void TPictureCollection::LoadFromFile(const std::string& path) {
    LoadFromBytes(ReadWholeFile(path));
}

void TPictureCollection::LoadFromBytes(std::string_view bytes) {
    Clear();
    try {
        ReadPictureCollection(bytes, *this);
    } catch (...) {
        // A file that fails half-way leaves the list empty, not half-read.
        Clear();
        throw;
    }
    if (display_ && display_->Initialized()) {
        initialized_ = true;
        for (auto& item : items_) {
            item->Initialize();
            item->Restore();
        }
    }
}

std::string TPictureCollection::SaveToBytes() const {
    return WritePictureCollection(*this);
}

void TPictureCollection::SaveToFile(const std::string& path) const {
    WriteFileAtomically(path, SaveToBytes());
}

} // namespace varnok
