#include "tools/inspect_text.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <sstream>

namespace {

const ValueType value_types[] = {
    {"float", ScalarKind::float_kind, 1, 1}, {"vec2", ScalarKind::float_kind, 1, 2},
    {"vec3", ScalarKind::float_kind, 1, 3},  {"vec4", ScalarKind::float_kind, 1, 4},
    {"int", ScalarKind::int_kind, 1, 1},     {"ivec2", ScalarKind::int_kind, 1, 2},
    {"ivec3", ScalarKind::int_kind, 1, 3},   {"ivec4", ScalarKind::int_kind, 1, 4},
    {"uint", ScalarKind::uint_kind, 1, 1},   {"uvec2", ScalarKind::uint_kind, 1, 2},
    {"uvec3", ScalarKind::uint_kind, 1, 3},  {"uvec4", ScalarKind::uint_kind, 1, 4},
    {"bool", ScalarKind::bool_kind, 1, 1},   {"bvec2", ScalarKind::bool_kind, 1, 2},
    {"bvec3", ScalarKind::bool_kind, 1, 3},  {"bvec4", ScalarKind::bool_kind, 1, 4},
    {"mat2", ScalarKind::float_kind, 2, 2},  {"mat3", ScalarKind::float_kind, 3, 3},
    {"mat4", ScalarKind::float_kind, 4, 4},  {"mat2x3", ScalarKind::float_kind, 2, 3},
    {"mat2x4", ScalarKind::float_kind, 2, 4}, {"mat3x2", ScalarKind::float_kind, 3, 2},
    {"mat3x4", ScalarKind::float_kind, 3, 4}, {"mat4x2", ScalarKind::float_kind, 4, 2},
    {"mat4x3", ScalarKind::float_kind, 4, 3},
};
constexpr uint32_t type_count = sizeof value_types / sizeof value_types[0];

// The shader's lines keep their numbers; the generated ones are numbered far
// past any shader's, so the driver's log says whose line failed: expression
// k's store call, its text and its end are lines kExprLine + 3k, +1, +2.
constexpr long kWrapperLine = 900000000;
constexpr long kExprLine = 1000000000;

const char *const kStore = "intro_inspect_store";

std::string store_function(const ValueType &t, uint32_t tag)
{
    const char *bits = t.kind == ScalarKind::float_kind ? "floatBitsToUint" : "uint";
    std::ostringstream s;
    s << "void " << kStore << "(" << t.name << " v)\n{\n";
    int word = 0;
    for (int c = 0; c < t.columns; ++c)
        for (int r = 0; r < t.rows; ++r) {
            std::string element = "v";
            if (t.columns > 1) element += "[" + std::to_string(c) + "]";
            if (t.rows > 1) element += "[" + std::to_string(r) + "]";
            s << "    intro_inspect_bits[intro_inspect_at + " << ++word << "u] = " << bits << "(" << element
              << ");\n";
        }
    s << "    intro_inspect_bits[intro_inspect_at] = " << tag << "u;\n}\n";
    return s.str();
}

struct LogPlace {
    long line = 0;
    int column = 0; // 0: none given
    std::string text;
};

// One line of the log with its place: Mesa's "0:12(5): error: ...", or
// "0(12) : error ..." and "ERROR: 0:12: ..." of other drivers.
bool parse_place(const std::string &entry, LogPlace &place)
{
    int source = 0, column = 0, used = 0;
    long line = 0;
    const char *s = entry.c_str();
    bool mesa = std::sscanf(s, "%d:%ld(%d): %n", &source, &line, &column, &used) == 3 && used > 0;
    if (!mesa) {
        column = 0;
        used = 0;
        if (std::sscanf(s, "%d(%ld) : %n", &source, &line, &used) != 2 || !used) {
            used = 0;
            if (std::sscanf(s, "ERROR: %d:%ld: %n", &source, &line, &used) != 2 || !used) return false;
            place.text = "error: ";
        }
    }
    place.line = line;
    place.column = column;
    place.text += s + used;
    return true;
}

// Errors that only follow from an earlier one (a call with an argument of
// no type), and the list of candidates under a failed call.
bool is_echo(const std::string &text)
{
    if (text.compare(0, 9, "error:   ") == 0) return true;
    size_t open = text.find('`'), close = text.find('\'', open);
    if (open == std::string::npos || close == std::string::npos) return false;
    std::string call = text.substr(open, close - open);
    return call.find("(error") != std::string::npos || call.find(", error") != std::string::npos;
}

// Mesa counts columns in the preprocessed text, where each run of blanks is
// one: the expression's own column for such a column.
int source_column(const std::string &expr, int column)
{
    int counted = 0;
    for (size_t i = 0; i < expr.size(); ++i) {
        bool blank = expr[i] == ' ' || expr[i] == '\t';
        if (blank && i > 0 && (expr[i - 1] == ' ' || expr[i - 1] == '\t')) continue;
        if (++counted == column) return (int)i + 1;
    }
    return (int)expr.size() + 1;
}

std::string number(double value, ScalarKind kind)
{
    if (std::isnan(value)) return "NaN";
    if (std::isinf(value)) return value > 0 ? "inf" : "-inf";
    char text[40];
    std::snprintf(text, sizeof text, kind == ScalarKind::float_kind ? "%.9g" : "%.0f", value);
    return text;
}

std::string scalar_text(ScalarKind kind, uint32_t word)
{
    switch (kind) {
    case ScalarKind::float_kind: {
        float f;
        std::memcpy(&f, &word, sizeof f);
        return number(f, kind);
    }
    case ScalarKind::int_kind: return std::to_string((int32_t)word);
    case ScalarKind::uint_kind: return std::to_string(word);
    case ScalarKind::bool_kind: return word ? "true" : "false";
    }
    return "";
}

double scalar_value(ScalarKind kind, uint32_t word)
{
    switch (kind) {
    case ScalarKind::float_kind: {
        float f;
        std::memcpy(&f, &word, sizeof f);
        return f;
    }
    case ScalarKind::int_kind: return (int32_t)word;
    case ScalarKind::uint_kind: return word;
    case ScalarKind::bool_kind: return word ? 1.0 : 0.0;
    }
    return 0.0;
}

std::string vector_text(const char *prefix, int rows, const std::vector<std::string> &items)
{
    if (rows == 1) return items[0];
    std::string text = std::string(prefix) + "vec" + std::to_string(rows) + "(";
    for (size_t i = 0; i < items.size(); ++i) text += (i ? ", " : "") + items[i];
    return text + ")";
}

const char *vector_prefix(ScalarKind kind)
{
    switch (kind) {
    case ScalarKind::float_kind: return "";
    case ScalarKind::int_kind: return "i";
    case ScalarKind::uint_kind: return "u";
    case ScalarKind::bool_kind: return "b";
    }
    return "";
}

void put_colour(unsigned char *out, unsigned char r, unsigned char g, unsigned char b)
{
    out[0] = r;
    out[1] = g;
    out[2] = b;
}

unsigned char channel(double t)
{
    return (unsigned char)std::lround(255.0 * std::fmin(std::fmax(t, 0.0), 1.0));
}

std::string count_text(long count, const std::string &what)
{
    return count ? ", " + std::to_string(count) + " " + what : "";
}

} // namespace

