#pragma once

#include <cstdint>
#include <optional>
#include <string>

// The file layer's one door to the system. huefile/posix/ and huefile/windows/ answer, one of
// them chosen when the program is built; they answer questions of fact and carry out primitive
// actions, each in one call, and decide nothing. What a name may be used for is decided above
// them, once, in huefile/. File names are UTF-8 on Windows and the C library's bytes elsewhere.
// A primitive that fails leaves an errno value that tells why, on both systems, so that one
// list of reasons (huefile/file_checks.h) words them all.

// Offsets and lengths of files: 64 bits on every system, also where off_t has 32.
using FileOffset = std::int64_t;

enum class FileKind { Regular, Folder, Pipe, Device, Other };

// The characters that end a folder's part of a name.
#ifdef _WIN32
constexpr const char *NameSeparators = "/\\:";
#else
constexpr const char *NameSeparators = "/";
#endif

// What the file layer asks of a file before it uses one.
struct FileFacts {
    FileKind kind = FileKind::Other;
    // Made read-only on purpose, so read-only for everyone, the system's administrator
    // included: no write permission bit at all, or the read-only attribute.
    bool readOnlyForEveryone = false;
    FileOffset size = 0;
};

// What a replacement keeps of the file it replaces, where the system has it.
struct FileKeeps {
    long owner = -1;
    long group = -1;
    unsigned mode = 0;
};

// Two names lead to one file when both have the same identity, and the system could tell it.
struct FileIdentity {
    bool known = false;
    std::uint64_t device = 0;
    std::uint64_t index = 0;
    bool operator==(const FileIdentity &other) const
    {
        return known && other.known && device == other.device && index == other.index;
    }
};

// Everything the rules ask about a name, answered in one look. The facts of FileFacts are of
// the file behind the name, its links followed.
struct NameFacts : FileFacts {
    // 0 when the name leads to a file; else why it does not, as an errno value: ENOENT when
    // nothing is there.
    int error = 0;
    // The name itself is a symbolic link, whether or not it leads anywhere.
    bool isLink = false;
    // The following hold for a file the name leads to.
    FileIdentity identity;
    // The file's own name, every link resolved; empty when the system cannot tell it.
    std::string resolvedName;
    long links = 1;
    // The file belongs to the user this process acts as; true where files carry no owner that
    // a replacement would change.
    bool ownedByUs = true;
    // This process acts as the administrator, who may replace anyone's files.
    bool actingAsRoot = false;
    // 0 when this process, with the permissions it acts with now, may write the file; else why
    // not, as an errno value.
    int writeError = 0;
    FileKeeps keeps;
};

// The facts of a name. Never waits on a pipe.
NameFacts FactsOfName(const std::string &fileName);

class SystemFile;

// The questions of fact the rules ask, and the steps of making a file whose failures they
// decide on, behind an interface so that a test can answer them for files that do not exist
// and make the system fail where it wants. The real system answers through FactsOfName and
// SystemFile.
class FileSystem {
public:
    virtual ~FileSystem() = default;
    virtual NameFacts factsOfName(const std::string &fileName) const = 0;
    // As SystemFile::createUnnamed and SystemFile::giveFirstName.
    virtual std::optional<SystemFile> createUnnamed(const std::string &folder) const = 0;
    virtual bool giveFirstName(SystemFile &file, const std::string &target) const = 0;
};

const FileSystem &TheFileSystem();

// One open file, closed when the object goes.
class SystemFile {
public:
    enum class Access { Read, Update };

    // Opens an existing file. The open never waits for the other end of a pipe, never makes a
    // terminal the controlling one, and never takes the number of a standard stream.
    static std::optional<SystemFile> open(const std::string &fileName, Access access);
    // Opens a pipe or device to write into it from its start. A pipe that no one reads would
    // hold the open forever, so the open does not wait: it fails with ENXIO instead.
    static std::optional<SystemFile> openStream(const std::string &fileName);

    // A new file in `folder` (empty for the current one) that has no name, so that nothing of
    // it is left when the program ends, however it ends, before giveFirstName. Null, with errno
    // set, when none was made: EOPNOTSUPP, EISDIR or EINVAL where the system or the folder's
    // file system makes no such file.
    static std::optional<SystemFile> createUnnamed(const std::string &folder);
    // A new file of the given name, only where the name is free in any form (else EEXIST),
    // with the permission bits of `like`: a file beside a hue file that holds its bytes is
    // no more open to others than the hue file is.
    static std::optional<SystemFile> createNew(const std::string &fileName, const FileKeeps &like);
    // Gives a file from createUnnamed its first name, only when the name is free in any form,
    // even of a link to nothing, else EEXIST. ENOENT, too, when the system cannot reach the
    // file to name it.
    bool giveFirstName(const std::string &target);

    SystemFile(SystemFile &&other) noexcept;
    SystemFile &operator=(SystemFile &&other) noexcept;
    SystemFile(const SystemFile &) = delete;
    SystemFile &operator=(const SystemFile &) = delete;
    ~SystemFile();

