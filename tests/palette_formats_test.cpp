#include "support/test_support.h"

#include "huefile/formats/colour_text.h"
#include "huefile/formats/entry_name.h"
#include "huefile/formats/palette_formats.h"
#include "huefile/formats/picture_limit.h"
#include "huefile/formats/png_picture.h"
#include "huefile/formats/recolour.h"
#include "preview/picture_image.h"

#include <QBuffer>
#include <QImage>
#include <cstring>
#include <rapidcheck/gtest.h>

namespace {

constexpr PaletteFormat Gpl = PaletteFormat::Gpl;
constexpr PaletteFormat Pal = PaletteFormat::Pal;
constexpr PaletteFormat Hex = PaletteFormat::Hex;
constexpr PaletteFormat Json = PaletteFormat::Json;
constexpr PaletteFormat Png = PaletteFormat::Png;

// Slot i of the ramp that the hand-written files below hold.
int RampRed(int i)
{
    return (i * 8 + 3) % 256;
}
int RampGreen(int i)
{
    return (255 - i * 8 + 256) % 256;
}
int RampBlue(int i)
{
    return (i * 37) % 256;
}

// Slots first to first + count - 1 of the ramp, each formatted from its three channels and
// followed by lineEnd.
std::string RampLines(int first, int count, const char *format, const char *lineEnd = "\n")
{
    std::string text;
    for (int i = first; i < first + count; ++i) {
        char line[48];
        std::snprintf(line, sizeof line, format, RampRed(i), RampGreen(i), RampBlue(i));
        text += std::string(line) + lineEnd;
    }
    return text;
}

// Written as the toolkit writes that image format: 8-bit RGB for the default, a palette for
// Indexed8, 16 bits a channel for RGBA64.
std::string RampPng(int width, int height, QImage::Format format = QImage::Format_RGB32)
{
    QImage picture(width, height, QImage::Format_RGB32);
    const int cell = width / 32;
    for (int x = 0; x < width; ++x) {
        const int i = std::min(31, x / std::max(1, cell));
        // Only a cell's centre counts; its edges hold a frame another colour.
        const bool centre = x == i * cell + cell / 2;
        for (int y = 0; y < height; ++y)
            picture.setPixel(x, y, centre ? qRgb(RampRed(i), RampGreen(i), RampBlue(i)) : 0xFF00FF);
    }
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    picture.convertToFormat(format).save(&buffer, "PNG");
    return bytes.toStdString();
}

// The toolkit's png files end in the last image chunk and an empty end chunk: the end chunk
// takes the last 12 bytes, the image chunk's checksum the 4 before them.
std::string WithLastChecksumBroken(std::string png)
{
    png[png.size() - 13] ^= 0x55;
    return png;
}

std::string WithChunkAfterHeader(const std::string &png, const std::string &chunk)
{
    constexpr std::size_t HeaderEnd = 8 + 12 + 13;
    return png.substr(0, HeaderEnd) + chunk + png.substr(HeaderEnd);
}

// An entry with bit 15 set in some words, carried bytes and bytes after its name's end, all of
// which an import must keep.
HueEntry CurrentEntry()
{
    HueEntry entry = PatternEntry(9);
    for (int i = 0; i < HueColourCount; i += 3)
        entry.colours[i] |= 0x8000;
    std::memcpy(entry.name, "kept\0tail bytes", 15);
    return entry;
}

// Generated entries: any words, carried bytes and name bytes, names often ending early.
rc::Gen<HueEntry> AnyEntry()
{
    return rc::gen::map(rc::gen::container<std::vector<unsigned char>>(
                            sizeof(HueEntry), rc::gen::weightedOneOf<unsigned char>(
                                                  {{1, rc::gen::just<unsigned char>(0)},
                                                   {4, rc::gen::arbitrary<unsigned char>()}})),
                        [](const std::vector<unsigned char> &bytes) {
                            HueEntry entry;
                            std::memcpy(&entry, bytes.data(), sizeof entry);
                            return entry;
                        });
}

struct ColourTextCase {
    std::string text;
    // Screen colours 0xBBGGRR, or empty when the text is refused with `why` in its message.
    std::vector<DisplayColour> colours;
    std::string why = {};
};

// What a paste into the editor takes: every form other programs put on the clipboard, mixed,
// and nothing of a text that holds anything else.
TEST(ColourText, AcceptsTheCommonFormsAndRefusesTheWholeTextOtherwise)
{
    const ColourTextCase cases[] = {
        {"#ff8000", {0x0080FF}},
        {"FF8000\n", {0x0080FF}},
        {"#f80", {0x0088FF}},
        {"255 128 0", {0x0080FF}},
        {"rgb(255, 128, 0)", {0x0080FF}},
        {"RGB(1 2 3)", {0x030201}},
        {"#000000, #ffffff;#102030\r\n  rgb(0,0,255)", {0, 0xFFFFFF, 0x302010, 0xFF0000}},
        {"0 0 255 255 0 0\n#00ff00", {0xFF0000, 0x0000FF, 0x00FF00}},
        // Six digits are a hex colour even when they read as a decimal number.
        {"112233", {0x332211}},
        {"000000 001020", {0, 0x201000}},
        {"\xEF\xBB\xBF  GIMP Palette\nName: sea\n# c\n  1   2   3\tone\n", {0x030201}},
        {"JASC-PAL\r\n0100\r\n2\r\n1 2 3\r\n4 5 6\r\n", {0x030201, 0x060504}},
        {"", {}, "no colour"},
        {" \n, ", {}, "no colour"},
        {"orange", {}, "\"orange\" is no colour"},
        {"#ff80", {}, "\"#ff80\" is no colour"},
        {"abc", {}, "\"abc\" is no colour"},
        {"#ff8000 garbage", {}, "\"garbage\" is no colour"},
        {"255 128", {}, "2 numbers where R G B needs 3"},
        {"255 128 #00ff00", {}, "\"#00ff00\" is no colour"},
        {"256 0 0", {}, "\"256\" is no colour"},
        {"-1 0 0", {}, "\"-1\" is no colour"},
        {"rgb(1, 2)", {}, "\"rgb(1, 2)\" is no colour"},
        {"rgb(1, 2, 3, 4)", {}, "is no colour"},
        {"rgb(1, 2, 3", {}, "\"rgb(1, 2, 3\" is no colour"},
        {"GIMP Palette\n1 2\n", {}, "line 2"},
        {"GIMP Palette\nName: empty\n", {}, "the palette holds no colour"},
        {"JASC-PAL\n0100\n3\n1 2 3\n", {}, "the header says 3 colours, but 1 follow"},
    };
    for (const auto &c : cases) {
        const auto colours = ColoursFromText(c.text);
        if (c.colours.empty()) {
            ASSERT_FALSE(colours) << c.text;
            EXPECT_NE(colours.error().find(c.why), std::string::npos)
                << c.text << ": " << colours.error();
        } else {
            ASSERT_TRUE(colours) << c.text << ": " << colours.error();
            EXPECT_EQ(*colours, c.colours) << c.text;
        }
    }
}

} // namespace

