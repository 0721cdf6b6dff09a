#include "huefile/formats/patch.h"

#include "huefile/entry_bytes.h"
#include "huefile/file_checks.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

// Patches made, checked and applied, and three-way merges; their documents are written and read
// in written_patch.cpp and patch_document.cpp.

namespace {

bool SameSlot(const EntrySlot &x, const EntrySlot &y)
{
    return x.has_value() == y.has_value() && (!x || SameBytes(*x, *y));
}

// "slot 4", "slots 0..3, 7", "slots 0..31".
std::string SlotsText(const std::vector<int> &slots)
{
    std::string text = slots.size() == 1 ? "slot " : "slots ";
    for (std::size_t i = 0; i < slots.size();) {
        std::size_t end = i;
        while (end + 1 < slots.size() && slots[end + 1] == slots[end] + 1)
            ++end;
        text += (i ? ", " : "") + std::to_string(slots[i]);
        if (end > i)
            text += ".." + std::to_string(slots[end]);
        i = end + 1;
    }
    return text;
}

std::string Joined(const std::vector<std::string> &parts)
{
    std::string text;
    for (const std::string &part : parts)
        text += (text.empty() ? "" : "; ") + part;
    return text;
}

// ---- applying

// Puts back what the writes changed, last first, then the length the file had.
void UndoWrites(HueFile &file, const std::vector<EntryWrite> &written, FileOffset earlierSize)
{
    for (auto it = written.rbegin(); it != written.rend(); ++it)
        file.writeEntry(it->entry, it->before, it->after);
    const FileOffset size = file.size();
    // Every byte past the old end reads as zero again once the entries there are put back.
    if (earlierSize >= 0 && size > earlierSize)
        file.giveBackLength(earlierSize, FileBytes(static_cast<std::size_t>(size - earlierSize)));
}

std::string WriteFailure(int number, const std::string &why)
{
    return "entry " + std::to_string(number) + " could not be written (" + why +
           "); every entry is as it was";
}

// ---- merging

// Merges one field of `size` bytes into `result`; true on a conflict. A null base has no
// fields.
bool MergeField(void *result, const void *base, const void *ours, const void *theirs,
                std::size_t size, KeepOnConflict keep)
{
    const bool oursChanged = !base || std::memcmp(base, ours, size) != 0;
    const bool theirsChanged = !base || std::memcmp(base, theirs, size) != 0;
    const bool agree = std::memcmp(ours, theirs, size) == 0;
    const bool conflict = oursChanged && theirsChanged && !agree;
    const bool takeTheirs =
        conflict ? keep == KeepOnConflict::Theirs : theirsChanged && !oursChanged;
    std::memcpy(result, takeTheirs ? theirs : ours, size);
    return conflict;
}

HueEntry MergeFields(int number, const EntrySlot &base, const HueEntry &ours,
                     const HueEntry &theirs, KeepOnConflict keep,
                     std::vector<MergeConflict> &conflicts)
{
    HueEntry merged{};
    const HueEntry *b = base ? &*base : nullptr;
    std::vector<int> slots;
    for (int slot = 0; slot < HueColourCount; ++slot)
        if (MergeField(&merged.colours[slot], b ? &b->colours[slot] : nullptr, &ours.colours[slot],
                       &theirs.colours[slot], sizeof(HueColour), keep))
            slots.push_back(slot);
    std::vector<std::string> fields;
    if (!slots.empty())
        fields.push_back(SlotsText(slots));
    if (MergeField(merged.name, b ? b->name : nullptr, ours.name, theirs.name, sizeof ours.name,
                   keep))
        fields.push_back("name");
    if (MergeField(merged.carried, b ? b->carried : nullptr, ours.carried, theirs.carried,
                   sizeof ours.carried, keep))
        fields.push_back("carried bytes");
    if (!fields.empty())
        conflicts.push_back({number, Joined(fields)});
    return merged;
}

EntrySlot MergeEntry(int number, const EntrySlot &base, const EntrySlot &ours,
                     const EntrySlot &theirs, KeepOnConflict keep,
                     std::vector<MergeConflict> &conflicts)
{
    if (SameSlot(ours, theirs))
        return ours;
    // A hue file is never cut, so a side that ends before an entry the base and the other side
    // hold is far more likely an older or damaged file than one that deleted the entry.
    if (base && ours.has_value() != theirs.has_value()) {
        conflicts.push_back({number, ours ? AbsentInTheirs : AbsentInOurs});
        return keep == KeepOnConflict::Theirs ? theirs : ours;
    }
    // From here a side without the entry has a base without it too, and takes the other side.
    if (SameSlot(theirs, base))
        return ours;
    if (SameSlot(ours, base))
        return theirs;
    return MergeFields(number, base, *ours, *theirs, keep, conflicts);
}

} // namespace

