#include "huefile/entry_copy.h"
#include "huefile/hue_file.h"
#include "tests/support/byte_model.h"
#include "huefile/write_history.h"
#include "huefile/write_journal.h"

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

// Each input describes two hue files and a run of entry reads, writes, copies, undos and redos
// on them, and writes that a kill stops halfway, optionally under a file-size limit, with
// another writer that takes no lock writing between them. The same steps are taken on plain byte arrays, and after every step the files
// on disk must hold exactly the bytes of their arrays.

namespace {

using byte_model::Bytes;
constexpr long RecordSize = static_cast<long>(sizeof(HueEntry));
constexpr long LargestFile = EntryOffset(MaxEntryNumber) + RecordSize;
constexpr int MostSteps = 48;

// The input read from the front; once it runs out every value is zero, so any prefix of an
// input is an input too and the fuzzer may cut freely.
class Input {
public:
    Input(const std::uint8_t *data, std::size_t size) : m_data(data), m_size(size) {}
    bool empty() const { return m_next >= m_size; }
    std::uint8_t byte() { return m_next < m_size ? m_data[m_next++] : 0; }
    int word()
    {
        const int low = byte();
        return low | byte() << 8;
    }
    int entry() { return 1 + word() % MaxEntryNumber; }
    // A last entry near the first: most ranges stay short so the fuzzer stays fast, and a
    // range may also end before it starts.
    int entryNear(int first, bool anywhere)
    {
        if (anywhere)
            return entry();
        return std::clamp(first + static_cast<std::int8_t>(byte()), 1, MaxEntryNumber);
    }
    // A byte position near the edge of a record, where sizes and limits matter most.
    long place()
    {
        const int record = word() % (MaxEntryNumber + 2);
        const long edge = record == 0 ? 0 : EntryOffset(record);
        return std::clamp<long>(edge + static_cast<std::int8_t>(byte()), 0, LargestFile);
    }

private:
    const std::uint8_t *m_data;
    std::size_t m_size;
    std::size_t m_next = 0;
};

// The harness's own byte loops would otherwise feed the fuzzer comparisons of no interest and
// take most of its time.
#define NOT_TRACED __attribute__((no_sanitize("coverage")))
#define NOT_TRACED_OR_CHECKED __attribute__((no_sanitize("coverage", "address")))

// Fills with bytes that differ from place to place, so that a record landing one slot off, or
// an old record left behind, never happens to look right.
NOT_TRACED_OR_CHECKED void Scramble(std::uint8_t *bytes, std::size_t count, std::uint64_t seed)
{
    std::uint64_t state = seed * 0x2545F4914F6CDD1DULL + 1;
    for (std::size_t i = 0; i < count; i += 8) {
        state += 0x9E3779B97F4A7C15ULL;
        std::uint64_t z = state;
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
        z ^= z >> 31;
        std::memcpy(bytes + i, &z, std::min<std::size_t>(8, count - i));
    }
}

std::string g_step = "setting up";
rlimit g_unlimited{};

[[noreturn]] void Fail(const std::string &what);

// Two hue files and a second name for each, so that one file is also opened by two names.
struct Folder {
    std::string dir;
    std::string files[2];
    std::string links[2];

    Folder()
    {
        if (getrlimit(RLIMIT_FSIZE, &g_unlimited) != 0 || g_unlimited.rlim_cur != RLIM_INFINITY) {
            std::fprintf(stderr, "entry io: needs a process without a file-size limit\n");
            std::exit(1);
        }
        char pattern[] = "/tmp/colvane-fuzz-XXXXXX";
        if (mkdtemp(pattern) == nullptr) {
            std::perror("entry io: mkdtemp");
            std::exit(1);
        }
        dir = pattern;
        const char *names[2] = {"a.mul", "b.mul"};
        for (int f = 0; f < 2; ++f) {
            files[f] = dir + "/" + names[f];
            links[f] = dir + "/link-" + names[f];
            if (symlink(names[f], links[f].c_str()) != 0) {
                std::perror("entry io: symlink");
                std::exit(1);
            }
        }
    }
    ~Folder() { remove(); }

