// The values --eval and --view read back: the types a record can hold and
// their words as GLSL writes them.
#pragma once
#include <cstdint>
#include <string>

enum class ScalarKind { float_kind, int_kind, uint_kind, bool_kind };

// A type whose value can be read back: `columns` columns (1 but for a
// matrix) of `rows` scalars (1 for a scalar).
struct ValueType {
    const char *name;
    ScalarKind kind;
    int columns;
    int rows;
};

// Tags 1 to value_type_count() name the types, in a fixed order; 0 is no value.
uint32_t value_type_count();
// The type that tag names; null for 0 or an unknown tag.
const ValueType *value_type(uint32_t tag);

// One stored word as a number (a bool as 0 or 1).
double scalar_value(ScalarKind kind, uint32_t word);
// A number as a value of that kind prints: 9 significant digits for a float
// (its exact bits), whole for the others; NaN, inf and -inf named.
std::string number_text(double value, ScalarKind kind);
// "" for float, else "i", "u" or "b": the prefix of the kind's vector types.
const char *vector_prefix(ScalarKind kind);
// items[0] alone for rows 1, else vecN(items...) with the prefix.
std::string vector_text(const char *prefix, int rows, const std::string *items);

// A value as GLSL writes it: 1.5, vec3(1, 0.5, -2), true, mat2(vec2(..), ..);
// a matrix column by column, as its words are stored.
std::string format_value(const ValueType &type, const uint32_t *words);
