// The source --eval and --view build: the shader with its main renamed, and
// a main that runs it, then evaluates each expression from the globals it
// left and stores the value with its exact bits. No GL here.
#pragma once
#include "core/crop_geometry.h"

#include <cstdint>
#include <string>
#include <vector>

// Where the values go: per fragment of `region` (GL rows), one record per
// expression of `stride` words, a tag (0: nothing stored, else 1 + the
// type's index) then the value's words, column by column.
struct InspectLayout {
    Rect region;
    int count = 1;
    int stride = 17; // room for a mat4
};

constexpr unsigned kInspectBinding = 7; // the storage buffer's binding point

// The shader's lines keep their numbers; the generated ones are numbered far
// past any shader's, so the driver's log says whose line failed: expression
// k's call, its text and its end are lines kExprLine + 3k, +1, +2.
constexpr long kWrapperLine = 900000000;
constexpr long kExprLine = 1000000000;
// The generated names all begin so; a shader must not use such names.
extern const char *const kGeneratedPrefix;

size_t inspect_words(const InspectLayout &layout);

// EXPR checked before it is pasted: one expression, whose brackets close,
// with no `;`, `{`, `}`, directive, backslash or generated name. Fine: true,
// and `pasted` the text to paste, its comments and line breaks blanked (the
// columns kept). Else false with `column` (1-based; 0 for its end, -1 for
// none) and `why`.
bool check_expression(const std::string &expr, std::string &pasted, int &column, std::string &why);

// `shader` with its main renamed, and a main that runs it, saves its plain
// globals, then for each of `pasted` (checked expressions) puts them back,
// evaluates it and stores its value into the buffer.
std::string inspect_source(const std::string &shader, const std::vector<std::string> &pasted,
                           const InspectLayout &layout);