    void remove() const
    {
        for (int f = 0; f < 2; ++f) {
            unlink(links[f].c_str());
            unlink(files[f].c_str());
        }
        rmdir(dir.c_str());
    }
};

Folder &TheFolder()
{
    static Folder folder;
    return folder;
}

[[noreturn]] void Fail(const std::string &what)
{
    // The crash input is saved after this; under a small limit it would not fit on disk. The
    // files themselves are not needed again: the input makes them anew.
    setrlimit(RLIMIT_FSIZE, &g_unlimited);
    TheFolder().remove();
    std::fprintf(stderr, "entry io: %s\n  in step: %s\n", what.c_str(), g_step.c_str());
    std::abort();
}

void WriteWholeFile(const std::string &path, const Bytes &bytes)
{
    const int descriptor = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (descriptor < 0)
        Fail("cannot create " + path + ": " + std::strerror(errno));
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t put = write(descriptor, bytes.data() + done, bytes.size() - done);
        if (put <= 0 && errno != EINTR)
            Fail("cannot write " + path + ": " + std::strerror(errno));
        if (put > 0)
            done += static_cast<std::size_t>(put);
    }
    close(descriptor);
}

// One buffer for every read-back: the files are read after nearly every step.
const Bytes &ReadWholeFile(const std::string &path)
{
    static Bytes bytes;
    const int descriptor = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    struct stat info {};
    if (descriptor < 0 || fstat(descriptor, &info) != 0)
        Fail("cannot read back " + path + ": " + std::strerror(errno));
    bytes.resize(static_cast<std::size_t>(info.st_size));
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t got =
            pread(descriptor, bytes.data() + done, bytes.size() - done, static_cast<off_t>(done));
        if (got <= 0 && errno != EINTR)
            Fail("cannot read back " + path);
        if (got > 0)
            done += static_cast<std::size_t>(got);
    }
    close(descriptor);
    return bytes;
}

// The byte-array side: what each step must do to the files, and each file's undo history.
struct Model {
    Bytes files[2];
    std::optional<long> limit;
    byte_model::History histories[2];

    byte_model::LimitedFile file(int f) { return {files[f], limit}; }

    // A write step as the window keeps it for an undo.
    template <typename Writes> bool recorded(int f, Writes writes)
    {
        Bytes before = files[f];
        std::vector<int> wrote;
        const bool whole = writes(file(f), &wrote);
        histories[f].record(std::move(before), files[f], wrote);
        return whole;
    }
};

// The limit is in force only while the library works, so that nothing else this process
// writes (a saved crash input above all) can run into it.
class LimitDuringStep {
public:
    explicit LimitDuringStep(const std::optional<long> &limit)
    {
        if (!limit)
            return;
        rlimit limited = g_unlimited;
        limited.rlim_cur = static_cast<rlim_t>(*limit);
        if (setrlimit(RLIMIT_FSIZE, &limited) != 0)
            Fail(std::string("cannot set the file-size limit: ") + std::strerror(errno));
    }
    ~LimitDuringStep() { setrlimit(RLIMIT_FSIZE, &g_unlimited); }
    LimitDuringStep(const LimitDuringStep &) = delete;
    LimitDuringStep &operator=(const LimitDuringStep &) = delete;
};

std::string Describe(const char *format, ...) __attribute__((format(printf, 1, 2)));
std::string Describe(const char *format, ...)
{
    char text[256];
    va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(text, sizeof text, format, arguments);
    va_end(arguments);
    return text;
}

void Expect(bool same, const char *what, bool got, bool expected)
{
    if (!same)
        Fail(Describe("%s: the library says %d, the model %d", what, got, expected));
}

void CompareFile(const Model &model, int f)
{
    const Bytes &real = ReadWholeFile(TheFolder().files[f]);
    const Bytes &expected = model.files[f];
    if (real == expected)
        return;
    const std::size_t common = std::min(real.size(), expected.size());
    std::size_t at = 0;
    while (at < common && real[at] == expected[at])
        ++at;
    Fail(Describe("file %c holds %zu bytes, the model %zu; first difference at byte %zu", "ab"[f],
                  real.size(), expected.size(), at));
}

HueFile OpenForReading(const std::string &path)
{
    auto file = HueFile::openForReading(path);
    if (!file)
        Fail("cannot open " + path + " for reading: " + file.error());
    return std::move(*file);
}

HueFile OpenForUpdate(const std::string &path)
{
    auto file = HueFile::openForUpdate(path);
    if (!file)
        Fail("cannot open " + path + " for update: " + file.error());
    return std::move(*file);
}