// The import starts from another entry whose colours differ; what a format carries must come
// back from the file, what it does not carry from that entry, so the original returns byte for
// byte. Only a name with a line break cannot go into a gpl file, and says so.
RC_GTEST_PROP(PaletteFormats, ExportThenImportGivesTheEntryBack, (int number))
{
    const HueEntry original = *AnyEntry();
    const PaletteFormat format = *rc::gen::element(Gpl, Pal, Hex, Json, Png);
    HueEntry current = original;
    for (HueColour &word : current.colours)
        word ^= 0x7FFF;
    if (format == Json) {
        current = CurrentEntry();
    } else if (format == Gpl) {
        StoreName(current, StoredName(original) == "x" ? "y" : "x");
    }

    const Expected<std::string> bytes = ExportEntry(original, number, format);
    if (!bytes) {
        RC_ASSERT(format == Gpl);
        RC_ASSERT(StoredName(original).find_first_of("\r\n") != std::string::npos);
        return;
    }
    // A name read from the file keeps the bytes after its end only where it equals the name it
    // replaces; otherwise they are zero.
    HueEntry expected = original;
    if ((format == Gpl || format == Json) && StoredName(original) == StoredName(current))
        std::memcpy(expected.name, current.name, sizeof expected.name);
    else if (format == Gpl || format == Json)
        StoreName(expected, StoredName(original));
    const Expected<HueEntry> back = ImportEntry(*bytes, format, current);
    RC_ASSERT(back.error() == "");
    RC_ASSERT(SameEntry(*back, expected));
}

