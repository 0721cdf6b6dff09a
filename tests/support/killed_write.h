#pragma once

#include "huefile/write_journal.h"

#include <string>
#include <vector>

// A write operation stopped as a kill would stop it: part of its plan written, perhaps one
// record torn at a tearing edge, and its journal left beside the file as it stood.

// The names of the journal, and of one kept aside, of a hue file.
std::string JournalOf(const std::string &fileName);
std::string AsideOf(const std::string &fileName);

std::vector<unsigned char> EntryBytes(const HueEntry &entry);

struct Kill {
    std::vector<PlannedWrite> plan;
    // Writes of the plan that landed whole before the kill.
    std::size_t landed = 0;
    // The next write stopped at the first tearing edge inside its record, where there is one.
    bool torn = false;
};

// Leaves the file as the kill would; true when it could. The operation runs as one of this
// program's would, and its journal is saved before the writes and put back after the
// operation ended.
bool KillDuring(const std::string &fileName, const Kill &kill);

// A plan of `count` entries from `first`, each a new pattern of `seed`.
std::vector<PlannedWrite> PlanOf(int first, int count, int seed);
