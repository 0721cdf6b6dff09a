#include "huefile/input_file.h"

#include "huefile/file_checks.h"
#include "huefile/standard_streams.h"

#include <cerrno>

namespace {

// Appends what `readPiece(buffer, size)` gives (a count, 0 at the end, below 0 with errno set
// on an error) until the end. Why it stopped early: the read's error, or `tooLarge` once more
// than `limit` bytes came, however much the input grows while it is read.
template <class ReadPiece>
Expected<void> ReadPiecesToEnd(std::string &bytes, FileOffset limit, const std::string &tooLarge,
                               ReadPiece readPiece)
{
    char buffer[65536];
    for (;;) {
        const auto got = readPiece(buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return Fail(ErrorText(errno));
        if (got == 0)
            return Done();
        bytes.append(buffer, static_cast<std::size_t>(got));
        if (bytes.size() > static_cast<std::size_t>(limit))
            return Fail(tooLarge);
    }
}

// The read goes on to the end the file has when the read reaches it, however much it grew.
Expected<void> ReadFileToEnd(const std::string &fileName, std::string &bytes, FileOffset limit,
                             const std::string &tooLarge)
{
    errno = 0;
    const std::optional<SystemFile> file = SystemFile::open(fileName, SystemFile::Access::Read);
    if (!file)
        return Fail(WhyInputDidNotOpen(TheFileSystem(), fileName, errno));
    const std::optional<FileFacts> facts = file->facts();
    if (!facts)
        return Fail(ErrorText(errno));
    if (Expected<void> accepted = InputMayBeRead(*facts, limit, tooLarge); !accepted)
        return accepted;
    return ReadPiecesToEnd(bytes, limit, tooLarge, [&](char *buffer, std::size_t size) {
        return file->readAt(buffer, static_cast<FileOffset>(size),
                            static_cast<FileOffset>(bytes.size()));
    });
}

} // namespace

Expected<std::string> ReadInputFile(const std::string &fileName, FileOffset limit,
                                    const std::string &tooLarge)
{
    std::string bytes;
    const Expected<void> read =
        fileName == "-" ? ReadPiecesToEnd(bytes, limit, tooLarge, ReadStandardInputPiece)
                        : ReadFileToEnd(fileName, bytes, limit, tooLarge);
    if (!read)
        return Fail(read.error());
    return bytes;
}

// Taken right after a failed open: the open's errno tells why it failed, the file's kind why
// an open that would have succeeded is refused.
std::string WhyInputDidNotOpen(const FileSystem &system, const std::string &fileName, int openError)
{
    const NameFacts facts = system.factsOfName(fileName);
    if (facts.error != 0)
        return ErrorText(facts.error);
    const std::string kind = KindText(facts.kind);
    return kind.empty() ? ErrorText(openError) : kind;
}

Expected<void> InputMayBeRead(const FileFacts &facts, FileOffset limit, const std::string &tooLarge)
{
    if (const std::string kind = KindText(facts.kind); !kind.empty())
        return Fail(kind);
    if (facts.size > limit)
        return Fail(tooLarge);
    return Done();
}