    std::optional<FileFacts> facts() const;
    // The identity of the open file itself, whatever its name leads to meanwhile.
    FileIdentity identity() const;
    // The length as it stands now; -1 when it cannot be told.
    FileOffset size() const;
    // Reads up to count bytes at offset; fewer only where the file ends. -1 on an error.
    FileOffset readAt(void *buffer, FileOffset count, FileOffset offset) const;
    // Writes count bytes at offset; returns how many landed before the first failure.
    FileOffset writeAt(const void *buffer, FileOffset count, FileOffset offset);
    // Writes every byte where the last write ended. False, with errno set (0 when the system
    // took no byte and gave no reason), when they did not all go.
    bool writeAll(const std::string &bytes);
    bool setLength(FileOffset length);
    // Waits until what was written to the file is on its disk, so that a power cut keeps it.
    bool flush();
    // Tries once for the writers' lock. It covers one byte far past any entry rather than the
    // entries themselves: where locks are binding, as on Windows, a lock on the entries would
    // make the browser's reads fail while a write runs. The lock belongs to this open, not to
    // the process, so two opens in one process exclude each other as two processes do, and
    // closing the file lets go of it. When another open holds it, errno is EAGAIN or EACCES;
    // where the file's file system takes no locks at all (a network mount without its lock
    // service), ENOLCK or EOPNOTSUPP.
    //
    // A Linux kernel without locks of the open has classic record locks only, which the process
    // then takes for the rest of its life. They are weaker: they belong to the process, so two
    // opens of one file in one process no longer exclude each other, and closing any descriptor
    // of the file in the process, even one opened only to look, lets go of the lock. Other
    // processes are still kept out as long as the holder opens the file no second time.
    bool tryWriterLock();
    // Tries once for a shared hold on the same byte, which any number of readers may have at
    // once but never beside the writers' lock: a reader holding it sees no write half done.
    bool tryReaderLock();
    // A replacing file takes the owner and group of the one it replaces; nothing to do where
    // files carry no owner. The owner goes first: a change of owner clears the set-user-id bits
    // that giveModeOf then sets.
    bool giveOwnerOf(const FileKeeps &replaced);
    // The permissions of the replaced file, or a new file's (none: the user's default).
    bool giveModeOf(const FileKeeps *replaced);
    // Closes the file now; false, with errno set, when the close reports that written bytes
    // were lost.
    bool close();

private:
    explicit SystemFile(std::intptr_t handle) : m_handle(handle) {}

    // The primitives the loops above are made of: one call of the system each, which may do
    // less than asked. The count done, 0 at the end, -1 with errno set on an error.
    FileOffset readPieceAt(void *buffer, FileOffset count, FileOffset offset) const;
    FileOffset writePieceAt(const void *buffer, FileOffset count, FileOffset offset);
    FileOffset writePiece(const void *buffer, FileOffset count);

    // A descriptor, or a Windows handle; -1 for none on both.
    std::intptr_t m_handle = -1;

    friend class TemporaryFile;
};

// A new file beside others, of a name no file has yet, removed when the object goes unless it
// took another name, and removed too when the user ends the program meanwhile (an ending signal,
// the console's Ctrl+C or close). One exists at a time.
class TemporaryFile {
public:
    TemporaryFile();
    ~TemporaryFile();
    TemporaryFile(const TemporaryFile &) = delete;
    TemporaryFile &operator=(const TemporaryFile &) = delete;

    // Creates the file `folder` + `prefix` + a few characters that make the name free; folder is
    // empty or ends in a separator. Null, with errno set, when no file was made.
    SystemFile *create(const std::string &folder, const std::string &prefix);
    // The name the file was created with.
    std::string name() const;
    // Gives the file `target` as its name, as MoveIntoName does.
    bool moveInto(const std::string &target, bool replace);
    // Leaves the file under its own name when the object goes.
    void keep();

private:
    std::optional<SystemFile> m_file;
};

// Gives the file named `from` the name `to`: with `replace`, over what is there (a link is
// replaced itself, not written through); without, only when `to` is free in any form, even of a
// link to nothing, else EEXIST. Nothing ever holds the name `to` half-written.
bool MoveIntoName(const std::string &from, const std::string &to, bool replace);

// Waits until the names made in a folder are on its disk; nothing to do where the system keeps
// a folder's names with its files. The folder's name is empty for the current one.
bool FlushFolder(const std::string &folder);

// Removes a name; false, with errno set, when it could not be removed.
bool RemoveName(const std::string &name);

// Whether this process, with the permissions it acts with now, may write the file; a file
// that is read-only for everyone never.
bool MayWriteFile(const std::string &fileName);

// Whether two names lead, through any links, to one file.
bool SameFileOnDisk(const std::string &a, const std::string &b);

// Past the file-size limit the system would end the whole program with a signal. Ignored, the
// write fails with EFBIG instead, and is reported like any other failed write. Nothing to do
// where there is no such limit.
void IgnoreFileSizeSignal();
