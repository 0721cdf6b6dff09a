#pragma once

#include "huefile/entry_bytes.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <deque>
#include <optional>
#include <vector>

// Hue files as plain byte arrays: what every write, copy, undo and redo of the programs must do
// to them, and what another writer that takes no lock does. The unit tests and the fuzz target
// both check the files on disk against it, so it uses neither Qt nor a test framework.

namespace byte_model {

using Bytes = std::vector<unsigned char>;
constexpr long Record = sizeof(HueEntry);

inline long EndOf(int n)
{
    return EntryOffset(n) + Record;
}

// Zeroes where the file ends; true when the whole record is there.
inline bool ReadEntry(const Bytes &file, int n, HueEntry &entry)
{
    entry = HueEntry{};
    const long offset = EntryOffset(n);
    const long present = std::clamp<long>(static_cast<long>(file.size()) - offset, 0, Record);
    if (present > 0)
        std::memcpy(&entry, file.data() + offset, static_cast<std::size_t>(present));
    return present == Record;
}

// Bytes put at any place, as a plain write does: a file that ends before them grows, zeroes
// in between.
inline void PutBytes(Bytes &file, long offset, const void *bytes, long count)
{
    if (static_cast<long>(file.size()) < offset + count)
        file.resize(static_cast<std::size_t>(offset + count), 0);
    std::memcpy(file.data() + offset, bytes, static_cast<std::size_t>(count));
}

// The entry whose record holds a byte, or the first one after a block header's byte.
inline int EntryAt(long offset)
{
    int n = 1;
    while (EndOf(n) <= offset)
        ++n;
    return n;
}

// One entry as a write of the window found and left it.
struct Written {
    int entry = 0;
    HueEntry before{};
    HueEntry after{};
};

// A file under a size limit, or none: a record whose end lies beyond the limit is never
// written, in place or not, and changes nothing.
struct LimitedFile {
    Bytes &bytes;
    std::optional<long> limit;

    bool fits(int n) const { return !limit || EndOf(n) <= *limit; }

    bool write(int n, const HueEntry &entry, std::vector<Written> *written = nullptr)
    {
        if (!fits(n))
            return false;
        Written change{n, {}, entry};
        ReadEntry(bytes, n, change.before);
        PutBytes(bytes, EntryOffset(n), &entry, Record);
        if (written)
            written->push_back(change);
        return true;
    }

    // Pairs ascend; a source without a whole record is skipped, the first failed write ends
    // the copy and the pairs before it stay. Every source is read before the first write, so
    // within one file the range moves as a block.
    // The target that could not be written goes to `failedTarget`, when given.
    bool copy(const Bytes &source, int sourceFrom, int sourceTo, int targetFrom, int targetTo,
              std::vector<Written> *written = nullptr, int *failedTarget = nullptr)
    {
        const int lastSource = std::min(sourceTo, sourceFrom + (targetTo - targetFrom));
        const Bytes sourceBefore = source;
        for (int s = sourceFrom; s <= lastSource; ++s) {
            HueEntry entry;
            const int target = targetFrom + (s - sourceFrom);
            if (ReadEntry(sourceBefore, s, entry) && !write(target, entry, written)) {
                if (failedTarget)
                    *failedTarget = target;
                return false;
            }
        }
        return true;
    }
};

enum class Replay { Nothing, Done, Stale, Failed };

struct ReplayResult {
    Replay outcome = Replay::Nothing;
    // The first entry that no longer holds what the step expects.
    int staleEntry = 0;
    // The entries the step wrote, in its order.
    std::vector<int> entries;
};

// The window's undo and redo. A step is replayed only while every entry it wrote holds what
// the other side left and, for an undo that gives back a length, while the file is exactly as
// long as the step left it and holds what it added, zeroes of a gap included; otherwise it is
// stale and dropped. A replay that cannot write one of its records changes nothing and stays.
class History {
public:
    static constexpr std::size_t Capacity = 100;
    struct Step {
        std::vector<Written> writes;
        long sizeBefore = 0;
        long sizeAfter = 0;
    };

    void record(Step step)
    {
        auto &writes = step.writes;
        writes.erase(std::remove_if(writes.begin(), writes.end(),
                                    [&step](const Written &w) {
                                        return SameBytes(w.before, w.after) &&
                                               EndOf(w.entry) <= step.sizeBefore;
                                    }),
                     writes.end());
        if (writes.empty() && step.sizeBefore == step.sizeAfter)
            return;
        m_redo.clear();
        m_undo.push_back(std::move(step));
        if (m_undo.size() > Capacity)
            m_undo.pop_front();
    }

    bool canReplay(bool undo) const { return !(undo ? m_undo : m_redo).empty(); }

    ReplayResult replay(bool undo, LimitedFile file)
    {
        std::deque<Step> &from = undo ? m_undo : m_redo;
        if (from.empty())
            return {};
        const Step step = from.back();
        from.pop_back();
        ReplayResult result{Replay::Stale, 0, {}};
        std::vector<Written> order = step.writes;
        if (undo)
            std::reverse(order.begin(), order.end());
        for (const Written &w : step.writes)
            result.entries.push_back(w.entry);
        for (const Written &w : order) {
            HueEntry now;
            ReadEntry(file.bytes, w.entry, now);
            if (!SameBytes(now, undo ? w.after : w.before)) {
                result.staleEntry = w.entry;
                return result;
            }
        }
        const bool cut = undo && step.sizeAfter > step.sizeBefore;
        if (cut) {
            if (const auto changed = FirstChangeAfter(file.bytes, step)) {
                result.staleEntry = EntryAt(*changed);
                return result;
            }
            // Entries wholly in what the step added go with the length.
            order.erase(std::remove_if(order.begin(), order.end(),
                                       [&step](const Written &w) {
                                           return EntryOffset(w.entry) >= step.sizeBefore;
                                       }),
                        order.end());
        }
        if (!std::all_of(order.begin(), order.end(),
                         [&file](const Written &w) { return file.fits(w.entry); })) {
            from.push_back(step);
            result.outcome = Replay::Failed;
            return result;
        }
        for (const Written &w : order)
            PutBytes(file.bytes, EntryOffset(w.entry), undo ? &w.before : &w.after, Record);
        if (cut)
            file.bytes.resize(static_cast<std::size_t>(step.sizeBefore));
        (undo ? m_redo : m_undo).push_back(step);
        result.outcome = Replay::Done;
        return result;
    }

private:
    // The first byte from the step's earlier end on that is not what the step added, or
    // where the file's end differs from the step's.
    static std::optional<long> FirstChangeAfter(const Bytes &file, const Step &step)
    {
        Bytes expected = file;
        expected.resize(static_cast<std::size_t>(step.sizeBefore), 0);
        for (const Written &w : step.writes)
            PutBytes(expected, EntryOffset(w.entry), &w.after, Record);
        expected.resize(static_cast<std::size_t>(step.sizeAfter), 0);
        const auto start = static_cast<std::size_t>(step.sizeBefore);
        if (file.size() <= start)
            return step.sizeBefore;
        const std::size_t common = std::max(start, std::min(file.size(), expected.size()));
        const auto differs = std::mismatch(expected.begin() + start, expected.begin() + common,
                                           file.begin() + start);
        if (differs.first != expected.begin() + common || file.size() != expected.size())
            return static_cast<long>(differs.first - expected.begin());
        return std::nullopt;
    }

    std::deque<Step> m_undo;
    std::deque<Step> m_redo;
};

} // namespace byte_model
