#include "core/sums_file.h"

#include "core/output_file.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

const char magic[8] = {'I', 'N', 'T', 'R', 'O', 'S', 'U', 'M'};
const size_t fixed_header_size = 64;
const int max_picture_side = 16384;

void put_u32(std::vector<uint8_t> &out, uint32_t v)
{
    for (int i = 0; i < 4; ++i) out.push_back((uint8_t)(v >> (8 * i)));
}

void put_u64(std::vector<uint8_t> &out, uint64_t v)
{
    for (int i = 0; i < 8; ++i) out.push_back((uint8_t)(v >> (8 * i)));
}

// The file read front to back, field by field, as sums_encode writes it.
// Reading past the end gives zeros and marks the reader short.
struct Reader {
    const uint8_t *at;
    size_t left;
    bool short_read = false;
};

const uint8_t *take(Reader &in, size_t n)
{
    if (in.left < n) {
        in.short_read = true;
        in.left = 0;
        return nullptr;
    }
    const uint8_t *p = in.at;
    in.at += n;
    in.left -= n;
    return p;
}

uint32_t take_u32(Reader &in)
{
    const uint8_t *p = take(in, 4);
    if (!p) return 0;
    return (uint32_t)p[0] | (uint32_t)p[1] << 8 | (uint32_t)p[2] << 16 | (uint32_t)p[3] << 24;
}

uint64_t take_u64(Reader &in)
{
    uint64_t low = take_u32(in);
    return low | (uint64_t)take_u32(in) << 32;
}

// Fields are stored as u32 but used as int: larger ones are never valid.
bool take_int(Reader &in, int &value)
{
    uint32_t v = take_u32(in);
    value = (int)(v & 0x7fffffffu);
    return v <= 0x7fffffffu;
}

bool rect_inside(const Rect &r, int width, int height)
{
    return r.w > 0 && r.h > 0 && r.x <= width - r.w && r.y <= height - r.h;
}

std::string describe_part(const SumsHeader &h)
{
    return std::to_string(h.part) + "/" + std::to_string(h.parts);
}

} // namespace


bool parse_part(const char *text, int &part, int &parts)
{
    const char *slash = std::strchr(text, '/');
    if (!slash) return false;
    std::string left(text, slash), right(slash + 1);
    auto whole = [](const std::string &s, long &v) {
        if (s.empty() || s.size() > 6) return false;
        for (char c : s)
            if (c < '0' || c > '9') return false;
        v = std::strtol(s.c_str(), nullptr, 10);
        return true;
    };
    long i = 0, n = 0;
    if (!whole(left, i) || !whole(right, n) || i >= n) return false;
    part = (int)i;
    parts = (int)n;
    return true;
}

void share_range(int samples, int part, int parts, int &first, int &count)
{
    first = (int)((int64_t)part * samples / parts);
    count = (int)((int64_t)(part + 1) * samples / parts) - first;
}

size_t sums_pixel_count(const std::vector<Rect> &regions)
{
    size_t n = 0;
    for (const Rect &r : regions) n += (size_t)r.w * r.h;
    return n;
}

void sums_init(Sums &sums, const SumsHeader &header)
{
    sums.header = header;
    sums.values.assign(sums_pixel_count(header.regions) * 3, 0);
}

void sums_add_region(Sums &sums, int index, const uint8_t *rgba)
{
    size_t offset = 0;
    for (int i = 0; i < index; ++i) offset += (size_t)sums.header.regions[i].w * sums.header.regions[i].h;
    const Rect &r = sums.header.regions[index];
    uint32_t *out = &sums.values[offset * 3];
    for (size_t p = 0, n = (size_t)r.w * r.h; p < n; ++p) {
        out[p * 3 + 0] += rgba[p * 4 + 0];
        out[p * 3 + 1] += rgba[p * 4 + 1];
        out[p * 3 + 2] += rgba[p * 4 + 2];
    }
}

void sums_mean(const Sums &sums, int count, std::vector<uint8_t> &rgba)
{
    const SumsHeader &h = sums.header;
    rgba.assign((size_t)h.picture_width * h.picture_height * 4, 0);
    if (count <= 0) return;
    const uint32_t *in = sums.values.data();
    uint64_t n = (uint64_t)count;
    for (const Rect &r : h.regions) {
        for (int y = r.y; y < r.y + r.h; ++y) {
            uint8_t *out = &rgba[((size_t)y * h.picture_width + r.x) * 4];
            for (int x = 0; x < r.w; ++x, in += 3, out += 4)
                for (int c = 0; c < 3; ++c) out[c] = (uint8_t)((2 * (uint64_t)in[c] + n) / (2 * n));
        }
    }
}

