#include "huefile/formats/colour_text.h"
#include "huefile/formats/palette_formats.h"
#include "huefile/formats/picture_limit.h"
#include "huefile/formats/png_picture.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
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

} // namespace

// Untrusted bytes as a picture: each is refused in one line or decoded within the picture
// limit, and what is decoded is encoded and decoded again to the same pixels. An import of
// the same bytes gives an entry or one line, and so does a paste of them.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char *>(data), size);
    const Expected<RgbaPicture> picture = ReadPngPicture(bytes);
    const Expected<HueEntry> entry = ImportEntry(bytes, PaletteFormat::Png, HueEntry{});
    CheckColourText(bytes);
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
