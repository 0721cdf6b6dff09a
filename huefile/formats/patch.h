#pragma once

// Patches between hue files: the entries in which two files differ, each as it was and as it
// is, written as a *.huepatch document (UTF-8 json, described in the README), so that a patch
// can be checked before it is applied and taken back after. Also the three-way merge of hue
// files, field by field. Qt-free: the window and the command line share it.

#include "huefile/expected.h"
#include "huefile/hue_entry.h"
#include "huefile/hue_file.h"
#include "huefile/write_journal.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

// One entry of a file, or nullopt where the file does not hold it whole: past its end, or cut
// short by it. Such an entry counts as absent.
using EntrySlot = std::optional<HueEntry>;
// Entry n at index n - 1, for the entries 1 to 3000 that a file reaches.
using EntrySlots = std::vector<EntrySlot>;

// Every entry the file reaches, up to entry 3000, in one read.
EntrySlots ReadEntrySlots(const HueFile &file);

// The same from the bytes of a whole hue file.
EntrySlots EntrySlotsFromBytes(std::string_view bytes);

// Entry n of the slots, absent past their end.
EntrySlot SlotAt(const EntrySlots &slots, int n);

struct PatchEntry {
    int number = 1;
    EntrySlot before;
    EntrySlot after;
};

// Entries in rising order of number, each at most once.
using Patch = std::vector<PatchEntry>;

// The patch that turns `from` into `to`: every entry whose bytes differ, or that only one of
// them holds.
Patch MakePatch(const EntrySlots &from, const EntrySlots &to);

// Each entry's before and after swapped: the patch that takes it back.
Patch Reversed(Patch patch);

// The document, one line per entry so that patches themselves compare well.
std::string WritePatch(const Patch &patch);

// A patch document is refused above this size, as a palette is.
constexpr FileOffset MaxPatchSize = 16L << 20;

// The patch a document holds, or one line that names the place where it is wrong: not json
// (with the line and column), another version, an entry outside 1-3000 or given twice, a key
// given twice in one object, a word above 0xFFFF, a name that is not 20 Latin-1 bytes, hex
// digits of the wrong count. Time and memory grow with the document's length, however it nests
// or whatever keys it holds.
Expected<Patch> ReadPatch(std::string_view document);
// The same reading through a whole json document: slower, and the one that names a fault.
// ReadPatch reads the layout WritePatch gives by itself and falls back on this for every other
// document; the fuzz target checks that the two agree.
Expected<Patch> ReadPatchDocument(std::string_view document);

// Whether the file's entry is what a side of a patch says. An absent side matches an entry
// that is absent or all zero, since applying an absent side writes zeroes.
bool SideMatches(const EntrySlot &side, const EntrySlot &current);

// What differs between two entries, for people: "slots 0..3, 5", "name", "carried bytes",
// joined by "; "; "absent" or "holds an entry" where only one of them is there.
std::string Differences(const EntrySlot &expected, const EntrySlot &found);

struct PatchConflict {
    int number = 1;
    // Where the file's entry differs from the patch's before.
    std::string differences;
};

enum class ApplyMode {
    Check, // only find the conflicts
    Apply, // write when there is none
    Force, // write whatever the file holds
};

struct ApplyReport {
    // Entries whose before the file did not match: with Force, the ones overwritten.
    std::vector<PatchConflict> conflicts;
    // Entries written as zeroes because the patch's after is absent. A file is never cut
    // short, so an entry past its end stays absent and is not listed.
    std::vector<int> zeroed;
    // The entries written, zeroed ones included, each as it was and as it is: an undo step.
    std::vector<EntryWrite> writes;
};

// Applies the patch's after sides to the file, all or nothing: nothing is written while any
// entry conflicts (unless forced), and when a write fails the entries written before it get
// their old bytes back and the file its old length. The failure says which entry failed and
// why. Entries that already hold the after side are not written again.
Expected<ApplyReport> ApplyPatch(HueFile &file, const Patch &patch, ApplyMode mode,
                                 Flushes flushes);

// The bytes of a whole hue file with the patch's after sides laid over them, extended with
// zeroes as far as the entries need; an absent after zeroes an entry the bytes hold whole.
std::string ApplyPatchToBytes(std::string bytes, const Patch &patch);

enum class KeepOnConflict { Ours, Theirs };

// What a merge conflict names where one side lacks an entry that the base and the other side
// hold.
inline constexpr const char *AbsentInOurs = "absent in OURS";
inline constexpr const char *AbsentInTheirs = "absent in THEIRS";

struct MergeConflict {
    int number = 1;
    // The fields in conflict, as Differences names them, or AbsentInOurs or AbsentInTheirs.
    std::string fields;
};

struct MergeResult {
    EntrySlots merged;
    std::vector<MergeConflict> conflicts;
    // Entries that OURS holds, not all zero, and the merge leaves absent: written, they become
    // zero entries, since a file is never cut short. Only taking THEIRS's side of an
    // AbsentInTheirs conflict does that.
    std::vector<int> zeroed;
};

// Three-way merge, field by field: the fields of an entry are its 32 colour words, its 20
// name bytes and its 4 carried bytes. A field changed on one side takes that side; changed on
// both to one value, that value; changed on both differently, it is a conflict and keeps the
// side asked for. An entry that the base and one side hold and the other side lacks (past its
// end, or cut short by it) is no deletion but a conflict, AbsentInOurs or AbsentInTheirs, and
// keeps the side asked for. An entry the base lacks is taken whole from the side that adds
// it; an absent base entry has no fields, so two sides that add an entry conflict wherever
// they differ.
MergeResult MergeEntries(const EntrySlots &base, const EntrySlots &ours, const EntrySlots &theirs,
                         KeepOnConflict keep);
