// Writes a pair of sample hue files into a folder: "patch-hues.mul" with all 3000 entries and
// "hues.mul" with fewer, so that the browser shows where the write file ends.
#include "huefile/hue_entry.h"

#include <CLI/CLI.hpp>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace {

constexpr int ReadFileEntries = MaxEntryNumber;
constexpr int WriteFileEntries = 2500;

// One name per kind of ramp, saying what its colours do from colour 0 to colour 31.
const char *const RampNames[] = {"black to red",   "black to green", "black to blue",
                                 "black to white", "yellow to red",  "sea blues",
                                 "rainbow",        "skin tones"};

HueColour Channels(int red, int green, int blue)
{
    return static_cast<HueColour>((red & 31) << 10 | (green & 31) << 5 | (blue & 31));
}

// Colour c of a ramp of kind k, shifted by the entry number so neighbouring entries differ.
HueColour RampColour(int kind, int c, int n)
{
    const int up = c;
    const int down = 31 - c;
    const int tint = (n / 8) % 32;
    switch (kind) {
    case 0:
        return Channels(up, tint / 4, tint / 4);
    case 1:
        return Channels(tint / 4, up, tint / 4);
    case 2:
        return Channels(tint / 4, tint / 4, up);
    case 3:
        return Channels(up, up, up);
    case 4:
        return Channels(31, down, tint / 2);
    case 5:
        return Channels(tint / 4, up / 2 + 8, 31 - up / 4);
    case 6:
        return Channels((up * 3) % 32, (up * 5 + 10) % 32, (up * 7 + 20) % 32);
    default:
        return Channels(24 + up / 5, 16 + up / 3, 10 + up / 4);
    }
}

// An edited entry holds another kind of ramp than its neighbours, and says so in its name.
HueEntry SampleEntry(int n, bool edited)
{
    HueEntry entry{};
    const int kind = ((n - 1) % 8 + (edited ? 3 : 0)) % 8;
    for (int c = 0; c < HueColourCount; ++c)
        entry.colours[c] = RampColour(kind, c, n);
    std::snprintf(entry.name, sizeof entry.name, "%s %d", RampNames[kind], n);
    return entry;
}

bool WriteSampleFile(const std::string &path, int count, bool edited)
{
    std::FILE *file = std::fopen(path.c_str(), "wb");
    if (!file)
        return false;
    const unsigned char header[4] = {0, 0, 0, 0};
    bool ok = true;
    for (int n = 1; n <= count && ok; ++n) {
        if ((n - 1) % 8 == 0)
            ok = std::fwrite(header, sizeof header, 1, file) == 1;
        const HueEntry entry = SampleEntry(n, edited && n % 5 == 0);
        ok = ok && std::fwrite(&entry, sizeof entry, 1, file) == 1;
    }
    return std::fclose(file) == 0 && ok;
}

} // namespace

int main(int argc, char **argv)
{
    CLI::App app("Writes two sample hue files into FOLDER: patch-hues.mul with all 3000 "
                 "entries, hues.mul with 2500, some of them edited.",
                 "colvane-samples");
    std::string folder;
    bool force = false;
    app.add_option("FOLDER", folder, "An existing folder")
        ->required()
        ->check(CLI::ExistingDirectory);
    app.add_flag("--force", force, "Overwrite hue files that are already there");
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError &error) {
        return app.exit(error) == 0 ? 0 : 2;
    }

    const std::string readPath = folder + "/patch-hues.mul";
    const std::string writePath = folder + "/hues.mul";
    for (const std::string &path : {readPath, writePath}) {
        if (!force && std::filesystem::exists(path)) {
            std::fprintf(stderr, "colvane-samples: %s: already there; --force overwrites it\n",
                         path.c_str());
            return 2;
        }
    }
    if (!WriteSampleFile(readPath, ReadFileEntries, false) ||
        !WriteSampleFile(writePath, WriteFileEntries, true)) {
        std::fprintf(stderr, "colvane-samples: %s: cannot write the sample files\n",
                     folder.c_str());
        return 2;
    }
    std::printf("Sample hue files written into %s\n", folder.c_str());
    return 0;
}
