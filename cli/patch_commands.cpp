// The subcommands that share changes rather than files: diff --patch, apply, merge and
// textconv.
#include "cli/command_support.h"
#include "cli/subcommand.h"

#include "huefile/file_checks.h"
#include "huefile/formats/entry_name.h"
#include "huefile/input_file.h"
#include "huefile/number_text.h"
#include "huefile/output_file.h"
#include "huefile/system_file.h"

#include <cerrno>
#include <cstdio>
#include <memory>

namespace {

constexpr const char *PatchExtension = "huepatch";

// A hue file holds 3000 entries in 265,500 bytes; what lies past them is kept but not read
// as entries, and a file of many times that is no hue file to merge.
constexpr FileOffset MaxMergedFileSize = 16L << 20;

std::string TooLarge(FileOffset limit, const char *what)
{
    return std::string("too large for ") + what + " (more than " + std::to_string(limit) +
           " bytes)";
}

Expected<Patch> ReadPatchFile(const std::string &fileName)
{
    const Expected<std::string> bytes =
        ReadInputFile(fileName, MaxPatchSize, TooLarge(MaxPatchSize, "a patch"));
    if (!bytes)
        return About(fileName, bytes.error());
    Expected<Patch> patch = ReadPatch(*bytes);
    if (!patch)
        return About(fileName, patch.error());
    return patch;
}

Expected<EntrySlots> ReadSlots(const std::string &fileName)
{
    const Expected<HueFile> file = OpenHueFile(fileName, HueFileUse::Reading, LockWait);
    if (!file)
        return About(fileName, file.error());
    return ReadEntrySlots(*file);
}

// An empty or missing base is a base without entries: two sides that each added the file.
// Missing means that nothing stands at the name, or that the name runs through a file; a link
// that leads nowhere does stand there, and is read and reported as the mistake it is.
Expected<EntrySlots> ReadBase(const std::string &fileName)
{
    const NameFacts facts = FactsOfName(fileName);
    if (!facts.isLink && (facts.error == ENOENT || facts.error == ENOTDIR))
        return EntrySlots();
    return ReadSlots(fileName);
}

void ReportApplied(const ApplyReport &report, ApplyMode mode, std::ostream &out)
{
    for (const PatchConflict &conflict : report.conflicts)
        out << (mode == ApplyMode::Force ? "overwrote entry " : "conflict: entry ")
            << conflict.number << " (" << conflict.differences << ")\n";
    for (const int n : report.zeroed)
        out << "zeroed entry " << n << ": the patch leaves it absent, and files are never cut\n";
}

// In the words apply uses for the entries it zeroes.
void ReportZeroed(const MergeResult &result, std::ostream &out)
{
    for (const int n : result.zeroed)
        out << "zeroed entry " << n << ": " << AbsentInTheirs << ", and files are never cut\n";
}

std::string ConflictLines(const std::string &file, const std::vector<MergeConflict> &conflicts)
{
    std::string lines;
    for (const MergeConflict &conflict : conflicts)
        lines += file + ": conflict in entry " + std::to_string(conflict.number) + ": " +
                 conflict.fields + "\n";
    return lines;
}

CommandResult MergeInPlace(const MergeRequest &request, const EntrySlots &base,
                           const EntrySlots &theirs, MergeResult &result, std::ostream &out)
{
    Expected<HueFile> file = OpenHueFile(request.ours, HueFileUse::Update, LockWait);
    if (!file)
        return About(request.ours, file.error());
    const EntrySlots ours = ReadEntrySlots(*file);
    result = MergeEntries(base, ours, theirs, request.keep.value_or(KeepOnConflict::Ours));
    const Expected<ApplyReport> applied =
        ApplyPatch(*file, MakePatch(ours, result.merged), ApplyMode::Force, CliFlushes);
    if (!applied)
        return About(request.ours, applied.error());
    ReportZeroed(result, out);
    out << "merged " << request.theirs << " into " << request.ours << ": "
        << EntriesText(applied->writes.size()) << " written\n";
    return ExitSame;
}

CommandResult MergeIntoNewFile(const MergeRequest &request, const EntrySlots &base,
                               const EntrySlots &theirs, MergeResult &result, std::ostream &out)
{
    const std::string &output = *request.output;
    // The bytes are read by name, under this open's shared hold, so that no write lands
    // halfway through them.
    const Expected<HueFile> held = OpenHueFile(request.ours, HueFileUse::Reading, LockWait);
    if (!held)
        return About(request.ours, held.error());
    const Expected<std::string> bytes = ReadInputFile(
        request.ours, MaxMergedFileSize, TooLarge(MaxMergedFileSize, "a hue file to merge"));
    if (!bytes)
        return About(request.ours, bytes.error());
    const EntrySlots ours = EntrySlotsFromBytes(*bytes);
    result = MergeEntries(base, ours, theirs, request.keep.value_or(KeepOnConflict::Ours));
    const Expected<void> made =
        CreateNewFile(output, ApplyPatchToBytes(*bytes, MakePatch(ours, result.merged)));
    if (!made)
        return About(output, made.error());
    ReportZeroed(result, out);
    out << "merged " << request.theirs << " and " << request.ours << " into " << output << "\n";
    return ExitSame;
}

// "   7  "Sky blue"  7fff 0000 … 001f  00000000": every word as four digits so that bit 15
// shows, the name quoted so that its spaces do.
void AppendEntryLine(std::string &text, int n, const EntrySlot &slot)
{
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%4d  ", n);
    text += buffer;
    if (!slot) {
        text += "missing\n";
        return;
    }
    text += '"';
    AppendPrintable(text, StoredName(*slot));
    text += "\" ";
    for (const HueColour word : slot->colours) {
        std::snprintf(buffer, sizeof buffer, " %04x", word);
        text += buffer;
    }
    text += "  ";
    for (const std::uint8_t byte : slot->carried) {
        std::snprintf(buffer, sizeof buffer, "%02x", byte);
        text += buffer;
    }
    text += '\n';
}

} // namespace

