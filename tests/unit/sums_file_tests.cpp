// Sums files: shares, encoding, every refusal of a reader and a merge.
#include "core/sums_file.h"

#include <gtest/gtest.h>
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

// Two regions of a 16x8 picture, as a crop near the right edge gives.
SumsHeader small_header(int part = 0, int parts = 1, int samples = 4)
{
    SumsHeader h;
    h.picture_width = 16;
    h.picture_height = 8;
    h.crop = Rect{12, 2, 3, 2};
    h.margin = 1;
    h.samples = samples;
    h.part = part;
    h.parts = parts;
    h.shader_hash = fnv1a64("shader");
    h.regions = {Rect{11, 1, 5, 4}, Rect{0, 1, 1, 4}};
    return h;
}

// Part `part` of `parts` with sums that tell parts and pixels apart.
Sums small_part(int part, int parts, int samples = 4)
{
    Sums s;
    sums_init(s, small_header(part, parts, samples));
    int first = 0, count = 0;
    share_range(samples, part, parts, first, count);
    for (size_t i = 0; i < s.values.size(); ++i) s.values[i] = (uint32_t)((i * 7 + part * 3) % (255 * count + 1));
    return s;
}

bool decodes(const std::vector<uint8_t> &bytes, std::string &error)
{
    Sums s;
    return sums_decode(bytes.data(), bytes.size(), s, error);
}

void set_u32(std::vector<uint8_t> &bytes, size_t offset, uint32_t v)
{
    for (int i = 0; i < 4; ++i) bytes[offset + i] = (uint8_t)(v >> (8 * i));
}

class SumsFiles : public ::testing::Test {
protected:
    void SetUp() override
    {
        char dir[] = "/tmp/intro-sums-XXXXXX";
        ASSERT_NE(mkdtemp(dir), nullptr);
        tmp = std::string(dir) + "/";
    }
    void TearDown() override
    {
        std::string cmd = "rm -rf '" + tmp + "'";
        ASSERT_EQ(system(cmd.c_str()), 0);
    }
    int entries()
    {
        int n = 0;
        if (DIR *d = opendir(tmp.c_str())) {
            while (dirent *e = readdir(d)) n += e->d_name[0] != '.';
            closedir(d);
        }
        return n;
    }
    std::string tmp;
};

} // namespace

TEST(SumsShares, CoverEverySampleOnceInNearlyEqualBlocks)
{
    for (int samples : {1, 7, 128, 65536})
        for (int parts : {1, 2, 3, 7, 64}) {
            if (parts > samples) continue;
            int next = 0, smallest = samples, largest = 0;
            for (int part = 0; part < parts; ++part) {
                int first = 0, count = 0;
                share_range(samples, part, parts, first, count);
                EXPECT_EQ(first, next) << samples << " " << part << "/" << parts;
                next = first + count;
                smallest = std::min(smallest, count);
                largest = std::max(largest, count);
            }
            EXPECT_EQ(next, samples);
            EXPECT_LE(largest - smallest, 1);
            EXPECT_GE(smallest, 1);
        }
    int first = 0, count = 0;
    share_range(128, 1, 3, first, count);
    EXPECT_EQ(first, 42);
    EXPECT_EQ(count, 43);
}

TEST(SumsShares, PartArgument)
{
    int part = -1, parts = -1;
    EXPECT_TRUE(parse_part("0/1", part, parts));
    EXPECT_TRUE(parse_part("2/3", part, parts));
    EXPECT_EQ(part, 2);
    EXPECT_EQ(parts, 3);
    for (const char *bad : {"3/3", "1", "1/", "/3", "-1/3", "1/-3", "a/3", "1/3x", "1 /3", "1/3/4", "0/0", "",
                            "1/99999999999"})
        EXPECT_FALSE(parse_part(bad, part, parts)) << bad;
}

TEST(SumsShares, ShaderHashIsFnv1a64)
{
    EXPECT_EQ(fnv1a64(""), 0xcbf29ce484222325ull);
    EXPECT_EQ(fnv1a64("a"), 0xaf63dc4c8601ec8cull);
    EXPECT_EQ(fnv1a64("foobar"), 0x85944171f73967e8ull);
}

