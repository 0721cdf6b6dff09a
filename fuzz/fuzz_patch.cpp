#include "huefile/formats/patch.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

namespace {

[[noreturn]] void Fault(const char *what, const std::string &detail)
{
    std::fprintf(stderr, "%s: %s\n", what, detail.c_str());
    std::abort();
}

bool SameSide(const EntrySlot &x, const EntrySlot &y)
{
    return x.has_value() == y.has_value() && (!x || std::memcmp(&*x, &*y, sizeof *x) == 0);
}

bool SamePatch(const Patch &x, const Patch &y)
{
    return std::equal(x.begin(), x.end(), y.begin(), y.end(),
                      [](const PatchEntry &a, const PatchEntry &b) {
                          return a.number == b.number && SameSide(a.before, b.before) &&
                                 SameSide(a.after, b.after);
                      });
}

} // namespace

// Untrusted bytes as a patch: refused in one short line, or read to entries in rising order
// within 1-3000 that, written and read again, come back byte for byte.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char *>(data), size);
    const Expected<Patch> patch = ReadPatch(bytes);
    // The reader of the layout this program writes and the document reader accept the same
    // patches, read alike, and refuse the others in the same words.
    const Expected<Patch> throughDocument = ReadPatchDocument(bytes);
    if (static_cast<bool>(patch) != static_cast<bool>(throughDocument) ||
        (patch && !SamePatch(*patch, *throughDocument)) ||
        (!patch && patch.error() != throughDocument.error()))
        Fault("The two readers disagree", patch ? throughDocument.error() : patch.error());
    if (!patch) {
        if (patch.error().empty() || patch.error().size() >= 300 ||
            patch.error().find('\n') != std::string::npos)
            Fault("A refusal is not one short line", patch.error());
        return 0;
    }
    int previous = 0;
    for (const PatchEntry &entry : *patch) {
        if (entry.number <= previous || entry.number > MaxEntryNumber)
            Fault("Entries out of order or range", std::to_string(entry.number));
        previous = entry.number;
    }
    // Written, it reads back alike through both readers: the fast one reads the layout, and the
    // document reader checks that what the writer escaped is the json it means.
    const std::string written = WritePatch(*patch);
    for (const Expected<Patch> &again : {ReadPatch(written), ReadPatchDocument(written)}) {
        if (!again || again->size() != patch->size())
            Fault("A patch read does not read back after writing", again ? written : again.error());
        if (!SamePatch(*again, *patch))
            Fault("An entry changed on the way back", written);
    }
    return 0;
}
