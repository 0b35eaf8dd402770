// The pure side of --eval and --view: the shader wrapped so that each
// expression's value is stored with its exact bits after the shader's own
// main, the driver's log turned into positions in the expressions, the values
// printed, and the view's colours. No GL here.
#pragma once
#include "core/crop_geometry.h"

#include <cstdint>
#include <string>
#include <vector>

enum class ScalarKind { float_kind, int_kind, uint_kind, bool_kind };

// A type whose value can be read back: `columns` columns (1 but for a
// matrix) of `rows` scalars (1 for a scalar).
struct ValueType {
    const char *name;
    ScalarKind kind;
    int columns;
    int rows;
};

// Where the values go: per fragment of `region` (GL rows), one record per
// expression of `stride` words, a tag (0: nothing stored, else 1 + the
// type's index) then the value's words, column by column.
struct InspectLayout {
    Rect region;
    int count = 1;
    int stride = 17; // room for a mat4
};

constexpr unsigned kInspectBinding = 7; // the storage buffer's binding point

// The type that tag names; null for 0 or an unknown tag.
const ValueType *value_type(uint32_t tag);
size_t inspect_words(const InspectLayout &layout);
// `shader` with its main renamed, and a main that runs it, then stores each
// expression of `exprs` (each on a line of its own) into the buffer.
std::string inspect_source(const std::string &shader, const std::vector<std::string> &exprs,
                           const InspectLayout &layout);

// The driver's log of that source read against the expressions. True when
// the fault is in the expressions: `message` names each error's expression,
// its column and the driver's words. False when the shader's own lines fail
// (`message` then holds their part of the log) or nothing could be placed.
bool expression_errors(const std::string &log, const std::vector<std::string> &exprs, const char *option,
                       const char *readable, std::string &message);

// A value as GLSL writes it: 1.5, vec3(1, 0.5, -2), true, mat2(vec2(..), ..);
// floats to 9 significant digits (their exact bits), NaN and inf named.
std::string format_value(const ValueType &type, const uint32_t *words);

// The view's colour map (viridis), t from 0 to 1; its lightness rises.
void colour_map(double t, unsigned char rgb[3]);

struct ViewRange {
    bool given = false;
    double low = 0.0, high = 1.0;
};

// The view's picture (RGB rows, top row first) of one expression's records,
// and its line: "min ... max ...", with the values drawn in other colours
// counted (NaN, infinite, outside the range, not stored). False with `line`
// saying why when the values are of no type a picture shows.
bool view_picture(const std::vector<uint32_t> &words, const InspectLayout &layout, const ViewRange &range,
                  std::vector<unsigned char> &rgb, std::string &line);