TEST(SumsMean, RoundsHalvesUpAndFillsOnlyTheRegions)
{
    Sums s;
    sums_init(s, small_header());
    // Four samples of region 1's lowest pixel: red 1+2+2+3 (mean 2), green
    // 1+1+1+2 (1.25), blue 1+1+2+2 (1.5, rounds up); region 0's top right
    // pixel 255 four times.
    const uint8_t samples[4][3] = {{1, 1, 1}, {2, 1, 1}, {2, 1, 2}, {3, 2, 2}};
    std::vector<uint8_t> rgba(4 * 4, 0);
    for (const auto &sample : samples) {
        for (int c = 0; c < 3; ++c) rgba[c] = sample[c];
        sums_add_region(s, 1, rgba.data());
    }
    std::vector<uint8_t> full(5 * 4 * 4, 0);
    full[(5 * 4 - 1) * 4 + 0] = 255;
    for (int i = 0; i < 4; ++i) sums_add_region(s, 0, full.data());

    std::vector<uint8_t> mean;
    sums_mean(s, 4, mean);
    ASSERT_EQ(mean.size(), 16u * 8 * 4);
    auto at = [&](int x, int y, int c) { return (int)mean[((size_t)y * 16 + x) * 4 + c]; };
    EXPECT_EQ(at(0, 1, 0), 2);  // 8 / 4
    EXPECT_EQ(at(0, 1, 1), 1);  // 5 / 4
    EXPECT_EQ(at(0, 1, 2), 2);  // 6 / 4 rounds up
    EXPECT_EQ(at(0, 1, 3), 0);  // alpha
    EXPECT_EQ(at(15, 4, 0), 255);
    int lit = 0;
    for (size_t i = 0; i < mean.size(); ++i) lit += mean[i] != 0;
    EXPECT_EQ(lit, 4);
}

TEST_F(SumsFiles, RoundTripThroughAFile)
{
    Sums out = small_part(1, 3, 7);
    ASSERT_TRUE(out.values.size() == (5 * 4 + 1 * 4) * 3u);
    std::string error;
    ASSERT_TRUE(sums_write_file(tmp + "a.sums", out, error)) << error;
    Sums in;
    ASSERT_TRUE(sums_read_file(tmp + "a.sums", in, error)) << error;
    const SumsHeader &h = in.header;
    EXPECT_EQ(h.picture_width, 16);
    EXPECT_EQ(h.picture_height, 8);
    EXPECT_EQ(h.crop.x, 12);
    EXPECT_EQ(h.crop.y, 2);
    EXPECT_EQ(h.crop.w, 3);
    EXPECT_EQ(h.crop.h, 2);
    EXPECT_EQ(h.margin, 1);
    EXPECT_EQ(h.samples, 7);
    EXPECT_EQ(h.part, 1);
    EXPECT_EQ(h.parts, 3);
    EXPECT_EQ(h.shader_hash, fnv1a64("shader"));
    ASSERT_EQ(h.regions.size(), 2u);
    EXPECT_EQ(h.regions[1].x, 0);
    EXPECT_EQ(h.regions[1].h, 4);
    EXPECT_EQ(in.values, out.values);
    EXPECT_EQ(entries(), 1); // no temporary left behind
}

