#pragma once

#include "huefile/formats/expected.h"
#include "huefile/hue_entry.h"

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

struct ImportOptions {
    // UTF-8; replaces whatever name the palette holds, or keeps the entry's when there is none.
    std::optional<std::string> name;
};

// The entry that replaces current, or why the palette cannot become one: a count other than
// 32 colours, a name that does not fit 20 Latin-1 characters (unless options.name replaces
// it), text or a picture that is not the format. A json array must hold exactly one object.
Expected<HueEntry> ImportEntry(std::string_view bytes, PaletteFormat format,
                               const HueEntry &current, const ImportOptions &options = {});