std::vector<uint8_t> sums_encode(const Sums &sums)
{
    const SumsHeader &h = sums.header;
    std::vector<uint8_t> out(magic, magic + sizeof magic);
    out.reserve(fixed_header_size + h.regions.size() * 16 + sums.values.size() * 4);
    put_u32(out, kSumsVersion);
    for (int v : {h.picture_width, h.picture_height, h.crop.x, h.crop.y, h.crop.w, h.crop.h, h.margin, h.samples,
                  h.part, h.parts})
        put_u32(out, (uint32_t)v);
    put_u64(out, h.shader_hash);
    put_u32(out, (uint32_t)h.regions.size());
    for (const Rect &r : h.regions)
        for (int v : {r.x, r.y, r.w, r.h}) put_u32(out, (uint32_t)v);
    for (uint32_t v : sums.values) put_u32(out, v);
    return out;
}

namespace {

// The header and its regions, read in the order sums_encode writes them. The
// fixed part and the region list are each checked for length before their
// values, so a short file is called truncated whatever it holds.
bool decode_header(Reader &in, SumsHeader &h, std::string &error)
{
    const uint8_t *file_magic = take(in, sizeof magic);
    if (!file_magic || std::memcmp(file_magic, magic, sizeof magic) != 0) {
        error = "not a sums file";
        return false;
    }
    uint32_t version = take_u32(in);
    if (in.short_read) {
        error = "truncated sums file";
        return false;
    }
    if (version != (uint32_t)kSumsVersion) {
        error = "sums file of version " + std::to_string(version) + "; this program reads version " +
                std::to_string(kSumsVersion);
        return false;
    }
    bool ok = true;
    for (int *field : {&h.picture_width, &h.picture_height, &h.crop.x, &h.crop.y, &h.crop.w, &h.crop.h, &h.margin,
                       &h.samples, &h.part, &h.parts})
        ok = take_int(in, *field) && ok;
    h.shader_hash = take_u64(in);
    int region_count = 0;
    ok = take_int(in, region_count) && ok;
    if (in.short_read) {
        error = "truncated sums file";
        return false;
    }
    ok = ok && h.picture_width > 0 && h.picture_height > 0 && h.picture_width <= max_picture_side &&
         h.picture_height <= max_picture_side && rect_inside(h.crop, h.picture_width, h.picture_height) &&
         h.samples > 0 && h.part < h.parts && h.parts <= h.samples && region_count >= 1 &&
         region_count <= kSumsMaxRegions;
    if (!ok) {
        error = "corrupt sums file header";
        return false;
    }
    if (in.left < (size_t)region_count * 16) {
        error = "truncated sums file";
        return false;
    }
    for (int i = 0; i < region_count; ++i) {
        Rect r;
        bool fits = true;
        for (int *field : {&r.x, &r.y, &r.w, &r.h}) fits = take_int(in, *field) && fits;
        if (!fits || !rect_inside(r, h.picture_width, h.picture_height)) {
            error = "corrupt sums file: a region outside the picture";
            return false;
        }
        h.regions.push_back(r);
    }
    return true;
}

} // namespace

bool sums_decode(const uint8_t *data, size_t size, Sums &sums, std::string &error)
{
    Reader in{data, size};
    SumsHeader h;
    if (!decode_header(in, h, error)) return false;
    size_t values = sums_pixel_count(h.regions) * 3;
    if (in.left != values * 4) {
        error = in.left < values * 4 ? "truncated sums file" : "sums file longer than its header says";
        return false;
    }
    int first = 0, count = 0;
    share_range(h.samples, h.part, h.parts, first, count);
    uint32_t limit = 255u * (uint32_t)count;
    sums.header = h;
    sums.values.resize(values);
    for (uint32_t &value : sums.values) {
        value = take_u32(in);
        if (value > limit) {
            error = "corrupt sums file: a sum larger than its samples allow";
            return false;
        }
    }
    return true;
}

