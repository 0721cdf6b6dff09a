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

// The numbers, ascending, of the entries 1 to MaxEntryNumber that differ between two files.
// Each file is read in one go and closed again before this returns; a file that does not open
// holds no entries.
std::vector<int> DifferingEntries(const std::string &sourceFile, const std::string &targetFile);