const ValueType *value_type(uint32_t tag)
{
    return tag >= 1 && tag <= type_count ? &value_types[tag - 1] : nullptr;
}

size_t inspect_words(const InspectLayout &layout)
{
    return (size_t)layout.region.w * layout.region.h * layout.count * layout.stride;
}

std::string inspect_source(const std::string &shader, const std::vector<std::string> &exprs,
                           const InspectLayout &layout)
{
    // The rename goes right under #version, which must come first.
    size_t insert = 0;
    long next_line = 1;
    for (size_t at = 0; at < shader.size(); ++next_line) {
        size_t end = shader.find('\n', at);
        size_t text = shader.find_first_not_of(" \t", at);
        if (text != std::string::npos && shader.compare(text, 8, "#version") == 0) {
            insert = end == std::string::npos ? shader.size() : end + 1;
            ++next_line;
            break;
        }
        if (end == std::string::npos) break;
        at = end + 1;
    }
    if (!insert) next_line = 1;
    std::ostringstream s;
    s << shader.substr(0, insert) << (insert && shader[insert - 1] != '\n' ? "\n" : "")
      << "#define main intro_inspect_main\n#line " << next_line << "\n"
      << shader.substr(insert) << "\n#undef main\n#line " << kWrapperLine << "\n"
      << "layout(std430, binding = " << kInspectBinding << ") buffer intro_inspect_buffer\n{\n"
      << "    uint intro_inspect_bits[];\n};\nuint intro_inspect_at;\n";
    for (uint32_t i = 0; i < type_count; ++i)
        if (value_types[i].columns * value_types[i].rows < layout.stride) s << store_function(value_types[i], i + 1);
    const Rect &r = layout.region;
    s << "void main()\n{\n    intro_inspect_main();\n"
      << "    uint intro_inspect_record = ((uint(gl_FragCoord.y) - " << r.y << "u) * " << r.w
      << "u + uint(gl_FragCoord.x) - " << r.x << "u) * " << layout.count << "u;\n";
    for (size_t k = 0; k < exprs.size(); ++k)
        s << "#line " << kExprLine + 3 * (long)k << "\n    intro_inspect_at = (intro_inspect_record + " << k
          << "u) * " << layout.stride << "u; " << kStore << "((\n"
          << exprs[k] << "\n));\n";
    s << "}\n";
    return s.str();
}

