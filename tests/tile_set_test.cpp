// The tile set model: cell access at and beyond the map's edges, the 16-bit
// widths, tag switching, frame fall-backs and writes that must stay inside
// their arrays.
#include "level/TSClasses.h"

#include <gtest/gtest.h>

using namespace varnok;

TEST(TileSetTest, TypedAccessOutsideTheCollectionRaisesListError) {
    TMaps maps;
    TMapItem& first = maps.Add();
    maps.Add().Name = "Layer3";
    EXPECT_EQ(&maps[0], &first); // appending keeps earlier items in place
    EXPECT_EQ(maps[1].Name, "Layer3");
    for (int32_t bad : {2, -1}) {
        try {
            (void)maps[bad];
            FAIL() << "index " << bad << " accepted";
        } catch (const EListError& e) {
            EXPECT_EQ(e.Message(), "Listenindex \xFC"
                                   "berschreitet das Maximum (" +
                                       std::to_string(bad) + ")");
        }
    }
    EXPECT_THROW((void)TSequences().Items(0), EListError);
}

TEST(TileSetTest, CellsAreRowsOfWidthAndZeroOutside) {
    TMapItem map;
    map.Resize(200, 15);
    ASSERT_EQ(map.CellCount(), 3000u);
    map.StoreTile(200, 8); // first cell of row 1
    map.StoreTile(2999, static_cast<int16_t>(65535));
    map.StoreBound(201, 0x1234);
    EXPECT_EQ(map.TileAt(0, 1), 8);
    EXPECT_EQ(map.TileAt(199, 14), -1); // 65535 reads back as -1
    EXPECT_EQ(map.BoundLow(1, 1), 0x34);
    EXPECT_EQ(map.BoundHigh(1, 1), 0x12);
    map.StoreBound(0, 0xFFFF);
    map.StoreTile(0, 5);
    for (auto [x, y] : {std::pair{-1, 0}, {200, 0}, {0, -1}, {0, 15}, {1 << 30, 1 << 30}}) {
        EXPECT_EQ(map.TileAt(x, y), 0) << x << "," << y;
        EXPECT_EQ(map.BoundLow(x, y), 0) << x << "," << y;
        EXPECT_EQ(map.BoundHigh(x, y), 0) << x << "," << y;
    }
}

TEST(TileSetTest, WritesNeverLeaveTheGrid) {
    TMapItem map;
    map.Resize(3, 2);
    map.StoreTile(6, 1);
    map.StoreTile(0xFFFFFFFFu, 1);
    map.StoreBound(6, 1);
    map.SetBound(1, 3, 0);  // x = Width
    map.SetBound(1, 0, 2);  // y = Height
    map.SetBound(1, -1, 1); // would land on (2, 0) if taken as an index
    for (int16_t t : map.TileData())
        EXPECT_EQ(t, 0);
    for (uint16_t b : map.BoundData())
        EXPECT_EQ(b, 0);
    map.SetBound(0x0102, 2, 1);
    EXPECT_EQ(map.BoundAt(2, 1), 0x0102);

    TMapItem one; // fewer than two cells: writes ignored, reads 0
    one.Resize(1, 1);
    one.StoreTile(0, 9);
    one.SetBound(9, 0, 0);
    one.SwitchTagged(0, 9, 9);
    EXPECT_EQ(one.TileData()[0], 0);
    EXPECT_EQ(one.BoundData()[0], 0);
}

TEST(TileSetTest, SwitchTaggedChangesOnlyCellsWithThatTag) {
    TMapItem map;
    map.Resize(3, 1);
    map.StoreBound(0, 0x0501);
    map.StoreBound(1, 0x0502);
    map.StoreBound(2, 0x0005);
    map.StoreTile(2, 3);
    map.SwitchTagged(5, 12, 3);
    EXPECT_EQ(map.TileAt(0, 0), 12);
    EXPECT_EQ(map.BoundAt(0, 0), 0x0503);
    EXPECT_EQ(map.TileAt(1, 0), 12);
    EXPECT_EQ(map.BoundAt(1, 0), 0x0503);
    EXPECT_EQ(map.TileAt(2, 0), 3);
    EXPECT_EQ(map.BoundAt(2, 0), 0x0005);
    map.SwitchTagged(0, -1, 0x1FF); // the bound word is kept to 16 bits
    EXPECT_EQ(map.BoundAt(2, 0), 0x01FF);
}

TEST(TileSetTest, FramesStayInsideAndFallBackToTheFirst) {
    TSequenceItem seq;
    seq.Length = 3;
    seq.SetFrame(0, 5);
    seq.SetFrame(1, 0); // frame value 0 shows nothing
    seq.SetFrame(3, 99);
    seq.SetFrame(65535, 99);
    ASSERT_EQ(seq.Frames().size(), 3u);
    EXPECT_EQ(seq.Frames()[2], 0);
    EXPECT_EQ(seq.FrameTile(0), 4);
    EXPECT_EQ(seq.FrameTile(1), -1);
    EXPECT_EQ(seq.FrameTile(3), 4); // index = Length
    const int minusOne = -1;
    EXPECT_EQ(seq.FrameTile(static_cast<uint16_t>(minusOne)), 4);
    seq.Length = 100; // raised after allocation: still no read past the frames
    EXPECT_EQ(seq.FrameTile(50), 4);

    TSequenceItem single; // one frame counts as empty
    single.Length = 1;
    single.SetFrame(0, 5);
    EXPECT_EQ(single.FrameTile(0), 0);
    TSequenceItem negative;
    negative.Length = -4;
    negative.SetFrame(0, 1);
    EXPECT_TRUE(negative.Frames().empty());
}
