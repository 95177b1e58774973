// Loads arbitrary bytes as an image-list file, cuts every item into patterns
// on a 16-bit display and draws each pattern, saves the list and reads it
// back. Every input must load or fail with one of the game's exceptions; a
// loaded list must save and load again to the same items.
//
// scripts/fuzz.sh builds and runs it with its seeds (small lists made with
// dxgtool). Pictures above the fuzz allocation cap are skipped.
#include "common/Exception.h"
#include "common/StrUtils.h"
#include "level/ImageList.h"
#include "platform/Surface.h"
#include "tests/fuzz/FuzzCheck.h"
#include "tools/Debug.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

using namespace varnok;

namespace {

using fuzz::Check;

void DrawEveryPattern(TPictureCollection& list) {
    platform::Surface dest(64, 64, 16);
    for (int i = 0; i < list.Count(); ++i) {
        const TPictureCollectionItem& item = list.Items(i);
        const int count = item.PatternCount();
        Check(count >= 0, "pattern count not negative");
        // Large grids: a sample of patterns is enough.
        const int step = count > 256 ? count / 256 : 1;
        for (int p = -1; p <= count; p += (p < 0 || p + step > count ? 1 : step)) {
            item.Draw(dest, -3, 5, p);
            item.DrawAlpha(dest, platform::Bounds(7, -2, item.Width(), item.Height()), p, 127);
            item.StretchDraw(dest, platform::Rect{0, 0, 17, 9}, p);
        }
    }
}

void TryList(const std::string& bytes) {
    static TFixedDisplay display(16);
    TPictureCollection list;
    list.SetDisplay(&display);
    try {
        list.LoadFromBytes(bytes);
    } catch (const Exception&) {
        Check(list.Count() == 0, "a failed load leaves the list empty");
        return;
    }
    try {
        DrawEveryPattern(list);
    } catch (const Exception&) {
        // Surfaces above the platform's limits are refused with an error.
    }
    const std::string saved = list.SaveToBytes();
    TPictureCollection again;
    again.LoadFromBytes(saved);
    Check(again.Count() == list.Count(), "same item count after saving");
    for (int i = 0; i < list.Count(); ++i) {
        const TPictureCollectionItem &a = list.Items(i), &b = again.Items(i);
        Check(a.Name() == b.Name(), "same name");
        Check(a.PatternWidth == b.PatternWidth && a.PatternHeight == b.PatternHeight, "same pattern size");
        Check(a.SkipWidth == b.SkipWidth && a.SkipHeight == b.SkipHeight, "same skips");
        Check(a.Transparent == b.Transparent && a.SystemMemory == b.SystemMemory, "same flags");
        Check(a.TransparentColor() == b.TransparentColor(), "same key colour");
        Check(a.Picture.Image().Pixels == b.Picture.Image().Pixels, "same pixels");
        const int found = again.IndexOf(a.Name());
        Check(a.Name().empty() ? found == -1 : SameText(again.Items(found).Name(), a.Name()),
              "lookup by name");
    }
    Check(again.SaveToBytes() == saved, "saving is stable");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    DebugLog().SetEcho(false);
    DebugLog().Clear();
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    fuzz::RunCapped([&] { TryList(bytes); });
    return 0;
}
