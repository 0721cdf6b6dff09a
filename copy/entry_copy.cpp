#include "copy/entry_copy.h"

#include "huefile/hue_file.h"

#include <algorithm>
#include <sys/stat.h>
#include <vector>

namespace {

// The last source whose target does not lie beyond targetTo; the pairs after it are not copied.
int LastSource(int sourceFrom, int sourceTo, int targetFrom, int targetTo)
{
    return std::min(sourceTo, sourceFrom + (targetTo - targetFrom));
}

bool CopyPairByPair(std::FILE *readStream, std::FILE *writeStream, int sourceFrom, int sourceTo,
                    int targetFrom, int targetTo)
{
    const int lastSource = LastSource(sourceFrom, sourceTo, targetFrom, targetTo);
    for (int s = sourceFrom; s <= lastSource; ++s) {
        if (!CopyHueEntry(readStream, writeStream, s, targetFrom + (s - sourceFrom)))
            return false;
    }
    return true;
}

struct PendingRecord {
    int target;
    HueEntry entry;
};

// Within one file a target may be a later pair's source. Reading every source before the first
// write keeps the written records out of the reads, whichever way the ranges overlap and
// whatever either stream holds in its buffer.
bool CopyAsBlockMove(std::FILE *readStream, std::FILE *writeStream, int sourceFrom, int sourceTo,
                     int targetFrom, int targetTo)
{
    const int lastSource = LastSource(sourceFrom, sourceTo, targetFrom, targetTo);
    std::vector<PendingRecord> records;
    records.reserve(static_cast<std::size_t>(std::max(0, lastSource - sourceFrom + 1)));
    for (int s = sourceFrom; s <= lastSource; ++s) {
        PendingRecord record{targetFrom + (s - sourceFrom), {}};
        if (ReadEntryFrom(readStream, s, record.entry) > 0)
            records.push_back(record);
    }
    for (const PendingRecord &record : records) {
        if (!WriteEntryTo(writeStream, record.target, record.entry))
            return false;
    }
    return true;
}

} // namespace

bool CopyHueEntry(std::FILE *readStream, std::FILE *writeStream, int source, int target)
{
    HueEntry entry{};
    if (ReadEntryFrom(readStream, source, entry) == 0)
        return true;
    return WriteEntryTo(writeStream, target, entry);
}

bool CopyHueEntryRange(std::FILE *readStream, std::FILE *writeStream, int sourceFrom, int sourceTo,
                       int targetFrom, int targetTo)
{
    if (StreamsShareFile(readStream, writeStream))
        return CopyAsBlockMove(readStream, writeStream, sourceFrom, sourceTo, targetFrom, targetTo);
    return CopyPairByPair(readStream, writeStream, sourceFrom, sourceTo, targetFrom, targetTo);
}

void LeaveWriteStreamUnbuffered(std::FILE *writeStream)
{
    std::setvbuf(writeStream, nullptr, _IONBF, 0);
}

bool StreamsShareFile(std::FILE *first, std::FILE *second)
{
    struct stat firstInfo {};
    struct stat secondInfo {};
    if (fstat(fileno(first), &firstInfo) != 0 || fstat(fileno(second), &secondInfo) != 0)
        return false;
    return firstInfo.st_dev == secondInfo.st_dev && firstInfo.st_ino == secondInfo.st_ino;
}