bool expression_errors(const std::string &log, const std::vector<std::string> &exprs, const char *option,
                       const char *readable, std::string &message)
{
    std::istringstream lines(log);
    std::string entry, shader_part, expr_part;
    std::vector<bool> reported(exprs.size(), false);
    bool shader_failed = false, placed = false;
    while (std::getline(lines, entry)) {
        LogPlace place;
        if (!parse_place(entry, place)) continue;
        placed = true;
        if (place.text.compare(0, 5, "error") != 0 && place.text.compare(0, 5, "ERROR") != 0) continue;
        if (place.line < kWrapperLine) {
            shader_failed = true;
            shader_part += entry + "\n";
            continue;
        }
        if (place.line < kExprLine || place.line >= kExprLine + 3 * (long)exprs.size()) {
            shader_failed = true; // the generated lines: clashes with the shader's names
            shader_part += entry + "\n";
            continue;
        }
        size_t k = (size_t)((place.line - kExprLine) / 3);
        int part = (int)((place.line - kExprLine) % 3);
        // The first error is the cause; those after it mostly follow from it.
        if (is_echo(place.text) || reported[k]) continue;
        const std::string &expr = exprs[k];
        std::string head = std::string(option) + " '" + expr + "'";
        if (part == 0) {
            // The store call: no store function takes the expression's type.
            std::string call = std::string("`") + kStore + "(";
            size_t at = place.text.find(call);
            reported[k] = true;
            if (at == std::string::npos) {
                expr_part += head + ": " + place.text + "\n";
                continue;
            }
            at += call.size();
            std::string type = place.text.substr(at, place.text.find(")'", at) - at);
            expr_part += head + ": its type is " + type + "; " + option + " reads " + readable + "\n";
            continue;
        }
        reported[k] = true;
        int column = part == 2 ? (int)expr.size() + 1 : place.column ? source_column(expr, place.column) : 0;
        std::string where = part == 2 ? "at its end" : column ? "column " + std::to_string(column) : "";
        expr_part += head + (where.empty() ? "" : ", " + where) + ": " + place.text + "\n";
        if (column) expr_part += "    " + expr + "\n    " + std::string((size_t)column - 1, ' ') + "^\n";
    }
    if (shader_failed || !placed || expr_part.empty()) {
        message = shader_failed ? shader_part : log;
        return false;
    }
    message = expr_part;
    return true;
}

std::string format_value(const ValueType &type, const uint32_t *words)
{
    std::vector<std::string> columns;
    for (int c = 0; c < type.columns; ++c) {
        std::vector<std::string> items;
        for (int r = 0; r < type.rows; ++r) items.push_back(scalar_text(type.kind, words[c * type.rows + r]));
        columns.push_back(vector_text(vector_prefix(type.kind), type.rows, items));
    }
    if (type.columns == 1) return columns[0];
    std::string text = std::string(type.name) + "(";
    for (size_t i = 0; i < columns.size(); ++i) text += (i ? ", " : "") + columns[i];
    return text + ")";
}

