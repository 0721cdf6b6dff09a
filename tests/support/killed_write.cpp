#include "support/killed_write.h"

#include "support/files.h"

#include <vector>

namespace {

using Bytes = std::vector<unsigned char>;

std::string FolderOf(const std::string &name)
{
    const std::size_t cut = name.find_last_of(NameSeparators);
    return cut == std::string::npos ? std::string() : name.substr(0, cut + 1);
}

} // namespace

std::string JournalOf(const std::string &fileName)
{
    const NameFacts facts = FactsOfName(fileName);
    return JournalNameFor(FolderOf(facts.resolvedName), facts.identity);
}

std::string AsideOf(const std::string &fileName)
{
    const NameFacts facts = FactsOfName(fileName);
    return AsideNameFor(FolderOf(facts.resolvedName), facts.identity);
}

Bytes EntryBytes(const HueEntry &entry)
{
    const auto *raw = reinterpret_cast<const unsigned char *>(&entry);
    return Bytes(raw, raw + sizeof entry);
}

bool KillDuring(const std::string &fileName, const Kill &kill)
{
    std::optional<HueFile> file = Held(HueFile::openForUpdate(fileName));
    if (!file)
        return false;
    Expected<WriteOperation> operation = WriteOperation::begin(*file, kill.plan, Flushes::KillOnly);
    if (!operation)
        return false;
    const std::string journal = JournalOf(fileName);
    const Bytes saved = ReadBytes(journal);
    for (std::size_t i = 0; i < kill.landed; ++i)
        if (!file->writeEntry(kill.plan[i].entry, kill.plan[i].after))
            return false;
    if (kill.torn && kill.landed < kill.plan.size()) {
        const PlannedWrite &next = kill.plan[kill.landed];
        const long offset = static_cast<long>(EntryOffset(next.entry));
        const long edge = (offset / 512 + 1) * 512;
        const Bytes after = EntryBytes(next.after);
        if (edge < offset + static_cast<long>(after.size()) && file->size() >= edge &&
            !WriteBytesAt(fileName, offset, Bytes(after.begin(), after.begin() + (edge - offset))))
            return false;
    }
    operation->end();
    file.reset();
    WriteBytes(journal, saved);
    return !saved.empty();
}

std::vector<PlannedWrite> PlanOf(int first, int count, int seed)
{
    std::vector<PlannedWrite> plan;
    for (int n = first; n < first + count; ++n)
        plan.push_back({n, PatternEntry(n, seed)});
    return plan;
}

