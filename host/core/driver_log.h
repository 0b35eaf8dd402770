// Places in a GLSL driver's compile log, and the log in the form compilers
// print, FILE:LINE:COL: error: TEXT, which editors' error lists read and jump to.
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

// The file a log is read against. The driver counts lines in the text it
// built; `line_of` says which of the file's lines a built line is (0: none
// of them), or without it each line is the file's own.
struct LogFile {
    std::string name;                 // as the user named it
    const std::string *text = nullptr; // the file's text, for the columns
    long (*line_of)(void *context, long built_line) = nullptr;
    void *context = nullptr;
};

// Each placed line of `log` as NAME:LINE:COL: error: TEXT (or warning:),
// the column counted in the file's own line; the lines it cannot place keep
// their text. Empty lines are dropped; no newline after the last.
std::string located_log(const std::string &log, const LogFile &file);
