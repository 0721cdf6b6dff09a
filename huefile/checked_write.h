#pragma once

#include "huefile/hue_file.h"
#include "huefile/write_journal.h"

// A write of one entry that must not overwrite what another writer put there since the caller
// last looked at it: a script's change, or the caller's own program writing by another way.
// The comparison and the write happen under the one writers' lock that an open for update
// holds until the file goes, so no writer of this program comes between them.

enum class CheckedWriteOutcome {
    Written, // the entry held what was expected; it now holds the new bytes
    Stale,   // the entry held something else: nothing was written
    Failed,  // the entry could not be read or written; every entry reads as it did
};

struct CheckedWrite {
    CheckedWriteOutcome outcome = CheckedWriteOutcome::Failed;
    // The entry as the file held it, zeroes where the file ends: what a written entry replaced,
    // or what someone else left in a stale one.
    HueEntry found{};
};

// Writes entry n of a file opened for update, only when the file holds `expected` there, byte
// for byte, zeroes counting where the file ends. Without `expected` the entry is written
// whatever it holds.
CheckedWrite WriteEntryIfUnchanged(HueFile &file, int n, const HueEntry &entry,
                                   const HueEntry *expected, Flushes flushes);
