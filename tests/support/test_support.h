#pragma once

#include "app/tform1.h"
#include "huefile/colour.h"
#include "huefile/hue_entry.h"
#include "support/files.h"
#include "support/input.h"
#include "support/process.h"

#include <QStringList>
#include <QTemporaryDir>
#include <cstdint>
#include <functional>
#include <gtest/gtest.h>
#include <map>
#include <memory>
#include <string>
#include <vector>

// Every name in the current folder, hidden ones included, with its kind and what it holds: a
// regular file's bytes (as a hash, for short messages) or a link's target; a pipe is not read,
// which would block.
std::map<std::string, std::string> FolderSnapshot();

// A png file whose header gives a picture of width by height pixels in 8-bit RGB, followed by
// a few bytes of pixel data: enough for a reader to learn the size, far too little to decode.
std::string PngHeaderOfSize(std::uint32_t width, std::uint32_t height);
// One chunk of a png file: length, type and data, and the checksum over type and data.
std::string PngChunk(const std::string &type, const std::string &data);

// Sets the soft limit on the size of files this process writes, for the object's life. A
// write beyond it fails; the program, not the test, must keep the signal it raises harmless.
class FileSizeLimit {
public:
    explicit FileSizeLimit(long bytes);
    ~FileSizeLimit();
    FileSizeLimit(const FileSizeLimit &) = delete;
    FileSizeLimit &operator=(const FileSizeLimit &) = delete;

private:
    long m_previous = -1;
};

// For the object's life the calling thread, which runs the window, loses the privilege that
// lets root write into a read-only file. Capabilities belong to a thread, so they come back
// afterwards. failure() tells why a read-only file is still writable, or is empty.
class WithoutPermissionOverride {
public:
    WithoutPermissionOverride();
    ~WithoutPermissionOverride();
    WithoutPermissionOverride(const WithoutPermissionOverride &) = delete;
    WithoutPermissionOverride &operator=(const WithoutPermissionOverride &) = delete;
    const std::string &failure() const { return m_failure; }

private:
    bool m_dropped = false;
    std::uint32_t m_savedEffective[2] = {};
    std::string m_failure;
};

// A program run as a process. One that does not end within 20 s, as one blocked on a pipe
// would, fails the test instead of hanging it (status -1); one ended by a signal has status -2.
// inChild prepares the child process before the program starts in it; `environment` is set
// in the child's environment, beside what this process has.
ProcessOutcome RunProgram(const QString &program, const QStringList &arguments,
                          const std::function<void()> &inChild = {},
                          const std::map<QString, QString> &environment = {});
// For inChild: root passes any file's and folder's permissions; a child without those
// privileges in its bounding set keeps without them in the program, and is refused as any
// other user would be.
void DropPermissionOverrides();

// Builds the window in the current folder, shows it and waits until it is exposed.
std::unique_ptr<TForm1> ShowForm();

// A window in a fresh folder over the default read and write files, with count entries each
// (no file for a count of -1).
class FormTest : public ::testing::Test {
protected:
    void Open(int readCount, int writeCount, int readSeed, int writeSeed);

    TempFolder folder;
    std::unique_ptr<TForm1> form;
};

// Lines of the log pane.
QStringList LogLines(const TForm1 &form);
// The same without the file layer's notices: under a file-size limit a write's journal cannot
// be made, which the log says once per file; tests of what such writes leave compare the rest.
QStringList LogLinesWithoutNotices(const TForm1 &form);

// The copy fields: NumberFrom, NumberTo, TargetNumberFrom, TargetNumberTo.
QStringList CopyFieldTexts(const TForm1 &form);
// The picker's channel fields: red, green, blue.
QStringList ChannelFieldTexts(const TForm1 &form);
// What the channel fields show for a colour.
QStringList ChannelTexts(DisplayColour colour);

// The editor grid by colour index; EditorLabel stands for the label cell in front of them.
constexpr int EditorLabel = -1;
QPoint EditorCellCentre(const TForm1 &form, int colour);
// The colour indexes from `from` to `to`, either way round.
std::vector<int> ColoursFrom(int from, int to);
// Presses on the first colour, moves a little inside it (which turns the press into a drag),
// then enters every colour of the path in turn, the way a real pointer crosses them.
void PressAndDragAcrossEditor(TForm1 &form, const std::vector<int> &colours);
void ReleaseOverEditor(TForm1 &form, int colour);

// Processes pending events for a moment (paints, deferred deletes).
void Settle(int milliseconds = 0);
