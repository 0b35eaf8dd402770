#include "tools/inspect_values.h"

#include <cmath>
#include <cstdio>
#include <cstring>

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

float as_float(uint32_t word)
{
    float f;
    std::memcpy(&f, &word, sizeof f);
    return f;
}

std::string scalar_text(ScalarKind kind, uint32_t word)
{
    switch (kind) {
    case ScalarKind::float_kind: return number_text(as_float(word), kind);
    case ScalarKind::int_kind: return std::to_string((int32_t)word);
    case ScalarKind::uint_kind: return std::to_string(word);
    case ScalarKind::bool_kind: return word ? "true" : "false";
    }
    return "";
}

} // namespace

uint32_t value_type_count()
{
    return type_count;
}

const ValueType *value_type(uint32_t tag)
{
    return tag >= 1 && tag <= type_count ? &value_types[tag - 1] : nullptr;
}

double scalar_value(ScalarKind kind, uint32_t word)
{
    switch (kind) {
    case ScalarKind::float_kind: return as_float(word);
    case ScalarKind::int_kind: return (int32_t)word;
    case ScalarKind::uint_kind: return word;
    case ScalarKind::bool_kind: return word ? 1.0 : 0.0;
    }
    return 0.0;
}

std::string number_text(double value, ScalarKind kind)
{
    if (std::isnan(value)) return "NaN";
    if (std::isinf(value)) return value > 0 ? "inf" : "-inf";
    char text[40];
    std::snprintf(text, sizeof text, kind == ScalarKind::float_kind ? "%.9g" : "%.0f", value);
    return text;
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

std::string vector_text(const char *prefix, int rows, const std::string *items)
{
    if (rows == 1) return items[0];
    std::string text = std::string(prefix) + "vec" + std::to_string(rows) + "(";
    for (int i = 0; i < rows; ++i) text += (i ? ", " : "") + items[i];
    return text + ")";
}

std::string format_value(const ValueType &type, const uint32_t *words)
{
    std::string items[4], text;
    for (int c = 0; c < type.columns; ++c) {
        for (int r = 0; r < type.rows; ++r) items[r] = scalar_text(type.kind, words[c * type.rows + r]);
        text += (c ? ", " : "") + vector_text(vector_prefix(type.kind), type.rows, items);
    }
    return type.columns == 1 ? text : std::string(type.name) + "(" + text + ")";
}
