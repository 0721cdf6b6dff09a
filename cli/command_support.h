#pragma once

#include "cli/commands.h"
#include "huefile/hue_file.h"
#include "huefile/write_journal.h"

#include <chrono>
#include <string>
#include <string_view>
#include <vector>

// What the subcommands' functions share: reading hue files the way every subcommand reads them,
// and showing what they hold.

Failure About(const std::string &what, const std::string &why);

// How long a write waits for another process's write to the same file to end.
constexpr auto LockWait = std::chrono::seconds(2);

// A script's write is made once and left alone, so its journal is kept against power cuts too.
constexpr Flushes CliFlushes = Flushes::PowerCut;

// Entries whose place the file reaches, whole or in part.
int EntriesReached(FileOffset size);

enum class EntryState { Used, Empty, Missing };

EntryState StateOf(const HueEntry &entry, bool whole);
const char *StateName(EntryState state);

// Every entry the file reaches, in one read.
struct FileEntries {
    std::vector<HueEntry> entries;
    std::vector<bool> whole;
};
FileEntries ReadReachedEntries(const HueFile &file, int count);

// A stored name as UTF-8, with control characters as \xNN: they would move a terminal's
// cursor or worse. Appended to `text`, as listings build thousands of lines into one buffer.
void AppendPrintable(std::string &text, std::string_view latin1);
std::string Printable(std::string_view latin1);

// The entry when the file holds all of it, or why it does not.
Expected<HueEntry> WholeEntry(const HueFile &file, const std::string &fileName, int n);
Expected<HueEntry> ReadWholeEntry(const std::string &fileName, int n);

// The bytes of an input file, or of standard input for "-"; a pipe or device named as input is
// refused.
Expected<std::string> ReadInput(const std::string &fileName);

// "entry N could not be written (why)".
std::string CopyFailure(int entry, const std::string &why);
