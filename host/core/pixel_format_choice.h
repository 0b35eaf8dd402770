// Picking a window pixel format that really carries an accumulation buffer.
// Kept free of Win32 types so the choice can be tested anywhere.
#pragma once

// What matters of one pixel format (from DescribePixelFormat).
struct PixelFormatTraits {
    bool draw_to_window;
    bool support_opengl;
    bool double_buffer;
    bool rgba;
    bool generic;              // the system's software renderer...
    bool generic_accelerated;  // ...unless a driver accelerates it
    int color_bits;
    int alpha_bits;
    int accum_bits;
};

// Whether the loop can run on this format: a double-buffered RGBA OpenGL
// window format with an accumulation buffer, from a real driver.
bool pixel_format_usable(const PixelFormatTraits &f);

// `formats` holds formats 1 .. count in order (index i is format i + 1);
// `chosen` is what ChoosePixelFormat gave (0 if nothing). Keeps `chosen`
// when it is usable, else returns the best usable format, else `chosen`.
int pick_pixel_format(const PixelFormatTraits *formats, int count, int chosen);
