#pragma once

#include "huefile/hue_file.h"
#include "huefile/write_journal.h"

#include <cstddef>
#include <deque>
#include <optional>
#include <vector>

// The window's writes into its write file, newest last, so that each can be taken back and
// done again. It lives in memory only and holds a bounded number of writes.
class WriteHistory {
public:
    static constexpr std::size_t Capacity = 100;
    struct Step {
        std::vector<EntryWrite> writes;
        // The file's length before the step and after it: a step that extended the file is
        // undone to its earlier length, and only while the file still ends exactly where the
        // step left it, in the bytes the step added.
        FileOffset sizeBefore = 0;
        FileOffset sizeAfter = 0;
    };

    // Entries a write left as they were are not kept; a step that changed neither a byte nor
    // the length is no step. A new step makes the undone ones impossible to redo.
    void record(Step step);
    void clear();

    // The step an undo or a redo would replay next.
    const Step *nextUndo() const;
    const Step *nextRedo() const;
    // Moves that step to the other side once it has been replayed.
    void undone();
    void redone();
    // Forgets a step that can never be replayed.
    void dropNextUndo();
    void dropNextRedo();

private:
    std::deque<Step> m_undo;
    std::vector<Step> m_redo;
};

enum class ReplayOutcome { Done, Stale, Failed };

struct ReplayResult {
    ReplayOutcome outcome = ReplayOutcome::Done;
    // The first entry that no longer holds what the history expects.
    int staleEntry = 0;
};

// Puts back what the step's writes found (undo) or what they left (redo), all or nothing:
// only when every entry still holds what the other side says, and for an undo that gives back
// a length, when nobody has changed the length or the bytes added since; otherwise the step is
// stale. When a write fails, the entries already put back get their bytes of a moment ago
// again.
ReplayResult ReplayStep(HueFile &file, const WriteHistory::Step &step, bool undo,
                        Flushes flushes);
