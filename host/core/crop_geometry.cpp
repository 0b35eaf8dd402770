#include "core/crop_geometry.h"

bool same_rect(const Rect &a, const Rect &b)
{
    return a.x == b.x && a.y == b.y && a.w == b.w && a.h == b.h;
}

Rect crop_to_gl_rows(const Rect &top_down, int picture_height)
{
    return Rect{top_down.x, picture_height - top_down.y - top_down.h, top_down.w, top_down.h};
}

std::vector<std::pair<int, int>> axis_spans(int lo, int hi, int margin, int n)
{
    int a = lo - margin, b = hi + margin;
    if (b - a >= n) return {{0, n}};
    std::vector<std::pair<int, int>> spans;
    spans.push_back({a < 0 ? 0 : a, b > n ? n : b});
    if (a < 0) spans.push_back({n + a, n});
    if (b > n) spans.push_back({0, b - n});
    return spans;
}

std::vector<Rect> sample_regions(const Rect &crop, int margin, int width, int height)
{
    std::vector<Rect> regions;
    for (auto xs : axis_spans(crop.x, crop.x + crop.w, margin, width))
        for (auto ys : axis_spans(crop.y, crop.y + crop.h, margin, height))
            regions.push_back(Rect{xs.first, ys.first, xs.second - xs.first, ys.second - ys.first});
    return regions;
}
