/* Applies a patch as colvane-cli apply does, in a plain loop: the patch read whole, every
   entry's sides picked out of it, the hue file opened and checked, the writers' lock taken,
   one pread of the entries, every "before" compared, the journal of the entries that change
   written and flushed, then one pwrite per entry that changes, and the journal removed.
   It reads only what the bench's patches hold: both sides whole, written as colvane-cli
   writes them. */
#define _GNU_SOURCE
#include "journal.h"

#include <stdint.h>
#include <stdio.h>
#include <string.h>

struct Change {
    int number;
    unsigned char before[EntrySize];
    unsigned char after[EntrySize];
};

static int Digit(char c)
{
    return c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
}

static const char *ReadHex(const char *text, unsigned char *bytes, int count)
{
    for (int i = 0; i < count; ++i) {
        const int high = Digit(text[2 * i]);
        const int low = high < 0 ? -1 : Digit(text[2 * i + 1]);
        if (low < 0)
            return NULL;
        bytes[i] = (unsigned char)(high << 4 | low);
    }
    return text + 2 * count;
}

static const char *After(const char *text, const char *key)
{
    const char *found = text ? strstr(text, key) : NULL;
    return found ? found + strlen(key) : NULL;
}

static const char *ReadSide(const char *text, const char *key, unsigned char *entry)
{
    memset(entry, 0, EntrySize);
    text = After(After(text, key), "\"name-bytes\":\"");
    text = text ? ReadHex(text, entry + NameOffset, NameSize) : NULL;
    text = After(text, "\"words\":[");
    for (int slot = 0; text && slot < ColourCount; ++slot) {
        char *end = NULL;
        const long word = strtol(text, &end, 10);
        entry[2 * slot] = (unsigned char)word;
        entry[2 * slot + 1] = (unsigned char)(word >> 8);
        text = end + 1;
    }
    text = After(text, "\"carried\":\"");
    return text ? ReadHex(text, entry + CarriedOffset, 4) : NULL;
}

int main(int argc, char **argv)
{
    if (argc != 3)
        return 2;
    const int patch = open(argv[1], O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    struct stat patchInfo;
    if (patch < 0 || fstat(patch, &patchInfo) != 0)
        return 2;
    char *text = malloc((size_t)patchInfo.st_size + 1);
    if (!text || read(patch, text, (size_t)patchInfo.st_size) != patchInfo.st_size)
        return 2;
    text[patchInfo.st_size] = 0;
    close(patch);
    struct Change *changes = malloc(MaxEntries * sizeof *changes);
    int count = 0;
    for (const char *at = After(text, "{\"entry\":"); at && count < MaxEntries;
         at = After(at, "{\"entry\":")) {
        struct Change *change = &changes[count++];
        change->number = atoi(at);
        at = ReadSide(at, "\"before\":", change->before);
        at = ReadSide(at, "\"after\":", change->after);
        if (!at)
            return 2;
    }

    const int target = open(argv[2], O_RDWR | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    struct stat targetInfo;
    struct flock lock = {
        .l_type = F_WRLCK, .l_whence = SEEK_SET, .l_start = INT64_MAX - 1, .l_len = 1};
    if (target < 0 || fstat(target, &targetInfo) != 0 || fcntl(target, F_OFD_SETLK, &lock) != 0)
        return 2;
    const off_t start = EntryOffset(1);
    const size_t length = (size_t)(EntryOffset(MaxEntries) + EntrySize - start);
    unsigned char *current = malloc(length);
    if (!current || pread(target, current, length, start) != (ssize_t)length)
        return 2;
    for (int i = 0; i < count; ++i)
        if (memcmp(current + (EntryOffset(changes[i].number) - start), changes[i].before,
                   EntrySize) != 0)
            return 1;
    struct BaselineJournal journal;
    JournalStart(&journal, (size_t)count);
    for (int i = 0; i < count; ++i) {
        const off_t offset = EntryOffset(changes[i].number);
        if (memcmp(current + (offset - start), changes[i].after, EntrySize) != 0)
            JournalAdd(&journal, changes[i].number, current + (offset - start), changes[i].after);
    }
    if (JournalWrite(&journal, ".colvane-journal-baseline", 1) != 0)
        return 2;
    int written = 0;
    for (int i = 0; i < count; ++i) {
        const off_t offset = EntryOffset(changes[i].number);
        if (memcmp(current + (offset - start), changes[i].after, EntrySize) == 0)
            continue;
        if (pwrite(target, changes[i].after, EntrySize, offset) != EntrySize)
            return 2;
        ++written;
    }
    JournalEnd(&journal, ".colvane-journal-baseline", target, 1);
    close(target);
    free(current);
    free(changes);
    free(text);
    printf("applied %s to %s: %d entries written\n", argv[1], argv[2], written);
    return 0;
}
