#include "common/ComponentStream.h"
#include "common/Exception.h"

#include <gtest/gtest.h>

#include <string>

using namespace varnok;

namespace {

std::string Bytes(std::initializer_list<int> b) {
    std::string s;
    for (int v : b)
        s.push_back(static_cast<char>(v));
    return s;
}

// Reads from a copy of the bytes that lives as long as the call.
template <typename F> void WithReader(const std::string& bytes, F&& f) {
    TComponentReader r(bytes);
    f(r);
}

template <typename F> std::string ErrorOf(F&& f) {
    try {
        f();
    } catch (const EStreamError& e) {
        return e.what();
    }
    return "";
}

} // namespace

TEST(ComponentStream, IntegersUseTheSmallestTypeAndReadBack) {
    struct Case {
        int32_t value;
        TValueType type;
        size_t size;
    };
    const Case cases[] = {
        {0, TValueType::vaInt8, 2},           {127, TValueType::vaInt8, 2},
        {-128, TValueType::vaInt8, 2},        {128, TValueType::vaInt16, 3},
        {-129, TValueType::vaInt16, 3},       {32767, TValueType::vaInt16, 3},
        {-32768, TValueType::vaInt16, 3},     {32768, TValueType::vaInt32, 5},
        {-32769, TValueType::vaInt32, 5},     {INT32_MIN, TValueType::vaInt32, 5},
        {0x1FFFFFFF, TValueType::vaInt32, 5},
    };
    for (const Case& c : cases) {
        TComponentWriter w;
        w.WriteInteger(c.value);
        ASSERT_EQ(w.Data().size(), c.size) << c.value;
        EXPECT_EQ(static_cast<TValueType>(static_cast<uint8_t>(w.Data()[0])), c.type) << c.value;
        TComponentReader r(w.Data());
        EXPECT_EQ(r.ReadInteger(), c.value);
        EXPECT_EQ(r.Remaining(), 0u);
    }
    // Any integer type is accepted, whatever its value.
    const std::string wideData = Bytes({4, 5, 0, 0, 0, 3, 0xFF, 0xFF});
    TComponentReader wide(wideData);
    EXPECT_EQ(wide.ReadInteger(), 5);
    EXPECT_EQ(wide.ReadInteger(), -1);
}

TEST(ComponentStream, TextsUseBothTypes) {
    TComponentWriter w;
    std::string shortText(255, 'a');
    std::string longText(256, 'b');
    longText[7] = '\xFC';
    w.WriteString(shortText);
    w.WriteString(longText);
    w.WriteString("");
    const std::string& d = w.Data();
    EXPECT_EQ(d[0], 6);
    EXPECT_EQ(static_cast<uint8_t>(d[1]), 255);
    EXPECT_EQ(d[257], 12);
    EXPECT_EQ(d.substr(258, 4), Bytes({0, 1, 0, 0}));
    TComponentReader r(d);
    EXPECT_EQ(r.ReadString(), shortText);
    EXPECT_EQ(r.ReadString(), longText);
    EXPECT_EQ(r.ReadString(), "");
    EXPECT_EQ(r.Remaining(), 0u);
}

TEST(ComponentStream, OtherValueTypes) {
    TComponentWriter w;
    w.WriteIdent("clFuchsia");
    w.WriteBoolean(true);
    w.WriteBoolean(false);
    w.WriteBinary(std::string("\0\1\2", 3));
    w.WriteCollectionBegin();
    w.WriteListBegin();
    w.WritePropertyName("X");
    w.WriteInteger(300);
    w.WriteListEnd();
    w.WriteListEnd();
    w.WriteInteger(9);
    TComponentReader r(w.Data());
    EXPECT_EQ(r.ReadIdent(), "clFuchsia");
    EXPECT_TRUE(r.ReadBoolean());
    EXPECT_FALSE(r.ReadBoolean());
    EXPECT_EQ(r.ReadBinary(), std::string("\0\1\2", 3));
    r.SkipValue(); // the whole collection
    EXPECT_EQ(r.ReadInteger(), 9);
}

TEST(ComponentStream, WrongValueTypesAreRejected) {
    EXPECT_EQ(ErrorOf([] {
                  WithReader(Bytes({6, 0}), [](TComponentReader& r) { r.ReadInteger(); });
              }),
              kInvalidPropertyValue);
    EXPECT_EQ(ErrorOf([] {
                  WithReader(Bytes({2, 0}), [](TComponentReader& r) { r.ReadString(); });
              }),
              kInvalidPropertyValue);
    EXPECT_EQ(ErrorOf([] {
                  WithReader(Bytes({6, 0}), [](TComponentReader& r) { r.ReadIdent(); });
              }),
              kInvalidPropertyValue);
    EXPECT_EQ(ErrorOf([] {
                  WithReader(Bytes({2, 1}), [](TComponentReader& r) { r.ReadBoolean(); });
              }),
              kInvalidPropertyValue);
    EXPECT_EQ(ErrorOf([] {
                  WithReader(Bytes({6, 0}), [](TComponentReader& r) { r.ReadBinary(); });
              }),
              kInvalidPropertyValue);
    EXPECT_EQ(ErrorOf([] { WithReader(Bytes({99}), [](TComponentReader& r) { r.SkipValue(); }); }),
              kInvalidPropertyValue);
}

