/* Writes the patch from one hue file to another as colvane-cli diff --patch does, in a plain
   loop: a json line per entry that differs, with both sides' names, name bytes, words and
   carried bytes. Exit status 1 when any entry differs. The bench's files hold every entry
   whole, with plain ASCII names that need no escapes. */
#include "hue_layout.h"

#include <stdio.h>
#include <string.h>

static void PrintHex(const unsigned char *bytes, int count)
{
    for (int i = 0; i < count; ++i)
        printf("%02x", bytes[i]);
}

static void PrintSide(const char *key, const unsigned char *entry)
{
    printf("\"%s\":{\"name\":\"%.*s\",\"name-bytes\":\"", key, NameSize,
           (const char *)entry + NameOffset);
    PrintHex(entry + NameOffset, NameSize);
    printf("\",\"words\":[");
    for (int slot = 0; slot < ColourCount; ++slot)
        printf(slot ? ",%d" : "%d", entry[2 * slot] | entry[2 * slot + 1] << 8);
    printf("],\"carried\":\"");
    PrintHex(entry + CarriedOffset, 4);
    printf("\"}");
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
    printf("{\"colvane-patch\": 1, \"entries\": [");
    const int count = EntriesReached(sizeA);
    for (int n = 1; n <= count && EntryOffset(n) + EntrySize <= sizeA; ++n) {
        const unsigned char *x = a + EntryOffset(n);
        const unsigned char *y = b + EntryOffset(n);
        if (memcmp(x, y, EntrySize) == 0)
            continue;
        printf(found++ ? ",\n{\"entry\":%d," : "\n{\"entry\":%d,", n);
        PrintSide("before", x);
        printf(",");
        PrintSide("after", y);
        printf("}");
    }
    printf(found ? "\n]}\n" : "]}\n");
    free(a);
    free(b);
    return found ? 1 : 0;
}
