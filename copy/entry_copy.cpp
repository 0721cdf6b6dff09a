#include "copy/entry_copy.h"

#include <algorithm>

namespace {

// The last source whose target does not lie beyond targetTo; the pairs after it are not copied.
int LastSource(int sourceFrom, int sourceTo, int targetFrom, int targetTo)
{
    return std::min(sourceTo, sourceFrom + (targetTo - targetFrom));
}

// Writes one record over what the target held and notes both.
bool WriteAndNote(HueFile &writeFile, int target, const HueEntry &entry, const HueEntry &before,
                  std::vector<EntryWrite> *written)
{
    if (!writeFile.writeEntry(target, entry, before))
        return false;
    if (written)
        written->push_back({target, before, entry});
    return true;
}

} // namespace

bool CopyHueEntry(const HueFile &readFile, HueFile &writeFile, int source, int target,
                  std::vector<EntryWrite> *written)
{
    EntryWrite write{target, {}, {}};
    if (!readFile.readEntry(source, write.after))
        return true;
    if (!writeFile.writeEntry(target, write.after, &write.before))
        return false;
    if (written)
        written->push_back(write);
    return true;
}

// Every source and every target is read before the first write, in one read each. Within one
// file a target may be a later pair's source; reading first keeps the written records out of
// the reads, so the range moves as a block whichever way the ranges overlap.
bool CopyHueEntryRange(const HueFile &readFile, HueFile &writeFile, int sourceFrom, int sourceTo,
                       int targetFrom, int targetTo, std::vector<EntryWrite> *written)
{
    const int lastSource = LastSource(sourceFrom, sourceTo, targetFrom, targetTo);
    std::vector<bool> whole;
    const std::vector<HueEntry> sources = readFile.readEntries(sourceFrom, lastSource, whole);
    std::vector<bool> ignored;
    const std::vector<HueEntry> targets =
        writeFile.readEntries(targetFrom, targetFrom + (lastSource - sourceFrom), ignored);
    for (std::size_t i = 0; i < sources.size(); ++i) {
        if (whole[i] && !WriteAndNote(writeFile, targetFrom + static_cast<int>(i), sources[i],
                                      targets[i], written))
            return false;
    }
    return true;
}
