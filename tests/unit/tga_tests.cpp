// TGA encoding and the numbered names of screen grabs.
#include "core/tga_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

std::vector<uint8_t> read_bytes(const std::string &path)
{
    std::vector<uint8_t> data;
    if (FILE *f = fopen(path.c_str(), "rb")) {
        uint8_t b[65536];
        size_t n;
        while ((n = fread(b, 1, sizeof b, f)) > 0) data.insert(data.end(), b, b + n);
        fclose(f);
    }
    return data;
}

bool exists(const std::string &p)
{
    struct stat st;
    return stat(p.c_str(), &st) == 0;
}

class Tga : public ::testing::Test {
protected:
    void SetUp() override
    {
        char dir[] = "/tmp/intro-tga-XXXXXX";
        ASSERT_NE(mkdtemp(dir), nullptr);
        tmp = std::string(dir) + "/";
    }
    void TearDown() override
    {
        std::string cmd = "rm -rf '" + tmp + "'";
        ASSERT_EQ(system(cmd.c_str()), 0);
    }
    std::string tmp;
};

TEST_F(Tga, FullPictureHeaderSizeAndPixelOrder)
{
    const int w = 1920, h = 1080;
    std::vector<uint8_t> rgb((size_t)w * h * 3, 0);
    // Lower-left pixel pure red, its right neighbour (1,2,3), top-right blue.
    rgb[0] = 0xFF;
    rgb[3] = 1, rgb[4] = 2, rgb[5] = 3;
    rgb[rgb.size() - 1] = 0xFF;
    std::string path = tmp + "full.tga";
    ASSERT_TRUE(write_tga(path.c_str(), w, h, rgb.data()));
    std::vector<uint8_t> f = read_bytes(path);
    ASSERT_EQ(f.size(), 6220818u);
    const uint8_t header[18] = {0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x80, 0x07, 0x38, 0x04, 24, 0};
    EXPECT_EQ(std::vector<uint8_t>(f.begin(), f.begin() + 18), std::vector<uint8_t>(header, header + 18));
    EXPECT_EQ(std::vector<uint8_t>(f.begin() + 18, f.begin() + 24), (std::vector<uint8_t>{0, 0, 0xFF, 3, 2, 1}));
    EXPECT_EQ(std::vector<uint8_t>(f.end() - 3, f.end()), (std::vector<uint8_t>{0xFF, 0, 0}));
    // The caller's pixels are not swapped.
    EXPECT_EQ(rgb[0], 0xFF);
}

TEST_F(Tga, SecondWriteOverwritesTheFirst)
{
    std::string path = tmp + "again.tga";
    std::vector<uint8_t> big(10 * 10 * 3, 7), small(2 * 1 * 3, 9);
    ASSERT_TRUE(write_tga(path.c_str(), 10, 10, big.data()));
    ASSERT_TRUE(write_tga(path.c_str(), 2, 1, small.data()));
    std::vector<uint8_t> f = read_bytes(path);
    ASSERT_EQ(f.size(), 18u + 6u);
    EXPECT_EQ(f[12], 2);
    EXPECT_EQ(f[14], 1);
    EXPECT_EQ(f[18], 9);
}

TEST_F(Tga, RefusesSizesTheHeaderCannotHold)
{
    std::vector<uint8_t> px(3 * 65536, 0);
    const int sizes[][2] = {{0, 1}, {1, 0}, {-1, 5}, {5, -1}, {65536, 1}, {1, 65536}, {70000, 70000}};
    for (const auto &s : sizes) {
        std::string path = tmp + "bad.tga";
        EXPECT_FALSE(tga_size_ok(s[0], s[1])) << s[0] << "x" << s[1];
        EXPECT_FALSE(write_tga(path.c_str(), s[0], s[1], px.data())) << s[0] << "x" << s[1];
        EXPECT_FALSE(exists(path));
    }
    EXPECT_TRUE(tga_size_ok(65535, 1));
    std::string path = tmp + "widest.tga";
    ASSERT_TRUE(write_tga(path.c_str(), 65535, 1, px.data()));
    std::vector<uint8_t> f = read_bytes(path);
    EXPECT_EQ(f[12], 0xFF);
    EXPECT_EQ(f[13], 0xFF);
    EXPECT_EQ(f.size(), 18u + 65535u * 3u);
    EXPECT_FALSE(write_tga((tmp + "no/such/dir.tga").c_str(), 1, 1, px.data()));
}

TEST_F(Tga, GrabNamesCountUpAndSkipTakenOnes)
{
    EXPECT_EQ(next_grab_name(tmp), tmp + "intro_0001.tga");
    std::vector<uint8_t> px(3, 0);
    ASSERT_TRUE(write_tga((tmp + "intro_0001.tga").c_str(), 1, 1, px.data()));
    EXPECT_EQ(next_grab_name(tmp), tmp + "intro_0002.tga");
    // A gap is filled, an existing later file is never overwritten.
    ASSERT_TRUE(write_tga((tmp + "intro_0003.tga").c_str(), 1, 1, px.data()));
    EXPECT_EQ(next_grab_name(tmp), tmp + "intro_0002.tga");
    ASSERT_TRUE(write_tga((tmp + "intro_0002.tga").c_str(), 1, 1, px.data()));
    EXPECT_EQ(next_grab_name(tmp), tmp + "intro_0004.tga");
    // A dangling link holds its name; a grab goes past it, leaving it as it was.
    ASSERT_EQ(symlink("nowhere", (tmp + "intro_0004.tga").c_str()), 0);
    std::string path, error;
    ASSERT_TRUE(write_grab_tga(tmp, 1, 1, px.data(), path, error)) << error;
    EXPECT_EQ(path, tmp + "intro_0005.tga");
    EXPECT_EQ(read_bytes(path).size(), 18u + 3u);
    EXPECT_FALSE(exists(tmp + "nowhere"));
}

} // namespace
