#include "platform/DisplayMode.h"

#include "common/StrUtils.h"

#include <algorithm>
#include <cstdint>

namespace varnok::platform {

namespace {

bool DepthQualifies(int modeBits, const TModeRequest& r) {
    if (r.FixedBitCount) return modeBits == r.BitCount;
    return (modeBits >= 9 && r.BitCount >= 9) || modeBits >= r.BitCount;
}

bool SizeQualifies(const TDisplayMode& m, const TModeRequest& r) {
    if (r.FixedSize) return m.Width == r.Width && m.Height == r.Height;
    return m.Width >= r.Width && m.Height >= r.Height;
}

bool SameRatio(const TDisplayMode& m, const TModeRequest& r) {
    return static_cast<int64_t>(m.Width) * r.Height == static_cast<int64_t>(m.Height) * r.Width;
}

std::optional<TDisplayMode> Smallest(const std::vector<TDisplayMode>& modes, const TModeRequest& r,
                                     bool ratioOnly) {
    std::optional<TDisplayMode> chosen;
    for (const TDisplayMode& m : modes) {
        if (ratioOnly && !SameRatio(m, r)) continue;
        if (!SizeQualifies(m, r) || !DepthQualifies(m.BitCount, r)) continue;
        if (!chosen || (m.Width <= chosen->Width && m.Height <= chosen->Height)) chosen = m;
    }
    return chosen;
}

} // namespace

std::optional<TDisplayMode> FindDisplayMode(const std::vector<TDisplayMode>& modes, const TModeRequest& r) {
    if (r.BitCount != 8 && r.BitCount != 16 && r.BitCount != 24 && r.BitCount != 32) return std::nullopt;
    const TDisplayMode exact{r.Width, r.Height, r.BitCount};
    if (std::find(modes.begin(), modes.end(), exact) != modes.end()) return exact;

    std::optional<TDisplayMode> chosen;
    if (r.FixedRatio) chosen = Smallest(modes, r, true);
    if (!chosen) chosen = Smallest(modes, r, false);
    if (!chosen) return std::nullopt;
    if (chosen->BitCount != r.BitCount) {
        const TDisplayMode atDepth{chosen->Width, chosen->Height, r.BitCount};
        if (std::find(modes.begin(), modes.end(), atDepth) != modes.end()) chosen = atDepth;
    }
    return chosen;
}

std::string ModeFailureText(const TModeRequest& r) {
    return Format("Display mode cannot be changed (%dx%d %dbit)", r.Width, r.Height, r.BitCount);
}

std::vector<TDisplayMode> FullScreenModes(const TScreenInfo& screen, int width, int height) {
    std::vector<TDisplayMode> modes;
    if (screen.Width >= width && screen.Height >= height)
        for (int bits : {8, 16, 24, 32})
            modes.push_back({width, height, bits});
    modes.insert(modes.end(), screen.Modes.begin(), screen.Modes.end());
    return modes;
}

TViewport FitPicture(int areaWidth, int areaHeight, int pictureWidth, int pictureHeight) {
    TViewport v;
    if (pictureWidth > 0 && pictureHeight > 0)
        v.Scale = std::max(1, std::min(areaWidth / pictureWidth, areaHeight / pictureHeight));
    v.Width = pictureWidth * v.Scale;
    v.Height = pictureHeight * v.Scale;
    // Halves rounded toward minus infinity, so a cut picture loses as much on
    // each side as it can.
    auto half = [](int d) { return d >= 0 ? d / 2 : -((-d + 1) / 2); };
    v.X = half(areaWidth - v.Width);
    v.Y = half(areaHeight - v.Height);
    return v;
}

bool AreaToPicture(const TViewport& v, int areaX, int areaY, int& pictureX, int& pictureY) {
    const int dx = areaX - v.X, dy = areaY - v.Y;
    if (dx < 0 || dy < 0 || dx >= v.Width || dy >= v.Height || v.Scale < 1) return false;
    pictureX = dx / v.Scale;
    pictureY = dy / v.Scale;
    return true;
}

int ComfortableScale(int usableWidth, int usableHeight, int pictureWidth, int pictureHeight,
                     int extraHeight) {
    if (pictureWidth <= 0 || pictureHeight <= 0) return 1;
    const int64_t roomW = static_cast<int64_t>(usableWidth) * 19 / 20;
    const int64_t roomH = static_cast<int64_t>(usableHeight) * 19 / 20;
    int scale = 1;
    while (static_cast<int64_t>(pictureWidth) * (scale + 1) <= roomW &&
           static_cast<int64_t>(pictureHeight) * (scale + 1) + extraHeight <= roomH)
        ++scale;
    return scale;
}

} // namespace varnok::platform