// Any picture comes back from png byte for byte, whether or not every pixel is opaque, and
// passes through the window's images unchanged, whatever the byte order of their format; so
// the window recolours as the command line does. The window reads the png's bytes as the file
// layer hands them over, and gets the same picture.
RC_GTEST_PROP(PaletteFormats, PicturesComeBackFromPngAndFromTheWindowsImages, ())
{
    const int width = *rc::gen::inRange(1, 40);
    const int height = *rc::gen::inRange(1, 40);
    const bool opaque = *rc::gen::arbitrary<bool>();
    RgbaPicture picture{width, height, {}};
    picture.bytes = *rc::gen::container<std::vector<std::uint8_t>>(
        std::size_t(width) * height * RgbaBytesPerPixel, rc::gen::arbitrary<std::uint8_t>());
    for (std::size_t alpha = 3; opaque && alpha < picture.bytes.size(); alpha += 4)
        picture.bytes[alpha] = 0xFF;

    const Expected<std::string> png = WritePngPicture(picture);
    RC_ASSERT(png.error() == "");
    const Expected<RgbaPicture> back = ReadPngPicture(*png);
    RC_ASSERT(back.error() == "");
    RC_ASSERT(back->width == width && back->height == height);
    RC_ASSERT(back->bytes == picture.bytes);

    const Expected<QImage> read = ImageFromBytes(*png);
    RC_ASSERT(read.error() == "");
    RC_ASSERT(PictureOf(*read).bytes == picture.bytes);

    const QImage image = ImageOf(picture).convertToFormat(QImage::Format_ARGB32);
    RC_ASSERT(PictureOf(image).bytes == picture.bytes);
    const HueEntry entry = *AnyEntry();
    const bool whole = *rc::gen::arbitrary<bool>();
    RC_ASSERT(PictureOf(RecolourImage(image, entry, whole)).bytes ==
              RecolourPicture(picture, entry, whole).bytes);
}

ImportOptions Placed(int at, int from = 0)
{
    ImportOptions options;
    options.at = at;
    options.from = from;
    return options;
}

ImportOptions Named(const std::string &name)
{
    ImportOptions options;
    options.name = name;
    return options;
}

ImportOptions KeepingTheName()
{
    ImportOptions options;
    options.keepName = true;
    return options;
}

struct HandWritten {
    const char *what;
    PaletteFormat format;
    std::string bytes;
    std::string name;
    ImportOptions options = ImportOptions();
    // How many ramp colours the file holds, and what the import says it did with them.
    int count = 32;
    std::string summary = {};
};

