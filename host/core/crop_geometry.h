// Which parts of the picture a cropped render must trace: the crop itself and
// the margin around it that the post pass's bloom and aberration read.
#pragma once
#include <utility>
#include <vector>

struct Rect {
    int x = 0, y = 0, w = 0, h = 0; // GL convention: y counts rows from the bottom
};

bool same_rect(const Rect &a, const Rect &b);

// A crop given from the picture's top-left corner, in GL rows (from the bottom)
// of a picture `picture_height` rows high.
Rect crop_to_gl_rows(const Rect &top_down, int picture_height);
// Spans of [lo, hi) on an axis of length n once widened by margin; the
// post pass's lookups repeat across the borders, so what falls outside
// comes back in on the opposite side.
std::vector<std::pair<int, int>> axis_spans(int lo, int hi, int margin, int n);
// Regions of a width x height picture whose samples the post pass over
// `crop` can see.
std::vector<Rect> sample_regions(const Rect &crop, int margin, int width, int height);
