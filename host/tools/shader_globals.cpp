#include "tools/shader_globals.h"

#include <cctype>
#include <cstring>

namespace {

struct Token {
    std::string text;
    bool conditional = false; // under #if, #ifdef or #ifndef
};

bool word_char(char c)
{
    return std::isalnum((unsigned char)c) || c == '_' || c == '.';
}

// Past a comment or a preprocessor line starting at `at`; `at` itself when
// neither starts there. A directive's nesting goes into `depth`.
size_t skip_aside(const std::string &s, size_t at, bool line_start, int &depth)
{
    if (s.compare(at, 2, "//") == 0) {
        size_t end = s.find('\n', at);
        return end == std::string::npos ? s.size() : end;
    }
    if (s.compare(at, 2, "/*") == 0) {
        size_t end = s.find("*/", at + 2);
        return end == std::string::npos ? s.size() : end + 2;
    }
    if (!line_start || s[at] != '#') return at;
    size_t word = s.find_first_not_of(" \t", at + 1);
    std::string name = word == std::string::npos ? "" : s.substr(word, s.find_first_of(" \t\r\n(", word) - word);
    if (name == "if" || name == "ifdef" || name == "ifndef") ++depth;
    if (name == "endif" && depth > 0) --depth;
    size_t end = at;
    while ((end = s.find('\n', end)) != std::string::npos && end > 0 &&
           (s[end - 1] == '\\' || (s[end - 1] == '\r' && end > 1 && s[end - 2] == '\\')))
        ++end;
    return end == std::string::npos ? s.size() : end;
}

std::vector<Token> tokens(const std::string &s)
{
    std::vector<Token> out;
    int depth = 0;
    bool line_start = true;
    for (size_t at = 0; at < s.size();) {
        size_t past = skip_aside(s, at, line_start, depth);
        if (past != at) {
            at = past;
            continue;
        }
        char c = s[at];
        if (c == '\n') line_start = true;
        else if (c != ' ' && c != '\t' && c != '\r') line_start = false;
        if (std::isspace((unsigned char)c)) {
            ++at;
            continue;
        }
        size_t end = at + 1;
        if (word_char(c))
            while (end < s.size() && word_char(s[end])) ++end;
        out.push_back(Token{s.substr(at, end - at), depth > 0});
        at = end;
    }
    return out;
}

const char *const kNotPlain[] = {"const",    "uniform",   "in",     "out",        "inout",   "buffer",
                                 "shared",   "attribute", "varying", "layout",    "precision", "invariant",
                                 "subroutine", "struct",  "centroid", "flat",     "smooth",  "noperspective",
                                 "patch",    "sample",    "coherent", "volatile", "restrict", "readonly",
                                 "writeonly", "void"};

bool is_word(const std::string &t, const char *const *list, size_t n)
{
    for (size_t i = 0; i < n; ++i)
        if (t == list[i]) return true;
    return false;
}

// "[...]" groups from `at`, appended to `array`; false for an empty one.
bool read_array(const std::vector<Token> &st, size_t &at, std::string &array)
{
    while (at < st.size() && st[at].text == "[") {
        int depth = 0;
        size_t start = at;
        do {
            depth += st[at].text == "[" ? 1 : st[at].text == "]" ? -1 : 0;
            array += st[at].text;
        } while (++at < st.size() && depth > 0);
        if (at == start + 2) return false;
    }
    return true;
}

// One statement at module scope, its `;` left off.
void read_declaration(const std::vector<Token> &st, std::vector<ShaderGlobal> &out)
{
    size_t at = 0;
    for (const Token &t : st)
        if (t.conditional || is_word(t.text, kNotPlain, sizeof kNotPlain / sizeof kNotPlain[0])) return;
    while (at < st.size() && (st[at].text == "highp" || st[at].text == "mediump" || st[at].text == "lowp" ||
                              st[at].text == "precise"))
        ++at;
    if (at >= st.size() || !word_char(st[at].text[0])) return;
    std::string type = st[at++].text;
    if (!read_array(st, at, type)) return;
    while (at < st.size()) {
        ShaderGlobal g{type, st[at++].text, ""};
        if (!word_char(g.name[0]) || !read_array(st, at, g.array)) return;
        if (at < st.size() && st[at].text == "(") return; // a function's prototype
        int depth = 0;
        for (; at < st.size() && (depth > 0 || st[at].text != ","); ++at)
            depth += std::strchr("([", st[at].text[0]) ? 1 : std::strchr(")]", st[at].text[0]) ? -1 : 0;
        out.push_back(g);
        if (at < st.size()) ++at; // the comma
    }
}

} // namespace

std::vector<ShaderGlobal> shader_globals(const std::string &shader)
{
    std::vector<Token> all = tokens(shader);
    std::vector<ShaderGlobal> out;
    std::vector<Token> statement;
    bool tainted = false; // a struct or block declared in place
    for (size_t i = 0; i < all.size(); ++i) {
        const std::string &t = all[i].text;
        if (t == "{") {
            bool function = false;
            for (const Token &s : statement) function |= s.text == "(";
            for (int depth = 0; i < all.size(); ++i) {
                depth += all[i].text == "{" ? 1 : all[i].text == "}" ? -1 : 0;
                if (depth == 0) break;
            }
            if (function) statement.clear();
            else tainted = true;
            continue;
        }
        if (t != ";") {
            statement.push_back(all[i]);
            continue;
        }
        if (!tainted) read_declaration(statement, out);
        statement.clear();
        tainted = false;
    }
    return out;
}

std::string first_name_with_prefix(const std::string &text, const std::string &prefix)
{
    for (const Token &t : tokens(text))
        if (t.text.compare(0, prefix.size(), prefix) == 0) return t.text;
    return "";
}