CommandResult RunDiffPatch(const DiffRequest &request, std::ostream &out)
{
    const Expected<EntrySlots> from = ReadSlots(request.first);
    if (!from)
        return Fail(from.error());
    const Expected<EntrySlots> to = ReadSlots(request.second);
    if (!to)
        return Fail(to.error());
    const Patch patch = MakePatch(*from, *to);
    const std::string text = WritePatch(patch);
    const int status = patch.empty() ? ExitSame : ExitDifferent;
    if (!request.output) {
        out.write(text.data(), static_cast<std::streamsize>(text.size()));
        return status;
    }
    for (const std::string *file : {&request.first, &request.second})
        if (SameFileOnDisk(*request.output, *file))
            return About(*request.output,
                         "is a hue file being compared, which is never overwritten");
    const Expected<void> written = WriteOutputFile(*request.output, PatchExtension, text);
    if (!written)
        return About(*request.output, written.error());
    return status;
}

CommandResult RunApply(const ApplyRequest &request, std::ostream &out)
{
    Expected<Patch> patch = ReadPatchFile(request.patch);
    if (!patch)
        return Fail(patch.error());
    if (request.reverse)
        patch = Reversed(std::move(*patch));
    const HueFileUse use =
        request.mode == ApplyMode::Check ? HueFileUse::Reading : HueFileUse::Update;
    Expected<HueFile> file = OpenHueFile(request.file, use, LockWait);
    if (!file)
        return About(request.file, file.error());
    const Expected<ApplyReport> report = ApplyPatch(*file, *patch, request.mode, CliFlushes);
    if (!report)
        return About(request.file, report.error());
    ReportApplied(*report, request.mode, out);
    const std::string entries = EntriesText(patch->size());
    if (request.mode != ApplyMode::Force && !report->conflicts.empty()) {
        out << report->conflicts.size() << " of " << entries << " conflict; nothing was written\n";
        return ExitDifferent;
    }
    if (request.mode == ApplyMode::Check)
        out << "the patch applies: " << entries << "\n";
    else
        out << "applied " << request.patch << " to " << request.file << ": "
            << EntriesText(report->writes.size()) << " written\n";
    return ExitSame;
}

CommandResult RunMerge(const MergeRequest &request, std::ostream &out, std::string &conflicts)
{
    const Expected<EntrySlots> base = ReadBase(request.base);
    if (!base)
        return Fail(base.error());
    const Expected<EntrySlots> theirs = ReadSlots(request.theirs);
    if (!theirs)
        return Fail(theirs.error());
    MergeResult result;
    const CommandResult status = request.output
                                     ? MergeIntoNewFile(request, *base, *theirs, result, out)
                                     : MergeInPlace(request, *base, *theirs, result, out);
    if (!status)
        return status;
    conflicts = ConflictLines(request.output.value_or(request.ours), result.conflicts);
    return result.conflicts.empty() || request.keep ? ExitSame : ExitDifferent;
}

CommandResult RunTextconv(const std::string &file, std::ostream &out)
{
    const Expected<EntrySlots> slots = ReadSlots(file);
    if (!slots)
        return Fail(slots.error());
    std::string text;
    text.reserve(slots->size() * 200);
    for (std::size_t i = 0; i < slots->size(); ++i)
        AppendEntryLine(text, static_cast<int>(i + 1), (*slots)[i]);
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
    return ExitSame;
}

