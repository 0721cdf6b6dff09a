#pragma once

#include "huefile/colour_distance.h"
#include "huefile/expected.h"
#include "huefile/formats/palette_formats.h"
#include "huefile/formats/patch.h"
#include "huefile/run_operations.h"

#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <utility>

// The subcommands of colvane-cli, each a function over the library the window uses. Each
// returns the exit status, 0 or (for diff) 1, or the failure whose text the program prints
// as "colvane-cli: <text>", where the text is "<what>: <why>". Output for people goes to
// `out`; nothing here writes to standard error.

constexpr int ExitSame = 0;
constexpr int ExitDifferent = 1;
constexpr int ExitTrouble = 2;

// The name of an input or output that means standard input or output.
constexpr const char *StandardStreamName = "-";

using CommandResult = Expected<int>;

struct EntryRange {
    int first = 1;
    int last = 1;
    bool isRange = false;
};

// "N" or "A..B", each number by the window's number-text rule and from 1 to 3000.
Expected<EntryRange> EntryRangeFromText(std::string_view text);

// Lists every entry the file reaches, whole or in part: number, state (used, empty by
// IsEmptyEntry, missing when only part of it is in the file), name.
struct ListRequest {
    std::string file;
    bool json = false;
};
CommandResult RunList(const ListRequest &request, std::ostream &out);

struct ShowRequest {
    std::string file;
    int entry = 1;
    bool json = false;
    // A line of swatches in 24-bit terminal colour.
    bool swatches = false;
};
CommandResult RunShow(const ShowRequest &request, std::ostream &out);

// To `out` without an output file; a range only as json. Every entry must be whole.
struct ExportRequest {
    std::string file;
    EntryRange entries;
    PaletteFormat format = PaletteFormat::Json;
    std::optional<std::string> output;
    ExportOptions options;
};
CommandResult RunExport(const ExportRequest &request, std::ostream &out);

// Reads the entry as it stands (zeroes where the file ends) to keep what the palette does not
// carry, and writes the new one all or nothing. "-" as input reads standard input. The report
// ends with what the import took, where it did not simply take 32 of 32 colours.
struct ImportRequest {
    std::string file;
    int entry = 1;
    std::string input;
    std::optional<PaletteFormat> format;
    ImportOptions options;
};
CommandResult RunImport(const ImportRequest &request, std::ostream &out);

// The window's copy with its log lines. A range targets `to` onwards, ending at 3000 at most.
struct CopyRequest {
    std::string source;
    std::string target;
    EntryRange entries;
    std::optional<int> to;
};
CommandResult RunCopy(const CopyRequest &request, std::ostream &out);

// The entries a copy reads and the ones it writes. Targets end at 3000, so of a range that
// would run past it only the sources whose targets fit are read; the rest are skipped.
struct CopyPlan {
    int sourceFirst = 1;
    int sourceLast = 1;
    int targetFirst = 1;
    int targetLast = 1;
};
CopyPlan PlanCopy(const CopyRequest &request);

// With `patch`, writes the patch that turns the first file into the second, to `output` or to
// `out`; the exit status is still diff's.
struct DiffRequest {
    std::string first;
    std::string second;
    bool json = false;
    bool patch = false;
    std::optional<std::string> output;
};
CommandResult RunDiff(const DiffRequest &request, std::ostream &out);
CommandResult RunDiffPatch(const DiffRequest &request, std::ostream &out);

// Applies a patch all or nothing and lists, on `out`, the conflicts, the entries overwritten
// (forced) or zeroed. Exit status 1 when an entry conflicts and nothing was written.
struct ApplyRequest {
    std::string patch;
    std::string file;
    ApplyMode mode = ApplyMode::Apply;
    bool reverse = false;
};
CommandResult RunApply(const ApplyRequest &request, std::ostream &out);

// A three-way merge into `ours` in place, or into a new file `output`. The conflicts, one line
// each, go to `conflicts`, which the program shows on standard error; exit status 1 when there
// are any and no side was chosen to keep.
// A hue file of `entries` empty entries, all bytes zero, made only under a name that does not
// exist in any form.
struct NewRequest {
    std::string file;
    int entries = MaxEntryNumber;
};
CommandResult RunNew(const NewRequest &request, std::ostream &out);

// Puts back an interrupted write of `file` by hand, as every open does where locks can tell
// that no write is under way.
CommandResult RunRecover(const std::string &file, std::ostream &out);

struct MergeRequest {
    std::string base;
    std::string ours;
    std::string theirs;
    std::optional<std::string> output;
    std::optional<KeepOnConflict> keep;
};
CommandResult RunMerge(const MergeRequest &request, std::ostream &out, std::string &conflicts);

// One line per entry the file reaches: number, name, the 32 words in hex, the carried bytes.
// For version control's textual view of a hue file.
CommandResult RunTextconv(const std::string &file, std::ostream &out);

// A picture recoloured by one entry, as the window's preview shows it, written as png to the
// output file, or to `out` when the output is named StandardStreamName.
struct PreviewRequest {
    std::string file;
    int entry = 1;
    std::string image;
    std::string output;
    bool wholeImage = false;
};
CommandResult RunPreview(const PreviewRequest &request, std::ostream &out);

// Entries whose name holds text (Latin-1, in any letter case), or the free ones: empty
// entries, entries only partly in the file, and the entries past its end; or the `count`
// entries nearest a colour, with their distance, nearest first.
struct FindRequest {
    std::string file;
    std::optional<std::string> text;
    bool empty = false;
    std::optional<DisplayColour> nearColour;
    int count = 10;
    ColourMeasure measure = ColourMeasure::Nearest;
};
CommandResult RunFind(const FindRequest &request, std::ostream &out);

// A colour slot by the number-text rule, from 0 to 31.
Expected<int> SlotFromText(std::string_view text);
// "A..B" of colour slots, each by the number-text rule and from 0 to 31, A not above B.
Expected<std::pair<int, int>> SlotRangeFromText(std::string_view text);

// A spread or reverse of entry N's slots A to B, written back whole; prints the window's log
// line for it.
struct RunRequest {
    enum Operation { Spread, Reverse };
    std::string file;
    int entry = 1;
    std::pair<int, int> run{0, 0};
    Operation operation = Spread;
    SpreadSpace space = SpreadSpace::Rgb;
};
CommandResult RunRunOperation(const RunRequest &request, std::ostream &out);
