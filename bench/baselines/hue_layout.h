/* The hue file's layout, for the small C programs the command line is measured against. */
#ifndef COLVANE_BENCH_HUE_LAYOUT_H
#define COLVANE_BENCH_HUE_LAYOUT_H

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

enum {
    EntrySize = 88,
    ColourCount = 32,
    CarriedOffset = 64,
    NameOffset = 68,
    NameSize = 20,
    EntriesPerBlock = 8,
    BlockHeaderSize = 4,
    MaxEntries = 3000
};

static inline off_t EntryOffset(int n)
{
    const off_t blockSize = BlockHeaderSize + EntriesPerBlock * EntrySize;
    return (n - 1) / EntriesPerBlock * blockSize + (n - 1) % EntriesPerBlock * EntrySize +
           BlockHeaderSize;
}

/* The entries the file reaches, whole or in part. */
static inline int EntriesReached(off_t size)
{
    int count = 0;
    while (count < MaxEntries && EntryOffset(count + 1) < size)
        ++count;
    return count;
}

/* The whole file up to its last entry in one read; its length goes to *size. NULL when it
   cannot be read. */
static inline unsigned char *ReadHueFile(const char *name, off_t *size)
{
    const int file = open(name, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    struct stat info;
    if (file < 0 || fstat(file, &info) != 0)
        return NULL;
    const off_t end = EntryOffset(MaxEntries) + EntrySize;
    *size = info.st_size < end ? info.st_size : end;
    unsigned char *bytes = malloc(*size > 0 ? (size_t)*size : 1);
    if (bytes && pread(file, bytes, (size_t)*size, 0) != *size) {
        free(bytes);
        bytes = NULL;
    }
    close(file);
    return bytes;
}

#endif
