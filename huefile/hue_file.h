#pragma once

#include "huefile/hue_entry.h"

#include <cstdio>
#include <string>

// File names are passed in the platform's file-name encoding, as the C library expects them.

enum class ReadOutcome {
    NotOpened, // the file could not be opened; the destination is untouched
    NoRecord,  // opened, but no whole record at the entry's place
    Read,      // one whole record was read
};

// Reads entry n from an open stream. Whatever the read does not fill is zeroed, so a short
// or missing record never leaves bytes of an earlier entry behind. Returns the record count.
std::size_t ReadEntryFrom(std::FILE *stream, int n, HueEntry &destination);

// Writes entry n into an open stream; true when the whole record was handed to the stream.
bool WriteEntryTo(std::FILE *stream, int n, const HueEntry &entry);

// Open, seek, read one record, close. With NotOpened the destination keeps its bytes.
ReadOutcome ReadEntryFromFile(const std::string &fileName, int n, HueEntry &destination);

// Opens a hue file for reading; a directory is refused although the C library would open it.
std::FILE *OpenHueFileForReading(const std::string &fileName);

// Opens an existing hue file for update; never creates or truncates it.
std::FILE *OpenHueFileForUpdate(const std::string &fileName);

// Closes a stream and reports whether everything written through it reached the file.
bool CloseHueFile(std::FILE *stream);

// A name is valid when it opens for reading.
bool CanOpenHueFile(const std::string &fileName);
