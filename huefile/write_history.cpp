#include "huefile/write_history.h"

#include "huefile/entry_bytes.h"

#include <algorithm>
#include <iterator>

void WriteHistory::record(Step step)
{
    // A write that lengthened the file stays even when its bytes are zeroes, for a redo must
    // lengthen the file again.
    const auto changedNothing = [&step](const EntryWrite &w) {
        return SameBytes(w.before, w.after) &&
               EntryOffset(w.entry) + FileOffset(sizeof(HueEntry)) <= step.sizeBefore;
    };
    auto &writes = step.writes;
    writes.erase(std::remove_if(writes.begin(), writes.end(), changedNothing), writes.end());
    if (writes.empty() && step.sizeBefore == step.sizeAfter)
        return;
    m_redo.clear();
    m_undo.push_back(std::move(step));
    if (m_undo.size() > Capacity)
        m_undo.pop_front();
}

void WriteHistory::clear()
{
    m_undo.clear();
    m_redo.clear();
}

const WriteHistory::Step *WriteHistory::nextUndo() const
{
    return m_undo.empty() ? nullptr : &m_undo.back();
}

const WriteHistory::Step *WriteHistory::nextRedo() const
{
    return m_redo.empty() ? nullptr : &m_redo.back();
}

void WriteHistory::undone()
{
    m_redo.push_back(std::move(m_undo.back()));
    m_undo.pop_back();
}

void WriteHistory::redone()
{
    m_undo.push_back(std::move(m_redo.back()));
    m_redo.pop_back();
}

void WriteHistory::dropNextUndo()
{
    m_undo.pop_back();
}

void WriteHistory::dropNextRedo()
{
    m_redo.pop_back();
}

namespace {

constexpr auto RecordSize = static_cast<FileOffset>(sizeof(HueEntry));

// The entry a failure names: the step's first.
int FirstEntry(const WriteHistory::Step &step)
{
    return step.writes.empty() ? 0 : step.writes.front().entry;
}

FileOffset EndOf(const EntryWrite &write)
{
    return EntryOffset(write.entry) + RecordSize;
}

// Lays the part of a record that lies in `tail`, the bytes from tailStart on, over it.
void Overlay(FileBytes &tail, FileOffset tailStart, const EntryWrite &write, const HueEntry &record)
{
    const auto *bytes = reinterpret_cast<const unsigned char *>(&record);
    for (FileOffset at = std::max(EntryOffset(write.entry), tailStart);
         at < EndOf(write) && at - tailStart < static_cast<FileOffset>(tail.size()); ++at)
        tail[static_cast<std::size_t>(at - tailStart)] = bytes[at - EntryOffset(write.entry)];
}

// What the step added behind the file's earlier end: zeroes, under the records it wrote there.
FileBytes AddedBytes(const WriteHistory::Step &step)
{
    FileBytes added(
        static_cast<std::size_t>(std::max<FileOffset>(0, step.sizeAfter - step.sizeBefore)));
    for (const EntryWrite &write : step.writes)
        Overlay(added, step.sizeBefore, write, write.after);
    return added;
}

// Writes the records of one side in the given order; when one fails, those already written get
// the other side's bytes back.
bool WriteSide(HueFile &file, const std::vector<const EntryWrite *> &order, bool undo)
{
    for (auto done = order.begin(); done != order.end(); ++done) {
        if (!file.writeEntry((*done)->entry, undo ? (*done)->before : (*done)->after).ok()) {
            while (done != order.begin()) {
                --done;
                file.writeEntry((*done)->entry, undo ? (*done)->after : (*done)->before);
            }
            return false;
        }
    }
    return true;
}

const EntryWrite *FirstStale(const HueFile &file, const std::vector<const EntryWrite *> &order,
                             bool undo)
{
    for (const EntryWrite *write : order) {
        HueEntry now{};
        file.readEntry(write->entry, now);
        if (!SameBytes(now, undo ? write->after : write->before))
            return write;
    }
    return nullptr;
}

// An undo of a step that lengthened the file: the entries that lie wholly in what it added go
// with the length, the others get their bytes back first. Nothing changes unless the file is
// still exactly as long as the step left it and holds what it added, which is checked before
// the writes and once more just before the cut, since writers that take no lock may come in
// between.
ReplayResult UndoExtension(HueFile &file, const WriteHistory::Step &step,
                           const std::vector<const EntryWrite *> &order)
{
    FileBytes added = AddedBytes(step);
    if (const auto changed = file.firstChangeAfter(step.sizeBefore, added))
        return {ReplayOutcome::Stale, EntryAt(*changed)};
    std::vector<const EntryWrite *> inPlace;
    std::copy_if(
        order.begin(), order.end(), std::back_inserter(inPlace),
        [&step](const EntryWrite *write) { return EntryOffset(write->entry) < step.sizeBefore; });
    if (!WriteSide(file, inPlace, true))
        return {ReplayOutcome::Failed, inPlace.front()->entry};
    for (const EntryWrite *write : inPlace)
        Overlay(added, step.sizeBefore, *write, write->before);
    const GiveBackOutcome cut = file.giveBackLength(step.sizeBefore, added);
    if (cut == GiveBackOutcome::Cut)
        return {};
    std::vector<const EntryWrite *> again(inPlace.rbegin(), inPlace.rend());
    WriteSide(file, again, false);
    if (cut == GiveBackOutcome::Failed)
        return {ReplayOutcome::Failed, FirstEntry(step)};
    return {ReplayOutcome::Stale,
            EntryAt(file.firstChangeAfter(step.sizeBefore, added).value_or(step.sizeBefore))};
}

// A redo that lengthens the file sets the length first, as a copy does; when a write fails,
// the length goes again with the records.
ReplayResult Redo(HueFile &file, const WriteHistory::Step &step,
                  const std::vector<const EntryWrite *> &order)
{
    const FileOffset lengthBefore = file.size();
    FileOffset end = lengthBefore;
    for (const EntryWrite &write : step.writes)
        end = std::max(end, EndOf(write));
    file.extendTo(end);
    if (WriteSide(file, order, false))
        return {};
    const FileOffset length = file.size();
    if (length > lengthBefore)
        file.giveBackLength(lengthBefore,
                            FileBytes(static_cast<std::size_t>(length - lengthBefore)));
    return {ReplayOutcome::Failed, FirstEntry(step)};
}

} // namespace

// Later writes of one step may cover earlier ones, so an undo walks the step backwards.
ReplayResult ReplayStep(HueFile &file, const WriteHistory::Step &step, bool undo,
                        Flushes flushes)
{
    std::vector<const EntryWrite *> order;
    for (const EntryWrite &write : step.writes)
        order.push_back(&write);
    if (undo)
        std::reverse(order.begin(), order.end());

    if (const EntryWrite *stale = FirstStale(file, order, undo))
        return {ReplayOutcome::Stale, stale->entry};
    // Both sides are planned: a write that fails puts the other side back.
    std::vector<PlannedWrite> plan;
    plan.reserve(2 * step.writes.size());
    for (const EntryWrite &write : step.writes) {
        plan.push_back({write.entry, write.before});
        plan.push_back({write.entry, write.after});
    }
    const Expected<WriteOperation> operation = WriteOperation::begin(file, plan, flushes);
    if (!operation)
        return {ReplayOutcome::Failed, FirstEntry(step)};
    if (!undo)
        return Redo(file, step, order);
    if (step.sizeAfter > step.sizeBefore)
        return UndoExtension(file, step, order);
    if (!WriteSide(file, order, true))
        return {ReplayOutcome::Failed, order.front()->entry};
    return {};
}
