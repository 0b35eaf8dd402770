#include "render/split_parts.h"

#include "core/crop_geometry.h"

#include <vector>

namespace {

// The options given on the command line against the parts' render.
bool options_agree(const Options &opt, const SumsHeader &h, std::string &error)
{
    if (option_given(opt, o_crop) && !same_rect(gl_crop(opt), h.crop)) error = "the parts are of another crop than --crop gives";
    else if (option_given(opt, o_samples) && opt.samples != h.samples)
        error = "the parts are of another sample count than --samples gives";
    else if (option_given(opt, o_margin) && opt.margin != h.margin) error = "the parts are of another margin than --margin gives";
    return error.empty();
}

} // namespace

SumsHeader part_header(const Options &opt, uint64_t shader_hash)
{
    SumsHeader h;
    h.crop = gl_crop(opt);
    h.margin = opt.margin;
    h.samples = opt.samples;
    h.part = opt.part;
    h.parts = opt.parts;
    h.shader_hash = shader_hash;
    return h;
}

bool write_part(const Options &opt, const ExactSums &sums, std::string &error)
{
    return sums_write_file(opt.sums_path, sums.sums, error);
}

bool load_parts(Options &opt, uint64_t shader_hash, ExactSums &sums, std::string &error)
{
    std::vector<Sums> parts(opt.merge_paths.size());
    for (size_t i = 0; i < parts.size(); ++i)
        if (!sums_read_file(opt.merge_paths[i], parts[i], error)) return false;
    Sums total;
    if (!sums_merge(parts, opt.merge_paths, total, error)) return false;
    const SumsHeader &h = total.header;
    const std::string &name = opt.merge_paths[0];
    if (h.picture_width != kPictureWidth || h.picture_height != kPictureHeight) {
        error = name + ": sums of a " + std::to_string(h.picture_width) + "x" + std::to_string(h.picture_height) +
                " picture, not 1920x1080";
        return false;
    }
    if (h.shader_hash != shader_hash) {
        error = name + ": the parts were rendered with another shader" +
                (opt.shader_path.empty() ? " (give it with --shader)" : " than " + opt.shader_path);
        return false;
    }
    std::vector<Rect> regions = sample_regions(h.crop, h.margin, kPictureWidth, kPictureHeight);
    bool same = regions.size() == h.regions.size();
    for (size_t i = 0; same && i < regions.size(); ++i) same = same_rect(regions[i], h.regions[i]);
    if (!same) {
        error = name + ": sampled regions that do not match its crop and margin";
        return false;
    }
    if (!options_agree(opt, h, error)) return false;
    opt.crop = crop_to_gl_rows(h.crop, kPictureHeight); // the same flip both ways
    opt.margin = h.margin;
    opt.samples = h.samples;
    sums.count = total.header.samples;
    sums.sums = std::move(total);
    return true;
}
