#include "tools/cost_measure.h"

#include <algorithm>

double median(std::vector<double> values)
{
    if (values.empty()) return 0.0;
    size_t mid = values.size() / 2;
    std::nth_element(values.begin(), values.begin() + mid, values.end());
    double upper = values[mid];
    if (values.size() % 2) return upper;
    return (*std::max_element(values.begin(), values.begin() + mid) + upper) / 2.0;
}

std::vector<Tile> make_tiles(const Rect &crop, int size)
{
    std::vector<Tile> tiles;
    for (int y = crop.y; y < crop.y + crop.h; y += size)
        for (int x = crop.x; x < crop.x + crop.w; x += size) {
            Tile t;
            t.box = Rect{x, y, std::min(size, crop.x + crop.w - x), std::min(size, crop.y + crop.h - y)};
            tiles.push_back(t);
        }
    return tiles;
}

RawTimes time_passes(const Rect &crop, const std::vector<Tile> &tiles, int samples, const PassTimer &timer)
{
    RawTimes raw;
    raw.tiles.resize(tiles.size());
    const Rect nothing = {crop.x, crop.y, 0, 0};
    for (int s = 0; s < samples; ++s) {
        timer.begin(timer.context, s);
        // An empty draw after each draw: the overhead, and every tile drawn
        // after the same thing.
        raw.plain.push_back(timer.time_draw(timer.context, crop));
        raw.empty.push_back(timer.time_draw(timer.context, nothing));
        for (size_t i = 0; i < tiles.size(); ++i) {
            raw.tiles[i].push_back(timer.time_draw(timer.context, tiles[i].box));
            raw.empty.push_back(timer.time_draw(timer.context, nothing));
        }
        timer.end(timer.context, s);
    }
    return raw;
}

Measured measured_from(std::vector<Tile> tiles, const RawTimes &raw)
{
    Measured m;
    m.tiles = std::move(tiles);
    m.overhead_ms = median(raw.empty);
    m.overhead_draws = (int)raw.empty.size();
    // Every draw pays the overhead once, the whole crop's as well as a tile's.
    for (size_t i = 0; i < m.tiles.size() && i < raw.tiles.size(); ++i) {
        Tile &t = m.tiles[i];
        t.times = raw.tiles[i];
        m.raw_total_ms += median(t.times);
        for (double &ms : t.times) ms = std::max(0.0, ms - m.overhead_ms);
        t.ms = median(t.times);
    }
    m.plain_ms = std::max(0.0, median(raw.plain) - m.overhead_ms);
    return m;
}
