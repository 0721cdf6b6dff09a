/* Merges three hue files as colvane-cli merge does without -o, in a plain loop: all three
   read whole, OURS opened for writing and checked, the writers' lock taken, one pread of its
   entries, then each colour word, the name bytes and the carried bytes merged on their own,
   the journal of the entries that change written and flushed, one pwrite per entry that
   changes, and the journal removed. Conflicts keep OURS and are listed on standard error;
   the exit status is then 1. The bench's files hold every entry whole. */
#define _GNU_SOURCE
#include "journal.h"

#include <stdint.h>
#include <stdio.h>
#include <string.h>

/* Merges one field into `merged`; 1 on a conflict, which keeps ours. */
static int MergeField(unsigned char *merged, const unsigned char *base, const unsigned char *ours,
                      const unsigned char *theirs, size_t size)
{
    const int oursChanged = memcmp(base, ours, size) != 0;
    const int theirsChanged = memcmp(base, theirs, size) != 0;
    memcpy(merged, theirsChanged && !oursChanged ? theirs : ours, size);
    return oursChanged && theirsChanged && memcmp(ours, theirs, size) != 0;
}

static void ListConflicts(const char *file, int n, const int *slots, int name, int carried)
{
    fprintf(stderr, "colvane-cli: %s: conflict in entry %d: ", file, n);
    const char *separator = "";
    for (int slot = 0; slot < ColourCount; ++slot)
        if (slots[slot]) {
            fprintf(stderr, "%sslot %d", separator, slot);
            separator = ", ";
        }
    if (name)
        fprintf(stderr, "%sname", *separator ? "; " : "");
    if (carried)
        fprintf(stderr, "%scarried bytes", *separator || name ? "; " : "");
    fprintf(stderr, "\n");
}

int main(int argc, char **argv)
{
    off_t baseSize = 0;
    off_t theirsSize = 0;
    unsigned char *base = argc == 4 ? ReadHueFile(argv[1], &baseSize) : NULL;
    unsigned char *theirs = argc == 4 ? ReadHueFile(argv[3], &theirsSize) : NULL;
    const int target = argc == 4 ? open(argv[2], O_RDWR | O_NONBLOCK | O_NOCTTY | O_CLOEXEC) : -1;
    struct stat info;
    struct flock lock = {
        .l_type = F_WRLCK, .l_whence = SEEK_SET, .l_start = INT64_MAX - 1, .l_len = 1};
    if (!base || !theirs || target < 0 || fstat(target, &info) != 0 ||
        fcntl(target, F_OFD_SETLK, &lock) != 0)
        return 2;
    const off_t start = EntryOffset(1);
    const off_t end = EntryOffset(MaxEntries) + EntrySize;
    if (baseSize != end || theirsSize != end)
        return 2;
    unsigned char *ours = malloc((size_t)end);
    if (!ours || pread(target, ours + start, (size_t)(end - start), start) != end - start)
        return 2;
    int written = 0;
    int conflicts = 0;
    unsigned char *mergedAll = malloc((size_t)end);
    struct BaselineJournal journal;
    JournalStart(&journal, MaxEntries);
    if (!mergedAll)
        return 2;
    for (int n = 1; n <= MaxEntries; ++n) {
        const off_t offset = EntryOffset(n);
        const unsigned char *b = base + offset;
        const unsigned char *o = ours + offset;
        const unsigned char *t = theirs + offset;
        unsigned char *merged = mergedAll + offset;
        int slots[ColourCount];
        int any = 0;
        for (int slot = 0; slot < ColourCount; ++slot)
            any |= slots[slot] =
                MergeField(merged + 2 * slot, b + 2 * slot, o + 2 * slot, t + 2 * slot, 2);
        const int name = MergeField(merged + NameOffset, b + NameOffset, o + NameOffset,
                                    t + NameOffset, NameSize);
        const int carried = MergeField(merged + CarriedOffset, b + CarriedOffset, o + CarriedOffset,
                                       t + CarriedOffset, 4);
        if (any || name || carried) {
            ListConflicts(argv[2], n, slots, name, carried);
            ++conflicts;
        }
        if (memcmp(merged, o, EntrySize) != 0)
            JournalAdd(&journal, n, o, merged);
    }
    if (JournalWrite(&journal, ".colvane-journal-baseline", 1) != 0)
        return 2;
    for (int n = 1; n <= MaxEntries; ++n) {
        const off_t offset = EntryOffset(n);
        if (memcmp(mergedAll + offset, ours + offset, EntrySize) == 0)
            continue;
        if (pwrite(target, mergedAll + offset, EntrySize, offset) != EntrySize)
            return 2;
        ++written;
    }
    JournalEnd(&journal, ".colvane-journal-baseline", target, 1);
    free(mergedAll);
    close(target);
    free(ours);
    free(base);
    free(theirs);
    printf("merged %s into %s: %d %s written\n", argv[3], argv[2], written,
           written == 1 ? "entry" : "entries");
    return conflicts ? 1 : 0;
}