bool sums_write_file(const std::string &path, const Sums &sums, std::string &error)
{
    std::vector<uint8_t> bytes = sums_encode(sums);
    if (output_write_file(path.c_str(), bytes.data(), bytes.size(), error)) return true;
    error = "cannot write \"" + path + "\": " + error;
    return false;
}

bool sums_read_file(const std::string &path, Sums &sums, std::string &error)
{
    struct stat st;
    if (stat(path.c_str(), &st) != 0) {
        error = "cannot read \"" + path + "\": " + std::strerror(errno);
        return false;
    }
    if (!S_ISREG(st.st_mode)) {
        error = "cannot read \"" + path + "\": not a regular file";
        return false;
    }
    FILE *file = std::fopen(path.c_str(), "rb");
    if (!file) {
        error = "cannot read \"" + path + "\": " + std::strerror(errno);
        return false;
    }
    std::vector<uint8_t> bytes;
    uint8_t buffer[65536];
    size_t n = std::fread(buffer, 1, sizeof magic, file);
    bytes.assign(buffer, buffer + n);
    // A foreign file is refused before it is read whole.
    if (n == sizeof magic && std::memcmp(buffer, magic, sizeof magic) == 0)
        while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0) bytes.insert(bytes.end(), buffer, buffer + n);
    bool failed = std::ferror(file);
    std::fclose(file);
    if (failed) {
        error = "cannot read \"" + path + "\"";
        return false;
    }
    if (!sums_decode(bytes.data(), bytes.size(), sums, error)) {
        error = path + ": " + error;
        return false;
    }
    return true;
}

namespace {

// False, with why, where part `h` (file `name`) is not of the same render
// and split as the first, `first` (file `first_name`).
bool same_render_as_first(const SumsHeader &h, const SumsHeader &first, const std::string &name,
                          const std::string &first_name, std::string &error)
{
    const std::string against = " than " + first_name;
    if (h.picture_width != first.picture_width || h.picture_height != first.picture_height) {
        error = name + ": another picture size" + against;
        return false;
    }
    if (!same_rect(h.crop, first.crop)) {
        error = name + ": another crop" + against;
        return false;
    }
    bool same_regions = h.margin == first.margin && h.regions.size() == first.regions.size();
    for (size_t r = 0; same_regions && r < h.regions.size(); ++r)
        same_regions = same_rect(h.regions[r], first.regions[r]);
    if (!same_regions) {
        error = name + ": another margin" + against;
        return false;
    }
    if (h.samples != first.samples) {
        error = name + ": another sample count" + against + " (" + std::to_string(h.samples) + ", not " +
                std::to_string(first.samples) + ")";
        return false;
    }
    if (h.shader_hash != first.shader_hash) {
        error = name + ": another shader" + against;
        return false;
    }
    if (h.parts != first.parts) {
        error = name + " is part " + describe_part(h) + ", " + first_name + " part " + describe_part(first) +
                ": not the same split";
        return false;
    }
    return true;
}

} // namespace

bool sums_merge(const std::vector<Sums> &parts, const std::vector<std::string> &names, Sums &total,
                std::string &error)
{
    if (parts.empty()) {
        error = "no parts to merge";
        return false;
    }
    const SumsHeader &first = parts[0].header;
    std::vector<int> seen((size_t)first.parts, -1);
    for (size_t i = 0; i < parts.size(); ++i) {
        const SumsHeader &h = parts[i].header;
        if (!same_render_as_first(h, first, names[i], names[0], error)) return false;
        if (seen[h.part] >= 0) {
            error = "part " + describe_part(h) + " given twice: " + names[seen[h.part]] + " and " + names[i];
            return false;
        }
        seen[h.part] = (int)i;
    }
    std::string missing;
    for (int p = 0; p < first.parts; ++p)
        if (seen[p] < 0) missing += (missing.empty() ? "" : ", ") + std::to_string(p) + "/" + std::to_string(first.parts);
    if (!missing.empty()) {
        error = "missing part" + std::string(missing.find(',') == std::string::npos ? " " : "s ") + missing;
        return false;
    }
    SumsHeader header = first;
    header.part = 0;
    header.parts = 1;
    sums_init(total, header);
    for (const Sums &part : parts)
        for (size_t i = 0; i < total.values.size(); ++i) total.values[i] += part.values[i];
    return true;
}
