#pragma once

#include "huefile/expected.h"
#include "huefile/hue_entry.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Palette files that other programs read and write, each holding one entry's 32 colours.
//
// Colours leave as 8-bit channels c * 8 and come back as v >> 3, so an export read back gives
// the same 15-bit words. What a format cannot carry is kept from the entry being replaced: bit
// 15 of every word, the 4 carried bytes, and the name where the format has none. A json file
// carries all of them itself; what it leaves out is kept as well.
enum class PaletteFormat {
    Gpl,  // GIMP palette: a header, "Name:", "Columns:", then "R G B<TAB>#slot" lines
    Pal,  // JASC-PAL with CRLF line ends; no name
    Hex,  // 32 lines "rrggbb"; no name
    Json, // an object per entry: number, name, colours, the stored words and carried bytes
    Png,  // a strip of 32 square cells; no name
};

constexpr PaletteFormat AllPaletteFormats[] = {PaletteFormat::Gpl, PaletteFormat::Pal,
                                               PaletteFormat::Hex, PaletteFormat::Json,
                                               PaletteFormat::Png};

// "gpl", "pal", "hex", "json", "png": the name on the command line and the file extension.
std::string FormatName(PaletteFormat format);
std::optional<PaletteFormat> FormatFromName(std::string_view name);
// By the extension of a file name, in any letter case.
std::optional<PaletteFormat> FormatFromExtension(std::string_view fileName);

struct ExportOptions {
    // The side of one png cell in pixels.
    int scale = 16;
};

constexpr int MaxPngScale = 256;

struct NumberedEntry {
    int number;
    HueEntry entry;
};

// The file's bytes. The entry number only appears in json.
Expected<std::string> ExportEntry(const HueEntry &entry, int entryNumber, PaletteFormat format,
                                  const ExportOptions &options = {});

// Several entries: json writes an array of objects; the other formats take exactly one entry.
Expected<std::string> ExportEntries(const std::vector<NumberedEntry> &entries, PaletteFormat format,
                                    const ExportOptions &options = {});

// No palette of one entry comes near this many bytes. Both programs refuse a larger input
// before reading it, as a mistake rather than a palette.
constexpr std::int64_t MaxPaletteFileSize = 16 << 20;
// Their words for it: "too large for a palette (more than 16777216 bytes)".
std::string PaletteTooLargeReason();

struct ImportOptions {
    // UTF-8; replaces whatever name the palette holds. Unlike the palette's own name it must
    // fit whole, since the caller chose it.
    std::optional<std::string> name;
    // The entry keeps its name whatever the palette holds.
    bool keepName = false;
    // The slot the first colour taken goes to, when fewer than 32 are taken; 32 fill the entry.
    int at = 0;
    // The first of the palette's colours taken, counted from 0; 32 are taken at most.
    int from = 0;
    // Added to the refusal of a palette's name that is no Latin-1 text: how else to import.
    std::string nameAdvice;
};

// An imported entry and what of the palette went into it: colours from .. from + taken - 1
// of count, into slots at .. at + taken - 1.
struct ImportedPalette {
    HueEntry entry;
    int count = 0;
    int from = 0;
    int taken = 0;
    int at = 0;
    // The palette's name was longer than 20 characters and was cut there.
    bool nameCut = false;
};

// The entry that replaces current, or why the palette cannot become one: no colour, colours
// that would run past slot 31, `from` past the palette's end, a name that is not Latin-1 text
// (unless options.name replaces it or the entry keeps its own), text or a picture that is not
// the format. A json array must hold exactly one object.
Expected<ImportedPalette> ImportPalette(std::string_view bytes, PaletteFormat format,
                                        const HueEntry &current, const ImportOptions &options = {});
// The entry alone.
Expected<HueEntry> ImportEntry(std::string_view bytes, PaletteFormat format,
                               const HueEntry &current, const ImportOptions &options = {});

// What an import did beyond replacing all 32 colours from a palette of 32, as the log and the
// command line tell it: "64 colours, 0-31 taken", "16 colours, into #8 .. #23", "name cut to
// 20 characters", joined by ", "; empty when there is nothing to tell.
std::string ImportSummary(const ImportedPalette &imported);
