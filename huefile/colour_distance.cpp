#include "huefile/colour_distance.h"

#include "huefile/entry_bytes.h"
#include "huefile/oklab.h"

#include <algorithm>
#include <array>
#include <numeric>

namespace {

double EntryDistance(const HueEntry &entry, const Oklab &target, ColourMeasure measure)
{
    std::array<double, HueColourCount> distances{};
    std::transform(
        std::begin(entry.colours), std::end(entry.colours), distances.begin(),
        [&target](HueColour word) { return OklabDistance(OklabOfHueColour(word), target); });
    if (measure == ColourMeasure::Nearest)
        return *std::min_element(distances.begin(), distances.end());
    return std::accumulate(distances.begin(), distances.end(), 0.0) / HueColourCount;
}

} // namespace

std::vector<RankedEntry> RankByColour(const std::vector<HueEntry> &entries,
                                      const std::vector<bool> &whole, DisplayColour target,
                                      ColourMeasure measure)
{
    const Oklab looked = OklabOfScreenColour(target);
    std::vector<RankedEntry> ranked;
    for (std::size_t i = 0; i < entries.size() && i < whole.size(); ++i)
        if (whole[i] && !IsEmptyEntry(entries[i]))
            ranked.push_back({static_cast<int>(i) + 1, EntryDistance(entries[i], looked, measure)});
    std::stable_sort(ranked.begin(), ranked.end(), [](const RankedEntry &x, const RankedEntry &y) {
        return x.distance < y.distance;
    });
    return ranked;
}