EntrySlots ReadEntrySlots(const HueFile &file)
{
    const FileOffset size = file.size();
    if (size <= 4)
        return {};
    const int reached = std::min<FileOffset>(MaxEntryNumber, EntryAt(size - 1));
    std::vector<bool> whole;
    const std::vector<HueEntry> entries = file.readEntries(1, reached, whole);
    EntrySlots slots(static_cast<std::size_t>(reached));
    for (int i = 0; i < reached; ++i)
        if (whole[static_cast<std::size_t>(i)])
            slots[static_cast<std::size_t>(i)] = entries[static_cast<std::size_t>(i)];
    return slots;
}

EntrySlots EntrySlotsFromBytes(std::string_view bytes)
{
    EntrySlots slots;
    for (int n = 1; n <= MaxEntryNumber; ++n) {
        const auto offset = static_cast<std::size_t>(EntryOffset(n));
        if (offset >= bytes.size())
            break;
        EntrySlot &slot = slots.emplace_back();
        if (bytes.size() - offset >= sizeof(HueEntry))
            std::memcpy(&slot.emplace(), bytes.data() + offset, sizeof(HueEntry));
    }
    return slots;
}

EntrySlot SlotAt(const EntrySlots &slots, int n)
{
    return n >= 1 && static_cast<std::size_t>(n) <= slots.size()
               ? slots[static_cast<std::size_t>(n - 1)]
               : std::nullopt;
}

Patch MakePatch(const EntrySlots &from, const EntrySlots &to)
{
    Patch patch;
    const int count = static_cast<int>(std::max(from.size(), to.size()));
    for (int n = 1; n <= count; ++n) {
        EntrySlot before = SlotAt(from, n);
        EntrySlot after = SlotAt(to, n);
        if (!SameSlot(before, after))
            patch.push_back({n, std::move(before), std::move(after)});
    }
    return patch;
}

Patch Reversed(Patch patch)
{
    for (PatchEntry &entry : patch)
        std::swap(entry.before, entry.after);
    return patch;
}

bool SideMatches(const EntrySlot &side, const EntrySlot &current)
{
    if (!side)
        return !current || IsEmptyEntry(*current);
    return current && SameBytes(*side, *current);
}

std::string Differences(const EntrySlot &expected, const EntrySlot &found)
{
    if (!found)
        return "absent";
    if (!expected)
        return "holds an entry";
    std::vector<int> slots;
    for (int slot = 0; slot < HueColourCount; ++slot)
        if (expected->colours[slot] != found->colours[slot])
            slots.push_back(slot);
    std::vector<std::string> parts;
    if (!slots.empty())
        parts.push_back(SlotsText(slots));
    if (std::memcmp(expected->name, found->name, sizeof found->name) != 0)
        parts.push_back("name");
    if (std::memcmp(expected->carried, found->carried, sizeof found->carried) != 0)
        parts.push_back("carried bytes");
    return Joined(parts);
}

