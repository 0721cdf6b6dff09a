#pragma once

#include <cstdio>

// Copying whole entries between two open hue file streams. The streams stay open; the caller
// opens them once per copy and closes them afterwards.

// Copies entry source of readStream to entry target of writeStream. When the read stream holds
// no whole record there, nothing is written and the target keeps its contents. Returns false
// only when a record was read but could not be handed to the write stream.
bool CopyHueEntry(std::FILE *readStream, std::FILE *writeStream, int source, int target);

// Copies the pairs (s, targetFrom + s - sourceFrom) for s from sourceFrom up to sourceTo in
// ascending order, stopping before the first target above targetTo. When both streams are on
// the same file, the range behaves as a block move: every target receives its source entry as
// it was before the copy began, whichever way the ranges overlap. Stops at the first record
// that cannot be written and returns false; the pairs before it stay copied.
bool CopyHueEntryRange(std::FILE *readStream, std::FILE *writeStream, int sourceFrom, int sourceTo,
                       int targetFrom, int targetTo);

// The copy never reads through its write stream and every record goes to a place of its own,
// so a buffer there only costs: each seek would first fill it with the block around the target.
// Call right after opening, before any other use of the stream.
void LeaveWriteStreamUnbuffered(std::FILE *writeStream);

// True when both streams are open on the same file (same device and inode), whatever names
// they were opened by.
bool StreamsShareFile(std::FILE *first, std::FILE *second);
