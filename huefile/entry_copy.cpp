#include "huefile/entry_copy.h"

#include <algorithm>

namespace {

// The last source whose target does not lie beyond targetTo; the pairs after it are not copied.
int LastSource(int sourceFrom, int sourceTo, int targetFrom, int targetTo)
{
    return std::min(sourceTo, sourceFrom + (targetTo - targetFrom));
}

// Writes one record over what the target held and notes both.
Expected<void> WriteAndNote(HueFile &writeFile, int target, const HueEntry &entry,
                            const HueEntry &before, std::vector<EntryWrite> *written)
{
    Expected<void> landed = writeFile.writeEntry(target, entry, before);
    if (landed && written)
        written->push_back({target, before, entry});
    return landed;
}

// Where the file must end for the pairs to land: after the last target with a whole source.
FileOffset EndOfLastTarget(const std::vector<bool> &whole, int targetFrom)
{
    const auto last = std::find(whole.rbegin(), whole.rend(), true);
    if (last == whole.rend())
        return 0;
    const int target = targetFrom + static_cast<int>(whole.rend() - last) - 1;
    return EntryOffset(target) + static_cast<FileOffset>(sizeof(HueEntry));
}

// After a pair failed, the file keeps the length the pairs before it need; the zeroes set
// ahead for the pairs that never came go again, unless someone else has written there.
void GiveBackUnusedLength(HueFile &writeFile, FileOffset lengthBefore,
                          const std::vector<bool> &whole, int targetFrom, std::size_t failed)
{
    std::vector<bool> landed(whole.begin(), whole.begin() + static_cast<long>(failed));
    const FileOffset needed = std::max(lengthBefore, EndOfLastTarget(landed, targetFrom));
    const FileOffset length = writeFile.size();
    if (length > needed)
        writeFile.giveBackLength(needed, FileBytes(static_cast<std::size_t>(length - needed)));
}

} // namespace

Expected<void> CopyHueEntry(const HueFile &readFile, HueFile &writeFile, int source, int target,
                            Flushes flushes, std::vector<EntryWrite> *written)
{
    EntryWrite write{target, {}, {}};
    if (!readFile.readEntry(source, write.after))
        return Done();
    const Expected<WriteOperation> operation =
        WriteOperation::begin(writeFile, {{target, write.after}}, flushes);
    if (!operation)
        return Fail(operation.error());
    Expected<void> landed = writeFile.writeEntry(target, write.after, &write.before);
    if (landed && written)
        written->push_back(write);
    return landed;
}

// Every source and every target is read before the first write, in one read each, the targets
// by the write operation as it begins. Within one
// file a target may be a later pair's source; reading first keeps the written records out of
// the reads, so the range moves as a block whichever way the ranges overlap. The file gets its
// final length before the first write, so that a kill at any moment leaves whole entries;
// where the system refuses that length, each write extends the file as far as it reaches.
Expected<void> CopyHueEntryRange(const HueFile &readFile, HueFile &writeFile, int sourceFrom,
                                 int sourceTo, int targetFrom, int targetTo, Flushes flushes,
                                 std::vector<EntryWrite> *written, int *failedTarget)
{
    const int lastSource = LastSource(sourceFrom, sourceTo, targetFrom, targetTo);
    std::vector<bool> whole;
    const std::vector<HueEntry> sources = readFile.readEntries(sourceFrom, lastSource, whole);
    // The operation reads what the targets hold as it begins, for its journal and for `written`.
    std::vector<PlannedWrite> plan;
    plan.reserve(sources.size());
    for (std::size_t i = 0; i < sources.size(); ++i)
        if (whole[i])
            plan.push_back({targetFrom + static_cast<int>(i), sources[i]});
    const Expected<WriteOperation> operation = WriteOperation::begin(writeFile, plan, flushes);
    if (!operation) {
        if (failedTarget)
            *failedTarget = plan.empty() ? targetFrom : plan.front().entry;
        return Fail(operation.error());
    }
    const FileOffset lengthBefore = writeFile.size();
    writeFile.extendTo(EndOfLastTarget(whole, targetFrom));
    for (std::size_t i = 0; i < sources.size(); ++i) {
        if (!whole[i])
            continue;
        const int target = targetFrom + static_cast<int>(i);
        Expected<void> landed =
            WriteAndNote(writeFile, target, sources[i], operation->before(target), written);
        if (!landed) {
            GiveBackUnusedLength(writeFile, lengthBefore, whole, targetFrom, i);
            if (failedTarget)
                *failedTarget = targetFrom + static_cast<int>(i);
            return landed;
        }
    }
    return Done();
}
