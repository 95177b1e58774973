#pragma once
// Image lists: named pictures cut into equal patterns (animation frames,
// tiles, font glyphs) and drawn with colour-key transparency. A list is
// loaded from and saved to a .dxg file and bound to the display whose pixel
// format its surfaces take.
#include "common/Color.h"
#include "common/Exception.h"
#include "common/Image.h"
#include "platform/Surface.h"

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace varnok {

// Errors of image lists ("Image '%s' not found", "%s cannot be initialized").
class EPictureCollectionError : public Exception {
  public:
    VARNOK_ERROR_CONSTRUCTOR(EPictureCollectionError, Exception)
};

// One colour-table entry, in the order blue, green, red, reserved.
struct TRGBQuad {
    uint8_t rgbBlue = 0;
    uint8_t rgbGreen = 0;
    uint8_t rgbRed = 0;
    uint8_t rgbReserved = 0;
    bool operator==(const TRGBQuad&) const = default;
};
using TColorTable = std::array<TRGBQuad, 256>;

// The display an image list is bound to, as far as the list needs it:
// whether surfaces can be made now, and the pixel format they get.
class TPictureDisplay {
  public:
    virtual ~TPictureDisplay() = default;
    virtual bool Initialized() const = 0;
    virtual int SurfaceBitCount() const = 0;
    // The palette of 8-bit surfaces (none: a grey ramp).
    virtual const platform::Palette* SurfacePalette() const { return nullptr; }
};

// A display of fixed format, for tools, tests and off-screen drawing.
class TFixedDisplay final : public TPictureDisplay {
  public:
    explicit TFixedDisplay(int bitCount = 16, bool initialized = true)
        : bitCount_(bitCount), initialized_(initialized) {}
    bool Initialized() const override { return initialized_; }
    int SurfaceBitCount() const override { return bitCount_; }
    const platform::Palette* SurfacePalette() const override { return hasPalette_ ? &palette_ : nullptr; }
    void SetInitialized(bool value) { initialized_ = value; }
    void SetPalette(const platform::Palette& palette) {
        palette_ = palette;
        hasPalette_ = true;
    }

  private:
    int bitCount_;
    bool initialized_;
    platform::Palette palette_{};
    bool hasPalette_ = false;
};

// The graphic of an item: the stored form (class name and that class's data,
// written back unchanged) and the decoded picture.
class TPicture {
  public:
    bool Empty() const { return className_.empty(); }
    // "TBitmap", "TDIB", "TIcon" or "TMetafile"; empty without a picture.
    const std::string& GraphicClass() const { return className_; }
    const std::string& GraphicData() const { return data_; }
    // The decoded picture; empty for a metafile, which is not drawn.
    const RgbaImage& Image() const { return image_; }
    int Width() const { return image_.Width; }
    int Height() const { return image_.Height; }
    int BitCount() const { return bitCount_; }
    // The source's colour table, if it has one.
    const std::vector<TColor>& Palette() const { return palette_; }

    // A stored picture block: class name as a short string, then the class's
    // data. An empty block, or a class not known here, gives no picture.
    void LoadFromBlock(std::string_view block, const std::string& itemName = std::string());
    // The block LoadFromBlock reads; empty without a picture.
    std::string SaveToBlock() const;
    // A BMP file, kept as it is ("TBitmap").
    void LoadFromBmp(std::string bytes);
    // A BMP or PNG file, told apart by content.
    void LoadFromFile(const std::string& path);
    // A picture in memory, stored as a BMP file written here ("TBitmap").
    void Assign(const RgbaImage& image);
    void Clear();

  private:
    std::string className_;
    std::string data_;
    RgbaImage image_;
    int bitCount_ = 0;
    std::vector<TColor> palette_;
};

class TPictureCollection;

class TPictureCollectionItem {
  public:
    explicit TPictureCollectionItem(TPictureCollection& owner);
    ~TPictureCollectionItem();
    TPictureCollectionItem(const TPictureCollectionItem&) = delete;
    TPictureCollectionItem& operator=(const TPictureCollectionItem&) = delete;

    // Stored properties.
    const std::string& Name() const { return name_; }
    void SetName(const std::string& name);
    int32_t PatternHeight = 0;
    int32_t PatternWidth = 0;
    TPicture Picture;
    int32_t SkipHeight = 0;
    int32_t SkipWidth = 0;
    bool SystemMemory = false;
    bool Transparent = true;
    TColor TransparentColor() const { return transparentColor_; }
    // A new value re-keys the item's surfaces.
    void SetTransparentColor(TColor color);

    TPictureCollection& Collection() const { return *owner_; }
    int Index() const { return index_; }

    // Effective pattern size: the stored size when above 0, else the picture's.
    int Width() const { return PatternWidth > 0 ? PatternWidth : Picture.Width(); }
    int Height() const { return PatternHeight > 0 ? PatternHeight : Picture.Height(); }
    int PatternCount() const;
    // Empty for an index outside 0..PatternCount()-1.
    platform::Rect PatternRects(int index) const;

    bool Initialized() const { return initialized_; }
    // Marks the item usable when the bound display is ready (drops surfaces).
    void Initialize();
    void Finalize();
    // Cuts the picture into patterns on surfaces of the display's format.
    void Restore();

    // Copies a pattern to (x, y); nothing for an index out of range or an
    // item not initialised. Key-colour pixels are skipped when Transparent.
    void Draw(platform::Surface& dest, int x, int y, int pattern) const;
    void StretchDraw(platform::Surface& dest, const platform::Rect& destRect, int pattern) const;
    // Blends a pattern with opacity alpha (0 nothing .. 255 opaque) at the
    // rectangle's top-left corner, in the pattern's own size.
    void DrawAlpha(platform::Surface& dest, const platform::Rect& destRect, int pattern, int alpha) const;
    // As Draw, but only the pixels that land inside area.
    void DrawPart(platform::Surface& dest, int x, int y, int pattern, const platform::Rect& area) const;
    // Whether Draw(dest, x, y, pattern) writes every pixel of the pattern's
    // rectangle (where it lands on dest), hiding what was drawn there before:
    // not when the pattern has key pixels or is not copied plainly.
    bool Covers(const platform::Surface& dest, int pattern) const;
    // Whether any of the patterns Covers.
    bool MayCover(const platform::Surface& dest) const;

    // The surfaces made by Restore (for inspection).
    size_t SurfaceCount() const { return surfaces_.size(); }
    // Changes whenever what Draw copies may have changed (the patterns
    // surfaces made anew, or written).
    uint64_t PixelsVersion() const;

  private:
    friend class TPictureCollection;
    struct PatternPlace {
        const platform::Surface* surface = nullptr;
        platform::Rect rect;
    };
    bool Place(int pattern, PatternPlace& place) const;
    PatternPlace ComputePlace(int pattern) const;
    void DropSurfaces();

    TPictureCollection* owner_;
    int index_ = -1;
    std::string name_;
    TColor transparentColor_ = clBlack;
    bool initialized_ = false;

    // Layout made by Restore: patterns in rows of across_, stored on block
    // surfaces that each hold blockCols_ x blockRows_ patterns.
    bool restored_ = false;
    int across_ = 0;
    int count_ = 0;
    int blockCols_ = 1;
    int blockRows_ = 1;
    int blocksAcross_ = 0;
    int64_t cellWidth_ = 0;
    int64_t cellHeight_ = 0;
    int patternWidth_ = 0;
    int patternHeight_ = 0;
    std::vector<std::unique_ptr<platform::Surface>> surfaces_;
    std::vector<PatternPlace> places_; // per pattern, unless there are very many
    // Per pattern whether a draw covers its rectangle (Covers), for
    // destinations of one bit count and one setting of Transparent.
    static constexpr int8_t kUnknown = -1;
    mutable std::vector<int8_t> covers_;
    mutable int coversKind_ = 0;
    mutable int8_t coversAny_ = kUnknown; // whether any pattern covers
    void KnowCovers(const platform::Surface& dest) const;
};

class TPictureCollection {
  public:
    TPictureCollection() = default;
    ~TPictureCollection();
    TPictureCollection(const TPictureCollection&) = delete;
    TPictureCollection& operator=(const TPictureCollection&) = delete;

    int Count() const { return static_cast<int>(items_.size()); }
    // Raises EListError for an index out of range.
    TPictureCollectionItem& Items(int index) const;
    TPictureCollectionItem& operator[](int index) const { return Items(index); }
    TPictureCollectionItem& Add();
    void Delete(int index);
    void Clear();

    // The position of the item of that name (case-insensitive; of equal names
    // the one named last), or -1. Empty names are never found.
    int IndexOf(std::string_view name) const;
    // Raises "Image '%s' not found" when the name is missing.
    TPictureCollectionItem& Find(std::string_view name) const;
    // The bucket of a name in the index.
    static int NameHash(std::string_view name);

    TColorTable ColorTable{};
    // Fills ColorTable with the fixed system entries and the pictures' palettes.
    void MakeColorTable();

    // The display the surfaces are made for (not owned; none unbinds).
    TPictureDisplay* Display() const { return display_; }
    void SetDisplay(TPictureDisplay* display);
    bool Initialized() const { return initialized_; }
    // Initialises and restores every item; "%s cannot be initialized" when
    // the display is not ready.
    void Initialize();
    void Restore();
    void Finalize();

    // The .dxg file: replaces all items; restores them when the display is ready.
    void LoadFromFile(const std::string& path);
    void LoadFromBytes(std::string_view bytes);
    // Replaces the file whole (temporary file and rename).
    void SaveToFile(const std::string& path) const;
    std::string SaveToBytes() const;

  private:
    friend class TPictureCollectionItem;
    void NameChanged(TPictureCollectionItem* item, const std::string& oldName);
    void Unindex(TPictureCollectionItem* item);
    void Renumber();

    std::vector<std::unique_ptr<TPictureCollectionItem>> items_;
    // Buckets hold items most recently named last.
    std::array<std::vector<TPictureCollectionItem*>, 256> buckets_;
    TPictureDisplay* display_ = nullptr;
    bool initialized_ = false;
};

// The image-list component: a collection bound to a display.
class TDXImageList {
  public:
    TPictureCollection Items;

    TPictureDisplay* DXDraw() const { return Items.Display(); }
    void SetDXDraw(TPictureDisplay* display) { Items.SetDisplay(display); }
    void LoadFromFile(const std::string& path) { Items.LoadFromFile(path); }
    void SaveToFile(const std::string& path) const { Items.SaveToFile(path); }

    // Notifications from the bound display.
    void DisplayInitialized() { Items.Initialize(); }
    void DisplayRestored() { Items.Restore(); }
    void DisplayFinalized() { Items.Finalize(); }
};

// A colour as drawn: system colours (0x80000000 + index) resolved to the
// current colour of that element, everything else taken by its low 24 bits.
TColor ColorToRGB(TColor color);

} // namespace varnok