void CheckSizes(const HueFile *reader, long readerSize, const HueFile *writer, long writerSize)
{
    if (reader && reader->size() != readerSize)
        Fail(Describe("the read file's size() is %ld, the model's file %ld",
                      static_cast<long>(reader->size()), readerSize));
    if (writer && writer->size() != writerSize)
        Fail(Describe("the written file's size() is %ld, the model's file %ld",
                      static_cast<long>(writer->size()), writerSize));
}

// The library's side of the undo histories, one per file.
WriteHistory g_histories[2];

// Keeps what a write step of the library did for an undo, as the window does.
void Record(int f, const HueFile &writer, long sizeBefore, std::vector<EntryWrite> written)
{
    g_histories[f].record({std::move(written), sizeBefore, writer.size()});
}

// Another program that takes no lock: a record, or a few bytes, anywhere from the first entry
// on, growing the file when they reach past its end. The file keeps its zero first byte.
void OtherWrite(Input &input, Model &model, int f, int index)
{
    const bool record = input.byte() & 1;
    const long offset = std::max(4L, input.place());
    Bytes bytes(record ? sizeof(HueEntry) : 1 + input.byte() % 8);
    Scramble(bytes.data(), bytes.size(), static_cast<std::uint64_t>(input.byte()) << 8 | 0x5A);
    g_step = Describe("#%d another writer puts %zu bytes at %ld of %c", index, bytes.size(), offset,
                      "ab"[f]);
    const int descriptor = open(TheFolder().files[f].c_str(), O_WRONLY | O_CLOEXEC);
    if (descriptor < 0 || pwrite(descriptor, bytes.data(), bytes.size(), offset) !=
                              static_cast<ssize_t>(bytes.size()))
        Fail(std::string("the other writer failed: ") + std::strerror(errno));
    close(descriptor);
    byte_model::PutBytes(model.files[f], offset, bytes.data(), static_cast<long>(bytes.size()));
}

// Op 3 and op 6 let another writer in between the open of a write and the write itself, as a
// program that takes no lock would; the other codes of the same steps do not. The length the
// write starts from is the one it finds.
long AnotherWriterMeanwhile(int op, Input &input, Model &model, int f, int index)
{
    if ((op & 7) == 3 || (op & 7) == 6)
        OtherWrite(input, model, f, index);
    return static_cast<long>(model.files[f].size());
}

void Replay(Model &model, int f, const std::string &path, bool undo, int index)
{
    g_step = Describe("#%d %s on %c", index, undo ? "undo" : "redo", "ab"[f]);
    WriteHistory &history = g_histories[f];
    const WriteHistory::Step *step = undo ? history.nextUndo() : history.nextRedo();
    ReplayResult got{};
    if (step) {
        HueFile writer = OpenForUpdate(path);
        const LimitDuringStep limit(model.limit);
        got = ReplayStep(writer, *step, undo, Flushes::KillOnly);
    }
    const byte_model::ReplayResult expected = model.histories[f].replay(undo, model.file(f));
    const bool replayed = step != nullptr;
    Expect(replayed == (expected.outcome != byte_model::Replay::Nothing), "a step to replay",
           replayed, !replayed);
    if (!step)
        return;
    const bool done = got.outcome == ReplayOutcome::Done;
    const bool stale = got.outcome == ReplayOutcome::Stale;
    Expect(done == (expected.outcome == byte_model::Replay::Done), "replayed", done, !done);
    Expect(stale == (expected.outcome == byte_model::Replay::Stale), "stale", stale, !stale);
    if (stale && got.staleEntry != expected.staleEntry)
        Fail(Describe("stale at entry %d, the model says %d", got.staleEntry, expected.staleEntry));
    if (done)
        undo ? history.undone() : history.redone();
    else if (stale)
        undo ? history.dropNextUndo() : history.dropNextRedo();
}

