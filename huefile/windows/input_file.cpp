#include "huefile/input_file.h"

#include "huefile/file_checks.h"
#include "huefile/read_to_end.h"
#include "huefile/standard_streams.h"

#include <cerrno>
#include <fcntl.h>
#include <io.h>

namespace {

// Why standard input could not be read to its end, or empty.
std::string ReadStandardInput(std::string &bytes, FileOffset limit, const std::string &tooLarge)
{
    _setmode(StandardInput, _O_BINARY);
    return ReadPiecesToEnd(bytes, limit, tooLarge, [](char *buffer, std::size_t size) {
        return _read(StandardInput, buffer, static_cast<unsigned>(size));
    });
}

// Reads on to the end the file has when the read reaches it, however much it grew.
std::string ReadToEnd(const SystemFile &file, std::string &bytes, FileOffset limit,
                      const std::string &tooLarge)
{
    return ReadPiecesToEnd(bytes, limit, tooLarge, [&](char *buffer, std::size_t size) {
        return file.readAt(buffer, static_cast<FileOffset>(size),
                           static_cast<FileOffset>(bytes.size()));
    });
}

std::string WhyNotOpened(const std::string &fileName, int error)
{
    const std::optional<FileFacts> facts = FactsOfName(fileName);
    if (!facts)
        return ErrorText(errno);
    const std::string kind = KindText(facts->kind);
    return kind.empty() ? ErrorText(error) : kind;
}

} // namespace

Expected<std::string> ReadInputFile(const std::string &fileName, FileOffset limit,
                                    const std::string &tooLarge)
{
    std::string bytes;
    if (fileName == "-") {
        const std::string why = ReadStandardInput(bytes, limit, tooLarge);
        return why.empty() ? Expected<std::string>(std::move(bytes)) : Fail(why);
    }
    const std::optional<SystemFile> file = SystemFile::open(fileName, SystemFile::Access::Read);
    if (!file)
        return Fail(WhyNotOpened(fileName, errno));
    const std::optional<FileFacts> facts = file->facts();
    std::string why;
    if (!facts)
        why = ErrorText(errno);
    else if (!KindText(facts->kind).empty())
        why = KindText(facts->kind);
    else if (facts->size > limit)
        why = tooLarge;
    else
        why = ReadToEnd(*file, bytes, limit, tooLarge);
    if (!why.empty())
        return Fail(why);
    return bytes;
}