void colour_map(double t, unsigned char rgb[3])
{
    // Viridis at nine even steps, between them linear.
    static const unsigned char stops[9][3] = {{68, 1, 84},    {71, 45, 123},  {59, 82, 139},
                                              {44, 114, 142}, {33, 144, 140}, {39, 173, 129},
                                              {93, 200, 99},  {170, 220, 50}, {253, 231, 37}};
    double at = std::fmin(std::fmax(t, 0.0), 1.0) * 8.0;
    int i = std::min((int)at, 7);
    double f = at - i;
    for (int c = 0; c < 3; ++c) rgb[c] = (unsigned char)std::lround(stops[i][c] + f * (stops[i + 1][c] - stops[i][c]));
}

bool view_picture(const std::vector<uint32_t> &words, const InspectLayout &layout, const ViewRange &range,
                  std::vector<unsigned char> &rgb, std::string &line)
{
    const int w = layout.region.w, h = layout.region.h, stride = layout.stride;
    const ValueType *type = nullptr;
    for (size_t at = 0; !type && at < words.size(); at += stride) type = value_type(words[at]);
    if (!type) {
        line = "no fragment stored a value: the shader discarded them all";
        return false;
    }
    if (type->columns > 1) {
        line = std::string("its type is ") + type->name + "; --view draws a scalar or a vector";
        return false;
    }
    const int n = type->rows;
    std::vector<double> low(n, INFINITY), high(n, -INFINITY);
    for (size_t at = 0; at < words.size(); at += stride)
        for (int c = 0; words[at] && c < n; ++c) {
            double v = scalar_value(type->kind, words[at + 1 + c]);
            if (std::isfinite(v)) {
                low[c] = std::fmin(low[c], v);
                high[c] = std::fmax(high[c], v);
            }
        }
    double lo = range.given ? range.low : low[0], hi = range.given ? range.high : high[0];
    long nan = 0, infinite = 0, below = 0, above = 0, outside = 0, missing = 0;
    rgb.assign((size_t)w * h * 3, 0);
    for (int row = 0; row < h; ++row)
        for (int col = 0; col < w; ++col) {
            const uint32_t *record = &words[((size_t)(h - 1 - row) * w + col) * stride];
            unsigned char *out = &rgb[((size_t)row * w + col) * 3];
            if (!record[0]) {
                ++missing;
                put_colour(out, 255, 0, 255);
                continue;
            }
            double v[4] = {0.0, 0.0, 0.0, 0.0};
            bool has_nan = false, has_inf = false, out_of_range = false;
            for (int c = 0; c < n; ++c) {
                v[c] = scalar_value(type->kind, record[1 + c]);
                has_nan |= std::isnan(v[c]);
                has_inf |= std::isinf(v[c]);
                out_of_range |= range.given && (v[c] < lo || v[c] > hi);
            }
            if (has_nan || (has_inf && n > 1)) {
                // Magenta: the colour no value gets.
                ++(has_nan ? nan : infinite);
                put_colour(out, 255, 0, 255);
            } else if (n == 1) {
                // Scalars: black below the range, white above, both kept out of the map.
                bool low_side = v[0] < lo, high_side = v[0] > hi;
                if (has_inf) ++infinite;
                else if (low_side) ++below;
                else if (high_side) ++above;
                if (low_side || high_side) put_colour(out, high_side ? 255 : 0, high_side ? 255 : 0, high_side ? 255 : 0);
                else colour_map(hi > lo ? (v[0] - lo) / (hi - lo) : 0.5, out);
            } else if (out_of_range) {
                ++outside;
                put_colour(out, 255, 0, 255);
            } else {
                // A vec2 is red and green; a vec4's alpha is left out.
                for (int c = 0; c < 3; ++c)
                    out[c] = c < n ? channel(range.given ? (v[c] - lo) / (hi - lo) : v[c]) : 0;
            }
        }
    std::vector<std::string> mins, maxes;
    for (int c = 0; c < n; ++c) {
        mins.push_back(number(low[c], type->kind));
        maxes.push_back(number(high[c], type->kind));
    }
    const char *prefix = vector_prefix(type->kind);
    line = low[0] <= high[0] ? "min " + vector_text(prefix, n, mins) + " max " + vector_text(prefix, n, maxes)
                             : std::string("no finite value");
    std::string bounds = range.given ? number(lo, ScalarKind::float_kind) + ".." + number(hi, ScalarKind::float_kind) : "";
    line += count_text(nan, "NaN") + count_text(infinite, "infinite") + count_text(below, "below " + bounds) +
            count_text(above, "above " + bounds) + count_text(outside, "outside " + bounds) +
            count_text(missing, "discarded");
    return true;
}
