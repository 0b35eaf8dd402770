// Coloured block-art banner printed when the debug console opens.
#pragma once
#include <string>

constexpr int kBannerRows = 5;
extern const char *const banner_rows[kBannerRows];

constexpr char kAnsiCyan[] = "\033[36m";
constexpr char kAnsiWhite[] = "\033[37m";
constexpr char kAnsiRed[] = "\033[31m";
constexpr char kAnsiGrey[] = "\033[90m";
constexpr char kAnsiReset[] = "\033[0m";

// Replaces every occurrence left to right, resuming behind each insertion so
// a replacement that contains the pattern is not matched again. An empty
// pattern changes nothing.
void replace_all(std::string &text, std::string pattern, std::string replacement);
// The rows joined with a reset code after each (newlines between them, none
// after the last), coloured by glyph patterns.
std::string colour_banner(const char *const rows[kBannerRows]);
// The coloured art and the version tag on its last line, on stdout.
void print_banner();
