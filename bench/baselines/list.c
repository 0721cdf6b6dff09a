/* Lists a hue file as colvane-cli does, in a plain loop: number, state and name a line. The
   bench's names are plain ASCII, so they print as they are, with no escapes to look for. */
#include "hue_layout.h"

#include <stdio.h>
#include <string.h>

int main(int argc, char **argv)
{
    off_t size = 0;
    unsigned char *bytes = argc == 2 ? ReadHueFile(argv[1], &size) : NULL;
    if (!bytes)
        return 2;
    static const unsigned char zeroes[EntrySize];
    const int count = EntriesReached(size);
    for (int n = 1; n <= count; ++n) {
        const unsigned char *entry = bytes + EntryOffset(n);
        if (EntryOffset(n) + EntrySize > size)
            printf("%4d  missing\n", n);
        else if (memcmp(entry, zeroes, EntrySize) == 0)
            printf("%4d  empty\n", n);
        else
            printf("%4d  used     %.*s\n", n, NameSize, (const char *)entry + NameOffset);
    }
    free(bytes);
    return 0;
}
