#include "bench/bench_support.h"

#include "app/application.h"
#include "huefile/entry_difference.h"
#include "huefile/hue_entry.h"
#include "huefile/hue_file.h"
#include "huefile/write_journal.h"
#include "widgets/draw_grid.h"

#include <QApplication>
#include <QGuiApplication>
#include <QImage>
#include <QKeyEvent>
#include <QRadioButton>
#include <QWheelEvent>
#include <benchmark/benchmark.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <functional>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int MiddleRow = MaxEntryNumber / 2;
// Far enough from both ends that every step of a sample scrolls by one row.
constexpr int StepStartRow = 1000;
constexpr int StepsPerSample = 40;
constexpr int RepaintsPerSample = 50;
constexpr int CountedSteps = 9;
constexpr int WheelNotch = 120;
// The child that scrolls on an X server of its own ends itself should it hang.
constexpr unsigned XvfbChildTimeLimitSeconds = 300;

constexpr double ScrollGoal = 2.0;
constexpr double StepGoal = 2.5;
constexpr double PageRepaintGoal = 2.0;
constexpr double DifferenceStepGoal = 2.0;
// The one entry in which the two files differ while F4 is timed, so that F4 from the first row
// searches nearly the whole file.
constexpr int LastDifference = 2999;
constexpr int SearchesPerSample = 20;
constexpr int RowsReadGoal = 3;
constexpr int BaselineRowsPerStep = 3;

const char ReadName[] = "patch-hues.mul";
const char WriteName[] = "hues.mul";

const std::string ScrollMeasure = "full scroll, 3000 rows";
const std::string StdioScrollMeasure = "full scroll vs stdio reads (old baseline)";
const std::string KeyStepMeasure = "one-row step, arrow key";
const std::string WheelStepMeasure = "one-row step, wheel notch";
const std::string PixelsMovedMeasure = "one-row step, moving the page's pixels alone";
const std::string StepFloorMeasure = "one-row step's floor: pixels moved, rows read";
const std::string KeyRowsReadMeasure = "rows read per arrow step";
const std::string WheelRowsReadMeasure = "rows read per wheel notch";
const std::string RepaintMeasure = "page repaint, mid-file";
const std::string DifferenceStepMeasure = "F4 from row 1 to a difference at row 2999";
const std::string DifferenceSearchMeasure = "F4's search alone, without move and paint";

// A measurement of painting means nothing when no paint happened, so every paint the grid
// receives is counted.
class PaintCounter : public QObject {
public:
    int paints = 0;

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Paint)
            ++paints;
        return false;
    }
};

// One entry read through stdio: open, seek to the entry, read its 88 bytes, close. The
// buffered reads fetch more than an entry, so this is no fair limit; it stays for comparison
// with earlier runs.
bool ReadEntryStdio(const char *fileName, int entryNumber)
{
    std::FILE *file = std::fopen(fileName, "rb");
    if (!file)
        return false;
    HueEntry entry{};
    const bool read = std::fseek(file, EntryOffset(entryNumber), SEEK_SET) == 0 &&
                      std::fread(&entry, sizeof entry, 1, file) == 1;
    benchmark::DoNotOptimize(entry);
    std::fclose(file);
    return read;
}

// The row's entry from the read file and from the write file.
template <typename ReadEntry> int ReadRow(ReadEntry readEntry, int row)
{
    return static_cast<int>(readEntry(ReadName, row + 1)) +
           static_cast<int>(readEntry(WriteName, row + 1));
}

int ReadRowFair(int row)
{
    return ReadRow(ReadEntryFair, row);
}

// Every row of the file from both files, nothing painted.
template <typename ReadEntry> BenchSample ReadAllRows(ReadEntry readEntry)
{
    int reads = 0;
    const BenchSample sample = TimeUnits(1, [&](int) {
        for (int row = 0; row < MaxEntryNumber; ++row)
            reads += ReadRow(readEntry, row);
    });
    if (reads != 2 * MaxEntryNumber)
        throw BenchNotRun("the plain reads did not find every entry");
    return sample;
}

