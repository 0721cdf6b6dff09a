/* Copies every entry of one hue file onto the same entry of another in colvane-cli's pattern:
   both files opened and checked, the writers' lock taken, one pread of the source range, one
   of the target range (the entries as they were, for a write that fails), the journal of both
   written and flushed, one pwrite per entry, the journal removed; then the log lines. */
/* The lock of one open file description is a GNU extension. */
#define _GNU_SOURCE
#include "journal.h"

#include <limits.h>
#include <stdint.h>
#include <stdio.h>

int main(int argc, char **argv)
{
    if (argc != 3)
        return 2;
    const int source = open(argv[1], O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    const int target = open(argv[2], O_RDWR | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    struct stat sourceInfo;
    struct stat targetInfo;
    struct flock lock = {
        .l_type = F_WRLCK, .l_whence = SEEK_SET, .l_start = INT64_MAX - 1, .l_len = 1};
    if (source < 0 || target < 0 || fstat(source, &sourceInfo) != 0 ||
        fstat(target, &targetInfo) != 0 || fcntl(target, F_OFD_SETLK, &lock) != 0)
        return 2;
    const off_t start = EntryOffset(1);
    const size_t length = (size_t)(EntryOffset(MaxEntries) + EntrySize - start);
    unsigned char *range = malloc(length);
    unsigned char *before = malloc(length);
    if (!range || !before || pread(source, range, length, start) != (ssize_t)length ||
        pread(target, before, length, start) != (ssize_t)length)
        return 2;
    struct BaselineJournal journal;
    JournalStart(&journal, MaxEntries);
    for (int n = 1; n <= MaxEntries; ++n)
        JournalAdd(&journal, n, before + (EntryOffset(n) - start), range + (EntryOffset(n) - start));
    if (JournalWrite(&journal, ".colvane-journal-baseline", 1) != 0)
        return 2;
    for (int n = 1; n <= MaxEntries; ++n)
        if (pwrite(target, range + (EntryOffset(n) - start), EntrySize, EntryOffset(n)) !=
            EntrySize)
            return 2;
    JournalEnd(&journal, ".colvane-journal-baseline", target, 1);
    close(target);
    close(source);
    free(before);
    free(range);
    printf("GET RANGE 1 .. %d\nPUT RANGE 1 .. %d\n", MaxEntries, MaxEntries);
    return 0;
}
