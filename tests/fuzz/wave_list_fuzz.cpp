// Reads arbitrary bytes as a wave-list file and as a RIFF wave image. Every
// input must load or fail with one of the game's exceptions. A loaded list
// must find each item by its name (the last of equal names wins), and write
// and read back to the same items; a read wave image must build and read
// back to the same format and samples.
#include "common/Exception.h"
#include "common/StrUtils.h"
#include "media/WaveListFile.h"
#include "tests/fuzz/FuzzCheck.h"

#include <cstdint>
#include <string>
#include <string_view>

using namespace varnok;

namespace {

using fuzz::Check;

bool SameWave(const TWaveData& a, const TWaveData& b) {
    return a.Format == b.Format && a.Samples == b.Samples;
}

void TryList(std::string_view bytes) {
    TWaveListData list;
    try {
        list.LoadFromBytes(bytes);
    } catch (const Exception&) {
        return;
    }
    for (int i = 0; i < list.Count(); ++i) {
        const TWaveListEntry& item = list.Items(i);
        Check(item.MaxPlayingCount >= 0, "overlap limit not negative");
        const int found = list.IndexOf(item.Name);
        Check(found >= i && SameText(list.Items(found).Name, item.Name), "the last item of a name is found");
        // The PCM fields read as zero from a short format block, never beyond it.
        if (item.Wave.Format.size() < 16)
            Check(item.Wave.Channels() == 0 && item.Wave.BitsPerSample() == 0, "short format");
    }
    const std::string written = WriteWaveListFile(list.All());
    TWaveListData again;
    again.LoadFromBytes(written);
    Check(again.Count() == list.Count(), "same item count after writing");
    for (int i = 0; i < list.Count(); ++i) {
        const TWaveListEntry &a = list.Items(i), &b = again.Items(i);
        Check(a.Name == b.Name && a.Looped == b.Looped && a.MaxPlayingCount == b.MaxPlayingCount,
              "same item");
        Check(SameWave(a.Wave, b.Wave), "same wave");
    }
    Check(WriteWaveListFile(again.All()) == written, "writing is stable");
}

void TryWave(std::string_view bytes) {
    TWaveData wave;
    try {
        wave = ParseWaveImage(bytes);
    } catch (const EStreamError&) {
        return;
    }
    Check(wave.Format.size() + wave.Samples.size() <= bytes.size(), "chunks come from the image");
    Check(SameWave(ParseWaveImage(BuildWaveImage(wave)), wave), "built image reads back");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    fuzz::RunCapped([&] { TryList(bytes); });
    fuzz::RunCapped([&] { TryWave(bytes); });
    return 0;
}
