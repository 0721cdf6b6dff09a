#include "support/files.h"

#include "huefile/entry_bytes.h"
#include "huefile/hue_file.h"
#include "huefile/write_journal.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace fs = std::filesystem;

namespace {

std::string Utf8(const fs::path &path)
{
    const auto text = path.u8string();
    return std::string(text.begin(), text.end());
}

fs::path PathOf(const std::string &utf8)
{
    return fs::u8path(utf8);
}

fs::path NewFolder()
{
    static std::atomic<unsigned> made{0};
    const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    for (;;) {
        const fs::path folder =
            fs::temp_directory_path() /
            ("colvane-test-" + std::to_string(stamp) + "-" + std::to_string(made++));
        if (fs::create_directory(folder))
            return folder;
    }
}

} // namespace

TempFolder::TempFolder() : m_path(Utf8(NewFolder())), m_previous(Utf8(fs::current_path()))
{
    fs::current_path(PathOf(m_path));
}

TempFolder::~TempFolder()
{
    std::error_code ignored;
    fs::current_path(PathOf(m_previous), ignored);
    // Read-only files would stop the removal on Windows.
    for (const auto &entry : fs::recursive_directory_iterator(PathOf(m_path), ignored))
        fs::permissions(entry.path(), fs::perms::owner_write, fs::perm_options::add, ignored);
    fs::remove_all(PathOf(m_path), ignored);
}

std::string TempFolder::path(const std::string &name) const
{
    return m_path + "/" + name;
}

HueEntry PatternEntry(int n, int seed)
{
    HueEntry entry{};
    for (int c = 0; c < HueColourCount; ++c)
        entry.colours[c] = static_cast<HueColour>((n * 37 + c * 5 + seed) & 0x7FFF);
    for (int i = 0; i < 4; ++i)
        entry.carried[i] = static_cast<std::uint8_t>(n + i + seed);
    std::snprintf(entry.name, sizeof entry.name, "entry %d", n);
    return entry;
}

void WriteHueFile(const std::string &fileName, int count, int seed)
{
    std::vector<unsigned char> bytes;
    for (int n = 1; n <= count; ++n) {
        if ((n - 1) % 8 == 0)
            bytes.insert(bytes.end(), 4, 0xA5);
        const HueEntry entry = PatternEntry(n, seed);
        const auto *raw = reinterpret_cast<const unsigned char *>(&entry);
        bytes.insert(bytes.end(), raw, raw + sizeof entry);
    }
    WriteBytes(fileName, bytes);
}

void WriteBytes(const std::string &fileName, const std::vector<unsigned char> &bytes)
{
    std::ofstream out(PathOf(fileName), std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char *>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

std::vector<unsigned char> ReadBytes(const std::string &fileName)
{
    std::ifstream in(PathOf(fileName), std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

bool WriteBytesAt(const std::string &fileName, long offset, const std::vector<unsigned char> &bytes)
{
    std::fstream file(PathOf(fileName), std::ios::binary | std::ios::in | std::ios::out);
    if (!file)
        return false;
    file.seekp(offset);
    file.write(reinterpret_cast<const char *>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    file.close();
    return !file.fail();
}

bool FileExists(const std::string &fileName)
{
    std::error_code ignored;
    return fs::exists(PathOf(fileName), ignored);
}

bool MakeReadOnly(const std::string &fileName)
{
    std::error_code failed;
    fs::permissions(PathOf(fileName),
                    fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove, failed);
    return !failed;
}

std::optional<HueFile> Held(Expected<HueFile> file)
{
    if (!file)
        return std::nullopt;
    return std::move(*file);
}

bool WriteEntryInPlace(const std::string &fileName, int n, const HueEntry &entry)
{
    auto file = HueFile::openForUpdate(fileName);
    return file && WriteOneEntry(*file, n, entry, Flushes::KillOnly).ok();
}

HueEntry EntryOnDisk(const std::string &fileName, int n)
{
    HueEntry entry{};
    const auto bytes = ReadBytes(fileName);
    const auto offset = static_cast<std::size_t>(EntryOffset(n));
    if (offset < bytes.size())
        std::memcpy(&entry, bytes.data() + offset, std::min(sizeof entry, bytes.size() - offset));
    return entry;
}

bool SameEntry(const HueEntry &a, const HueEntry &b)
{
    return SameBytes(a, b);
}
