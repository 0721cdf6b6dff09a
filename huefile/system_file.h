#pragma once

#include <cstdint>
#include <optional>
#include <string>

// The file layer's one door to the system. Everything else in huefile/ asks the system about
// files only through here; huefile/posix/ and huefile/windows/ answer, one of them chosen when
// the program is built. File names are UTF-8 on Windows and the C library's bytes elsewhere. A
// failure leaves an errno value that tells why, on both systems, so that one list of reasons
// serves both.

// Offsets and lengths of files: 64 bits on every system, also where off_t has 32.
using FileOffset = std::int64_t;

enum class FileKind { Regular, Folder, Pipe, Device, Other };

// What the file layer asks of a file before it uses one.
struct FileFacts {
    FileKind kind = FileKind::Other;
    // Made read-only on purpose, so read-only for everyone, the system's administrator
    // included: no write permission bit at all, or the read-only attribute.
    bool readOnlyForEveryone = false;
    FileOffset size = 0;
};

// The facts of the file behind a name, its links followed; none, with errno set, when the
// name leads nowhere. Never waits on a pipe.
std::optional<FileFacts> FactsOfName(const std::string &fileName);

// One open file, closed when the object goes.
class SystemFile {
public:
    enum class Access { Read, Update };

    // Opens an existing file. The open never waits for the other end of a pipe, never makes a
    // terminal the controlling one, and never takes the number of a standard stream.
    static std::optional<SystemFile> open(const std::string &fileName, Access access);

    SystemFile(SystemFile &&other) noexcept;
    SystemFile &operator=(SystemFile &&other) noexcept;
    SystemFile(const SystemFile &) = delete;
    SystemFile &operator=(const SystemFile &) = delete;
    ~SystemFile();

    std::optional<FileFacts> facts() const;
    // The length as it stands now; -1 when it cannot be told.
    FileOffset size() const;
    // Reads up to count bytes at offset; fewer only where the file ends. -1 on an error.
    FileOffset readAt(void *buffer, FileOffset count, FileOffset offset) const;
    // Writes count bytes at offset; returns how many landed before the first failure.
    FileOffset writeAt(const void *buffer, FileOffset count, FileOffset offset);
    bool setLength(FileOffset length);
    // Tries once for the writers' lock. It covers one byte far past any entry rather than the
    // entries themselves: where locks are binding, as on Windows, a lock on the entries would
    // make the browser's reads fail while a write runs. The lock belongs to this open, not to
    // the process, so two opens in one process exclude each other as two processes do, and
    // closing the file lets go of it. When another open holds it, errno is EAGAIN or EACCES.
    bool tryWriterLock();

private:
    explicit SystemFile(std::intptr_t handle) : m_handle(handle) {}
    void close();

    // A descriptor, or a Windows handle; -1 for none on both.
    std::intptr_t m_handle = -1;
};

// Whether this process, with the permissions it acts with now, may write the file; a file
// that is read-only for everyone never.
bool MayWriteFile(const std::string &fileName);

// Whether two names lead, through any links, to one file.
bool SameFileOnDisk(const std::string &a, const std::string &b);

// Past the file-size limit the system would end the whole program with a signal. Ignored, the
// write fails with EFBIG instead, and is reported like any other failed write. Nothing to do
// where there is no such limit.
void IgnoreFileSizeSignal();