// Files as palette tools and people write them: the colours are the ramp above, each channel
// v stored as v >> 3 beside the entry's own bit 15; a format without a name keeps the entry's.
// Ramp colours from..from + 31 at most are taken, to the slots from `at` when fewer than 32
// are; the other slots keep the entry's colours.
TEST(PaletteFormats, ImportsFilesWrittenByOtherTools)
{
    const std::string gimp = "GIMP Palette\nName: Ramp\nColumns: 16\n#\n";
    const HandWritten files[] = {
        {"gpl as GIMP writes it", Gpl, gimp + RampLines(0, 32, "%3d %3d %3d\tUntitled"), "Ramp"},
        {"gpl with Windows line ends, comments, blank lines, no Columns", Gpl,
         "\xEF\xBB\xBFGIMP Palette\r\nName: Grün Ramp\r\n\r\n# made by hand\r\n" +
             RampLines(0, 16, "%d %d %d", "\r\n") + "# second half\r\n\r\n" +
             RampLines(16, 16, "%d\t%d\t%d", "\r\n"),
         "Grün Ramp"},
        {"gpl with a header field it does not know", Gpl,
         "GIMP Palette\nName: Ramp\nChannels: RGB\n" + RampLines(0, 32, "%d %d %d"), "Ramp"},
        {"pal with CRLF", Pal, "JASC-PAL\r\n0100\r\n32\r\n" + RampLines(0, 32, "%d %d %d", "\r\n"),
         "kept"},
        {"pal with LF and a last empty line", Pal,
         "JASC-PAL\n0100\n32\n" + RampLines(0, 32, "%d %d %d") + "\n", "kept"},
        {"hex with #, capitals, blank lines and CRLF", Hex,
         "\r\n" + RampLines(0, 32, "#%02X%02X%02X", "\r\n\r\n"), "kept"},
        {"json with colours only", Json,
         "{\"colours\": [" + RampLines(0, 31, "\"#%02x%02x%02x\"", ",") +
             RampLines(31, 1, "\"#%02x%02x%02x\"", "]") + ", \"name\": \"Ramp\"}",
         "Ramp"},
        {"png of 32 single pixels", Png, RampPng(32, 1), "kept"},
        {"png of framed cells 5 pixels wide", Png, RampPng(160, 7), "kept"},
        {"png with a palette", Png, RampPng(64, 2, QImage::Format_Indexed8), "kept"},
        {"png of 16 bits a channel", Png, RampPng(96, 3, QImage::Format_RGBA64), "kept"},
        {"png with text and an unknown ancillary chunk", Png,
         WithChunkAfterHeader(RampPng(32, 1), PngChunk("tEXt", std::string("Title\0Ramp", 10)) +
                                                  PngChunk("vpAg", std::string(9, '\0'))),
         "kept"},
        {"gpl of 16 from slot 8", Gpl, gimp + RampLines(0, 16, "%d %d %d"), "Ramp", Placed(8), 16,
         "16 colours, into #8 .. #23"},
        {"gpl of 32, whose colours fill the entry wherever they were to start", Gpl,
         gimp + RampLines(0, 32, "%d %d %d"), "Ramp", Placed(5)},
        {"hex of 64, of which the first 32",
         Hex,
         RampLines(0, 64, "%02x%02x%02x"),
         "kept",
         {},
         64,
         "64 colours, 0-31 taken"},
        {"pal of 40 from colour 20, to slot 4", Pal,
         "JASC-PAL\n0100\n40\n" + RampLines(0, 40, "%d %d %d"), "kept", Placed(4, 20), 40,
         "40 colours, 20-39 taken, into #4 .. #23"},
        {"json of one colour into the last slot", Json,
         "{\"colours\": [" + RampLines(0, 1, "\"#%02x%02x%02x\"", "]}"), "kept", Placed(31), 1,
         "1 colour, into #31"},
        {"gpl without a name", Gpl, "GIMP Palette\n" + RampLines(0, 32, "%d %d %d"), "kept"},
        {"gpl whose name of 21 characters is cut",
         Gpl,
         "GIMP Palette\nName: abcdefghijklmnopqrsétu\n" + RampLines(0, 32, "%d %d %d"),
         "abcdefghijklmnopqrsé",
         {},
         32,
         "name cut to 20 characters"},
        {"gpl whose name is no Latin-1, kept from the entry", Gpl,
         "GIMP Palette\nName: 9 €\n" + RampLines(0, 32, "%d %d %d"), "kept", KeepingTheName()},
    };
    const HueEntry current = CurrentEntry();
    for (const HandWritten &file : files) {
        const Expected<ImportedPalette> imported =
            ImportPalette(file.bytes, file.format, current, file.options);
        ASSERT_TRUE(imported) << file.what << ": " << imported.error();
        const HueEntry &entry = imported->entry;
        const int taken = std::min(32, file.count - file.options.from);
        const int at = taken == 32 ? 0 : file.options.at;
        for (int i = 0; i < HueColourCount; ++i) {
            const int r = file.options.from + i - at;
            const int expected = i < at || i >= at + taken
                                     ? current.colours[i]
                                     : (current.colours[i] & 0x8000) | (RampRed(r) >> 3) << 10 |
                                           (RampGreen(r) >> 3) << 5 | RampBlue(r) >> 3;
            EXPECT_EQ(entry.colours[i], expected) << file.what << ", slot " << i;
        }
        EXPECT_EQ(Latin1ToUtf8(StoredName(entry)), file.name) << file.what;
        EXPECT_EQ(std::memcmp(entry.carried, current.carried, 4), 0) << file.what;
        EXPECT_EQ(ImportSummary(*imported), file.summary) << file.what;
    }
}

TEST(PaletteFormats, JsonWordsWinOverColoursAndCarryBitFifteenAndExtra)
{
    std::string words;
    for (int i = 0; i < HueColourCount; ++i)
        words += (i ? "," : "") + std::to_string(0x8000 + i);
    const std::string json = "[{\"entry\": 7, \"colours\": [\"#ffffff\"], \"words\": [" + words +
                             "], \"extra\": \"0A0b0c0D\"}]";
    const Expected<HueEntry> entry = ImportEntry(json, Json, CurrentEntry());
    ASSERT_TRUE(entry) << entry.error();
    EXPECT_EQ(entry->colours[5], 0x8005);
    const std::uint8_t carried[] = {0x0A, 0x0B, 0x0C, 0x0D};
    EXPECT_EQ(std::memcmp(entry->carried, carried, 4), 0);
    EXPECT_EQ(StoredName(*entry), "kept");
}

struct Refusal {
    const char *what;
    PaletteFormat format;
    std::string bytes;
    std::string error;
    ImportOptions options = ImportOptions();
};

