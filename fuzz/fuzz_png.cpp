#include "huefile/formats/colour_text.h"
#include "huefile/formats/palette_formats.h"
#include "huefile/formats/picture_limit.h"
#include "huefile/formats/png_picture.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <string_view>

namespace {

[[noreturn]] void Fault(const char *what, const std::string &detail)
{
    std::fprintf(stderr, "%s: %s\n", what, detail.c_str());
    std::abort();
}

// A refusal is shown as one line after "colvane-cli: <file>: ".
void CheckRefusal(const std::string &why)
{
    if (why.empty() || why.size() >= 200 || why.find('\n') != std::string::npos)
        Fault("A refusal is not one short line", why);
}

// The same bytes as clipboard text: refused in one line, or colours of 8-bit channels that
// read back the same when written as the lines a copy puts on the clipboard.
void CheckColourText(std::string_view bytes)
{
    const auto colours = ColoursFromText(bytes);
    if (!colours) {
        CheckRefusal(colours.error());
        return;
    }
    std::string lines;
    for (const DisplayColour colour : *colours) {
        if (colour > 0xFFFFFF)
            Fault("A colour from text has more than 8 bits a channel", std::to_string(colour));
        char line[16];
        std::snprintf(line, sizeof line, "#%02x%02x%02x\n", colour & 0xFF, (colour >> 8) & 0xFF,
                      colour >> 16);
        lines += line;
    }
    const auto again = ColoursFromText(lines);
    if (!again || *again != *colours)
        Fault("Colours from text do not read back from their lines", lines);
}

// The same bytes as each text palette, imported from a slot and a colour index that the bytes
// choose: refused in one line, or the colours taken lie in the entry from that slot on and every
// other slot, and what the format does not carry, stays as it was.
void CheckTextImports(std::string_view bytes)
{
    HueEntry current{};
    for (int slot = 0; slot < HueColourCount; ++slot)
        current.colours[slot] = static_cast<HueColour>(0x8000 * (slot % 2) + 1000 * slot);
    // A valid palette starts with a fixed header, so the choice comes from all of the bytes.
    const std::size_t choice = std::hash<std::string_view>()(bytes);
    ImportOptions options;
    options.at = static_cast<int>(choice % (HueColourCount + 1));
    options.from = static_cast<int>(choice / (HueColourCount + 1) % 40);
    for (const PaletteFormat format :
         {PaletteFormat::Gpl, PaletteFormat::Pal, PaletteFormat::Hex, PaletteFormat::Json}) {
        const Expected<ImportedPalette> imported = ImportPalette(bytes, format, current, options);
        if (!imported) {
            CheckRefusal(imported.error());
            continue;
        }
        const ImportedPalette &placed = *imported;
        const std::string where = FormatName(format) + " " + std::to_string(placed.count) +
                                  " colours from " + std::to_string(options.from) + " at " +
                                  std::to_string(options.at);
        if (placed.from != options.from ||
            placed.taken != std::min(HueColourCount, placed.count - placed.from) ||
            placed.at != (placed.taken == HueColourCount ? 0 : options.at) ||
            placed.at + placed.taken > HueColourCount)
            Fault("An import took other colours than it was told", where);
        for (int slot = 0; slot < HueColourCount; ++slot) {
            const bool taken = slot >= placed.at && slot < placed.at + placed.taken;
            const HueColour before = current.colours[slot];
            const HueColour after = placed.entry.colours[slot];
            if ((!taken && after != before) ||
                (format != PaletteFormat::Json && (after & 0x8000) != (before & 0x8000)))
                Fault("An import changed a slot it did not take", where);
        }
        if (format != PaletteFormat::Json &&
            std::memcmp(placed.entry.carried, current.carried, sizeof current.carried) != 0)
            Fault("An import changed the carried bytes", where);
    }
}

} // namespace

// Untrusted bytes as a picture: each is refused in one line or decoded within the picture
// limit, and what is decoded is encoded and decoded again to the same pixels. An import of
// the same bytes, as a picture or as text, gives an entry or one line, and so does a paste.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char *>(data), size);
    const Expected<RgbaPicture> picture = ReadPngPicture(bytes);
    const Expected<HueEntry> entry = ImportEntry(bytes, PaletteFormat::Png, HueEntry{});
    CheckColourText(bytes);
    CheckTextImports(bytes);
    if (!entry)
        CheckRefusal(entry.error());
    if (!picture) {
        CheckRefusal(picture.error());
        return 0;
    }
    const std::size_t expected = std::size_t(picture->width) * picture->height * RgbaBytesPerPixel;
    if (picture->bytes.size() != expected || WhyPictureTooLarge(picture->width, picture->height))
        Fault("A decoded picture has the wrong size", std::to_string(picture->bytes.size()));
    const Expected<std::string> written = WritePngPicture(*picture);
    if (!written)
        Fault("A decoded picture cannot be encoded", written.error());
    const Expected<RgbaPicture> again = ReadPngPicture(*written);
    if (!again || again->bytes != picture->bytes)
        Fault("An encoded picture does not read back", again.error());
    return 0;
}
