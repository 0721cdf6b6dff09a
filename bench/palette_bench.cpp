#include "bench/bench_support.h"

#include "huefile/formats/palette_formats.h"

#include <QBuffer>
#include <QImage>
#include <QRandomGenerator>
#include <benchmark/benchmark.h>

namespace {

// The largest palette file the programs read at all; an import answers it within the goal.
constexpr std::size_t InputBytes = 16 << 20;
constexpr double AnswerGoalSeconds = 1.0;
// Noise does not compress, so a picture of this side in 8-bit RGB fills nearly 16 MB, and its
// width splits into 32 cells, so the import decodes it whole and reads its colours.
constexpr int PngSide = 2336;

std::string Measure(PaletteFormat format)
{
    return "palette import, 16 MB " + FormatName(format);
}

// A header, then as many copies of the line as fit into the input; each is a valid colour, so
// the reader goes through all of them before it counts.
std::string Repeated(const std::string &header, const std::string &line)
{
    std::string text = header;
    text.reserve(InputBytes);
    while (text.size() + line.size() <= InputBytes)
        text += line;
    return text;
}

// A pal header must give the count of the lines that follow.
std::string PalInput()
{
    const std::string line = "255 255 255\r\n";
    // Room for the header, whose count has at most 7 digits.
    const std::size_t count = (InputBytes - 32) / line.size();
    std::string text = "JASC-PAL\r\n0100\r\n" + std::to_string(count) + "\r\n";
    text.reserve(InputBytes);
    for (std::size_t i = 0; i < count; ++i)
        text += line;
    return text;
}

// Keys that an entry does not have, then its words: the input that a reader keeping keys in
// order takes half an hour over.
std::string JsonInput()
{
    std::string words = "\"words\": [";
    for (int i = 0; i < HueColourCount; ++i)
        words += (i ? ", " : "") + std::to_string(i);
    words += "]}";
    std::string json = "{";
    json.reserve(InputBytes);
    for (int key = 0; json.size() + words.size() + 24 <= InputBytes; ++key)
        json += "\"k" + std::to_string(key) + "\": 0, ";
    return json + words;
}

std::string PngInput()
{
    QImage noise(PngSide, PngSide, QImage::Format_RGB888);
    for (int y = 0; y < PngSide; ++y)
        QRandomGenerator::global()->fillRange(reinterpret_cast<quint32 *>(noise.scanLine(y)),
                                              noise.bytesPerLine() / 4);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (!noise.save(&buffer, "PNG") || static_cast<std::size_t>(bytes.size()) > InputBytes)
        throw BenchNotRun("the noise picture did not encode within 16 MB");
    return bytes.toStdString();
}

std::string Input(PaletteFormat format)
{
    switch (format) {
    case PaletteFormat::Gpl:
        return Repeated("GIMP Palette\nName: large\nColumns: 16\n", "255 255 255\tUntitled\n");
    case PaletteFormat::Pal:
        return PalInput();
    case PaletteFormat::Hex:
        return Repeated("", "ffffff\n");
    case PaletteFormat::Json:
        return JsonInput();
    case PaletteFormat::Png:
        return PngInput();
    }
    throw BenchNotRun("unknown format");
}

// One import per round, as the window's Ctrl+I and colvane-cli import run it once the file is
// read: its answer is an entry or a refusal, whichever the input gives.
void AnswerBench(PaletteFormat format, int rounds, BenchTable &table)
{
    const std::string bytes = Input(format);
    const HueEntry current{};
    std::vector<BenchSample> samples;
    for (int round = 0; round < rounds; ++round) {
        samples.push_back(TimeUnits(1, [&](int) {
            const Expected<HueEntry> answer = ImportEntry(bytes, format, current);
            benchmark::DoNotOptimize(answer);
        }));
    }
    table.addTimedAbsolute(Measure(format), samples, AnswerGoalSeconds);
}

} // namespace

void RunPaletteBenches(BenchTable &table, int rounds)
{
    for (const PaletteFormat format : AllPaletteFormats) {
        try {
            AnswerBench(format, rounds, table);
        } catch (const BenchNotRun &reason) {
            table.addNotRun({Measure(format) + " (CPU)", Measure(format) + " (real)"},
                            FormatGoalSeconds(AnswerGoalSeconds), reason.what());
        }
    }
}
