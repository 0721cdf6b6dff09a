#include "undo/write_history.h"

#include <algorithm>
#include <cstring>

namespace {

bool SameBytes(const HueEntry &a, const HueEntry &b)
{
    return std::memcmp(&a, &b, sizeof a) == 0;
}

} // namespace

void WriteHistory::record(Step step)
{
    // A write that lengthened the file stays even when its bytes are zeroes, for a redo must
    // lengthen the file again.
    const auto changedNothing = [&step](const EntryWrite &w) {
        return SameBytes(w.before, w.after) &&
               EntryOffset(w.entry) + off_t(sizeof(HueEntry)) <= step.sizeBefore;
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

// Later writes of one step may cover earlier ones, so an undo walks the step backwards.
ReplayResult ReplayStep(HueFile &file, const WriteHistory::Step &step, bool undo)
{
    std::vector<const EntryWrite *> order;
    for (const EntryWrite &write : step.writes)
        order.push_back(&write);
    if (undo)
        std::reverse(order.begin(), order.end());

    for (const EntryWrite *write : order) {
        HueEntry now{};
        file.readEntry(write->entry, now);
        if (!SameBytes(now, undo ? write->after : write->before))
            return {ReplayOutcome::Stale, write->entry};
    }
    for (auto done = order.begin(); done != order.end(); ++done) {
        const EntryWrite &write = **done;
        if (!file.writeEntry(write.entry, undo ? write.before : write.after)) {
            while (done != order.begin()) {
                --done;
                file.writeEntry((*done)->entry, undo ? (*done)->after : (*done)->before);
            }
            return {ReplayOutcome::Failed, write.entry};
        }
    }
    // Bytes appended by someone else since would go with the length, so then the added
    // entries stay, as zeroes.
    if (undo && file.size() == step.sizeAfter && !file.giveBackLength(step.sizeBefore))
        return {ReplayOutcome::Failed, step.writes.empty() ? 0 : step.writes.front().entry};
    return {};
}