// Entry n made to differ from what it was, through the program's own file layer.
bool ChangeEntryColour(const char *fileName, int n)
{
    auto file = HueFile::openForUpdate(fileName);
    HueEntry entry{};
    if (!file || !file->readEntry(n, entry))
        return false;
    entry.colours[0] ^= 1;
    return WriteOneEntry(*file, n, entry, Flushes::KillOnly).ok();
}

// Both files read whole as plain C would: open (read-only, non-blocking), fstat, one pread of
// the file's length, close; then the first entry after `after` whose records differ, or 0.
int NextDifferencePlain(int after)
{
    static std::vector<unsigned char> files[2];
    const char *const names[2] = {ReadName, WriteName};
    for (int f = 0; f < 2; ++f) {
        const int file = open(names[f], O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
        struct stat info {};
        if (file < 0 || fstat(file, &info) != 0)
            throw BenchNotRun("the plain reads could not open a hue file");
        files[f].resize(static_cast<std::size_t>(info.st_size));
        const ssize_t got = pread(file, files[f].data(), files[f].size(), 0);
        close(file);
        if (got != info.st_size)
            throw BenchNotRun("the plain reads did not read a whole hue file");
    }
    for (int n = after + 1; n <= MaxEntryNumber; ++n) {
        const auto end = static_cast<std::size_t>(EntryOffset(n) + sizeof(HueEntry));
        const bool inSource = end <= files[0].size();
        if (inSource != (end <= files[1].size()) ||
            (inSource && std::memcmp(files[0].data() + EntryOffset(n),
                                     files[1].data() + EntryOffset(n), sizeof(HueEntry)) != 0))
            return n;
    }
    return 0;
}

// Seconds of CPU an other process has used, as the scheduler counts them; 0 for no process.
double ServerCpuSeconds(int process)
{
    if (process == 0)
        return 0;
    std::ifstream file("/proc/" + std::to_string(process) + "/schedstat");
    unsigned long long nanoseconds = 0;
    if (!(file >> nanoseconds))
        throw BenchNotRun("the X server's CPU time cannot be read");
    return static_cast<double>(nanoseconds) * 1e-9;
}

class BrowserBench {
public:
    BrowserBench() : m_form(ShowBenchForm()), m_grid(m_form->HueGrid1)
    {
        // In the default mode a cursor move only moves the cursor; the other mode would also
        // load the entry into the editor, which is not the browser's work.
        m_form->RadioButtonGetColor1->setChecked(true);
        m_grid->installEventFilter(&m_paints);
        m_page = m_grid->visibleRowCount();
        if (!m_grid->isVisible() || m_page < 2)
            throw BenchNotRun("the browser shows fewer than two rows");
    }

    int page() const { return m_page; }

    // Every page from the top down, each painted at once. With an X server's process, the pass
    // ends with a round trip to the server, so that the real time includes the drawing it was
    // sent, and the server's CPU time counts as ours.
    BenchSample scrollOnce(int serverProcess)
    {
        settle();
        const int paintsBefore = m_paints.paints;
        const double serverBefore = ServerCpuSeconds(serverProcess);
        BenchSample sample = TimeUnits(1, [&](int) {
            for (int top = 0; top < MaxEntryNumber; top += m_page) {
                m_grid->setTopRow(top);
                m_grid->repaint();
            }
            if (serverProcess != 0)
                QGuiApplication::sync();
        });
        sample.cpuSeconds += ServerCpuSeconds(serverProcess) - serverBefore;
        if (m_paints.paints - paintsBefore < (MaxEntryNumber + m_page - 1) / m_page)
            throw BenchNotRun("the grid painted fewer pages than it was asked to");
        return sample;
    }

    // Baseline: for every one of the 3000 rows, one entry from each of the two files read the
    // fair way; nothing is painted.
    PairedSamples scrollSamples(int rounds, int serverProcess = 0)
    {
        return RunInterleaved(
            rounds, [&] { return scrollOnce(serverProcess); },
            [] { return ReadAllRows(ReadEntryFair); });
    }

    void scroll(int rounds, BenchTable &table)
    {
        table.addTimedRatio(ScrollMeasure, scrollSamples(rounds), ScrollGoal);
        table.addTimedRatio(
            StdioScrollMeasure,
            RunInterleaved(
                rounds, [&] { return scrollOnce(0); }, [] { return ReadAllRows(ReadEntryStdio); }),
            NoGoal);
    }

    void keyStep(int rounds, BenchTable &table)
    {
        table.addTimedRatio(KeyStepMeasure, stepSamples(rounds, [this] { pressKeyDown(); }),
                            StepGoal);
    }

    // What any step at the bottom edge costs before a row is read or painted: the page's pixels
    // move up by a row, line by line, as the toolkit moves them in the window's image.
    void pixelsMoved(int rounds, BenchTable &table)
    {
        const qreal scale = m_grid->devicePixelRatioF();
        QImage window(m_form->size() * scale, QImage::Format_RGB32);
        window.fill(Qt::white);
        const QRect page(m_grid->mapTo(m_form.get(), QPoint(0, 0)) * scale, m_grid->size() * scale);
        const int shift = qRound((m_grid->defaultRowHeight() + 1) * scale);
        const auto movePixels = [&] {
            uchar *bits = window.bits();
            const qsizetype stride = window.bytesPerLine();
            const auto lineBytes = static_cast<size_t>(page.width()) * 4;
            for (int y = page.top(); y + shift <= page.bottom(); ++y)
                std::memmove(bits + y * stride + page.left() * 4,
                             bits + (y + shift) * stride + page.left() * 4, lineBytes);
            benchmark::DoNotOptimize(bits);
        };
        const auto readStepRows = [&](int step) {
            const int newRow = StepStartRow + m_page + step;
            ReadRowFair(newRow);
            ReadRowFair(newRow - 1);
            ReadRowFair(newRow);
        };
        const auto move = [&] { return TimeUnits(StepsPerSample, [&](int) { movePixels(); }); };
        const auto reads = [&] { return TimeUnits(StepsPerSample, readStepRows); };
        // What no step can go below: the move and the step's own reads, with nothing painted.
        const auto moveAndRead = [&] {
            return TimeUnits(StepsPerSample, [&](int step) {
                movePixels();
                readStepRows(step);
            });
        };
        table.addTimedRatio(PixelsMovedMeasure, RunInterleaved(rounds, move, reads), NoGoal);
        table.addTimedRatio(StepFloorMeasure, RunInterleaved(rounds, moveAndRead, reads), NoGoal);
    }

    void wheelStep(int rounds, BenchTable &table)
    {
        table.addTimedRatio(WheelStepMeasure, stepSamples(rounds, [this] { turnWheelDown(); }),
                            StepGoal);
    }

    void rowsReadPerStep(BenchTable &table, const std::string &measure,
                         const std::function<void()> &step)
    {
        placeCursorAtBottom(StepStartRow);
        HueEntry entry{};
        StartCountingHueOpens();
        ReadEntryFromFile(ReadName, 1, entry);
        if (StopCountingHueOpens() != 1)
            throw BenchNotRun("the open counter does not see the program's opens");
        std::vector<double> rows;
        for (int counted = 0; counted < CountedSteps; ++counted) {
            const int paintsBefore = m_paints.paints;
            StartCountingHueOpens();
            step();
            QApplication::processEvents();
            const int opens = StopCountingHueOpens();
            if (m_paints.paints == paintsBefore)
                throw BenchNotRun("a step did not paint");
            rows.push_back(opens / 2.0);
        }
        const Spread spread = SpreadOf(rows);
        if (spread.max == 0)
            throw BenchNotRun("no hue file was opened during a step, so the rows it read are "
                              "not visible to an open count");
        char ours[64];
        std::snprintf(ours, sizeof ours, "%g rows (%g–%g)", spread.median, spread.min, spread.max);
        const std::string goal = "≤ " + std::to_string(RowsReadGoal) + " rows";
        char baseline[32];
        std::snprintf(baseline, sizeof baseline, "%d rows", BaselineRowsPerStep);
        table.add(
            {measure, ours, baseline, "—", goal, spread.max <= RowsReadGoal ? "pass" : "FAIL"});
    }

    void keyRowsRead(BenchTable &table)
    {
        rowsReadPerStep(table, KeyRowsReadMeasure, [this] { pressKeyDown(); });
    }

    void wheelRowsRead(BenchTable &table)
    {
        rowsReadPerStep(table, WheelRowsReadMeasure, [this] { turnWheelDown(); });
    }

    void pageRepaint(int rounds, BenchTable &table)
    {
        m_grid->setTopRow(MiddleRow);
        settle();
        const auto repaintPage = [&] {
            const int paintsBefore = m_paints.paints;
            const BenchSample sample =
                TimeUnits(RepaintsPerSample, [&](int) { m_grid->repaint(); });
            if (m_paints.paints - paintsBefore != RepaintsPerSample)
                throw BenchNotRun("the grid did not paint on every repaint");
            return sample;
        };
        // Baseline: the page's rows from both files, read the fair way.
        const auto readPage = [&] {
            int reads = 0;
            const BenchSample sample = TimeUnits(RepaintsPerSample, [&](int) {
                for (int row = MiddleRow; row < MiddleRow + m_page; ++row)
                    reads += ReadRowFair(row);
            });
            if (reads != 2 * m_page * RepaintsPerSample)
                throw BenchNotRun("the plain reads did not find every entry");
            return sample;
        };
        table.addTimedRatio(RepaintMeasure + ", " + std::to_string(m_page) + " rows",
                            RunInterleaved(rounds, repaintPage, readPage), PageRepaintGoal);
    }

    // F4 with the differences shown, from the first row to the one difference near the end:
    // two whole-file reads, the move, and the page it scrolls to painted. The write file is
    // made a copy of the read file but for that entry, and given back afterwards.
    void differenceStep(int rounds, BenchTable &table)
    {
        if (!WriteGeneratedHueFile(WriteName, 0) || !ChangeEntryColour(WriteName, LastDifference))
            throw BenchNotRun("the write file could not be made to differ in one entry");
        m_form->ShowDifferences = true;
        const auto stepOnce = [&] {
            m_grid->setCurrentCell(m_grid->col(), 0);
            settle();
            const int paintsBefore = m_paints.paints;
            const BenchSample sample = TimeUnits(1, [&](int) {
                m_form->StepToDifference(true);
                QApplication::processEvents();
            });
            if (m_grid->row() != LastDifference - 1 || m_paints.paints == paintsBefore)
                throw BenchNotRun("F4 did not move to the difference and paint");
            return sample;
        };
        // Baseline: the same two whole-file reads and the search, then the rows of the page the
        // cursor lands on, each from both files the fair way.
        const auto readOnce = [&] {
            int reads = 0;
            const BenchSample sample = TimeUnits(1, [&](int) {
                const int found = NextDifferencePlain(1);
                for (int row = found - m_page; row < found; ++row)
                    reads += ReadRowFair(row);
            });
            if (reads != 2 * m_page)
                throw BenchNotRun("the plain reads did not find the difference");
            return sample;
        };
        const PairedSamples samples = RunInterleaved(rounds, stepOnce, readOnce);
        // The search alone, without the move and the paint, beside the plain reads alone.
        const PairedSamples search = RunInterleaved(
            rounds,
            [] {
                return TimeUnits(SearchesPerSample, [](int) {
                    if (NextDifferingEntry(ReadName, WriteName, 1, true) != LastDifference)
                        throw BenchNotRun("the search did not find the difference");
                });
            },
            [] {
                return TimeUnits(SearchesPerSample, [](int) {
                    if (NextDifferencePlain(1) != LastDifference)
                        throw BenchNotRun("the plain reads did not find the difference");
                });
            });
        m_form->ShowDifferences = false;
        if (!WriteGeneratedHueFile(WriteName, 7))
            throw BenchNotRun("the write file could not be given back");
        table.addTimedRatio(DifferenceStepMeasure, samples, DifferenceStepGoal);
        table.addTimedRatio(DifferenceSearchMeasure, search, NoGoal);
    }

private:
    // Paints still pending from earlier work must not land in a timed stretch.
    void settle() { QApplication::processEvents(); }

    // The cursor on the last visible row, so that the next step down scrolls by one row.
    void placeCursorAtBottom(int topRow)
    {
        m_grid->setTopRow(topRow);
        m_grid->setCurrentCell(m_grid->col(), topRow + m_page - 1);
        settle();
        if (m_grid->topRow() != topRow || m_grid->row() != topRow + m_page - 1)
            throw BenchNotRun("the cursor could not be put on the last visible row");
    }

    void pressKeyDown()
    {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_Down, Qt::NoModifier);
        QApplication::sendEvent(m_grid, &press);
        QKeyEvent release(QEvent::KeyRelease, Qt::Key_Down, Qt::NoModifier);
        QApplication::sendEvent(m_grid, &release);
    }

    void turnWheelDown()
    {
        const QPointF at = QRectF(m_grid->rect()).center();
        QWheelEvent wheel(at, m_grid->mapToGlobal(at), QPoint(), QPoint(0, -WheelNotch),
                          Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(m_grid, &wheel);
    }

    PairedSamples stepSamples(int rounds, const std::function<void()> &step)
    {
        const auto ours = [&] {
            placeCursorAtBottom(StepStartRow);
            const int paintsBefore = m_paints.paints;
            const BenchSample sample = TimeUnits(StepsPerSample, [&](int) {
                step();
                QApplication::processEvents();
            });
            if (m_grid->topRow() != StepStartRow + StepsPerSample ||
                m_grid->row() != StepStartRow + m_page - 1 + StepsPerSample)
                throw BenchNotRun("a step did not move the cursor and the view by one row");
            if (m_paints.paints - paintsBefore < StepsPerSample)
                throw BenchNotRun("a step did not paint");
            return sample;
        };
        // Baseline: per step, the rows a step at the bottom edge cannot do without, each from
        // both files the plain way: the row that scrolls in, the old cursor row and the new
        // cursor row (3 rows, 6 fair reads).
        const auto baseline = [&] {
            int reads = 0;
            const BenchSample sample = TimeUnits(StepsPerSample, [&](int step) {
                const int newRow = StepStartRow + m_page + step;
                reads += ReadRowFair(newRow);
                reads += ReadRowFair(newRow - 1);
                reads += ReadRowFair(newRow);
            });
            if (reads != 2 * BaselineRowsPerStep * StepsPerSample)
                throw BenchNotRun("the plain reads did not find every entry");
            return sample;
        };
        return RunInterleaved(rounds, ours, baseline);
    }

    PaintCounter m_paints;
    // First, so that both files are there when the window is built and go only after it.
    BenchHueFolder m_folder;
    std::unique_ptr<TForm1> m_form;
    DrawGrid *m_grid;
    int m_page = 0;
};

// One measurement that cannot run leaves the others running.
void Attempt(BenchTable &table, const std::vector<std::string> &measures, const std::string &goal,
             const std::function<void()> &measure)
{
    try {
        measure();
    } catch (const BenchNotRun &reason) {
        table.addNotRun(measures, goal, reason.what());
    }
}

} // namespace

