#include "media/WaveListFile.h"

#include "common/ComponentStream.h"
#include "common/Exception.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace varnok;

namespace {

std::string Le32(uint32_t v) {
    std::string s;
    for (int i = 0; i < 4; ++i) s.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
    return s;
}

std::string Chunk(const std::string& id, const std::string& body) { return id + Le32(uint32_t(body.size())) + body; }

// PCM format block: mono, 22050 Hz, 16 bits, plus `extra` bytes.
std::string PcmFormat(const std::string& extra = "") {
    std::string f = std::string("\x01\x00\x01\x00", 4) + Le32(22050) + Le32(44100) + std::string("\x02\x00\x10\x00", 4);
    return f + extra;
}

std::string Riff(const std::string& chunks) { return "RIFF" + Le32(uint32_t(4 + chunks.size())) + "WAVE" + chunks; }

// A wave-list file whose items carry the given RIFF images as they stand.
std::string FileWithImages(const std::vector<std::pair<std::string, std::string>>& items) {
    TComponentWriter w;
    w.BeginResource("Waves");
    w.WriteSignature();
    w.WriteShortString("TWaveCollectionComponent");
    w.WriteShortString("");
    w.WritePropertyName("List");
    w.WriteCollectionBegin();
    for (auto& [name, image] : items) {
        w.WriteListBegin();
        w.WritePropertyName("Name");
        w.WriteString(name);
        w.WritePropertyName("Wave.WAVE");
        w.WriteBinary(image);
        w.WriteListEnd();
    }
    w.WriteListEnd();
    w.WriteListEnd();
    w.WriteListEnd();
    w.EndResource();
    return w.Data();
}

std::string StreamErrorOf(const std::string& bytes) {
    try {
        ReadWaveListFile(bytes);
    } catch (const EStreamError& e) {
        return e.what();
    }
    return "";
}

TWaveListEntry Entry(const std::string& name, bool looped, int32_t max, const std::string& samples) {
    TWaveListEntry e;
    e.Name = name;
    e.Looped = looped;
    e.MaxPlayingCount = max;
    e.Wave.Format = PcmFormat();
    e.Wave.Samples = samples;
    return e;
}

} // namespace

TEST(WaveListFile, WritesAndReadsBackEveryProperty) {
    std::vector<TWaveListEntry> in = {Entry("Jump", false, 2, std::string("\x01\x02\x03\x04", 4)),
                                      Entry("Automove", true, 0, std::string(70000, '\x7F')),
                                      Entry(std::string(300, 'L'), false, 100000, "")};
    const std::string bytes = WriteWaveListFile(in);
    ASSERT_EQ(static_cast<uint8_t>(bytes[0]), 0xFF);
    EXPECT_EQ(bytes.substr(1, 2), std::string("\x0A\x00", 2));
    EXPECT_NE(bytes.find("TPF0"), std::string::npos);
    EXPECT_NE(bytes.find("\x18TWaveCollectionComponent"), std::string::npos);

    const std::vector<TWaveListEntry> out = ReadWaveListFile(bytes);
    ASSERT_EQ(out.size(), in.size());
    for (size_t i = 0; i < in.size(); ++i) {
        EXPECT_EQ(out[i].Name, in[i].Name);
        EXPECT_EQ(out[i].Looped, in[i].Looped);
        EXPECT_EQ(out[i].MaxPlayingCount, in[i].MaxPlayingCount);
        EXPECT_EQ(out[i].Wave.Format, in[i].Wave.Format);
        EXPECT_EQ(out[i].Wave.Samples, in[i].Wave.Samples);
    }
    EXPECT_EQ(out[0].Wave.Channels(), 1);
    EXPECT_EQ(out[0].Wave.SamplesPerSec(), 22050u);
    EXPECT_EQ(out[0].Wave.BitsPerSample(), 16);

    // Through a file and the indexed list as well.
    test::TempDir dir;
    TWaveListData list;
    for (auto& e : in) list.Add(e);
    list.SaveToFile(dir / "Sounds.dxw");
    TWaveListData loaded;
    loaded.LoadFromFile(dir / "Sounds.dxw");
    ASSERT_EQ(loaded.Count(), 3);
    EXPECT_EQ(loaded.Find("AUTOMOVE").Wave.Samples.size(), 70000u);
    EXPECT_THROW(loaded.LoadFromFile(dir / "missing.dxw"), EFileError);
}

