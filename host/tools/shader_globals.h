// The module-scope variables of a shader's text, read without a compiler:
// enough to save what the shader's main left in them and put it back.
#pragma once
#include <string>
#include <vector>

// Declared as `type name array;`, e.g. "float", "weights", "[4]".
struct ShaderGlobal {
    std::string type, name, array;
};

// The plain variables declared at module scope: no const, uniform, in, out,
// buffer or shared, not under #if, not of an unsized array or a struct
// declared in place. Those declared through a macro are not seen.
std::vector<ShaderGlobal> shader_globals(const std::string &shader);

// The first identifier of the text (outside comments) that begins with
// `prefix`; "" when none does.
std::string first_name_with_prefix(const std::string &text, const std::string &prefix);
