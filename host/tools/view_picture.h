// The --view picture of one expression's records, and its line.
#pragma once
#include "tools/inspect_source.h"
#include "tools/inspect_values.h"

#include <cstdint>
#include <string>
#include <vector>

struct ViewRange {
    bool given = false;
    double low = 0.0, high = 1.0;
};

// The values drawn apart from the map, by kind.
struct ViewCounts {
    long nan = 0, infinite = 0, below = 0, above = 0, outside = 0, missing = 0;
};

// One record's colour, its kind counted: a scalar through the colour map
// over low..high (black below, white above); a vector as colour, clamped to
// 0..1 or mapped from a given range (outside it magenta); NaN, a vector's
// infinity and a record with nothing stored (tag 0) magenta.
void view_colour(const ValueType &type, const uint32_t *record, const ViewRange &range, ViewCounts &counts,
                 unsigned char rgb[3]);

// The picture (RGB rows, top row first) and its line: "min ... max ...",
// then the counts. The range drawn is `range` where given, else the
// scalar's own. False with `line` saying why when the values are of no type
// a picture shows.
bool view_picture(const std::vector<uint32_t> &words, const InspectLayout &layout, const ViewRange &range,
                  std::vector<unsigned char> &rgb, std::string &line);