// A picture of another format, however a reader could decode it: a 1 by 1 gif.
const std::string Gif("GIF89a\x01\x00\x01\x00\x80\x00\x00\x00\x00\x00\xff\xff\xff\x2c\x00\x00"
                      "\x00\x00\x01\x00\x01\x00\x00\x02\x02\x44\x01\x00\x3b",
                      35);

// An entry object whose one word comes after other keys, as many as an input of 16 MB
// holds. A reader that searches the keys it holds on every insert takes minutes over it.
std::string JsonAfterManyKeys(int keys)
{
    std::string json = "{";
    for (int key = 0; key < keys; ++key)
        json += "\"k" + std::to_string(key) + "\": 0, ";
    return json + "\"words\": [70000]}";
}

// Each refusal names what is wrong, in a few words whatever the size of the input it quotes;
// the entry it would replace is not touched by a refusal, which the command-line tests check
// on disk.
TEST(PaletteFormats, RefusesWhatCannotBecomeAnEntry)
{
    const std::string gpl = "GIMP Palette\nName: ";
    const std::string colours = RampLines(0, 32, "%d %d %d");
    const std::string megabyte(1 << 20, 'a');
    ImportOptions advised;
    advised.nameAdvice = "use --name";
    const Refusal refusals[] = {
        {"31 gpl colours from slot 2", Gpl, gpl + "x\n" + RampLines(0, 31, "%d %d %d"),
         "31 colours from slot 2 run past slot 31; they fit from slot 1 or lower", Placed(2)},
        {"the last 3 of 33 hex colours from slot 30", Hex, RampLines(0, 33, "%02x%02x%02x"),
         "3 colours from slot 30 run past slot 31", Placed(30, 30)},
        {"colours from past the end", Hex, RampLines(0, 33, "%02x%02x%02x"),
         "the palette holds 33 colours (0-32), none from 33 on", Placed(0, 33)},
        {"a slot past 31", Hex, RampLines(0, 3, "%02x%02x%02x"), "32 is no colour slot (0 to 31)",
         Placed(32)},
        {"an empty hex file", Hex, "", "the palette holds no colour"},
        {"a pal header that lies", Pal, "JASC-PAL\n0100\n32\n" + RampLines(0, 31, "%d %d %d"),
         "the header says 32 colours, but 31 follow"},
        {"31 json words from slot 9", Json, "{\"words\": [" + RampLines(0, 30, "%d", ",") + "1]}",
         "31 colours from slot 9 run past slot 31", Placed(9)},
        {"two json entries", Json, "[{}, {}]", "2 entries, an import takes one"},
        {"a png 100 pixels wide", Png, RampPng(100, 4), "a picture 100 pixels wide"},
        {"a name beyond Latin-1, with what to do instead", Gpl, gpl + "9 €\n" + colours,
         "the name \"9 €\" holds \"€\", which is no Latin-1 character; use --name", advised},
        {"a name of bytes that are not UTF-8", Gpl, gpl + "Gr\xFCn\n" + colours, "not UTF-8"},
        {"a bad --name over a good one",
         Gpl,
         gpl + "fine\n" + colours,
         "has 24 characters",
         Named(std::string(24, 'n'))},
        {"a channel over 255", Gpl, gpl + "x\n256 0 0\n" + colours, "256 is no colour value"},
        {"no GIMP header", Gpl, colours, "not a GIMP palette"},
        {"not json", Json, "{\"words\": [1,", "not json"},
        {"not png", Png, "GIMP Palette\n", "not a png picture"},
        {"a gif", Png, Gif, "not a png picture"},
        {"json nested 100000 deep", Json,
         "[{\"words\": " + std::string(100000, '[') + std::string(100000, ']') + "}]",
         "nested deeper than 8 levels"},
        {"a hex line of a megabyte", Hex, megabyte, "\"aaaaaaaaaa"},
        {"a pal version of a megabyte", Pal, "JASC-PAL\n" + megabyte + "\n32\n", "version"},
        {"a gpl name of a megabyte and a character beyond Latin-1", Gpl,
         gpl + megabyte + "€\n" + colours, "holds \"€\""},
        {"an unclosed json text of a megabyte", Json, "{\"name\": \"" + megabyte,
         "not json: line 1, column 1048587: expected a closing quote"},
        {"json with a colon missing, on its second line", Json,
         "{\"name\": \"\u00e9\u00e9\",\n\"words\" [1]}",
         "not json: line 2, column 9: expected ':'"},
        {"json whose column counts characters, not bytes", Json,
         "{\"name\": \"\xC3\xA9\xC3\xA9\" \"words\"}",
         "not json: line 1, column 21: expected ',' or '}'"},
        {"json words with no comma", Json, "{\"words\": [1 2]}",
         "line 1, column 14: expected ',' or ']'"},
        {"json with a key unquoted", Json, "{words: [1]}",
         "line 1, column 2: expected a key in double quotes"},
        {"json that goes on after its entry", Json, "{\"words\": [1]} {}",
         "line 1, column 16: expected the end of the document"},
        {"json with a raw control character in a name", Json, "{\"name\": \"a\tb\"}",
         "line 1, column 12: expected control characters in a string to be escaped"},
        {"json with a word of a sign alone", Json, "{\"words\": [-]}",
         "line 1, column 13: expected digits in a number"},
        {"json with a word misspelt", Json, "{\"words\": [nul]}",
         "line 1, column 15: expected a value"},
        {"json with a bad escape", Json, "{\"name\": \"\\q\"}",
         "line 1, column 12: expected a valid escape"},
        {"an empty json file", Json, "", "not json: line 1, column 1: expected a value"},
        {"json of a million keys", Json, JsonAfterManyKeys(1000000),
         "\"words\": slot 0 is no word (0 to 65535)"},
        {"a png too large to read", Png, PngHeaderOfSize(20000, 20000),
         "a picture of 20000 × 20000 pixels is too large: it takes 1525 MB, the limit is " +
             std::to_string(PictureLimitMegabytes) + " MB"},
        {"a png wider than any picture that fits", Png, PngHeaderOfSize(40000000, 1),
         "a picture of 40000000 × 1 pixels is too large: it takes 152 MB"},
        {"a png higher than any picture that fits", Png, PngHeaderOfSize(1, 40000000),
         "a picture of 1 × 40000000 pixels is too large: it takes 152 MB"},
        {"a png whose last checksum is wrong", Png, WithLastChecksumBroken(RampPng(32, 1)),
         "a damaged png picture: a chunk's checksum is wrong"},
        {"a png cut inside its image data", Png, RampPng(32, 1).substr(0, 50),
         "a damaged png picture"},
        {"a png cut after its image data", Png,
         RampPng(32, 1).substr(0, RampPng(32, 1).size() - 12),
         "a damaged png picture: it ends too soon"},
        {"a png whose compressed text unpacks to 20 MB", Png,
         WithChunkAfterHeader(
             RampPng(32, 1),
             PngChunk("zTXt", std::string("Comment\0\0", 9) +
                                  qCompress(QByteArray(20 << 20, 'x')).mid(4).toStdString())),
         "a png picture with chunks too large to read"},
        {"a png of 8 bytes", Png, RampPng(32, 1).substr(0, 8), "a damaged png picture"},
    };
    for (const Refusal &refusal : refusals) {
        const Expected<HueEntry> entry =
            ImportEntry(refusal.bytes, refusal.format, CurrentEntry(), refusal.options);
        ASSERT_FALSE(entry) << refusal.what;
        EXPECT_NE(entry.error().find(refusal.error), std::string::npos)
            << refusal.what << ": " << entry.error().substr(0, 200);
        EXPECT_LT(entry.error().size(), 200u) << refusal.what;
    }
}

TEST(PaletteFormats, NameOptionReplacesANameThatDoesNotFit)
{
    const std::string gpl =
        "GIMP Palette\nName: a name much longer than twenty\n" + RampLines(0, 32, "%d %d %d");
    const Expected<HueEntry> entry = ImportEntry(gpl, Gpl, CurrentEntry(), Named("Grün"));
    ASSERT_TRUE(entry) << entry.error();
    EXPECT_EQ(std::string(entry->name, sizeof entry->name),
              std::string("Gr\xFCn", 4) + std::string(16, '\0'));
}

TEST(PaletteFormats, FormatsByNameAndExtension)
{
    EXPECT_EQ(FormatFromExtension("dir.d/Palette.GPL"), Gpl);
    EXPECT_EQ(FormatFromExtension("a.hex"), Hex);
    EXPECT_EQ(FormatFromExtension("dir.png/file"), std::nullopt);
    EXPECT_EQ(FormatFromName("JSON"), Json);
    for (const PaletteFormat format : AllPaletteFormats)
        EXPECT_EQ(FormatFromName(FormatName(format)), format);
}