// A write of a run of entries stopped after some of its records, one of them perhaps torn, as
// a kill leaves it: its journal beside the file as it stood. The next open puts every entry
// back, so the file is again what the model holds, and the journal is gone.
void KilledWrite(Input &input, Model &model, int f, const std::string &path, int index)
{
    const int first = input.entry();
    const int last = input.entryNear(first, false);
    const auto landed = static_cast<std::size_t>(input.byte() % 64);
    const bool torn = input.byte() & 1;
    std::vector<PlannedWrite> plan;
    for (int n = std::min(first, last); n <= std::max(first, last); ++n) {
        HueEntry entry;
        Scramble(reinterpret_cast<std::uint8_t *>(&entry), sizeof entry,
                 static_cast<std::uint64_t>(n) << 8 | static_cast<unsigned>(index));
        plan.push_back({n, entry});
    }
    g_step = Describe("#%d write of entries %d..%d of %c killed after %zu%s", index, first, last,
                      "ab"[f], landed, torn ? ", the next torn" : "");
    const NameFacts facts = FactsOfName(path);
    const std::string journal = JournalNameFor(
        facts.resolvedName.substr(0, facts.resolvedName.rfind('/') + 1), facts.identity);
    {
        HueFile writer = OpenForUpdate(path);
        Expected<WriteOperation> operation = WriteOperation::begin(writer, plan, Flushes::KillOnly);
        if (!operation)
            Fail("the write did not begin: " + operation.error());
        const Bytes saved = ReadWholeFile(journal);
        for (std::size_t i = 0; i < std::min(landed, plan.size()); ++i)
            if (!writer.writeEntry(plan[i].entry, plan[i].after))
                Fail("a planned write failed");
        operation->end();
        // A kill tears a record only where the system's memory or a disk does: at a 512-byte
        // edge.
        if (landed < plan.size() && torn) {
            const long at = EntryOffset(plan[landed].entry);
            const long edge = (at / 512 + 1) * 512;
            if (edge < at + RecordSize && edge <= writer.size()) {
                Bytes file = ReadWholeFile(path);
                std::memcpy(file.data() + at, &plan[landed].after,
                            static_cast<std::size_t>(edge - at));
                WriteWholeFile(path, file);
            }
        }
        WriteWholeFile(journal, saved);
    }
    OpenForReading(path);
    if (access(journal.c_str(), F_OK) == 0)
        Fail("the journal is still there");
    CompareFile(model, f);
}

