#include "huefile/entry_difference.h"

#include "huefile/entry_bytes.h"
#include "huefile/hue_file.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <optional>

namespace {

// Small enough that the memory for a piece is reused from one read to the next instead of
// being mapped afresh, which for whole files cost more than the reads themselves.
constexpr int PieceEntries = 256;

// Entries first to last of a file as its bytes lie, block headers and all: a scan for a
// difference compares records where they lie and takes none of them apart.
class Piece {
public:
    Piece() : m_bytes(new char[PieceBytes]) {}

    void read(const Expected<HueFile> &file, int from, int to)
    {
        m_start = EntryOffset(from);
        const FileOffset length = EntryOffset(to) + sizeof(HueEntry) - m_start;
        m_got = file ? std::max<FileOffset>(0, file->readBytes(m_bytes.get(), length, m_start)) : 0;
    }
    // Null for an entry the file holds no whole record of.
    const HueEntry *entry(int n) const
    {
        const FileOffset at = EntryOffset(n) - m_start;
        if (at + static_cast<FileOffset>(sizeof(HueEntry)) > m_got)
            return nullptr;
        return reinterpret_cast<const HueEntry *>(m_bytes.get() + at);
    }

private:
    // From the file's start to entry PieceEntries's end: as many header bytes as any run of
    // that many entries crosses.
    static constexpr FileOffset PieceBytes = EntryOffset(PieceEntries) + sizeof(HueEntry);
    std::unique_ptr<char[]> m_bytes;
    FileOffset m_start = 0;
    FileOffset m_got = 0;
};

std::size_t NameTextLength(const HueEntry &entry)
{
    return static_cast<std::size_t>(std::find(std::begin(entry.name), std::end(entry.name), '\0') -
                                    std::begin(entry.name));
}

} // namespace

EntryDifference CompareEntries(const HueEntry *source, const HueEntry *target)
{
    EntryDifference difference;
    difference.sourceMissing = source == nullptr;
    difference.targetMissing = target == nullptr;
    if (!source || !target)
        return difference;
    for (int i = 0; i < HueColourCount; ++i)
        difference.colours[static_cast<std::size_t>(i)] = source->colours[i] != target->colours[i];
    difference.nameBytes = std::memcmp(source->name, target->name, HueNameLength) != 0;
    const std::size_t length = NameTextLength(*source);
    difference.nameText =
        length != NameTextLength(*target) || std::memcmp(source->name, target->name, length) != 0;
    difference.carried = std::memcmp(source->carried, target->carried, sizeof source->carried) != 0;
    return difference;
}

bool EntriesDiffer(const HueEntry *source, const HueEntry *target)
{
    if (!source || !target)
        return source != target;
    return !SameBytes(*source, *target);
}

int NextDifferingEntry(const std::string &sourceFile, const std::string &targetFile, int current,
                       bool forward)
{
    // Only a row to show is looked for, so a glance will do: the rows shown next are read again.
    const auto source = HueFile::openForGlance(sourceFile);
    const auto target = HueFile::openForGlance(targetFile);
    Piece sourcePiece;
    Piece targetPiece;
    const int step = forward ? 1 : -1;
    for (int start = std::clamp(current + step, 0, MaxEntryNumber + 1);
         start >= 1 && start <= MaxEntryNumber; start += step * PieceEntries) {
        const int end = std::clamp(start + step * (PieceEntries - 1), 1, MaxEntryNumber);
        sourcePiece.read(source, std::min(start, end), std::max(start, end));
        targetPiece.read(target, std::min(start, end), std::max(start, end));
        for (int n = start; n != end + step; n += step)
            if (EntriesDiffer(sourcePiece.entry(n), targetPiece.entry(n)))
                return n;
    }
    return 0;
}
