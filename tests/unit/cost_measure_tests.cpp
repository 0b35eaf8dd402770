// The cost map's arithmetic, driven by a fake timer: a draw's overhead
// taken off, the medians, the tiles of a crop.
#include "tools/cost_measure.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

// Every draw costs 2 ms plus the pass's number; a box's own work is a
// quarter of a millisecond a pixel, except the one tile that times 0.5 ms.
struct FakeTimer {
    int sample = -1;
    std::vector<int> begun, ended;
    std::vector<Rect> drawn;
};

void fake_begin(void *context, int sample)
{
    FakeTimer &f = *(FakeTimer *)context;
    f.sample = sample;
    f.begun.push_back(sample);
}

double fake_time(void *context, const Rect &box)
{
    FakeTimer &f = *(FakeTimer *)context;
    f.drawn.push_back(box);
    if (box.x == 11 && box.y == 9) return 0.5;
    return 2.0 + f.sample + box.w * box.h / 4.0;
}

void fake_end(void *context, int sample) { ((FakeTimer *)context)->ended.push_back(sample); }

} // namespace

TEST(CostMeasure, OverheadOffEachDrawOnceMediansAndPartialTiles)
{
    EXPECT_EQ(median({}), 0.0);
    EXPECT_EQ(median({3, 1, 2}), 2.0);
    EXPECT_EQ(median({4, 1, 3, 2}), 2.5);

    // 10x7 in tiles of 4: the last column 2 wide, the last row 3 high.
    const Rect crop{3, 5, 10, 7};
    std::vector<Tile> tiles = make_tiles(crop, 4);
    const std::vector<Rect> boxes = {{3, 5, 4, 4}, {7, 5, 4, 4}, {11, 5, 2, 4},
                                     {3, 9, 4, 3}, {7, 9, 4, 3}, {11, 9, 2, 3}};
    ASSERT_EQ(tiles.size(), boxes.size());
    for (size_t i = 0; i < boxes.size(); ++i) EXPECT_TRUE(same_rect(tiles[i].box, boxes[i])) << i;

    FakeTimer fake;
    RawTimes raw = time_passes(crop, tiles, 3, PassTimer{&fake, fake_begin, fake_time, fake_end});
    EXPECT_EQ(fake.begun, (std::vector<int>{0, 1, 2}));
    EXPECT_EQ(fake.ended, (std::vector<int>{0, 1, 2}));
    ASSERT_EQ(fake.drawn.size(), 3u * 14);
    EXPECT_TRUE(same_rect(fake.drawn[0], crop));
    EXPECT_EQ(fake.drawn[1].w * fake.drawn[1].h, 0);

    // 21 empty draws at 2, 3 and 4 ms: the overhead is 3 ms.
    Measured m = measured_from(tiles, raw);
    EXPECT_EQ(m.overhead_draws, 21);
    EXPECT_DOUBLE_EQ(m.overhead_ms, 3.0);
    EXPECT_DOUBLE_EQ(m.plain_ms, 70 / 4.0);
    double raw_total = 0.5;
    for (size_t i = 0; i + 1 < boxes.size(); ++i) {
        EXPECT_DOUBLE_EQ(m.tiles[i].ms, boxes[i].w * boxes[i].h / 4.0) << i;
        EXPECT_EQ(m.tiles[i].times.size(), 3u);
        raw_total += 3.0 + boxes[i].w * boxes[i].h / 4.0;
    }
    // A tile timed under the overhead is free, never negative.
    EXPECT_EQ(m.tiles.back().times, (std::vector<double>{0.0, 0.0, 0.0}));
    EXPECT_EQ(m.tiles.back().ms, 0.0);
    EXPECT_DOUBLE_EQ(m.raw_total_ms, raw_total);
}
