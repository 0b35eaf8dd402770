#include "tools/inspect_source.h"

#include "tools/inspect_values.h"
#include "tools/shader_globals.h"

#include <cstring>
#include <sstream>

const char *const kGeneratedPrefix = "intro_inspect_";

namespace {

// A function per type, putting its tag and words into intro_inspect_w.
std::string put_function(const ValueType &t, uint32_t tag)
{
    const char *bits = t.kind == ScalarKind::float_kind ? "floatBitsToUint" : "uint";
    std::ostringstream s;
    s << "void intro_inspect_put(" << t.name << " v)\n{\n    intro_inspect_w[0] = " << tag << "u;\n";
    int word = 0;
    for (int c = 0; c < t.columns; ++c)
        for (int r = 0; r < t.rows; ++r) {
            std::string element = "v";
            if (t.columns > 1) element += "[" + std::to_string(c) + "]";
            if (t.rows > 1) element += "[" + std::to_string(r) + "]";
            s << "    intro_inspect_w[" << ++word << "] = " << bits << "(" << element << ");\n";
        }
    s << "}\n";
    return s.str();
}

// The shader with `#define main` under its #version, which must come first.
void renamed_shader(std::ostream &s, const std::string &shader)
{
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
    s << shader.substr(0, insert) << (insert && shader[insert - 1] != '\n' ? "\n" : "")
      << "#define main intro_inspect_main\n#line " << next_line << "\n"
      << shader.substr(insert) << "\n#undef main\n";
}

// The buffer, the record's words, the globals' copies and the functions
// that fill and write them.
void generated_declarations(std::ostream &s, const std::vector<ShaderGlobal> &globals, const InspectLayout &layout)
{
    s << "#line " << kWrapperLine << "\n"
      << "layout(std430, binding = " << kInspectBinding << ") buffer intro_inspect_buffer\n{\n"
      << "    uint intro_inspect_bits[];\n};\nuint intro_inspect_w[" << layout.stride << "];\n";
    for (const ShaderGlobal &g : globals)
        s << g.type << " intro_inspect_saved_" << g.name << g.array << ";\n";
    s << "void intro_inspect_save()\n{\n";
    for (const ShaderGlobal &g : globals) s << "    intro_inspect_saved_" << g.name << " = " << g.name << ";\n";
    s << "}\nvoid intro_inspect_restore()\n{\n";
    for (const ShaderGlobal &g : globals) s << "    " << g.name << " = intro_inspect_saved_" << g.name << ";\n";
    s << "}\nvoid intro_inspect_write(uint at)\n{\n    for (uint i = 0u; i < " << layout.stride
      << "u; ++i)\n        intro_inspect_bits[at + i] = intro_inspect_w[i];\n}\n";
    for (uint32_t tag = 1; tag <= value_type_count(); ++tag) {
        const ValueType &t = *value_type(tag);
        if (t.columns * t.rows < layout.stride) s << put_function(t, tag);
    }
}

// False, with `why`, for a bracket at i that closes none or another kind.
bool bracket_fits(std::vector<size_t> &open, const std::string &expr, size_t i, std::string &why)
{
    char c = expr[i];
    if (c == '(' || c == '[') open.push_back(i);
    if (c != ')' && c != ']') return true;
    if (open.empty()) {
        why = std::string("`") + c + "' closes no bracket";
        return false;
    }
    size_t at = open.back();
    open.pop_back();
    if ((expr[at] == '(') == (c == ')')) return true;
    why = std::string("`") + c + "' closes the `" + expr[at] + "' of column " + std::to_string(at + 1);
    return false;
}

// The expressions from `first` to `end` as a tree of tests of the loop's
// index, so that no test is nested deeper than the log of their count.
void choose_expression(std::ostream &s, const std::vector<std::string> &pasted, size_t first, size_t end)
{
    if (end - first == 1) {
        s << "#line " << kExprLine + 3 * (long)first << "\n        intro_inspect_put((\n" << pasted[first] << "\n));\n";
        return;
    }
    size_t middle = first + (end - first) / 2;
    s << "        if (intro_inspect_k < " << middle << "u) {\n";
    choose_expression(s, pasted, first, middle);
    s << "        } else {\n";
    choose_expression(s, pasted, middle, end);
    s << "        }\n";
}

} // namespace

size_t inspect_words(const InspectLayout &layout)
{
    return (size_t)layout.region.w * layout.region.h * layout.count * layout.stride;
}

bool check_expression(const std::string &expr, std::string &pasted, int &column, std::string &why)
{
    pasted = expr;
    std::vector<size_t> open;
    size_t i = 0;
    auto fault = [&](const std::string &text) {
        column = (int)i + 1;
        why = text;
        return false;
    };
    for (; i < expr.size(); ++i) {
        char c = expr[i];
        if (expr.compare(i, 2, "//") == 0 || expr.compare(i, 2, "/*") == 0) {
            bool line = expr[i + 1] == '/';
            size_t end = expr.find(line ? "\n" : "*/", i + 2);
            if (end == std::string::npos && !line) return fault("the comment is not closed");
            end = end == std::string::npos ? expr.size() : end + (line ? 0 : 2);
            for (size_t j = i; j < end; ++j) pasted[j] = ' ';
            i = end - 1;
            continue;
        }
        // GLSL has no use for a backslash but to continue a line.
        if (c == '\\') return fault("a backslash (a line continuation) has no place in an expression");
        if (c == '#') return fault("`#': a preprocessor directive is no expression");
        if (c == ';' || c == '{' || c == '}')
            return fault(std::string("`") + c + "' has no place in an expression: it takes one expression");
        if (!bracket_fits(open, expr, i, why)) return fault(why);
        if (c == '\n' || c == '\r') pasted[i] = ' ';
    }
    if (!open.empty()) {
        column = 0;
        why = std::string("the `") + expr[open.back()] + "' of column " + std::to_string(open.back() + 1) +
              " is not closed";
        return false;
    }
    std::string name = first_name_with_prefix(expr, kGeneratedPrefix);
    if (!name.empty()) {
        i = expr.find(name);
        return fault("`" + name + "' is a name of the generated code");
    }
    if (pasted.find_first_not_of(" \t") == std::string::npos) {
        column = -1;
        why = "there is no expression";
        return false;
    }
    return true;
}

std::string inspect_source(const std::string &shader, const std::vector<std::string> &pasted,
                           const InspectLayout &layout)
{
    std::ostringstream s;
    renamed_shader(s, shader);
    generated_declarations(s, shader_globals(shader), layout);
    const Rect &r = layout.region;
    // One loop over the expressions, so that the driver compiles one copy of
    // the stores however many there are; the expression chosen by halving.
    s << "void main()\n{\n    intro_inspect_main();\n    intro_inspect_save();\n"
      << "    uint intro_inspect_record = ((uint(gl_FragCoord.y) - " << r.y << "u) * " << r.w
      << "u + uint(gl_FragCoord.x) - " << r.x << "u) * " << layout.count << "u;\n"
      << "    for (uint intro_inspect_k = 0u; intro_inspect_k < " << pasted.size()
      << "u; ++intro_inspect_k) {\n        intro_inspect_restore();\n";
    choose_expression(s, pasted, 0, pasted.size());
    s << "        intro_inspect_write((intro_inspect_record + intro_inspect_k) * " << layout.stride
      << "u);\n    }\n}\n";
    return s.str();
}
