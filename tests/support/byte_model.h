#pragma once

#include "huefile/entry_bytes.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <deque>
#include <iterator>
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

// Whether entry n's place differs between two states of a file: a byte of its record, or how
// much of the record the file holds.
inline bool PlaceDiffers(const Bytes &a, const Bytes &b, int n)
{
    const long offset = EntryOffset(n);
    const auto held = [offset](const Bytes &file) {
        return std::clamp<long>(static_cast<long>(file.size()) - offset, 0, Record);
    };
    const long count = held(a);
    return count != held(b) ||
           (count > 0 &&
            !std::equal(a.begin() + offset, a.begin() + offset + count, b.begin() + offset));
}

// A file under a size limit, or none: a record whose end lies beyond the limit is never
// written, in place or not, and changes nothing.
struct LimitedFile {
    Bytes &bytes;
    std::optional<long> limit;

    bool fits(int n) const { return !limit || EndOf(n) <= *limit; }

    // The entries written go to `wrote`, when given, in the order they were written.
    bool write(int n, const HueEntry &entry, std::vector<int> *wrote = nullptr)
    {
        if (!fits(n))
            return false;
        PutBytes(bytes, EntryOffset(n), &entry, Record);
        if (wrote)
            wrote->push_back(n);
        return true;
    }

    // Pairs ascend; a source without a whole record is skipped, the first failed write ends
    // the copy and the pairs before it stay. Every source is read before the first write, so
    // within one file the range moves as a block.
    // The target that could not be written goes to `failedTarget`, when given.
    bool copy(const Bytes &source, int sourceFrom, int sourceTo, int targetFrom, int targetTo,
              std::vector<int> *wrote = nullptr, int *failedTarget = nullptr)
    {
        const int lastSource = std::min(sourceTo, sourceFrom + (targetTo - targetFrom));
        const Bytes sourceBefore = source;
        for (int s = sourceFrom; s <= lastSource; ++s) {
            HueEntry entry;
            const int target = targetFrom + (s - sourceFrom);
            if (ReadEntry(sourceBefore, s, entry) && !write(target, entry, wrote)) {
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
    // The entries the step changed, in its order.
    std::vector<int> entries;
};

// The window's undo and redo, stated by what the write file held: each step keeps the whole
// file as it was just before the step and just after it. An undo gives each entry the step
// changed its bytes from before the step, and gives back the length the step added; a redo
// gives those entries their bytes from after it. Nothing here follows the program's lists of
// entry writes, so a fault in how the program keeps them shows as a difference.
//
// A step is replayed only while every entry it changed holds what the other snapshot has there
// and, for an undo that gives back a length, while the file from the earlier end on is exactly
// what the step left, length included; otherwise it is stale and dropped. A replay that cannot
// write one of its records changes nothing and stays.
class History {
public:
    static constexpr std::size_t Capacity = 100;
    struct Step {
        Bytes before;
        Bytes after;
        // The entries whose place the step changed, in the order it wrote them; an entry the
        // step wrote with the bytes it held is not among them.
        std::vector<int> entries;
    };

    // `wrote` names the entries the step wrote, in order. A step after which the file is what
    // it was is no step, and leaves the steps undone as they were.
    void record(Bytes before, const Bytes &after, const std::vector<int> &wrote)
    {
        if (before == after)
            return;
        Step step{std::move(before), after, {}};
        std::copy_if(wrote.begin(), wrote.end(), std::back_inserter(step.entries),
                     [&step](int n) { return PlaceDiffers(step.before, step.after, n); });
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
        Step step = std::move(from.back());
        from.pop_back();
        ReplayResult result{Replay::Stale, 0, step.entries};
        const Bytes &expected = undo ? step.after : step.before;
        const Bytes &restored = undo ? step.before : step.after;
        // Later entries are checked first on the way back.
        std::vector<int> order = step.entries;
        if (undo)
            std::reverse(order.begin(), order.end());
        for (int n : order) {
            HueEntry now;
            HueEntry then;
            ReadEntry(file.bytes, n, now);
            ReadEntry(expected, n, then);
            if (!SameBytes(now, then)) {
                result.staleEntry = n;
                return result;
            }
        }
        const long earlierEnd = static_cast<long>(step.before.size());
        const bool cut = undo && step.after.size() > step.before.size();
        if (cut) {
            if (const auto changed = FirstChangeFrom(file.bytes, step.after, earlierEnd)) {
                result.staleEntry = EntryAt(*changed);
                return result;
            }
            // Entries wholly in what the step added go with the length.
            order.erase(
                std::remove_if(order.begin(), order.end(),
                               [earlierEnd](int n) { return EntryOffset(n) >= earlierEnd; }),
                order.end());
        }
        if (!std::all_of(order.begin(), order.end(), [&file](int n) { return file.fits(n); })) {
            from.push_back(std::move(step));
            result.outcome = Replay::Failed;
            return result;
        }
        // An undo gives an entry that lay partly in the file before the step only the part it
        // had there; the cut takes the rest.
        for (int n : order) {
            const long offset = EntryOffset(n);
            const long count = std::min<long>(Record, static_cast<long>(restored.size()) - offset);
            PutBytes(file.bytes, offset, restored.data() + offset, count);
        }
        if (cut)
            file.bytes.resize(step.before.size());
        (undo ? m_redo : m_undo).push_back(std::move(step));
        result.outcome = Replay::Done;
        return result;
    }

private:
    // The first byte from `start` on where the file differs from what it should hold, or where
    // one of the two ends first; none when they are the same to their ends.
    static std::optional<long> FirstChangeFrom(const Bytes &file, const Bytes &should, long start)
    {
        const auto from = static_cast<std::size_t>(start);
        if (file.size() <= from)
            return start;
        const std::size_t common = std::max(from, std::min(file.size(), should.size()));
        const auto differs =
            std::mismatch(should.begin() + start, should.begin() + common, file.begin() + start);
        if (differs.first != should.begin() + common || file.size() != should.size())
            return static_cast<long>(differs.first - should.begin());
        return std::nullopt;
    }

    std::deque<Step> m_undo;
    std::deque<Step> m_redo;
};

} // namespace byte_model
