#include "huefile/checked_write.h"

#include "huefile/entry_bytes.h"

#include <algorithm>

// The record is read as the write itself would read it, so a read that fails fails the write
// rather than passing for an entry that someone emptied.
CheckedWrite WriteEntryIfUnchanged(HueFile &file, int n, const HueEntry &entry,
                                   const HueEntry *expected, Flushes flushes)
{
    constexpr auto RecordSize = static_cast<FileOffset>(sizeof(HueEntry));
    CheckedWrite result;
    const FileOffset offset = EntryOffset(n);
    const FileOffset length = file.size();
    const FileOffset present = std::clamp<FileOffset>(length - offset, 0, RecordSize);
    if (length < 0 || (present > 0 && file.readBytes(&result.found, present, offset) != present))
        return result;
    if (expected && !SameBytes(*expected, result.found)) {
        result.outcome = CheckedWriteOutcome::Stale;
        return result;
    }
    const Expected<WriteOperation> operation = WriteOperation::begin(file, {{n, entry}}, flushes);
    if (operation && file.writeEntry(n, entry, result.found))
        result.outcome = CheckedWriteOutcome::Written;
    return result;
}
