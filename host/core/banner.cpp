#include "core/banner.h"

#include <cstdio>

const char *const banner_rows[kBannerRows] = {
    "░▒▓█ ████   ██   ██   ██████   ██████     █████  █▓▒░",
    "░▒▓█  ██    ███  ██     ██     ██   ██   ██   ██ █▓▒░",
    "░▒▓█  ██    ██ █ ██     ██     ██████    ██   ██ █▓▒░",
    "░▒▓█  ██    ██  ███     ██     ██  ██    ██   ██ █▓▒░",
    "░▒▓█ ████   ██   ██     ██     ██   ██    █████  █▓▒░",
};

void replace_all(std::string &text, std::string pattern, std::string replacement)
{
    if (pattern.empty()) return;   // would match at every position for ever
    size_t pos = 0;
    while ((pos = text.find(pattern, pos)) != std::string::npos) {
        text.replace(pos, pattern.size(), replacement);
        pos += replacement.size();
    }
}

std::string colour_banner(const char *const rows[kBannerRows])
{
    std::string text;
    for (int i = 0; i < kBannerRows; ++i) {
        if (i > 0) text += "\n";
        text += rows[i];
        text += kAnsiReset;
    }
    // Order matters: codes inserted by one pass split the runs later passes see.
    static const char *const passes[][2] = {
        {kAnsiCyan, "░▒"},
        {kAnsiWhite, "▓█"},
        {kAnsiRed, "▓▒"},
        {kAnsiGrey, "░░░"},
    };
    for (const auto &p : passes) replace_all(text, p[1], std::string(p[0]) + p[1]);
    return text;
}

void print_banner()
{
    fputs(colour_banner(banner_rows).c_str(), stdout);
    printf("   %s Qelt v. 20250215 %s \n", kAnsiCyan, kAnsiReset);
}
