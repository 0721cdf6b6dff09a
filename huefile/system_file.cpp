#include "huefile/system_file.h"

#include <cerrno>
#include <utility>

// What is the same on every system: moving and closing, and the loops that turn the system's
// pieces into whole reads and writes. Only the pieces themselves ask the system.

SystemFile::SystemFile(SystemFile &&other) noexcept : m_handle(std::exchange(other.m_handle, -1)) {}

SystemFile &SystemFile::operator=(SystemFile &&other) noexcept
{
    if (this != &other) {
        close();
        m_handle = std::exchange(other.m_handle, -1);
    }
    return *this;
}

SystemFile::~SystemFile()
{
    close();
}

FileOffset SystemFile::readAt(void *buffer, FileOffset count, FileOffset offset) const
{
    auto *bytes = static_cast<char *>(buffer);
    FileOffset done = 0;
    while (done < count) {
        const FileOffset got = readPieceAt(bytes + done, count - done, offset + done);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return -1;
        if (got == 0)
            break;
        done += got;
    }
    return done;
}

FileOffset SystemFile::writeAt(const void *buffer, FileOffset count, FileOffset offset)
{
    const auto *bytes = static_cast<const char *>(buffer);
    FileOffset done = 0;
    while (done < count) {
        const FileOffset put = writePieceAt(bytes + done, count - done, offset + done);
        if (put < 0 && errno == EINTR)
            continue;
        if (put <= 0)
            break;
        done += put;
    }
    return done;
}

bool SystemFile::writeAll(const std::string &bytes)
{
    FileOffset done = 0;
    const auto count = static_cast<FileOffset>(bytes.size());
    errno = 0;
    while (done < count) {
        const FileOffset put = writePiece(bytes.data() + done, count - done);
        if (put < 0 && errno == EINTR)
            continue;
        if (put <= 0)
            return false;
        done += put;
    }
    return true;
}

namespace {

class RealFileSystem final : public FileSystem {
public:
    NameFacts factsOfName(const std::string &fileName) const override
    {
        return FactsOfName(fileName);
    }
    std::optional<SystemFile> createUnnamed(const std::string &folder) const override
    {
        return SystemFile::createUnnamed(folder);
    }
    bool giveFirstName(SystemFile &file, const std::string &target) const override
    {
        return file.giveFirstName(target);
    }
};

} // namespace

const FileSystem &TheFileSystem()
{
    static const RealFileSystem system;
    return system;
}

bool MayWriteFile(const std::string &fileName)
{
    const NameFacts facts = FactsOfName(fileName);
    return facts.error == 0 && !facts.readOnlyForEveryone && facts.writeError == 0;
}

bool SameFileOnDisk(const std::string &a, const std::string &b)
{
    const NameFacts first = FactsOfName(a);
    const NameFacts second = FactsOfName(b);
    return first.error == 0 && second.error == 0 && first.identity == second.identity;
}
