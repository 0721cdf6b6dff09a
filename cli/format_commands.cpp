// The subcommands that turn entries into other formats: export and preview.
#include "cli/command_support.h"
#include "cli/subcommand.h"

#include "huefile/file_checks.h"
#include "huefile/formats/png_picture.h"
#include "huefile/formats/recolour.h"
#include "huefile/output_file.h"

#include <memory>

namespace {

// The bytes of a file of the given format to the file named by -o.
CommandResult WriteOutput(const std::string &fileName, PaletteFormat format,
                          const std::string &bytes)
{
    if (fileName.empty())
        return About("-o", "no output file name");
    const Expected<void> written = WriteOutputFile(fileName, FormatName(format), bytes);
    return written ? CommandResult(ExitSame) : About(fileName, written.error());
}

} // namespace

CommandResult RunExport(const ExportRequest &request, std::ostream &out)
{
    if (request.entries.isRange && request.format != PaletteFormat::Json)
        return About("export",
                     "a range exports only as json, not as " + FormatName(request.format));
    const Expected<HueFile> file = OpenHueFile(request.file, HueFileUse::Reading, LockWait);
    if (!file)
        return About(request.file, file.error());
    std::vector<NumberedEntry> entries;
    for (int n = request.entries.first; n <= request.entries.last; ++n) {
        const Expected<HueEntry> entry = WholeEntry(*file, request.file, n);
        if (!entry)
            return Fail(entry.error());
        entries.push_back({n, *entry});
    }
    const Expected<std::string> bytes =
        request.entries.isRange ? ExportEntries(entries, request.format, request.options)
                                : ExportEntry(entries.front().entry, entries.front().number,
                                              request.format, request.options);
    if (!bytes)
        return About(request.file,
                     "entry " + std::to_string(request.entries.first) + ": " + bytes.error());
    if (!request.output) {
        out << *bytes;
        out.flush();
        return out ? CommandResult(ExitSame) : About("standard output", "the write failed");
    }
    if (SameFileOnDisk(*request.output, request.file))
        return About(*request.output, "is the hue file being exported, which is never overwritten");
    return WriteOutput(*request.output, request.format, *bytes);
}

CommandResult RunPreview(const PreviewRequest &request, std::ostream &out)
{
    const bool toStandardOutput = request.output == StandardStreamName;
    const Expected<HueEntry> entry = ReadWholeEntry(request.file, request.entry);
    if (!entry)
        return Fail(entry.error());
    const Expected<std::string> bytes = ReadInput(request.image);
    if (!bytes)
        return Fail(bytes.error());
    Expected<RgbaPicture> picture = ReadPngPicture(*bytes);
    if (!picture)
        return About(request.image, picture.error());
    if (!toStandardOutput && SameFileOnDisk(request.output, request.file))
        return About(request.output, "is the hue file, which is never overwritten");
    if (!toStandardOutput && SameFileOnDisk(request.output, request.image))
        return About(request.output, "is the picture being recoloured, which is never overwritten");
    const Expected<std::string> png =
        WritePngPicture(RecolourPicture(std::move(*picture), *entry, request.wholeImage));
    if (!png)
        return About(request.output, png.error());
    if (toStandardOutput) {
        out << *png;
        return ExitSame;
    }
    return WriteOutput(request.output, PaletteFormat::Png, *png);
}

void AddExportCommand(CLI::App &app, ChosenCommand &chosen)
{
    AddSubcommand(
        app, "export", "An entry as a palette file",
        "Formats: gpl (GIMP palette), pal (JASC), hex (rrggbb lines), json (the name, colours, "
        "stored words and carried bytes), png (a strip of 32 cells). A range A..B exports only "
        "as json, an array of entries. Each 5-bit channel c is written as c * 8.",
        [&chosen](CLI::App &command) {
            struct Arguments {
                ExportRequest request;
                std::string entries;
                std::string format;
                std::string output;
            };
            const auto arguments = std::make_shared<Arguments>();
            command.add_option("FILE", arguments->request.file, "Hue file")->required();
            command.add_option("N", arguments->entries, "Entry number or range A..B")
                ->required()
                ->check(Entries);
            command.add_option("-f,--format", arguments->format, "gpl, pal, hex, json or png")
                ->required()
                ->check(Format);
            CLI::Option *output =
                command.add_option("-o,--output", arguments->output,
                                   "Output file, written whole or not at all; an existing one only "
                                   "when named for the format; - or none for standard output");
            command
                .add_option("--scale", arguments->request.options.scale,
                            "Side of a png cell in pixels")
                ->check(CLI::Range(1, MaxPngScale))
                ->capture_default_str();
            command.callback([arguments, output, &chosen] {
                ExportRequest &request = arguments->request;
                request.entries = RangeOf(arguments->entries);
                request.format = *FormatFromName(arguments->format);
                if (output->count() && arguments->output != StandardStreamName)
                    request.output = arguments->output;
                chosen.writesStandardOutput = !request.output;
                chosen.run = [arguments](std::ostream &out) {
                    return RunExport(arguments->request, out);
                };
            });
        });
}

void AddPreviewCommand(CLI::App &app, ChosenCommand &chosen)
{
    AddSubcommand(
        app, "preview", "A picture recoloured by an entry, as the window's preview shows it",
        "Each grey pixel's 5-bit level (0 to 31) picks that colour of entry N; other pixels keep "
        "their colour, or with --whole are picked by their 5-bit luminance. Transparent pixels "
        "stay transparent. IMAGE is read as png, in any of its colour types and depths, and the "
        "result is written as png.",
        [&chosen](CLI::App &command) {
            const auto request = std::make_shared<PreviewRequest>();
            const auto entry = std::make_shared<std::string>();
            command.add_option("FILE", request->file, "Hue file")->required();
            command.add_option("N", *entry, "Entry number")->required()->check(EntryNumber);
            command.add_option("IMAGE", request->image, "Png picture to recolour")->required();
            command
                .add_option(
                    "-o,--output", request->output,
                    "Png file to write, an existing one only when named .png; - for standard "
                    "output")
                ->required();
            command.add_flag("--whole", request->wholeImage, "Recolour every pixel");
            command.callback([request, entry, &chosen] {
                request->entry = RangeOf(*entry).first;
                chosen.writesStandardOutput = request->output == StandardStreamName;
                chosen.run = [request](std::ostream &out) { return RunPreview(*request, out); };
            });
        });
}