TEST(ComponentStream, CollectionItemMayBeginWithAnInteger) {
    const std::string data = Bytes({2, 7, 1, 3, 0x10, 0x00, 1, 4, 1, 0, 0, 0, 1, 1});
    TComponentReader r(data);
    r.ReadCollectionItemBegin();
    r.ReadCollectionItemBegin();
    r.ReadCollectionItemBegin();
    r.ReadCollectionItemBegin();
    EXPECT_EQ(r.Remaining(), 0u);
    EXPECT_EQ(ErrorOf([] {
                  WithReader(Bytes({6, 0, 1}), [](TComponentReader& r) { r.ReadCollectionItemBegin(); });
              }),
              kInvalidPropertyValue);
}

TEST(ComponentStream, TruncatedDataGivesReadErrors) {
    const std::string cases[] = {
        Bytes({}),
        Bytes({3, 1}),
        Bytes({4, 1, 2, 3}),
        Bytes({6, 5, 'a'}),
        Bytes({12, 0xFF, 0xFF, 0xFF, 0xFF, 'a'}),
        Bytes({10, 4, 0}),
        Bytes({10, 0xFF, 0xFF, 0xFF, 0x7F}),
    };
    for (const std::string& c : cases) {
        EXPECT_EQ(ErrorOf([&] {
                      TComponentReader r(c);
                      r.SkipValue();
                  }),
                  kStreamReadError)
            << c.size();
    }
    // An unterminated list, and a list nested too deep, never run away.
    EXPECT_EQ(ErrorOf([] {
                  WithReader(Bytes({1, 2, 1, 2, 2}), [](TComponentReader& r) { r.SkipValue(); });
              }),
              kStreamReadError);
    std::string deep(1000, '\1');
    EXPECT_EQ(ErrorOf([&] { WithReader(deep, [](TComponentReader& r) { r.SkipValue(); }); }),
              kInvalidPropertyValue);
}

TEST(ComponentStream, ResourceHeaderChecksOnlyMarkerAndVersion) {
    // Any name, or none, is fine.
    for (const std::string& name : {std::string(), std::string("x"), std::string(75, 'N')}) {
        std::string d = Bytes({0xFF, 10, 0}) + name + Bytes({0, 1, 2, 3, 4, 5, 6}) + "TPF0";
        TComponentReader r(d);
        EXPECT_EQ(r.ReadResourceHeader(), name);
        EXPECT_NO_THROW(r.ReadSignature());
    }
    const std::string bad[] = {
        Bytes({}),
        Bytes({0xFF}),
        Bytes({0xFE, 10, 0, 0, 0, 0, 0, 0, 0, 0}),
        Bytes({0xFF, 11, 0, 0, 0, 0, 0, 0, 0, 0}),
        Bytes({0xFF, 10, 1, 0, 0, 0, 0, 0, 0, 0}),
    };
    for (const std::string& d : bad)
        EXPECT_EQ(ErrorOf([&] { WithReader(d, [](TComponentReader& r) { r.ReadResourceHeader(); }); }),
                  kInvalidStreamFormat);
    // Header fine, signature wrong or missing.
    for (const std::string& tail : {std::string("TPF1"), std::string("TP"), std::string()}) {
        std::string d = Bytes({0xFF, 10, 0, 'A', 0, 0, 0, 0, 0, 0, 0}) + tail;
        TComponentReader r(d);
        r.ReadResourceHeader();
        EXPECT_EQ(ErrorOf([&] { r.ReadSignature(); }), std::string("Ung\xFCltiges Stream-Format"));
    }
    // A header cut after its version field has an empty name.
    const std::string cut = Bytes({0xFF, 10});
    TComponentReader shortReader(cut);
    EXPECT_EQ(shortReader.ReadResourceHeader(), "");
    EXPECT_EQ(ErrorOf([&] { shortReader.ReadSignature(); }), kInvalidStreamFormat);
    // A name without terminator stops at the header's 79 bytes.
    std::string longName = Bytes({0xFF, 10, 0}) + std::string(200, 'Q');
    TComponentReader r(longName);
    EXPECT_EQ(r.ReadResourceHeader().size(), 76u);
    EXPECT_EQ(r.Position(), 86u);
}

TEST(ComponentStream, WriterRejectsOverlongNames) {
    TComponentWriter w;
    EXPECT_THROW(w.WriteShortString(std::string(256, 'a')), EStreamError);
    EXPECT_THROW(w.BeginResource(std::string(76, 'a')), EStreamError);
}
