// Choosing a window pixel format that carries an accumulation buffer.
#include "core/pixel_format_choice.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

PixelFormatTraits window_format(bool double_buffer, int accum_bits)
{
    PixelFormatTraits f = {};
    f.draw_to_window = true;
    f.support_opengl = true;
    f.double_buffer = double_buffer;
    f.rgba = true;
    f.color_bits = 32;
    f.alpha_bits = 8;
    f.accum_bits = accum_bits;
    return f;
}

PixelFormatTraits generic_format(int accum_bits)
{
    PixelFormatTraits f = window_format(false, accum_bits);
    f.generic = true;
    return f;
}

// The order of formats as a GLX-backed driver lists them: single-buffered,
// generic bitmap, then double-buffered, each without and with accumulation.
std::vector<PixelFormatTraits> driver_list()
{
    return {
        window_format(false, 0), generic_format(0),   // 1, 2
        window_format(false, 64), generic_format(64), // 3, 4
        window_format(true, 0), window_format(true, 64),   // 5, 6
        window_format(true, 0), window_format(true, 64),   // 7, 8
    };
}

TEST(PixelFormatChoice, KeepsTheChosenFormatWhenItHasAccumulation)
{
    std::vector<PixelFormatTraits> formats = driver_list();
    EXPECT_EQ(pick_pixel_format(formats.data(), (int)formats.size(), 8), 8);
    // 32 bits of accumulation is still an accumulation buffer: not second-guessed.
    formats[4] = window_format(true, 32);
    EXPECT_EQ(pick_pixel_format(formats.data(), (int)formats.size(), 5), 5);
}

TEST(PixelFormatChoice, ReplacesAChosenFormatWithoutAccumulation)
{
    std::vector<PixelFormatTraits> formats = driver_list();
    // The first double-buffered window format with accumulation, not the
    // single-buffered or generic ones listed before it.
    EXPECT_EQ(pick_pixel_format(formats.data(), (int)formats.size(), 5), 6);
    // Nothing chosen at all (0) or a number past the list: still a usable one.
    EXPECT_EQ(pick_pixel_format(formats.data(), (int)formats.size(), 0), 6);
    EXPECT_EQ(pick_pixel_format(formats.data(), (int)formats.size(), 99), 6);
}

TEST(PixelFormatChoice, PrefersSixteenBitChannelsThenAlpha)
{
    std::vector<PixelFormatTraits> formats = {
        window_format(true, 0),
        window_format(true, 32),
        window_format(true, 64),
        window_format(true, 64),
    };
    formats[2].alpha_bits = 0;
    EXPECT_EQ(pick_pixel_format(formats.data(), (int)formats.size(), 1), 4);
    formats[3].accum_bits = 48;
    EXPECT_EQ(pick_pixel_format(formats.data(), (int)formats.size(), 1), 3);
}

TEST(PixelFormatChoice, RejectsFormatsTheLoopCannotRunOn)
{
    PixelFormatTraits good = window_format(true, 64);
    EXPECT_TRUE(pixel_format_usable(good));

    PixelFormatTraits f = good;
    f.draw_to_window = false;
    EXPECT_FALSE(pixel_format_usable(f));
    f = good;
    f.support_opengl = false;
    EXPECT_FALSE(pixel_format_usable(f));
    f = good;
    f.double_buffer = false;
    EXPECT_FALSE(pixel_format_usable(f));
    f = good;
    f.rgba = false;
    EXPECT_FALSE(pixel_format_usable(f));
    f = good;
    f.color_bits = 16;
    EXPECT_FALSE(pixel_format_usable(f));
    f = good;
    f.accum_bits = 0;
    EXPECT_FALSE(pixel_format_usable(f));
    // The system's software renderer has accumulation but only OpenGL 1.1...
    f = good;
    f.generic = true;
    EXPECT_FALSE(pixel_format_usable(f));
    // ...unless a driver accelerates it.
    f.generic_accelerated = true;
    EXPECT_TRUE(pixel_format_usable(f));
}

TEST(PixelFormatChoice, FallsBackToTheChosenFormatWhenNoneHasAccumulation)
{
    std::vector<PixelFormatTraits> formats = {
        window_format(true, 0), generic_format(64), window_format(false, 64),
    };
    EXPECT_EQ(pick_pixel_format(formats.data(), (int)formats.size(), 1), 1);
    EXPECT_EQ(pick_pixel_format(formats.data(), (int)formats.size(), 0), 0);
    EXPECT_EQ(pick_pixel_format(nullptr, 0, 3), 3);
}

} // namespace