void Step(Input &input, Model &model, int index)
{
    const Folder &folder = TheFolder();
    const int op = input.byte();
    const int from = op >> 3 & 1;
    const int to = op >> 4 & 1;
    const std::string &readPath = op >> 5 & 1 ? folder.links[from] : folder.files[from];
    const std::string &writePath = op >> 6 & 1 ? folder.links[to] : folder.files[to];
    const bool anywhere = op >> 7 & 1;
    const long fromSize = static_cast<long>(model.files[from].size());
    const long toSize = static_cast<long>(model.files[to].size());

    switch (op & 7) {
    case 0: {
        const int n = input.entry();
        g_step = Describe("#%d read entry %d of %c", index, n, "ab"[from]);
        const HueFile reader = OpenForReading(readPath);
        HueEntry entry;
        std::memset(&entry, 0xA5, sizeof entry);
        bool got = false;
        {
            const LimitDuringStep limit(model.limit);
            got = reader.readEntry(n, entry);
        }
        HueEntry expected;
        const bool whole = byte_model::ReadEntry(model.files[from], n, expected);
        Expect(got == whole, "readEntry", got, whole);
        if (std::memcmp(&entry, &expected, sizeof entry) != 0)
            Fail("readEntry: the record read differs from the model's bytes");
        CheckSizes(&reader, fromSize, nullptr, 0);
        // A file opened for reading only cannot change, so there is nothing to compare.
        return;
    }
    case 1:
        OtherWrite(input, model, to, index);
        break;
    case 2:
    case 3: {
        const int n = input.entry();
        HueEntry entry;
        Scramble(reinterpret_cast<std::uint8_t *>(&entry), sizeof entry,
                 static_cast<std::uint64_t>(input.byte()) << 8 | static_cast<unsigned>(index));
        HueFile writer = OpenForUpdate(writePath);
        const long sizeBefore = AnotherWriterMeanwhile(op, input, model, to, index);
        g_step = Describe("#%d write entry %d of %c", index, n, "ab"[to]);
        EntryWrite write{n, {}, entry};
        bool got = false;
        {
            const LimitDuringStep limit(model.limit);
            const Expected<WriteOperation> operation =
                WriteOperation::begin(writer, {{n, entry}}, Flushes::KillOnly);
            got = operation && writer.writeEntry(n, entry, &write.before).ok();
        }
        if (got)
            Record(to, writer, sizeBefore, {write});
        const bool expected = model.recorded(to, [&](byte_model::LimitedFile file, auto *written) {
            return file.write(n, entry, written);
        });
        Expect(got == expected, "writeEntry", got, expected);
        CheckSizes(nullptr, 0, &writer, static_cast<long>(model.files[to].size()));
        break;
    }
    case 4: {
        const int source = input.entry();
        const int target = input.entry();
        g_step = Describe("#%d copy entry %d of %c to entry %d of %c", index, source, "ab"[from],
                          target, "ab"[to]);
        // Within one file the copy reads through its writer, as the programs do: a second
        // open's shared hold would keep the writers' lock away.
        HueFile writer = OpenForUpdate(writePath);
        std::optional<HueFile> separateReader;
        if (from != to)
            separateReader = OpenForReading(readPath);
        const HueFile &reader = from != to ? *separateReader : writer;
        std::vector<EntryWrite> written;
        bool got = false;
        {
            const LimitDuringStep limit(model.limit);
            got = CopyHueEntry(reader, writer, source, target, Flushes::KillOnly, &written).ok();
        }
        Record(to, writer, toSize, written);
        const Bytes sourceBytes = model.files[from];
        const bool expected = model.recorded(to, [&](byte_model::LimitedFile file, auto *w) {
            return file.copy(sourceBytes, source, source, target, target, w);
        });
        Expect(got == expected, "CopyHueEntry", got, expected);
        CheckSizes(&reader, static_cast<long>(model.files[from].size()), &writer,
                   static_cast<long>(model.files[to].size()));
        break;
    }
    case 5:
    case 6: {
        const int sourceFrom = input.entry();
        const int sourceTo = input.entryNear(sourceFrom, anywhere);
        const int targetFrom = input.entry();
        const int targetTo = input.entryNear(targetFrom, anywhere);
        // Within one file the copy reads through its writer, as the programs do: a second
        // open's shared hold would keep the writers' lock away.
        HueFile writer = OpenForUpdate(writePath);
        std::optional<HueFile> separateReader;
        if (from != to)
            separateReader = OpenForReading(readPath);
        const HueFile &reader = from != to ? *separateReader : writer;
        const long sizeBefore = AnotherWriterMeanwhile(op, input, model, to, index);
        g_step = Describe("#%d copy entries %d..%d of %c to %d..%d of %c", index, sourceFrom,
                          sourceTo, "ab"[from], targetFrom, targetTo, "ab"[to]);
        std::vector<EntryWrite> written;
        bool got = false;
        int failed = 0;
        {
            const LimitDuringStep limit(model.limit);
            got = CopyHueEntryRange(reader, writer, sourceFrom, sourceTo, targetFrom, targetTo,
                                    Flushes::KillOnly, &written, &failed)
                      .ok();
        }
        Record(to, writer, sizeBefore, written);
        const Bytes sourceBytes = model.files[from];
        int expectedFailed = 0;
        const bool expected = model.recorded(to, [&](byte_model::LimitedFile file, auto *w) {
            return file.copy(sourceBytes, sourceFrom, sourceTo, targetFrom, targetTo, w,
                             &expectedFailed);
        });
        Expect(got == expected, "CopyHueEntryRange", got, expected);
        if (!got && failed != expectedFailed)
            Fail(Describe("CopyHueEntryRange stopped at entry %d, the model at %d", failed,
                          expectedFailed));
        CheckSizes(&reader, static_cast<long>(model.files[from].size()), &writer,
                   static_cast<long>(model.files[to].size()));
        break;
    }
    default: {
        const int kind = input.byte();
        if (kind % 4 == 0) {
            model.limit = kind & 4 ? std::optional<long>(input.place()) : std::nullopt;
            return;
        }
        if (kind % 4 == 3) {
            KilledWrite(input, model, to, writePath, index);
            return;
        }
        Replay(model, to, writePath, kind % 4 == 1, index);
        break;
    }
    }
    CompareFile(model, to);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const Folder &folder = TheFolder();
    Input input(data, size);
    // Kept from input to input so that its arrays keep their memory.
    static Model model;
    model.limit.reset();
    for (int f = 0; f < 2; ++f) {
        model.histories[f] = byte_model::History();
        g_histories[f].clear();
    }
    g_step = "setting up";
    for (int f = 0; f < 2; ++f) {
        model.files[f].resize(static_cast<std::size_t>(input.place()));
        Scramble(model.files[f].data(), model.files[f].size(), input.byte() + 256u * f);
        // Hue files hold zero bytes at their start, text files none.
        if (!model.files[f].empty())
            model.files[f][0] = 0;
        WriteWholeFile(folder.files[f], model.files[f]);
    }
    for (int index = 1; index <= MostSteps && !input.empty(); ++index)
        Step(input, model, index);
    return 0;
}