TEST_F(SumsFiles, FailedWriteLeavesWhatWasThere)
{
    std::string error;
    ASSERT_EQ(mkdir((tmp + "taken").c_str(), 0755), 0);
    EXPECT_FALSE(sums_write_file(tmp + "taken", small_part(0, 1), error));
    EXPECT_NE(error.find("taken"), std::string::npos) << error;
    struct stat st;
    ASSERT_EQ(stat((tmp + "taken").c_str(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
    EXPECT_FALSE(sums_write_file(tmp + "no/such/dir.sums", small_part(0, 1), error));
    EXPECT_EQ(entries(), 1);
}

TEST_F(SumsFiles, ReaderRefusesForeignTruncatedAndDamagedFiles)
{
    std::vector<uint8_t> good = sums_encode(small_part(0, 2));
    std::string error;
    ASSERT_TRUE(decodes(good, error)) << error;

    // Every shorter prefix is refused.
    for (size_t n = 0; n < good.size(); ++n) {
        std::vector<uint8_t> cut(good.begin(), good.begin() + n);
        EXPECT_FALSE(decodes(cut, error)) << n;
        EXPECT_NE(error.find(n < 8 ? "not a sums file" : "truncated"), std::string::npos) << n << ": " << error;
    }
    std::vector<uint8_t> longer = good;
    longer.push_back(0);
    EXPECT_FALSE(decodes(longer, error));

    std::vector<uint8_t> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n', 0, 0, 0, 13};
    EXPECT_FALSE(decodes(png, error));
    EXPECT_EQ(error, "not a sums file");

    std::vector<uint8_t> v2 = good;
    set_u32(v2, 8, 2);
    EXPECT_FALSE(decodes(v2, error));
    EXPECT_NE(error.find("version 2"), std::string::npos) << error;

    struct Damage {
        size_t offset;
        uint32_t value;
        const char *what;
    };
    for (Damage d : {Damage{44, 2, "part beyond parts"}, Damage{48, 5, "more parts than samples"},
                     Damage{28, 5, "crop outside the picture"}, Damage{60, 0, "no regions"},
                     Damage{60, 10, "too many regions"}, Damage{64, 12, "region outside the picture"},
                     Damage{12, 0x80000000u, "negative width"},
                     Damage{good.size() - 4, 255 * 2 + 1, "sum above 255 per sample"}}) {
        std::vector<uint8_t> bad = good;
        set_u32(bad, d.offset, d.value);
        EXPECT_FALSE(decodes(bad, error)) << d.what;
    }
}

TEST_F(SumsFiles, ReadFileRefusesWhatIsNoFile)
{
    Sums s;
    std::string error;
    EXPECT_FALSE(sums_read_file(tmp + "absent.sums", s, error));
    EXPECT_NE(error.find("absent.sums"), std::string::npos) << error;
    EXPECT_FALSE(sums_read_file(tmp, s, error));
    EXPECT_NE(error.find("not a regular file"), std::string::npos) << error;
}

TEST(SumsMerge, AddsTheSharesOfOneRender)
{
    std::vector<Sums> parts = {small_part(2, 3), small_part(0, 3), small_part(1, 3)};
    Sums total;
    std::string error;
    ASSERT_TRUE(sums_merge(parts, {"c", "a", "b"}, total, error)) << error;
    EXPECT_EQ(total.header.part, 0);
    EXPECT_EQ(total.header.parts, 1);
    EXPECT_EQ(total.header.samples, 4);
    ASSERT_EQ(total.values.size(), parts[0].values.size());
    for (size_t i = 0; i < total.values.size(); ++i)
        ASSERT_EQ(total.values[i], parts[0].values[i] + parts[1].values[i] + parts[2].values[i]);
}

TEST(SumsMerge, RefusesPartsThatDoNotBelongTogether)
{
    struct Case {
        const char *what;
        void (*change)(SumsHeader &);
        const char *message;
    };
    const Case cases[] = {
        {"size", [](SumsHeader &h) { h.picture_width = 17; }, "another picture size"},
        {"crop", [](SumsHeader &h) { h.crop.x = 11; }, "another crop"},
        {"margin", [](SumsHeader &h) { h.margin = 2; }, "another margin"},
        {"samples", [](SumsHeader &h) { h.samples = 5; }, "another sample count"},
        {"shader", [](SumsHeader &h) { h.shader_hash ^= 1; }, "another shader"},
        {"split", [](SumsHeader &h) { h.parts = 4; }, "not the same split"},
    };
    Sums total;
    std::string error;
    for (const Case &c : cases) {
        std::vector<Sums> parts = {small_part(0, 3), small_part(1, 3), small_part(2, 3)};
        c.change(parts[1].header);
        EXPECT_FALSE(sums_merge(parts, {"a", "b", "c"}, total, error)) << c.what;
        EXPECT_NE(error.find(c.message), std::string::npos) << c.what << ": " << error;
        EXPECT_EQ(error.find("b"), 0u) << c.what << " names the odd file: " << error;
    }

    std::vector<Sums> missing = {small_part(0, 4), small_part(2, 4)};
    EXPECT_FALSE(sums_merge(missing, {"a", "c"}, total, error));
    EXPECT_EQ(error, "missing parts 1/4, 3/4");

    std::vector<Sums> twice = {small_part(0, 2), small_part(1, 2), small_part(1, 2)};
    EXPECT_FALSE(sums_merge(twice, {"a", "b", "b2"}, total, error));
    EXPECT_EQ(error, "part 1/2 given twice: b and b2");

    EXPECT_FALSE(sums_merge({}, {}, total, error));
}
