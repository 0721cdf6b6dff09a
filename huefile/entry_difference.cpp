#include "huefile/entry_difference.h"

#include "huefile/hue_file.h"

#include <algorithm>
#include <cstring>

namespace {

struct WholeEntries {
    std::vector<HueEntry> entries;
    std::vector<bool> whole;

    const HueEntry *entry(int n) const
    {
        const auto i = static_cast<std::size_t>(n - 1);
        return i < whole.size() && whole[i] ? &entries[i] : nullptr;
    }
};

WholeEntries ReadAllEntries(const std::string &fileName)
{
    WholeEntries all;
    if (const auto file = HueFile::openForReading(fileName))
        all.entries = file->readEntries(1, MaxEntryNumber, all.whole);
    return all;
}

std::size_t NameTextLength(const HueEntry &entry)
{
    return static_cast<std::size_t>(std::find(std::begin(entry.name), std::end(entry.name), '\0') -
                                    std::begin(entry.name));
}

} // namespace

EntryDifference CompareEntries(const HueEntry *source, const HueEntry *target)
{
    EntryDifference difference;
    difference.sourceMissing = source == nullptr;
    difference.targetMissing = target == nullptr;
    if (!source || !target)
        return difference;
    for (int i = 0; i < HueColourCount; ++i)
        difference.colours[static_cast<std::size_t>(i)] = source->colours[i] != target->colours[i];
    difference.nameBytes = std::memcmp(source->name, target->name, HueNameLength) != 0;
    const std::size_t length = NameTextLength(*source);
    difference.nameText =
        length != NameTextLength(*target) || std::memcmp(source->name, target->name, length) != 0;
    difference.carried = std::memcmp(source->carried, target->carried, sizeof source->carried) != 0;
    return difference;
}

bool EntriesDiffer(const HueEntry *source, const HueEntry *target)
{
    if (!source || !target)
        return source != target;
    return std::memcmp(source, target, sizeof(HueEntry)) != 0;
}

std::vector<int> DifferingEntries(const std::string &sourceFile, const std::string &targetFile)
{
    const WholeEntries source = ReadAllEntries(sourceFile);
    const WholeEntries target = ReadAllEntries(targetFile);
    std::vector<int> differing;
    for (int n = 1; n <= MaxEntryNumber; ++n)
        if (EntriesDiffer(source.entry(n), target.entry(n)))
            differing.push_back(n);
    return differing;
}
