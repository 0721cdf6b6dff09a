// Writes a pair of sample hue files into a folder: "patch-hues.mul" with all 3000 entries and
// "hues.mul" with fewer, so that the browser shows where the write file ends.
#include "huefile/hue_entry.h"
#include "huefile/output_file.h"

#include <CLI/CLI.hpp>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>
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

std::vector<unsigned char> SampleBytes(int count, bool edited)
{
    std::vector<unsigned char> bytes;
    for (int n = 1; n <= count; ++n) {
        if ((n - 1) % 8 == 0)
            bytes.insert(bytes.end(), 4, 0);
        const HueEntry entry = SampleEntry(n, edited && n % 5 == 0);
        const auto *record = reinterpret_cast<const unsigned char *>(&entry);
        bytes.insert(bytes.end(), record, record + sizeof entry);
    }
    return bytes;
}

// A sample file is written whole into a temporary file beside its name, which then takes the
// name. So a full disk or a size limit leaves the old file or none, never part of one, and
// --force replaces a file instead of writing into it: a hard link to the old file keeps its
// bytes, and a symbolic link is replaced itself rather than written through.
struct SampleFile {
    std::string path;
    std::string temporary = {};
    // The name was free before the run and this run gave it a file.
    bool created = false;
};

// Without --force only a free name is taken. With it, a regular file or a link is replaced;
// anything else, such as a folder, is in the way.
bool NameUsable(const SampleFile &file, bool force, std::string &error)
{
    const Expected<NameHolds> holds = WhatNameHolds(file.path);
    if (holds && *holds == NameHolds::Free)
        return true;
    if (!holds)
        error = file.path + ": " + holds.error();
    else if (!force)
        error = file.path + ": already there; --force overwrites it";
    else if (*holds == NameHolds::Folder)
        error = file.path + ": " + std::strerror(EISDIR);
    else if (*holds == NameHolds::Other)
        error = file.path + ": not a regular file";
    return error.empty();
}

bool WriteTemporary(SampleFile &file, const std::string &folder,
                    const std::vector<unsigned char> &bytes, std::string &error)
{
    const Expected<std::string> staged = StageFile(folder, std::string(bytes.begin(), bytes.end()));
    if (!staged) {
        error = file.path + ": " + staged.error();
        return false;
    }
    file.temporary = *staged;
    return true;
}

// --force renames over what is there; otherwise only a free name is taken.
bool TakeName(SampleFile &file, bool force, std::string &error)
{
    if (const Expected<void> named = NameStagedFile(file.temporary, file.path, force); !named) {
        error = file.path + ": " + named.error();
        return false;
    }
    file.created = !force;
    file.temporary.clear();
    return true;
}

// Both names are checked and both files written before either name is taken, so a name
// refused or a write that fails costs no file its bytes.
bool WriteSamples(SampleFile (&files)[2], const std::string &folder, bool force, std::string &error)
{
    for (const SampleFile &file : files) {
        if (!NameUsable(file, force, error))
            return false;
    }
    if (!WriteTemporary(files[0], folder, SampleBytes(ReadFileEntries, false), error) ||
        !WriteTemporary(files[1], folder, SampleBytes(WriteFileEntries, true), error))
        return false;
    return TakeName(files[0], force, error) && TakeName(files[1], force, error);
}

// A run that cannot finish the pair removes its temporary files and the files it created, so
// a rerun starts from the folder as it was.
void RemoveOwnFiles(const SampleFile (&files)[2])
{
    for (const SampleFile &file : files) {
        if (!file.temporary.empty())
            RemoveFile(file.temporary);
        if (file.created)
            RemoveFile(file.path);
    }
}

// Standard output is a file like any other: one that cannot be written is a failure.
bool Print(const std::string &text)
{
    return std::fwrite(text.data(), 1, text.size(), stdout) == text.size() &&
           std::fflush(stdout) == 0;
}

} // namespace

int main(int argc, char **argv)
{
    // Past a file-size limit a write then fails with a reason and the temporary file goes,
    // instead of the program ending with it left behind.
    std::signal(SIGXFSZ, SIG_IGN);
    CLI::App app("Writes two sample hue files into FOLDER: patch-hues.mul with all 3000 "
                 "entries, hues.mul with 2500, some of them edited.",
                 "colvane-samples");
    std::string folder;
    bool force = false;
    app.add_option("FOLDER", folder, "An existing folder")
        ->required()
        ->check(CLI::ExistingDirectory);
    app.add_flag("--force", force, "Replace hue files that are already there");
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError &error) {
        std::ostringstream help;
        if (app.exit(error, help, help) != 0) {
            std::fputs(help.str().c_str(), stderr);
            return 2;
        }
        if (Print(help.str()))
            return 0;
        std::fprintf(stderr, "colvane-samples: standard output: %s\n", std::strerror(errno));
        return 2;
    }

    SampleFile files[2] = {{folder + "/patch-hues.mul"}, {folder + "/hues.mul"}};
    std::string error;
    if (!WriteSamples(files, folder, force, error)) {
        RemoveOwnFiles(files);
        std::fprintf(stderr, "colvane-samples: %s\n", error.c_str());
        return 2;
    }
    if (Print("Sample hue files written into " + folder + "\n"))
        return 0;
    std::fprintf(stderr,
                 "colvane-samples: %s: the sample files were written, but reporting it on "
                 "standard output failed (%s)\n",
                 folder.c_str(), std::strerror(errno));
    return 2;
}