void AddApplyCommand(CLI::App &app, ChosenCommand &chosen)
{
    AddSubcommand(
        app, "apply", "A patch to a hue file, all or nothing",
        "Every entry the patch names must still be what its \"before\" says (an absent one: "
        "absent or all zero); otherwise nothing is written, the conflicting entries are listed "
        "and the exit status is 1. An absent \"after\" writes a zero entry, and says so: the "
        "file keeps its length. A write that fails puts every entry back.",
        [&chosen](CLI::App &command) {
            const auto request = std::make_shared<ApplyRequest>();
            const auto check = std::make_shared<bool>(false);
            const auto force = std::make_shared<bool>(false);
            command.add_option("PATCH", request->patch, "Patch file, or - for standard input")
                ->required();
            command.add_option("FILE", request->file, "Hue file (must exist)")->required();
            CLI::Option *checkOption =
                command.add_flag("--check", *check, "Only report whether the patch applies");
            command.add_flag("--reverse", request->reverse, "Take the patch back: after to before");
            command.add_flag("--force", *force, "Write anyway and list what was overwritten")
                ->excludes(checkOption);
            command.callback([request, check, force, &chosen] {
                request->mode = *check   ? ApplyMode::Check
                                : *force ? ApplyMode::Force
                                         : ApplyMode::Apply;
                if (request->mode != ApplyMode::Check)
                    chosen.change = request->file + ": the patch was applied";
                chosen.run = [request](std::ostream &out) { return RunApply(*request, out); };
            });
        });
}

void AddMergeCommand(CLI::App &app, ChosenCommand &chosen)
{
    AddSubcommand(
        app, "merge", "Three-way merge of hue files, field by field",
        "The fields of an entry are its 32 colour words, its name and its carried bytes. A field "
        "changed on one side takes that side, and changed on both alike, that value. Changed on "
        "both differently it is a conflict: OURS is kept for it (THEIRS with --theirs), the "
        "conflicts are listed on standard error and the exit status is 1 (0 with --ours or "
        "--theirs). An entry that BASE and one side hold and the other side lacks is no deletion "
        "but a conflict, \"absent in THEIRS\" or \"absent in OURS\": a hue file is never cut, "
        "so a shorter side is more likely an older or damaged file. With --theirs an entry "
        "absent in THEIRS is zeroed and listed as apply lists the entries it zeroes; OURS keeps "
        "its length. An empty or missing BASE has no entries. Without -o the result is written "
        "into OURS, all or nothing, as a version control merge driver is called (%O %A %B); "
        "with -o it makes OUT, which must not exist yet.",
        [&chosen](CLI::App &command) {
            struct Arguments {
                MergeRequest request;
                std::string output;
                bool ours = false;
                bool theirs = false;
            };
            const auto arguments = std::make_shared<Arguments>();
            MergeRequest &request = arguments->request;
            command.add_option("BASE", request.base, "Common ancestor")->required();
            command.add_option("OURS", request.ours, "Our side; written unless -o is given")
                ->required();
            command.add_option("THEIRS", request.theirs, "Their side")->required();
            CLI::Option *output =
                command.add_option("-o,--output", arguments->output, "New hue file to make");
            CLI::Option *ours =
                command.add_flag("--ours", arguments->ours, "Keep OURS in a conflict; exit 0");
            command.add_flag("--theirs", arguments->theirs, "Keep THEIRS in a conflict; exit 0")
                ->excludes(ours);
            command.callback([arguments, output, &chosen] {
                MergeRequest &request = arguments->request;
                if (output->count())
                    request.output = arguments->output;
                if (arguments->ours || arguments->theirs)
                    request.keep =
                        arguments->theirs ? KeepOnConflict::Theirs : KeepOnConflict::Ours;
                chosen.change = request.output.value_or(request.ours) + ": the merge was written";
                chosen.run = [arguments, &chosen](std::ostream &out) {
                    return RunMerge(arguments->request, out, chosen.note);
                };
            });
        });
}

void AddTextconvCommand(CLI::App &app, ChosenCommand &chosen)
{
    AddSubcommand(
        app, "textconv", "A hue file as text, one line per entry, for version control",
        "Prints every entry the file reaches: number, quoted name, the 32 colour words as four "
        "hexadecimal digits each, and the 4 carried bytes; \"missing\" for an entry only partly "
        "in the file.",
        [&chosen](CLI::App &command) {
            const auto file = std::make_shared<std::string>();
            command.add_option("FILE", *file, "Hue file")->required();
            command.callback([file, &chosen] {
                chosen.run = [file](std::ostream &out) { return RunTextconv(*file, out); };
            });
        });
}
