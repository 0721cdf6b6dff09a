#pragma once

#include "huefile/hue_entry.h"

#include <bitset>
#include <string>
#include <vector>

// How the entries with one number in two files differ, part by part. A side that holds no
// whole record is missing. Missing on both sides is no difference; missing on one side is,
// because bringing the files together would add or remove the entry there.
struct EntryDifference {
    bool sourceMissing = false;
    bool targetMissing = false;
    std::bitset<HueColourCount> colours;
    // Any of the 20 stored name bytes, those behind a shorter name's end included.
    bool nameBytes = false;
    // Only the bytes up to the name's end, as the name reads.
    bool nameText = false;
    bool carried = false;

    bool any() const
    {
        return sourceMissing != targetMissing || colours.any() || nameBytes || carried;
    }
};

// Either entry may be null for a missing one.
EntryDifference CompareEntries(const HueEntry *source, const HueEntry *target);

// Whether the entries differ in any of their 88 bytes, or exactly one is missing (null). Cheap
// enough for every painted row.
bool EntriesDiffer(const HueEntry *source, const HueEntry *target);

// The first entry after `current` (forward) or the last one before it whose entries differ
// between the two files, as they are now; 0 when there is none. A file that does not open holds
// no entries. Both files are read piece by piece from `current` on, in reads of a few dozen
// kilobytes, and closed again before this returns: a difference close by costs little, and
// one far off no more than the two files' length.
int NextDifferingEntry(const std::string &sourceFile, const std::string &targetFile, int current,
                       bool forward);
