// The parts of the picture a cropped render traces.
#include "core/crop_geometry.h"

#include <gtest/gtest.h>

using Spans = std::vector<std::pair<int, int>>;

TEST(CropGeometry, MarginSpansWrapAcrossTheOppositeBorder)
{
    EXPECT_EQ(axis_spans(900, 948, 240, 1920), (Spans{{660, 1188}}));
    // Past the low border the margin comes back in at the high end, and the
    // other way round.
    EXPECT_EQ(axis_spans(0, 64, 240, 1920), (Spans{{0, 304}, {1680, 1920}}));
    EXPECT_EQ(axis_spans(10, 64, 240, 1920), (Spans{{0, 304}, {1690, 1920}}));
    EXPECT_EQ(axis_spans(1890, 1920, 240, 1920), (Spans{{1650, 1920}, {0, 240}}));
    // A margin that covers the axis traces it once.
    EXPECT_EQ(axis_spans(100, 200, 1000, 1080), (Spans{{0, 1080}}));
    EXPECT_EQ(axis_spans(0, 1920, 0, 1920), (Spans{{0, 1920}}));
}

TEST(CropGeometry, CornerCropTracesFourRegions)
{
    std::vector<Rect> regions = sample_regions(Rect{0, 0, 40, 32}, 100, 1920, 1080);
    ASSERT_EQ(regions.size(), 4u);
    long area = 0;
    for (const Rect &r : regions) area += (long)r.w * r.h;
    EXPECT_EQ(area, 240L * 232);
    EXPECT_EQ(crop_to_gl_rows(Rect{5, 0, 40, 32}, 1080).y, 1048);
}
