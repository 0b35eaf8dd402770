// Places in a GLSL driver's compile log.
#pragma once
#include <string>

struct LogPlace {
    int source = 0;   // the source string's number (0 for a single string)
    long line = 0;    // as the driver counts them, after any #line
    int column = 0;   // 1-based; 0 where the driver gives none
    std::string text; // the rest of the line: "error: ...", "warning: ..."
};

// Reads one line of a log: Mesa's "0:12(5): error: ...", or "0(12) : error
// ..." and "ERROR: 0:12: ..." of other drivers (the last one's text is given
// as "error: ..."). False, with `place` unspecified, for a line in none of
// these forms.
bool parse_place(const std::string &entry, LogPlace &place);
