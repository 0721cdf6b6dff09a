// Writes a pair of sample hue files into a folder: "patch-hues.mul" with all 3000 entries and
// "hues.mul" with fewer, so that the browser shows where the write file ends.
#include "huefile/hue_entry.h"

#include <CLI/CLI.hpp>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
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

// A sample file being written. A run that cannot finish the pair removes only the files it
// created itself, so a rerun starts from the folder as it was.
struct SampleFile {
    std::string path;
    int descriptor = -1;
    bool created = false;
};

// Exclusive creation refuses any name already there, a dangling link included, so nothing is
// created outside the folder through a link and no file is truncated behind a check.
int CreateExclusively(const std::string &path)
{
    return ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
}

std::string SystemFailure(const std::string &path)
{
    return path + ": " + std::strerror(errno);
}

// --force replaces a link by a file of its own instead of writing where it points, and writes
// only into a regular file: opening a pipe without a reader would wait for ever.
bool ReplaceExisting(SampleFile &file, std::string &error)
{
    file.descriptor = ::open(file.path.c_str(), O_WRONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
    if (file.descriptor < 0 && errno == ELOOP && ::unlink(file.path.c_str()) == 0) {
        file.descriptor = CreateExclusively(file.path);
        file.created = file.descriptor >= 0;
    }
    struct stat info {};
    if (file.descriptor < 0 || ::fstat(file.descriptor, &info) != 0) {
        error = SystemFailure(file.path);
        return false;
    }
    if (!S_ISREG(info.st_mode))
        error = file.path + ": not a regular file";
    return S_ISREG(info.st_mode);
}

bool OpenSampleFile(SampleFile &file, bool force, std::string &error)
{
    file.descriptor = CreateExclusively(file.path);
    file.created = file.descriptor >= 0;
    if (file.created)
        return true;
    if (errno == EEXIST && force)
        return ReplaceExisting(file, error);
    error = errno == EEXIST ? file.path + ": already there; --force overwrites it"
                            : SystemFailure(file.path);
    return false;
}

bool WriteAndClose(SampleFile &file, const std::vector<unsigned char> &bytes, std::string &error)
{
    if (::ftruncate(file.descriptor, 0) != 0) {
        error = SystemFailure(file.path);
        return false;
    }
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t written = ::write(file.descriptor, bytes.data() + done, bytes.size() - done);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0) {
            error = written < 0 ? SystemFailure(file.path) : file.path + ": nothing written";
            return false;
        }
        done += static_cast<std::size_t>(written);
    }
    const int closed = ::close(file.descriptor);
    file.descriptor = -1;
    if (closed != 0)
        error = SystemFailure(file.path);
    return closed == 0;
}

// Both files are opened before either is truncated, so a name refused costs no file its bytes.
bool WriteSamples(SampleFile (&files)[2], bool force, std::string &error)
{
    for (SampleFile &file : files) {
        if (!OpenSampleFile(file, force, error))
            return false;
    }
    return WriteAndClose(files[0], SampleBytes(ReadFileEntries, false), error) &&
           WriteAndClose(files[1], SampleBytes(WriteFileEntries, true), error);
}

void RemoveCreated(SampleFile (&files)[2])
{
    for (SampleFile &file : files) {
        if (file.descriptor >= 0)
            ::close(file.descriptor);
        if (file.created)
            ::unlink(file.path.c_str());
    }
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

    SampleFile files[2] = {{folder + "/patch-hues.mul"}, {folder + "/hues.mul"}};
    std::string error;
    if (!WriteSamples(files, force, error)) {
        RemoveCreated(files);
        std::fprintf(stderr, "colvane-samples: %s\n", error.c_str());
        return 2;
    }
    std::printf("Sample hue files written into %s\n", folder.c_str());
    return 0;
}