TEST(WaveListFile, ChunkRulesOfTheWaveImage) {
    // A format block longer than 16 bytes is kept whole.
    const std::string longFormat = PcmFormat(std::string("\x02\x00\xAB\xCD", 4));
    TWaveData w = ParseWaveImage(Riff(Chunk("fmt ", longFormat) + Chunk("data", "abcd")));
    EXPECT_EQ(w.Format, longFormat);
    EXPECT_EQ(w.Samples, "abcd");

    // Unknown chunks are skipped by their size; chunks need no even length.
    w = ParseWaveImage(Riff(Chunk("fmt ", PcmFormat()) + Chunk("junk", "xyz") + Chunk("data", "12345")));
    EXPECT_EQ(w.Samples, "12345");

    // A pad byte after an odd-sized chunk is not skipped: the next header is
    // read one byte early and the data chunk after it is not found.
    w = ParseWaveImage(Riff(Chunk("fmt ", PcmFormat()) + Chunk("junk", "xyz") + std::string(1, '\0') +
                            Chunk("data", "12345")));
    EXPECT_EQ(w.Format, PcmFormat());
    EXPECT_FALSE(w.HasSamples());

    // No data chunk: an item without samples.
    const std::string file = FileWithImages({{"Quiet", Riff(Chunk("fmt ", PcmFormat()))}});
    std::vector<TWaveListEntry> items = ReadWaveListFile(file);
    ASSERT_EQ(items.size(), 1u);
    EXPECT_FALSE(items[0].Wave.HasSamples());
    EXPECT_EQ(items[0].Wave.Format, PcmFormat());

    // A zero identifier ends the scan early.
    w = ParseWaveImage(Riff(std::string(8, '\0') + Chunk("data", "ab")));
    EXPECT_FALSE(w.HasSamples());

    // Not RIFF ... WAVE.
    EXPECT_EQ(StreamErrorOf(FileWithImages({{"Bad", "RIFX" + Le32(4) + "WAVE"}})), "Wave is invalid");
    EXPECT_EQ(StreamErrorOf(FileWithImages({{"Bad", "RIFF" + Le32(4) + "AVI "}})), "Wave is invalid");
    EXPECT_EQ(StreamErrorOf(FileWithImages({{"Bad", ""}})), "Wave is invalid");
    // A data chunk claiming more bytes than the image has.
    EXPECT_EQ(StreamErrorOf(FileWithImages({{"Long", Riff("data" + Le32(0xFFFFFFF0u) + "ab")}})),
              "Stream-Lesefehler");
    // A skipped chunk claiming too much simply ends the scan.
    w = ParseWaveImage(Riff(Chunk("data", "ab") + "LIST" + Le32(0xFFFFFFFFu)));
    EXPECT_EQ(w.Samples, "ab");
}

TEST(WaveListFile, RejectsBadHeadersAndTruncatedFiles) {
    const std::string good = WriteWaveListFile({Entry("Coin", false, 4, "samples!")});
    ASSERT_EQ(ReadWaveListFile(good).size(), 1u);

    std::string bad = good;
    bad[0] = '\xFE';
    EXPECT_EQ(StreamErrorOf(bad), "Ung\xFCltiges Stream-Format");
    bad = good;
    bad[1] = 11;
    EXPECT_EQ(StreamErrorOf(bad), "Ung\xFCltiges Stream-Format");
    bad = good;
    bad.replace(bad.find("TPF0"), 4, "TPF1");
    EXPECT_EQ(StreamErrorOf(bad), "Ung\xFCltiges Stream-Format");
    EXPECT_EQ(StreamErrorOf(""), "Ung\xFCltiges Stream-Format");

    // Every cut-off prefix fails with a stream error, never reads beyond.
    for (size_t n = 0; n < good.size(); ++n)
        EXPECT_NE(StreamErrorOf(good.substr(0, n)), "") << "prefix of " << n << " bytes";

    // A binary value claiming gigabytes.
    bad = good;
    size_t at = bad.find("Wave.WAVE") + 9;
    ASSERT_EQ(bad[at], '\x0A');
    bad.replace(at + 1, 4, Le32(0xFFFFFFFFu));
    EXPECT_EQ(StreamErrorOf(bad), "Stream-Lesefehler");
}

