#include "huefile/hue_file.h"

#include <sys/stat.h>

namespace {

bool IsDirectory(std::FILE *stream)
{
    struct stat info {};
    return fstat(fileno(stream), &info) == 0 && S_ISDIR(info.st_mode);
}

std::FILE *OpenRegular(const std::string &fileName, const char *mode)
{
    std::FILE *stream = std::fopen(fileName.c_str(), mode);
    if (stream && IsDirectory(stream)) {
        std::fclose(stream);
        return nullptr;
    }
    return stream;
}

} // namespace

std::FILE *OpenHueFileForReading(const std::string &fileName)
{
    return OpenRegular(fileName, "rb");
}

std::FILE *OpenHueFileForUpdate(const std::string &fileName)
{
    return OpenRegular(fileName, "r+b");
}

bool CloseHueFile(std::FILE *stream)
{
    if (!stream)
        return true;
    const bool flushed = std::fflush(stream) == 0;
    const bool closed = std::fclose(stream) == 0;
    return flushed && closed;
}

std::size_t ReadEntryFrom(std::FILE *stream, int n, HueEntry &destination)
{
    HueEntry record{};
    std::size_t count = 0;
    if (std::fseek(stream, EntryOffset(n), SEEK_SET) == 0)
        count = std::fread(&record, sizeof record, 1, stream);
    destination = record;
    return count;
}

bool WriteEntryTo(std::FILE *stream, int n, const HueEntry &entry)
{
    return std::fseek(stream, EntryOffset(n), SEEK_SET) == 0 &&
           std::fwrite(&entry, sizeof entry, 1, stream) == 1;
}

ReadOutcome ReadEntryFromFile(const std::string &fileName, int n, HueEntry &destination)
{
    std::FILE *stream = OpenHueFileForReading(fileName);
    if (!stream)
        return ReadOutcome::NotOpened;
    const std::size_t count = ReadEntryFrom(stream, n, destination);
    std::fclose(stream);
    return count > 0 ? ReadOutcome::Read : ReadOutcome::NoRecord;
}

bool CanOpenHueFile(const std::string &fileName)
{
    std::FILE *stream = OpenHueFileForReading(fileName);
    if (!stream)
        return false;
    std::fclose(stream);
    return true;
}