Expected<ApplyReport> ApplyPatch(HueFile &file, const Patch &patch, ApplyMode mode,
                                 Flushes flushes)
{
    ApplyReport report;
    if (patch.empty())
        return report;
    const int last = patch.back().number;
    std::vector<bool> whole;
    const std::vector<HueEntry> current = file.readEntries(1, last, whole);
    const auto slotOf = [&](int n) {
        const auto i = static_cast<std::size_t>(n - 1);
        return whole[i] ? EntrySlot(current[i]) : std::nullopt;
    };
    for (const PatchEntry &entry : patch)
        if (!SideMatches(entry.before, slotOf(entry.number)))
            report.conflicts.push_back(
                {entry.number, Differences(entry.before, slotOf(entry.number))});
    if (mode == ApplyMode::Check || (mode == ApplyMode::Apply && !report.conflicts.empty()))
        return report;

    std::vector<const PatchEntry *> toWrite;
    std::vector<PlannedWrite> plan;
    plan.reserve(patch.size());
    for (const PatchEntry &entry : patch) {
        const EntrySlot now = slotOf(entry.number);
        // An absent after leaves an absent entry as it is: a file is never cut short.
        if (!entry.after && (!now || IsEmptyEntry(*now)))
            continue;
        if (entry.after && now && SameBytes(*entry.after, *now))
            continue;
        toWrite.push_back(&entry);
        plan.push_back({entry.number, entry.after.value_or(HueEntry{})});
    }
    const Expected<WriteOperation> operation = WriteOperation::begin(file, plan, flushes);
    if (!operation)
        return Fail(operation.error());
    const FileOffset earlierSize = file.size();
    std::vector<EntryWrite> &written = report.writes;
    for (const PatchEntry *entry : toWrite) {
        const HueEntry &old = current[static_cast<std::size_t>(entry->number - 1)];
        const HueEntry replacement = entry->after.value_or(HueEntry{});
        if (const Expected<void> landed = file.writeEntry(entry->number, replacement, old);
            !landed) {
            UndoWrites(file, written, earlierSize);
            return Fail(WriteFailure(entry->number, landed.error()));
        }
        written.push_back({entry->number, old, replacement});
        if (!entry->after)
            report.zeroed.push_back(entry->number);
    }
    // Forced, an entry that stayed as it was overwrote nothing. Both lists rise by number.
    const auto notWritten = [&](const PatchConflict &conflict) {
        const auto found = std::lower_bound(
            written.begin(), written.end(), conflict.number,
            [](const EntryWrite &write, int number) { return write.entry < number; });
        return found == written.end() || found->entry != conflict.number;
    };
    report.conflicts.erase(
        std::remove_if(report.conflicts.begin(), report.conflicts.end(), notWritten),
        report.conflicts.end());
    return report;
}

std::string ApplyPatchToBytes(std::string bytes, const Patch &patch)
{
    for (const PatchEntry &entry : patch) {
        const auto offset = static_cast<std::size_t>(EntryOffset(entry.number));
        const bool held = bytes.size() >= offset + sizeof(HueEntry);
        if (!entry.after && !held)
            continue;
        if (!held)
            bytes.resize(offset + sizeof(HueEntry), '\0');
        const HueEntry replacement = entry.after.value_or(HueEntry{});
        std::memcpy(&bytes[offset], &replacement, sizeof replacement);
    }
    return bytes;
}

MergeResult MergeEntries(const EntrySlots &base, const EntrySlots &ours, const EntrySlots &theirs,
                         KeepOnConflict keep)
{
    MergeResult result;
    const std::size_t count = std::max({base.size(), ours.size(), theirs.size()});
    result.merged.resize(count);
    for (std::size_t i = 0; i < count; ++i) {
        const int n = static_cast<int>(i + 1);
        const EntrySlot our = SlotAt(ours, n);
        result.merged[i] =
            MergeEntry(n, SlotAt(base, n), our, SlotAt(theirs, n), keep, result.conflicts);
        if (our && !result.merged[i] && !IsEmptyEntry(*our))
            result.zeroed.push_back(n);
    }
    while (!result.merged.empty() && !result.merged.back())
        result.merged.pop_back();
    return result;
}
