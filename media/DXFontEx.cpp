#include "media/DXFontEx.h"

#include "level/ImageList.h"

#include <climits>

namespace varnok {

namespace {

std::array<uint8_t, 256> BuildCharMap() {
    std::array<uint8_t, 256> map{};
    for (int c = 0; c < 256; ++c) {
        int u = (c >= 'a' && c <= 'z') ? c - 'a' + 'A' : c;
        if (u >= 0x20 && u <= 0x5F)
            map[c] = static_cast<uint8_t>(u - 0x20);
        else
            map[c] = kFontUnknownGlyph;
    }
    map[0xC4] = map[0xE4] = 64; // Ä ä
    map[0xD6] = map[0xF6] = 65; // Ö ö
    map[0xDC] = map[0xFC] = 66; // Ü ü
    map[0xDF] = 67;             // ß
    return map;
}

} // namespace

const std::array<uint8_t, 256>& FontCharMap() {
    static const std::array<uint8_t, 256> map = BuildCharMap();
    return map;
}

TPictureCollectionItem& TDXFontEx::Item() const {
    return imageList_->Items.Items(fontIndex_);
}

void TDXFontEx::SetFont(const std::string& name) {
    font_ = name;
    if (!imageList_) return;
    fontIndex_ = imageList_->Items.IndexOf(name);
    if (fontIndex_ >= 0) advance_ = Item().PatternWidth;
}

void TDXFontEx::SetFontIndex(int index) {
    fontIndex_ = index;
    if (!imageList_) return;
    TPictureCollectionItem& item = Item();
    font_ = item.Name();
    advance_ = item.PatternWidth;
}

void TDXFontEx::DrawLine(platform::Surface& dest, int x, const std::string& text, int y) {
    const TPictureCollectionItem& item = Item();
    const auto& map = FontCharMap();
    for (size_t i = 0; i < text.size(); ++i)
        item.Draw(dest, x + static_cast<int>(i) * advance_, y, map[static_cast<uint8_t>(text[i])]);
}

void TDXFontEx::DrawText(platform::Surface& dest, int x, const std::string& text, int y) {
    if (!imageList_ || text.empty()) return;
    advance_ = Item().PatternWidth;
    DrawLine(dest, x, text, y);
}

void TDXFontEx::DrawTextSpaced(platform::Surface& dest, int x, const std::string& text, int spacing, int y) {
    if (!imageList_ || text.empty()) return;
    advance_ = spacing;
    DrawLine(dest, x, text, y);
}

void TDXFontEx::DrawTextAlpha(platform::Surface& dest, int x, int alpha, const std::string& text, int y) {
    if (!imageList_ || text.empty()) return;
    const TPictureCollectionItem& item = Item();
    advance_ = item.PatternWidth;
    if (alpha <= 0) return;
    const auto& map = FontCharMap();
    for (size_t i = 0; i < text.size(); ++i) {
        const platform::Rect glyph =
            platform::Bounds(x + static_cast<int>(i) * advance_, y, item.Width(), item.Height());
        item.DrawAlpha(dest, glyph, map[static_cast<uint8_t>(text[i])], alpha);
    }
}

void TDXFontEx::DrawTextWrapped(platform::Surface& dest, int x, const std::string& text, int lineHeight,
                                int spacing, int y) {
    if (!imageList_ || text.empty()) return;
    // Without a positive spacing no width limit can be worked out: one line.
    const int maxChars = spacing > 0 ? dest.Width() / spacing : INT_MAX;
    auto drawCentred = [&](const std::string& line, int lineY) {
        const int left = x + (dest.Width() / 2 - (spacing * static_cast<int>(line.size())) / 2);
        DrawTextSpaced(dest, left, line, spacing, lineY);
    };
    std::string line;
    int lineY = y;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t space = text.find(' ', pos);
        std::string word;
        if (space == std::string::npos) {
            word = text.substr(pos);
            pos = text.size();
        } else {
            word = text.substr(pos, space - pos);
            pos = space + 1;
        }
        if (static_cast<int64_t>(word.size()) + static_cast<int64_t>(line.size()) < maxChars) {
            line += ' ';
            line += word;
        } else {
            drawCentred(line, lineY);
            line = word;
            lineY += lineHeight;
        }
    }
    if (!line.empty()) drawCentred(line, lineY);
}

} // namespace varnok