TEST(WaveListFile, PropertyValuesAndNames) {
    TComponentWriter w;
    w.BeginResource("");
    w.WriteSignature();
    w.WriteShortString("TWaveCollectionComponent");
    w.WriteShortString("");
    w.WritePropertyName("List");
    w.WriteCollectionBegin();
    w.WriteInteger(7); // an item may carry an index in front
    w.WriteListBegin();
    w.WritePropertyName("name");
    w.WriteString(std::string(300, 'n')); // long text type
    w.WritePropertyName("MaxPlayingCount");
    w.WriteInteger(-5);
    w.WriteListEnd();
    w.WriteListEnd();
    w.WriteListEnd();
    w.WriteListEnd();
    std::vector<TWaveListEntry> items = ReadWaveListFile(w.Data());
    ASSERT_EQ(items.size(), 1u);
    EXPECT_EQ(items[0].Name, std::string(300, 'n'));
    EXPECT_EQ(items[0].MaxPlayingCount, 0); // negative counts are stored as 0
    EXPECT_FALSE(items[0].Looped);

    std::string unknown = w.Data();
    unknown.replace(unknown.find("\x0FMaxPlayingCount"), 16, "\x0FMaxPlayingCounx");
    EXPECT_EQ(StreamErrorOf(unknown), "Eigenschaft MaxPlayingCounx existiert nicht");

    std::string wrongType = FileWithImages({{"A", Riff("")}});
    wrongType.replace(wrongType.find("Wave.WAVE") + 9, 1, "\x09"); // true instead of binary
    EXPECT_EQ(StreamErrorOf(wrongType), "Ung\xFCltiger Eigenschaftswert");
}

TEST(WaveListFile, FindIgnoresCaseAndTheLaterItemWins) {
    TWaveListData list;
    list.Add(Entry("Au", false, 0, "1"));
    list.Add(Entry("Coin", false, 0, "2"));
    list.Add(Entry("coin", false, 0, "3"));
    EXPECT_EQ(&list.Find("au"), &list.Find("AU"));
    EXPECT_EQ(&list.Find("Au"), &list.Items(0));
    EXPECT_EQ(list.IndexOf("COIN"), 2);
    EXPECT_EQ(list.Find("Coin").Wave.Samples, "3");
    EXPECT_EQ(list.IndexOf("Coi"), -1);
    try {
        list.Find("Nope");
        FAIL() << "no error";
    } catch (const Exception& e) {
        EXPECT_STREQ(e.what(), "Wave 'Nope' not found");
    }
    EXPECT_THROW(list.Items(3), EListError);
    EXPECT_THROW(list.Items(-1), EListError);

    // Loading replaces the items and the index.
    list.LoadFromBytes(WriteWaveListFile({Entry("Hit", false, 0, "x")}));
    EXPECT_EQ(list.Count(), 1);
    EXPECT_EQ(list.IndexOf("coin"), -1);
    EXPECT_EQ(list.IndexOf("hit"), 0);
}

TEST(WaveNameIndex, BucketsAndRemoval) {
    // (length * 16 + second-to-last + first character) mod 256, lower-cased.
    EXPECT_EQ(TWaveNameIndex::Bucket("Au"), (2 * 16 + 'a' + 'a') % 256);
    EXPECT_EQ(TWaveNameIndex::Bucket("JUMP"), (4 * 16 + 'm' + 'j') % 256);
    EXPECT_EQ(TWaveNameIndex::Bucket("x"), 16);
    EXPECT_EQ(TWaveNameIndex::Bucket(""), 0);

    TWaveNameIndex index;
    index.Add("Bump", 0);
    index.Add("BUMP", 1);
    EXPECT_EQ(index.IndexOf("bump"), 1);
    index.Remove("BUMP", 1);
    EXPECT_EQ(index.IndexOf("bump"), 0);
    index.Clear();
    EXPECT_EQ(index.IndexOf("bump"), -1);
}
