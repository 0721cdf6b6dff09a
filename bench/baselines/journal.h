/* The least a write of hue entries may do before and after its writes: each entry's before-
   and after-image, checksummed, in one new file beside the hue file, written in one go; after
   the writes its header zeroed and the file removed. With `flushed`, the journal and its
   folder reach the disk before the first write and the hue file before the journal goes. */
#ifndef COLVANE_BENCH_JOURNAL_H
#define COLVANE_BENCH_JOURNAL_H

#include "hue_layout.h"

#include <stdint.h>
#include <string.h>
#include <zlib.h>

enum { JournalHeaderSize = 64, JournalRecordSize = 4 + 2 * EntrySize + 4 };

struct BaselineJournal {
    unsigned char *bytes;
    size_t records;
    int file;
};

static inline void JournalStart(struct BaselineJournal *journal, size_t most)
{
    journal->bytes = calloc(JournalHeaderSize + most * JournalRecordSize, 1);
    journal->records = 0;
    journal->file = -1;
}

static inline void JournalAdd(struct BaselineJournal *journal, int entry,
                              const unsigned char *before, const unsigned char *after)
{
    unsigned char *record =
        journal->bytes + JournalHeaderSize + journal->records++ * JournalRecordSize;
    const uint32_t number = (uint32_t)entry;
    memcpy(record, &number, 4);
    memcpy(record + 4, before, EntrySize);
    memcpy(record + 4 + EntrySize, after, EntrySize);
    const uint32_t sum = (uint32_t)crc32(0, record, JournalRecordSize - 4);
    memcpy(record + JournalRecordSize - 4, &sum, 4);
}

/* 0 when the journal is on its way to the disk. */
static inline int JournalWrite(struct BaselineJournal *journal, const char *name, int flushed)
{
    const uint32_t count = (uint32_t)journal->records;
    memcpy(journal->bytes, "colvJrnl", 8);
    memcpy(journal->bytes + 12, &count, 4);
    const uint32_t sum = (uint32_t)crc32(0, journal->bytes, JournalHeaderSize - 4);
    memcpy(journal->bytes + JournalHeaderSize - 4, &sum, 4);
    const size_t size = JournalHeaderSize + journal->records * JournalRecordSize;
    journal->file = open(name, O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (journal->file < 0 || write(journal->file, journal->bytes, size) != (ssize_t)size)
        return -1;
    if (flushed) {
        const int folder = open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fsync(journal->file) != 0 || folder < 0 || fsync(folder) != 0)
            return -1;
        close(folder);
    }
    return 0;
}

static inline void JournalEnd(struct BaselineJournal *journal, const char *name, int target,
                              int flushed)
{
    static const unsigned char zeroes[JournalHeaderSize] = {0};
    if (flushed)
        fsync(target);
    if (pwrite(journal->file, zeroes, sizeof zeroes, 0) == (ssize_t)sizeof zeroes)
        close(journal->file);
    else
        close(journal->file);
    unlink(name);
    free(journal->bytes);
}

#endif
