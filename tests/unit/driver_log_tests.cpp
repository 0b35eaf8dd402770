// The driver's log turned into FILE:LINE:COL lines of the user's file.
#include "core/driver_log.h"

#include <gtest/gtest.h>

namespace {

long past_two_generated_lines(void *, long line)
{
    return line > 2 ? line - 2 : 0;
}

} // namespace

TEST(DriverLog, PlacesEachLineInTheFileWithItsOwnColumnAndKeepsTheRest)
{
    // Columns as the driver counts them: a comment and the blanks around it,
    // a tab or an indentation are one blank each.
    const std::string text = "#version 430\r\n\tf = vec4(a) * nothing;\n    f = vec4(a /* c */ +  other); // x\n";
    const std::string log = "0:2(16): error: `nothing' undeclared\n"
                            "0:3(15): error: `other' undeclared\n"
                            "0:3(2): preprocessor warning: odd\n"
                            "\n"
                            "error: fragment shader lacks `main'\n"
                            "0:9(1): error: past the file's end\n"
                            "0(1) : error C0000: other drivers' form\n";
    LogFile file{"dir/s.glsl", &text};
    EXPECT_EQ(located_log(log, file), "dir/s.glsl:2:16: error: `nothing' undeclared\n"
                                      "dir/s.glsl:3:27: error: `other' undeclared\n"
                                      "dir/s.glsl:3:5: warning: odd\n"
                                      "error: fragment shader lacks `main'\n"
                                      "0:9(1): error: past the file's end\n"
                                      "dir/s.glsl:1: error: C0000: other drivers' form");

    // Lines of a text built around the file map back through the hook; its
    // own lines stay as the driver wrote them.
    file.line_of = past_two_generated_lines;
    EXPECT_EQ(located_log("0:4(6): error: x\n0:1(1): error: generated", file),
              "dir/s.glsl:2:6: error: x\n0:1(1): error: generated");
}