void RunBrowserBenches(BenchTable &table, const std::string &self, int rounds)
{
    std::unique_ptr<BrowserBench> bench;
    const auto timed = [](const std::string &measure) {
        return std::vector<std::string>{measure + " (CPU)", measure + " (real)"};
    };
    const std::string rowsGoal = "≤ " + std::to_string(RowsReadGoal) + " rows";
    const std::string repaintGoal = FormatGoalRatio(PageRepaintGoal);
    // Without the window nothing here can run, and each line says so.
    Attempt(table, timed(ScrollMeasure), FormatGoalRatio(ScrollGoal),
            [&] { bench = std::make_unique<BrowserBench>(); });
    if (!bench) {
        RunXvfbScrollBench(table, self, rounds);
        const std::string reason = "see " + ScrollMeasure + " (CPU)";
        table.addNotRun(timed(KeyStepMeasure), FormatGoalRatio(StepGoal), reason);
        table.addNotRun({KeyRowsReadMeasure}, rowsGoal, reason);
        table.addNotRun(timed(WheelStepMeasure), FormatGoalRatio(StepGoal), reason);
        table.addNotRun({WheelRowsReadMeasure}, rowsGoal, reason);
        table.addNotRun(timed(RepaintMeasure), repaintGoal, reason);
        table.addNotRun(timed(DifferenceStepMeasure), FormatGoalRatio(DifferenceStepGoal), reason);
        return;
    }
    Attempt(table, timed(ScrollMeasure), FormatGoalRatio(ScrollGoal),
            [&] { bench->scroll(rounds, table); });
    RunXvfbScrollBench(table, self, rounds);
    table.note("fair read: open (read-only, non-blocking), fstat, one 88-byte pread and close, "
               "per entry; the least the browser may do, since no file stays open between "
               "rows.");
    Attempt(table, timed(KeyStepMeasure), FormatGoalRatio(StepGoal),
            [&] { bench->keyStep(rounds, table); });
    Attempt(table, {KeyRowsReadMeasure}, rowsGoal, [&] { bench->keyRowsRead(table); });
    std::vector<std::string> pixelMeasures = timed(PixelsMovedMeasure);
    for (const std::string &floor : timed(StepFloorMeasure))
        pixelMeasures.push_back(floor);
    Attempt(table, pixelMeasures, "—", [&] { bench->pixelsMoved(rounds, table); });
    table.note("one-row step's floor: the page's pixels moved as above and the step's rows read "
               "the fair way, nothing painted; no step can cost less.");
    Attempt(table, timed(WheelStepMeasure), FormatGoalRatio(StepGoal),
            [&] { bench->wheelStep(rounds, table); });
    Attempt(table, {WheelRowsReadMeasure}, rowsGoal, [&] { bench->wheelRowsRead(table); });
    table.note("rows read per step: opens of the two hue files during one step, halved; the "
               "most that any of " +
               std::to_string(CountedSteps) + " steps read decides.");
    Attempt(table, timed(RepaintMeasure), repaintGoal, [&] { bench->pageRepaint(rounds, table); });
    Attempt(table, timed(DifferenceStepMeasure), FormatGoalRatio(DifferenceStepGoal),
            [&] { bench->differenceStep(rounds, table); });
    table.note("F4: in the \"double click\" mode, so no entry loads; the baseline reads both "
               "files whole (open, fstat, one pread, close), compares records until the "
               "difference and reads the rows of the page it lands on the fair way.");
}

void RunXvfbScrollChild(int &argc, char **argv, int rounds, int serverProcess)
{
    alarm(XvfbChildTimeLimitSeconds);
    try {
        ColvaneApplication app(argc, argv);
        BrowserBench bench;
        const PairedSamples samples = bench.scrollSamples(rounds, serverProcess);
        for (std::size_t round = 0; round < samples.ours.size(); ++round)
            std::printf("%.9f %.9f %.9f %.9f\n", samples.ours[round].realSeconds,
                        samples.ours[round].cpuSeconds, samples.baseline[round].realSeconds,
                        samples.baseline[round].cpuSeconds);
    } catch (const BenchNotRun &reason) {
        std::fprintf(stderr, "%s\n", reason.what());
        std::fflush(nullptr);
        std::_Exit(EXIT_FAILURE);
    }
    std::fflush(nullptr);
    // Tearing the window down is not part of the measure.
    std::_Exit(EXIT_SUCCESS);
}
