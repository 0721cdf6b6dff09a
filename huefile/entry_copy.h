#pragma once

#include "huefile/hue_file.h"
#include "huefile/write_journal.h"

#include <vector>

// Copying whole entries between two open hue files. The files stay open; the caller opens
// them once per copy and closes them afterwards. Every entry is written all or nothing, and
// each copy is one write operation with its journal, kept against `flushes`.

// Copies entry source of readFile to entry target of writeFile. When the read file holds no
// whole record there, nothing is written and the target keeps its contents. Fails only when a
// record was read but could not be written, as the write says why.
// Every entry written is appended to `written`, when given, for an undo.
Expected<void> CopyHueEntry(const HueFile &readFile, HueFile &writeFile, int source, int target,
                            Flushes flushes, std::vector<EntryWrite> *written = nullptr);

// Copies the pairs (s, targetFrom + s - sourceFrom) for s from sourceFrom up to sourceTo in
// ascending order, stopping before the first target above targetTo. Every target receives its
// source entry as it was before the copy began, so within one file the range moves as a
// block, whichever way the ranges overlap. Stops at the first record that cannot be written
// and fails as its write did; the pairs before it stay copied, and `failedTarget`, when given,
// receives the entry that could not be written.
Expected<void> CopyHueEntryRange(const HueFile &readFile, HueFile &writeFile, int sourceFrom,
                                 int sourceTo, int targetFrom, int targetTo, Flushes flushes,
                                 std::vector<EntryWrite> *written = nullptr,
                                 int *failedTarget = nullptr);
