#include "copy/entry_copy.h"

#include <algorithm>
#include <vector>

namespace {

// The last source whose target does not lie beyond targetTo; the pairs after it are not copied.
int LastSource(int sourceFrom, int sourceTo, int targetFrom, int targetTo)
{
    return std::min(sourceTo, sourceFrom + (targetTo - targetFrom));
}

bool CopyPairByPair(const HueFile &readFile, HueFile &writeFile, int sourceFrom, int sourceTo,
                    int targetFrom, int targetTo)
{
    const int lastSource = LastSource(sourceFrom, sourceTo, targetFrom, targetTo);
    for (int s = sourceFrom; s <= lastSource; ++s) {
        if (!CopyHueEntry(readFile, writeFile, s, targetFrom + (s - sourceFrom)))
            return false;
    }
    return true;
}

struct PendingRecord {
    int target;
    HueEntry entry;
};

// Within one file a target may be a later pair's source. Reading every source before the first
// write keeps the written records out of the reads, whichever way the ranges overlap.
bool CopyAsBlockMove(const HueFile &readFile, HueFile &writeFile, int sourceFrom, int sourceTo,
                     int targetFrom, int targetTo)
{
    const int lastSource = LastSource(sourceFrom, sourceTo, targetFrom, targetTo);
    std::vector<PendingRecord> records;
    records.reserve(static_cast<std::size_t>(std::max(0, lastSource - sourceFrom + 1)));
    for (int s = sourceFrom; s <= lastSource; ++s) {
        PendingRecord record{targetFrom + (s - sourceFrom), {}};
        if (readFile.readEntry(s, record.entry))
            records.push_back(record);
    }
    for (const PendingRecord &record : records) {
        if (!writeFile.writeEntry(record.target, record.entry))
            return false;
    }
    return true;
}

} // namespace

bool CopyHueEntry(const HueFile &readFile, HueFile &writeFile, int source, int target)
{
    HueEntry entry{};
    if (!readFile.readEntry(source, entry))
        return true;
    return writeFile.writeEntry(target, entry);
}

bool CopyHueEntryRange(const HueFile &readFile, HueFile &writeFile, int sourceFrom, int sourceTo,
                       int targetFrom, int targetTo)
{
    if (readFile.isSameFileAs(writeFile))
        return CopyAsBlockMove(readFile, writeFile, sourceFrom, sourceTo, targetFrom, targetTo);
    return CopyPairByPair(readFile, writeFile, sourceFrom, sourceTo, targetFrom, targetTo);
}
