#pragma once
// Bitmap fonts: the glyphs are the patterns of one image-list item, in the
// order of a fixed 68-character set; one shared table maps every byte of a
// Latin-1 text to its glyph.
#include "platform/Surface.h"

#include <array>
#include <cstdint>
#include <string>

namespace varnok {

class TDXImageList;
class TPictureCollectionItem;

// The glyph set: the space (0x20) to the underscore (0x5F), then Ä, Ö, Ü, ß.
inline constexpr int kFontGlyphCount = 68;
// Glyph of the bytes the set lacks: '>'.
inline constexpr uint8_t kFontUnknownGlyph = 30;

// Pattern number of every byte value: lower case as upper case, ä/ö/ü as
// Ä/Ö/Ü, anything outside the set as '>'.
const std::array<uint8_t, 256>& FontCharMap();

class TDXFontEx {
  public:
    TDXImageList* DXImageList() const { return imageList_; }
    void SetDXImageList(TDXImageList* list) { imageList_ = list; }

    const std::string& Font() const { return font_; }
    // Selects the item of that name (-1 when the list lacks it).
    void SetFont(const std::string& name);
    int FontIndex() const { return fontIndex_; }
    // Selects an item by position; an index the list does not hold raises
    // the list's index error.
    void SetFontIndex(int index);
    // Horizontal distance from one glyph to the next.
    int Advance() const { return advance_; }

    void DrawText(platform::Surface& dest, int x, const std::string& text, int y);
    void DrawTextSpaced(platform::Surface& dest, int x, const std::string& text, int spacing, int y);
    // Each glyph blended with opacity alpha (0 nothing .. 255 opaque).
    void DrawTextAlpha(platform::Surface& dest, int x, int alpha, const std::string& text, int y);
    // Breaks the text at spaces into lines that fit the surface's width and
    // draws each centred on it, lineHeight apart.
    void DrawTextWrapped(platform::Surface& dest, int x, const std::string& text, int lineHeight, int spacing,
                         int y);

  private:
    // The selected item; raises the list's index error when there is none.
    TPictureCollectionItem& Item() const;
    void DrawLine(platform::Surface& dest, int x, const std::string& text, int y);

    TDXImageList* imageList_ = nullptr;
    std::string font_;
    int fontIndex_ = -1;
    int advance_ = 0;
};

} // namespace varnok
