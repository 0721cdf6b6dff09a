/* Compares two hue files as colvane-cli does, in a plain loop: a line per entry that differs,
   with both names and the colour slots that differ. Exit status 1 when any entry differs. The
   bench's two files hold every entry whole, with plain ASCII names. */
#include "hue_layout.h"

#include <stdio.h>
#include <string.h>

static int Colour(const unsigned char *entry, int slot)
{
    return entry[2 * slot] | entry[2 * slot + 1] << 8;
}

static void PrintSlotRuns(const unsigned char *a, const unsigned char *b)
{
    const char *separator = "  slots ";
    for (int slot = 0; slot < ColourCount; ++slot) {
        if (Colour(a, slot) == Colour(b, slot))
            continue;
        int last = slot;
        while (last + 1 < ColourCount && Colour(a, last + 1) != Colour(b, last + 1))
            ++last;
        printf(last > slot ? "%s%d-%d" : "%s%d", separator, slot, last);
        separator = " ";
        slot = last;
    }
}

int main(int argc, char **argv)
{
    off_t sizeA = 0;
    off_t sizeB = 0;
    unsigned char *a = argc == 3 ? ReadHueFile(argv[1], &sizeA) : NULL;
    unsigned char *b = argc == 3 ? ReadHueFile(argv[2], &sizeB) : NULL;
    if (!a || !b || sizeA != sizeB)
        return 2;
    int found = 0;
    const int count = EntriesReached(sizeA);
    for (int n = 1; n <= count && EntryOffset(n) + EntrySize <= sizeA; ++n) {
        const unsigned char *x = a + EntryOffset(n);
        const unsigned char *y = b + EntryOffset(n);
        if (memcmp(x, y, EntrySize) == 0)
            continue;
        ++found;
        printf("%4d  \"%.*s\"  \"%.*s\"", n, NameSize, (const char *)x + NameOffset, NameSize,
               (const char *)y + NameOffset);
        PrintSlotRuns(x, y);
        const int name = memcmp(x + NameOffset, y + NameOffset, NameSize) != 0;
        const int carried = memcmp(x + CarriedOffset, y + CarriedOffset, 4) != 0;
        const int slots = memcmp(x, y, CarriedOffset) != 0;
        if (name)
            printf(slots ? ", name" : "  name");
        if (carried)
            printf(slots || name ? ", carried bytes" : "  carried bytes");
        printf("\n");
    }
    free(a);
    free(b);
    return found ? 1 : 0;
}
