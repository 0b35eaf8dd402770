#include "tools/inspect_log.h"

#include "core/driver_log.h"
#include "tools/inspect_source.h"

#include <sstream>

namespace {

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

// One error of expression k's lines; `part` 0 is the call, 1 its text, 2 its end.
std::string error_text(const std::string &expr, const std::string &pasted, int part, const LogPlace &place,
                       const char *option, const char *readable)
{
    if (part == 0) {
        // The call: no put function takes the expression's type.
        std::string call = std::string("`") + kGeneratedPrefix + "put(";
        size_t at = place.text.find(call);
        if (at == std::string::npos) return expression_message(option, expr, -1, place.text);
        at += call.size();
        std::string type = place.text.substr(at, place.text.find(")'", at) - at);
        return expression_message(option, expr, -1, "its type is " + type + "; " + option + " reads " + readable);
    }
    int column = part == 2 ? 0 : place.column ? source_column(pasted, place.column) : -1;
    return expression_message(option, expr, column, place.text);
}

} // namespace

std::string expression_message(const char *option, const std::string &expr, int column, const std::string &why)
{
    std::string where = column == 0 ? ", at its end" : column > 0 ? ", column " + std::to_string(column) : "";
    std::string text = std::string(option) + " '" + expr + "'" + where + ": " + why + "\n";
    if (column < 0) return text;
    size_t before = column == 0 ? expr.size() : (size_t)column - 1;
    std::string pad;
    for (size_t i = 0; i < before; ++i) pad += i < expr.size() && expr[i] == '\t' ? '\t' : ' ';
    return text + "    " + expr + "\n    " + pad + "^\n";
}

bool expression_errors(const std::string &log, const std::vector<std::string> &exprs,
                       const std::vector<std::string> &pasted, const char *option, const char *readable,
                       std::string &message)
{
    std::istringstream lines(log);
    std::string entry, shader_part, expr_part;
    std::vector<bool> reported(exprs.size(), false);
    bool shader_failed = false, placed = false;
    const long expr_end = kExprLine + 3 * (long)exprs.size();
    while (std::getline(lines, entry)) {
        LogPlace place;
        if (!parse_place(entry, place)) continue;
        placed = true;
        if (place.text.compare(0, 5, "error") != 0 && place.text.compare(0, 5, "ERROR") != 0) continue;
        // The shader's lines, or the generated ones: clashes with the shader's names.
        if (place.line < kExprLine || place.line >= expr_end) {
            shader_failed = true;
            shader_part += entry + "\n";
            continue;
        }
        size_t k = (size_t)((place.line - kExprLine) / 3);
        // The first error is the cause; those after it mostly follow from it.
        if (is_echo(place.text) || reported[k]) continue;
        reported[k] = true;
        expr_part += error_text(exprs[k], pasted[k], (int)((place.line - kExprLine) % 3), place, option, readable);
    }
    if (shader_failed || !placed || expr_part.empty()) {
        message = shader_failed ? shader_part : log;
        return false;
    }
    message = expr_part;
    return true;
}
