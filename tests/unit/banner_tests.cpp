// Banner colouring and the pattern replacement it is built on.
#include "core/banner.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::vector<std::string> split_lines(const std::string &text)
{
    std::vector<std::string> lines;
    size_t start = 0, nl;
    while ((nl = text.find('\n', start)) != std::string::npos) {
        lines.push_back(text.substr(start, nl - start));
        start = nl + 1;
    }
    lines.push_back(text.substr(start));
    return lines;
}

int count(const std::string &text, const std::string &what)
{
    int n = 0;
    for (size_t p = text.find(what); p != std::string::npos; p = text.find(what, p + what.size())) ++n;
    return n;
}

// Code points of a UTF-8 row.
std::vector<std::string> glyphs(const std::string &row)
{
    std::vector<std::string> out;
    for (size_t i = 0; i < row.size();) {
        size_t len = (row[i] & 0x80) == 0 ? 1 : (row[i] & 0xE0) == 0xC0 ? 2 : (row[i] & 0xF0) == 0xE0 ? 3 : 4;
        out.push_back(row.substr(i, len));
        i += len;
    }
    return out;
}

TEST(ReplaceAll, LeftToRightWithoutFindingItsOwnInsertions)
{
    std::string text = "abab";
    replace_all(text, "ab", "xab");
    EXPECT_EQ(text, "xabxab");
    text = "aaaa";
    replace_all(text, "aa", "b");
    EXPECT_EQ(text, "bb");
    text = "aaa";
    replace_all(text, "a", "aa");
    EXPECT_EQ(text, "aaaaaa");
    text = "nothing here";
    replace_all(text, "zz", "y");
    EXPECT_EQ(text, "nothing here");
}

TEST(ReplaceAll, EmptyPatternChangesNothing)
{
    std::string text = "abc";
    replace_all(text, "", "x");
    EXPECT_EQ(text, "abc");
    text = "";
    replace_all(text, "", "");
    EXPECT_EQ(text, "");
}

TEST(Banner, ColourPassesSplitRunsInOrder)
{
    const char *const rows[kBannerRows] = {
        "░░░░ █",     // four light shades: one grey code before the first three
        "░░░░░░ █",   // six, no medium shade after: two grey codes
        "░▒▓█",       // cyan from the first glyph, then white
        "█░░░▒",      // cyan splits the run: no grey
        "█▓▒░",       // red
    };
    std::vector<std::string> lines = split_lines(colour_banner(rows));
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(lines[0], std::string(kAnsiGrey) + "░░░░ █" + kAnsiReset);
    EXPECT_EQ(count(lines[1], kAnsiGrey), 2);
    EXPECT_EQ(lines[1], std::string(kAnsiGrey) + "░░░" + kAnsiGrey + "░░░ █" + kAnsiReset);
    EXPECT_EQ(lines[2], std::string(kAnsiCyan) + "░▒" + kAnsiWhite + "▓█" + kAnsiReset);
    EXPECT_EQ(lines[3], std::string("█░░") + kAnsiCyan + "░▒" + kAnsiReset);
    EXPECT_EQ(lines[4], std::string("█") + kAnsiRed + "▓▒░" + kAnsiReset);
}

TEST(Banner, PrintedArtRowsEndsAndVersionTag)
{
    for (int r = 0; r < kBannerRows; ++r) {
        std::vector<std::string> g = glyphs(banner_rows[r]);
        EXPECT_GE(g.size(), 49u) << "row " << r + 1;
        EXPECT_LE(g.size(), 53u) << "row " << r + 1;
        for (const std::string &c : g)
            EXPECT_TRUE(c == " " || c == "░" || c == "▒" || c == "▓" || c == "█")
                << "row " << r + 1 << " has " << c;
    }

    testing::internal::CaptureStdout();
    print_banner();
    std::string out = testing::internal::GetCapturedStdout();
    std::vector<std::string> lines = split_lines(out);
    ASSERT_EQ(lines.size(), 6u);   // five rows, then what follows the only final newline
    EXPECT_EQ(lines[5], "");
    for (int r = 0; r < 4; ++r) {
        const std::string &l = lines[r];
        ASSERT_GE(l.size(), sizeof kAnsiReset - 1);
        EXPECT_EQ(l.substr(l.size() - (sizeof kAnsiReset - 1)), kAnsiReset) << "row " << r + 1;
        EXPECT_EQ(count(l, kAnsiReset), 1);
    }
    std::string tag = std::string(kAnsiReset) + "   " + kAnsiCyan + " Qelt v. 20250215 " + kAnsiReset + " ";
    ASSERT_GE(lines[4].size(), tag.size());
    EXPECT_EQ(lines[4].substr(lines[4].size() - tag.size()), tag);
    // Stripped of its codes every line is the art row itself.
    for (int r = 0; r < kBannerRows; ++r) {
        std::string plain = lines[r];
        for (const char *code : {kAnsiCyan, kAnsiWhite, kAnsiRed, kAnsiGrey, kAnsiReset})
            replace_all(plain, code, "");
        if (r == 4) plain = plain.substr(0, plain.size() - std::string("    Qelt v. 20250215  ").size());
        EXPECT_EQ(plain, banner_rows[r]);
    }
}

} // namespace
