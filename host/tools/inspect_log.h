// The driver's log of the inspect source read against the expressions.
#pragma once
#include <string>
#include <vector>

// "OPTION 'EXPR', column N: WHY" (", at its end" for column 0, no place for
// -1), and under it the expression with a caret at the column (past its
// end for 0); the caret's padding keeps the expression's tabs, so that it
// lines up wherever the tabs stop.
std::string expression_message(const char *option, const std::string &expr, int column, const std::string &why);

// True when the fault is in the expressions: `message` names each error's
// expression, its column and the driver's words; `exprs` as given, `pasted`
// as they went into the source. False when the shader's own lines fail
// (`message` then holds their part of the log) or nothing could be placed.
bool expression_errors(const std::string &log, const std::vector<std::string> &exprs,
                       const std::vector<std::string> &pasted, const char *option, const char *readable,
                       std::string &message);
